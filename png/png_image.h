#pragma once
// TPNGImage: a bitmap that reads and writes PNG files, keeping the file as a
// list of chunks.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/graphics/bitmap.h"
#include "png/chunk.h"

namespace snapkit {

enum TEncodeFilter : std::uint8_t { efNone = 0, efSub = 1, efUp = 2, efAverage = 3, efPaeth = 4 };
// A set over TEncodeFilter: bit n stands for the filter of ordinal n.
using TEncodeFilterSet = std::uint8_t;
constexpr TEncodeFilterSet FilterBit(TEncodeFilter F) { return TEncodeFilterSet(1u << F); }
constexpr TEncodeFilterSet DefaultFilterSet =
    FilterBit(efNone) | FilterBit(efSub) | FilterBit(efAverage) | FilterBit(efPaeth);
constexpr TEncodeFilterSet AllFilters = DefaultFilterSet | FilterBit(efUp);

enum TProgressStage : std::uint8_t { psStarting, psRunning, psEnding };
// Sender, stage, percent done, whether to redraw now, the rectangle of the
// image that changed, and a message.
using TProgressEvent =
    std::function<void(host::TGraphic& Sender, TProgressStage Stage, std::uint8_t PercentDone,
                       bool RedrawNow, const host::TRect& R, const std::string& Msg)>;

class TPNGImage : public host::TBitmap {
 public:
  static const host::TGraphicClassRef ClassInfo;
  host::TGraphicClass ClassType() const override { return &ClassInfo; }

  TPNGImage();
  ~TPNGImage() override;

  TEncodeFilterSet Filter() const { return FFilter; }
  // efNone is always kept in the set.
  void SetFilter(TEncodeFilterSet Value) { FFilter = TEncodeFilterSet(Value | FilterBit(efNone)); }
  // Saving writes Adam7-interlaced image data while set; loading leaves it.
  bool Interlacing() const { return FInterlacing; }
  void SetInterlacing(bool Value) { FInterlacing = Value; }

  // Called while image data is decoded; assigned when non-empty.
  TProgressEvent OnProgress;

  TChunkList& Chunks() { return *FChunkList; }
  const TChunkList& Chunks() const { return *FChunkList; }

  // Back to a 0 by 0 image: header, empty image data, end.
  void Clear();

  void LoadFromStream(host::TStream& Stream) override;
  void SaveToStream(host::TStream& Stream) override;
  // Chunks are read straight from the file: a copy of the whole file in
  // memory would cost its size again beside the chunks' copy of it.
  void LoadFromFile(const std::string& FileName) override;
  // Encoded in memory first, so that a failing encoder leaves an existing
  // file untouched (the bitmap's own saving writes straight to the file).
  void SaveToFile(const std::string& FileName) override;
  // Copies the chunks too when Source is a TPNGImage; the pixels of any
  // bitmap the host accepts.
  void Assign(const host::TPersistent& Source) override;

  // Appends to the process-wide chunk registry; an existing entry of the
  // same name keeps precedence.
  static void RegisterChunkClass(const TChunkName& Name, TChunkClass ChunkClass);

 private:
  TEncodeFilterSet FFilter = DefaultFilterSet;
  bool FInterlacing = false;
  std::unique_ptr<TChunkList> FChunkList;
};

// The PNG file signature.
extern const std::uint8_t PNGSignature[8];

}  // namespace snapkit
