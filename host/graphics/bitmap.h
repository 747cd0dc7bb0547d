#pragma once
// TBitmap: a device-independent bitmap held in memory. Rows are stored top
// down, each padded to 4 bytes as in BMP files; ScanLine(y) gives row y.
// 24-bit pixels are blue, green, red; 32-bit pixels blue, green, red, unused;
// palette formats pack the leftmost pixel into the high bits of a byte;
// pf15bit and pf16bit are 5-5-5 and 5-6-5 little-endian words.

#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/graphics/graphic.h"
#include "host/graphics/pixel_memory.h"
#include "host/graphics/types.h"

namespace host {

// pfDevice is a new bitmap's format and means 32 bits per pixel here.
enum TPixelFormat {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};

int BitsPerPixel(TPixelFormat Format);
// Bytes in one stored row: Width pixels at Bits bits, rounded up to 4 bytes.
std::int64_t BytesPerScanLine(int Width, int Bits);

class TBitmap : public TGraphic {
 public:
  static const TGraphicClassRef ClassInfo;
  TGraphicClass ClassType() const override { return &ClassInfo; }

  TBitmap();
  ~TBitmap() override;

  // Largest width, height and pixel buffer a bitmap accepts; larger sizes
  // raise EOutOfMemory before anything is allocated.
  static constexpr int MaxDimension = 1 << 20;
  static constexpr std::int64_t MaxBytes = std::int64_t(1) << 32;

  bool Empty() const override { return FWidth == 0 || FHeight == 0; }
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  // Resizing keeps the pixels that still fit (top-left anchored); new pixels are zero.
  void SetWidth(int Value) override { SetSize(Value, FHeight); }
  void SetHeight(int Value) override { SetSize(FWidth, Value); }
  void SetSize(int NewWidth, int NewHeight);
  // SetSize, keeping Room spare bytes after the last row: memory a decoder
  // may fill before it places the rows, so that it needs no buffer of its
  // own beside the pixels. Returns the first pixel byte.
  std::uint8_t* SetSizeWithRoom(int NewWidth, int NewHeight, std::size_t Room);

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // Converts the pixels to the new format. Palette formats map each pixel
  // to the nearest entry of the bitmap's palette or, when it has none, of a
  // default one: black and white, the 16-colour system palette, or a 6x6x6
  // colour cube with 40 greys. pfCustom raises EInvalidGraphicOperation.
  void SetPixelFormat(TPixelFormat Value);

  std::uint8_t* ScanLine(int Row);
  const std::uint8_t* ScanLine(int Row) const;
  std::int64_t RowBytes() const;

  // The palette of pf1bit, pf4bit and pf8bit bitmaps; null for the others.
  HPALETTE Palette() const { return FPalette; }
  void SetPalette(HPALETTE Value) { FPalette = std::move(Value); }

  // clDefault means "the colour of the bottom-left pixel".
  TColor TransparentColor() const;
  void SetTransparentColor(TColor Value) { FTransparentColor = Value; }

  TCanvas& Canvas();

  // The colour of one pixel, whatever the format (palette looked up).
  // Outside the bitmap GetPixel gives clNone and SetPixel does nothing.
  TColor GetPixel(int X, int Y) const;
  void SetPixel(int X, int Y, TColor Color);

  void Assign(const TPersistent& Source) override;
  // Frees the pixels, width and height become 0; the format stays.
  void FreeImage();

  // BMP (Windows bitmap) files. Loading refuses damaged files, zero sizes
  // and sizes above the limits with EInvalidGraphic and then leaves the
  // bitmap as it was. pf15bit is written as 16-bit 5-5-5, pf16bit with
  // 5-6-5 bit-field masks; an empty bitmap writes a header of size 0 x 0.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  // Writes straight to the file (no copy of it in memory). A bitmap the
  // format cannot hold is refused before the file is opened.
  void SaveToFile(const std::string& FileName) override;

  void Draw(TCanvas& Canvas, const TRect& Rect) override;

  // Takes Source's pixels, size, format and palette without copying them,
  // leaving it empty; transparency stays as this bitmap had it.
  void TakeImage(TBitmap& Source);

 private:
  void Reallocate(int NewWidth, int NewHeight, std::size_t Room);
  // What a BMP file of this bitmap holds before its rows; raises when the
  // bitmap is too large for the format.
  struct TBMPHead;
  TBMPHead BMPHead() const;

  int FWidth = 0;
  int FHeight = 0;
  TPixelFormat FPixelFormat = pfDevice;
  std::vector<std::uint8_t, TPixelAllocator<std::uint8_t>> FPixels;
  HPALETTE FPalette;
  TColor FTransparentColor = clDefault;
  std::unique_ptr<TCanvas> FCanvas;
};

}  // namespace host
