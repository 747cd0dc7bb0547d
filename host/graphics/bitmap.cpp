#include "host/graphics/bitmap.h"

#include <algorithm>
#include <cstring>

#include "host/graphics/canvas.h"
#include "host/graphics/pixels.h"
#include "host/system/exception.h"

namespace host {

using namespace pixels;

const TGraphicClassRef TBitmap::ClassInfo = {"TBitmap", nullptr,
                                             &CreateInstance<TBitmap, TGraphic>};

int BitsPerPixel(TPixelFormat Format) {
  switch (Format) {
    case pf1bit:
      return 1;
    case pf4bit:
      return 4;
    case pf8bit:
      return 8;
    case pf15bit:
    case pf16bit:
      return 16;
    case pf24bit:
      return 24;
    case pf32bit:
    case pfDevice:
      return 32;
    default:
      return 0;
  }
}

std::int64_t BytesPerScanLine(int Width, int Bits) {
  return ((static_cast<std::int64_t>(Width) * Bits + 31) / 32) * 4;
}

namespace {

// Refuses sizes the bitmap cannot hold before anything is allocated.
std::size_t CheckedBufferSize(int Width, int Height, TPixelFormat Format) {
  if (Width < 0 || Height < 0)
    throw EInvalidGraphicOperation("Invalid bitmap size " + std::to_string(Width) + "x" +
                                   std::to_string(Height));
  if (Width > TBitmap::MaxDimension || Height > TBitmap::MaxDimension)
    throw EOutOfMemory("Bitmap too large: " + std::to_string(Width) + "x" + std::to_string(Height));
  std::int64_t bytes = BytesPerScanLine(Width, BitsPerPixel(Format)) * Height;
  if (bytes > TBitmap::MaxBytes)
    throw EOutOfMemory("Bitmap too large: " + std::to_string(Width) + "x" + std::to_string(Height));
  return static_cast<std::size_t>(bytes);
}

using TPixels = std::vector<std::uint8_t, TPixelAllocator<std::uint8_t>>;

TPixels Allocate(std::size_t Bytes) {
  try {
    return TPixels(Bytes);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
}

}  // namespace

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int NewWidth, int NewHeight) {
  if (NewWidth == FWidth && NewHeight == FHeight) return;
  Reallocate(NewWidth, NewHeight, 0);
}

std::uint8_t* TBitmap::SetSizeWithRoom(int NewWidth, int NewHeight, std::size_t Room) {
  const std::size_t bytes = CheckedBufferSize(NewWidth, NewHeight, FPixelFormat);
  if (NewWidth != FWidth || NewHeight != FHeight || FPixels.size() < bytes + Room)
    Reallocate(NewWidth, NewHeight, Room);
  return FPixels.data();
}

void TBitmap::Reallocate(int NewWidth, int NewHeight, std::size_t Room) {
  std::size_t bytes = CheckedBufferSize(NewWidth, NewHeight, FPixelFormat);
  TPixels pixels = Allocate(bytes + Room);
  const int bits = BitsPerPixel(FPixelFormat);
  const std::int64_t newRow = BytesPerScanLine(NewWidth, bits);
  const std::int64_t oldRow = RowBytes();
  const int keepW = std::min(FWidth, NewWidth);
  const int keepH = std::min(FHeight, NewHeight);
  const std::int64_t keepBits = static_cast<std::int64_t>(keepW) * bits;
  for (int y = 0; keepW > 0 && y < keepH; ++y) {
    const std::uint8_t* src = FPixels.data() + y * oldRow;
    std::uint8_t* dst = pixels.data() + y * newRow;
    std::memcpy(dst, src, static_cast<std::size_t>(keepBits / 8));
    if (int rest = static_cast<int>(keepBits % 8)) {
      // Only the kept pixels' bits of a shared byte; the rest stay zero.
      std::uint8_t mask = static_cast<std::uint8_t>(0xFF00 >> rest);
      dst[keepBits / 8] = src[keepBits / 8] & mask;
    }
  }
  FPixels = std::move(pixels);
  FWidth = NewWidth;
  FHeight = NewHeight;
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == FPixelFormat) return;
  if (Value == pfCustom || BitsPerPixel(Value) == 0)
    throw EInvalidGraphicOperation("Invalid pixel format");
  HPALETTE palette;
  if (IsPaletteFormat(Value)) {
    palette = FPalette ? FPalette : DefaultPalette(Value);
    std::size_t limit = std::size_t(1) << BitsPerPixel(Value);
    if (palette->Entries.size() > limit) {
      LOGPALETTE lp;
      lp.palPalEntry.assign(palette->Entries.begin(), palette->Entries.begin() + limit);
      palette = CreatePalette(lp);
    }
  }
  if (IsDirect32(Value) && IsDirect32(FPixelFormat)) {
    FPixelFormat = Value;  // the same layout
    return;
  }
  std::size_t bytes = CheckedBufferSize(FWidth, FHeight, Value);
  TPixels pixels = Allocate(bytes);
  if (!Empty()) {
    const std::int64_t oldRow = RowBytes();
    const std::int64_t newRow = BytesPerScanLine(FWidth, BitsPerPixel(Value));
    const std::vector<PALETTEENTRY>* oldPal = FPalette ? &FPalette->Entries : nullptr;
    std::unique_ptr<TNearestColor> nearest;
    if (palette) nearest = std::make_unique<TNearestColor>(palette);
    for (int y = 0; y < FHeight; ++y) {
      const std::uint8_t* src = FPixels.data() + y * oldRow;
      std::uint8_t* dst = pixels.data() + y * newRow;
      if (Value == pf24bit && FPixelFormat == pf24bit) continue;
      if (Value == pf24bit && IsDirect32(FPixelFormat)) {
        for (int x = 0; x < FWidth; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
      } else if (IsDirect32(Value) && FPixelFormat == pf24bit) {
        for (int x = 0; x < FWidth; ++x) {
          std::memcpy(dst + 4 * x, src + 3 * x, 3);
          dst[4 * x + 3] = 0;
        }
      } else {
        for (int x = 0; x < FWidth; ++x)
          WritePixel(dst, x, Value, ReadPixel(src, x, FPixelFormat, oldPal), nearest.get());
      }
    }
  }
  FPixels = std::move(pixels);
  FPixelFormat = Value;
  FPalette = palette;
}

std::int64_t TBitmap::RowBytes() const {
  return BytesPerScanLine(FWidth, BitsPerPixel(FPixelFormat));
}

std::uint8_t* TBitmap::ScanLine(int Row) {
  if (Row < 0 || Row >= FHeight || FWidth == 0)
    throw EInvalidGraphicOperation("Scan line index out of range");
  return FPixels.data() + Row * RowBytes();
}

const std::uint8_t* TBitmap::ScanLine(int Row) const {
  return const_cast<TBitmap*>(this)->ScanLine(Row);
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentColor != clDefault) return FTransparentColor;
  if (Empty()) return clDefault;
  return GetPixel(0, FHeight - 1);
}

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TCanvas>(*this);
  return *FCanvas;
}

TColor TBitmap::GetPixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return clNone;
  return ReadPixel(ScanLine(Y), X, FPixelFormat, FPalette ? &FPalette->Entries : nullptr);
}

void TBitmap::SetPixel(int X, int Y, TColor Color) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
  if (IsPaletteFormat(FPixelFormat)) {
    TNearestColor nearest(FPalette);
    WritePixel(ScanLine(Y), X, FPixelFormat, Color, &nearest);
  } else {
    WritePixel(ScanLine(Y), X, FPixelFormat, Color, nullptr);
  }
}

void TBitmap::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  if (auto* src = dynamic_cast<const TBitmap*>(&Source)) {
    FPixels = src->FPixels;
    FWidth = src->FWidth;
    FHeight = src->FHeight;
    FPixelFormat = src->FPixelFormat;
    FPalette = src->FPalette;
    FTransparentColor = src->FTransparentColor;
    SetTransparent(src->Transparent());
    return;
  }
  TGraphic::Assign(Source);
}

void TBitmap::FreeImage() {
  FPixels.clear();
  FPixels.shrink_to_fit();
  FWidth = 0;
  FHeight = 0;
}

void TBitmap::Draw(TCanvas& Canvas, const TRect& R) {
  TBitmap& dest = Canvas.Bitmap();
  if (Empty() || R.Width() <= 0 || R.Height() <= 0) return;
  if (&dest == this) {
    // Drawing onto itself reads from a copy so rows are not read after being overwritten.
    TBitmap copy;
    copy.Assign(*this);
    copy.Draw(Canvas, R);
    return;
  }
  const int x0 = std::max(R.Left, 0), x1 = std::min(R.Right, dest.Width());
  const int y0 = std::max(R.Top, 0), y1 = std::min(R.Bottom, dest.Height());
  if (x0 >= x1 || y0 >= y1) return;

  if (Canvas.CopyMode == cmWhiteness || Canvas.CopyMode == cmBlackness) {
    TColor saved = Canvas.Brush.Color;
    Canvas.Brush.Color = Canvas.CopyMode == cmWhiteness ? clWhite : clBlack;
    Canvas.FillRect(Rect(x0, y0, x1, y1));
    Canvas.Brush.Color = saved;
    return;
  }

  const std::int64_t w = R.Width(), h = R.Height();
  // Source column of each destination column: the pixel under its centre.
  std::vector<int> srcX(static_cast<std::size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x)
    srcX[static_cast<std::size_t>(x - x0)] =
        static_cast<int>(((2 * (x - std::int64_t(R.Left)) + 1) * FWidth) / (2 * w));

  const bool transparent = Transparent();
  const TColor key = transparent ? TransparentColor() & 0xFFFFFF : 0;
  const std::vector<PALETTEENTRY>* pal = FPalette ? &FPalette->Entries : nullptr;
  std::unique_ptr<TNearestColor> nearest;
  if (IsPaletteFormat(dest.PixelFormat()))
    nearest = std::make_unique<TNearestColor>(dest.Palette());
  const bool fast = !transparent && (FPixelFormat == pf24bit || IsDirect32(FPixelFormat)) &&
                    (dest.PixelFormat() == pf24bit || IsDirect32(dest.PixelFormat()));
  const int sb = BitsPerPixel(FPixelFormat) / 8, db = BitsPerPixel(dest.PixelFormat()) / 8;

  for (int y = y0; y < y1; ++y) {
    int sy = static_cast<int>(((2 * (y - std::int64_t(R.Top)) + 1) * FHeight) / (2 * h));
    const std::uint8_t* src = ScanLine(sy);
    std::uint8_t* dst = dest.ScanLine(y);
    for (int x = x0; x < x1; ++x) {
      int sx = srcX[static_cast<std::size_t>(x - x0)];
      if (fast) {
        std::uint8_t* d = dst + x * db;
        std::memcpy(d, src + sx * sb, 3);
        if (db == 4) d[3] = 0;
        continue;
      }
      TColor c = ReadPixel(src, sx, FPixelFormat, pal);
      if (transparent && c == key) continue;
      WritePixel(dst, x, dest.PixelFormat(), c, nearest.get());
    }
  }
}

}  // namespace host
