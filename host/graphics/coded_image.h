#pragma once
// TCodedImage: what TWebPImage and TAVIFImage share. The pixels are a
// bitmap; the file's bytes are kept after a load (or the first save), so a
// save of an unchanged picture writes the same file again and never
// recompresses it.

#include <cstdint>
#include <memory>
#include <vector>

#include "host/graphics/graphic.h"

namespace host {

class TBitmap;

class TCodedImage : public TGraphic {
 public:
  ~TCodedImage() override;

  // For lossy compression, 1 (smallest) .. 100 (best); 90 by default.
  int CompressionQuality() const { return FQuality; }
  void SetCompressionQuality(int Value);

  bool Empty() const override;
  int Width() const override;
  int Height() const override;
  void SetWidth(int) override;   // raises EInvalidGraphicOperation
  void SetHeight(int) override;  // raises EInvalidGraphicOperation

  // Assign takes a copy of a TBitmap (as 24-bit pixels) or of an image of
  // the same class with its settings; assigning one to a TBitmap decodes it.
  void Assign(const TPersistent& Source) override;
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  void Draw(TCanvas& Canvas, const TRect& Rect) override;

  // The decoded pixels: pf24bit, or pf32bit (blue, green, red, alpha) when
  // the file had an alpha channel.
  const TBitmap& Bitmap() const;
  // The pixels carry alpha that a save keeps.
  bool HasAlpha() const { return FAlpha; }

 protected:
  TCodedImage();
  bool AssignTo(TPersistent& Dest) const override;
  // The format's name for messages ("WebP").
  virtual const char* FormatName() const = 0;
  // Data is the whole file. Returns the pixels (pf24bit or, with Alpha set,
  // pf32bit) or raises EInvalidGraphic / EOutOfMemory.
  virtual std::unique_ptr<TBitmap> Decode(const std::vector<std::uint8_t>& Data, bool& Alpha) = 0;
  virtual std::vector<std::uint8_t> Encode(const TBitmap& Pixels, bool Alpha) const = 0;
  // Copies the format's own settings from Source, of the same class.
  virtual void AssignSettings(const TCodedImage& Source) = 0;
  // A setting that changes the file: the next save compresses again.
  void SettingsChanged();

 private:
  int FQuality = 90;
  bool FAlpha = false;
  std::unique_ptr<TBitmap> FBitmap;
  std::vector<std::uint8_t> FData;
};

// The limit on a declared picture size, as the PNG reader has it: a bitmap
// above 64 MiB must be backed by at least one byte of file per 1032 bytes
// of pixels (only near-blank lossless pictures come near that), and no
// bitmap may pass TBitmap's limits. Raises EOutOfMemory naming Format.
void CheckDeclaredSize(const char* Format, std::uint64_t Width, std::uint64_t Height,
                       int BitsPerPixel, std::size_t FileSize);

}  // namespace host
