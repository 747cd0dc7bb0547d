#pragma once
// The image data chunk. Loading merges every IDAT of a file into the first
// one, which then holds one complete zlib stream; DoAction decodes it into
// the owning image. Saving encodes the image's pixels into a fresh stream
// and writes it as a single chunk.

#include <cstdint>

#include "png/chunk.h"

namespace snapkit {

class TChunkGAMA;
class TZCompressionStream;

class TChunkIDAT : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  explicit TChunkIDAT(TChunkList* Owner) : TChunkIDAT(Owner, &ClassInfo) {}

  // Decoding (idat_decode.cpp).
  void DoAction() override;
  // Chooses the bitmap's pixel format and palette from the header.
  void SetupPixelFormat();
  // Undoes one row's filter in place.
  void FilterRow(std::uint8_t FilterType, std::uint8_t* Row, const std::uint8_t* PriorRow,
                 std::int32_t Offset, std::int32_t Count);
  void DecodeNonInterlacedRow(std::uint8_t* Dest, const std::uint8_t* Src, std::int32_t RowBytes,
                              const TChunkGAMA* Gamma);
  void DecodeInterlacedRow(std::uint8_t* Dest, const std::uint8_t* Src, std::int32_t ColStart,
                           std::int32_t ColStep, std::int32_t RowBytes, std::int32_t Pass,
                           const TChunkGAMA* Gamma);
  static void CopyPackedSamples(const std::uint8_t* Src, std::uint8_t* Dest, std::uint32_t Count,
                                std::uint8_t Mask, std::uint8_t SrcBits, std::uint8_t DestBits);

  // Encoding (idat_encode.cpp).
  void SaveToStream(host::TStream& Stream) override;
  // Replaces the data by a zlib stream of the filtered rows of the image,
  // interlaced with Adam7 when the header says so.
  void EncodeImage();
  // Fills Buffers[t] for every filter t of the image's filter set and
  // Buffers[0] with Row (which must not be Buffers[0]); Buffers[0] holds the
  // previous raw row on entry. Returns the chosen filter type.
  std::uint8_t EncodeFilterRow(const std::uint8_t* Row, std::uint8_t* const Buffers[5],
                               std::uint32_t Width, std::uint32_t Offset);

  // Row geometry of the header's width, bit depth and colour type.
  std::int64_t GetBufferWidth() const;
  std::int32_t GetOffset() const;

 protected:
  TChunkIDAT(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {}

 private:
  void EncodeAdam7(TZCompressionStream& Deflater);
};

}  // namespace snapkit
