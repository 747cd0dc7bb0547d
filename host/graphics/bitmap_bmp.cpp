// BMP (Windows bitmap) files for TBitmap.
//
// Read: 1, 4, 8, 16, 24 and 32 bits, uncompressed, with bit-field masks or
// run-length compressed (4 and 8 bits); core (OS/2 1.x) and info headers up
// to version 5; rows in either order.
// Written: bottom-up rows, 1/4/8 bits with their palette, pf15bit as 16-bit
// BI_RGB (5-5-5), pf16bit as 16-bit BI_BITFIELDS (5-6-5), 24 and 32 bits.

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "host/graphics/bitmap.h"
#include "host/graphics/pixels.h"
#include "host/system/exception.h"
#include "host/system/stream.h"

namespace host {

namespace {

constexpr std::uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3,
                        BI_ALPHABITFIELDS = 6;
constexpr std::uint32_t kFileHeaderSize = 14, kCoreHeaderSize = 12, kInfoHeaderSize = 40;

// Plain rows must all be in the file, which bounds the picture by the file's
// size. Run-length data does not: end-of-line, delta and end-of-bitmap codes
// skip any number of pixels in two or four bytes, so a tiny file could make
// us allocate gigabytes. Runs describe at most 255 pixels per two bytes; a
// picture larger than eight times that (1024 pixels per byte of data) is
// refused unless it is small enough to be harmless (4 M pixels, 4 MB at 8
// bits). Real run-length files, which code their pixels, stay far below.
constexpr std::int64_t kRlePixelsPerByte = 1024;
constexpr std::int64_t kRleAlwaysAllowedPixels = std::int64_t(1) << 22;

[[noreturn]] void Invalid(const std::string& Why) {
  throw EInvalidGraphic("Bitmap image is not valid: " + Why);
}

std::uint16_t Get16(const std::uint8_t* P) {
  return static_cast<std::uint16_t>(P[0] | (P[1] << 8));
}
std::uint32_t Get32(const std::uint8_t* P) {
  return P[0] | (P[1] << 8) | (P[2] << 16) | (std::uint32_t(P[3]) << 24);
}
void Put16(std::uint8_t* P, std::uint32_t V) {
  P[0] = static_cast<std::uint8_t>(V);
  P[1] = static_cast<std::uint8_t>(V >> 8);
}
void Put32(std::uint8_t* P, std::uint32_t V) {
  Put16(P, V);
  Put16(P + 2, V >> 16);
}

// Reads exactly Count bytes or reports a truncated file.
void ReadExact(TStream& S, void* Buffer, std::int64_t Count, const char* What) {
  try {
    S.ReadBuffer(Buffer, Count);
  } catch (const EReadError&) {
    Invalid(std::string("file ends inside the ") + What);
  }
}

// Bytes left in Stream, or -1 when the stream cannot tell.
std::int64_t Remaining(TStream& S) {
  try {
    return S.Size() - S.Position();
  } catch (const EStreamError&) {
    return -1;
  }
}

// Grows Stream once to hold Bytes more from its position, so that writing
// row by row does not grow it again and again; streams that cannot be sized
// are written as they are.
void ReserveRoom(TStream& Stream, std::int64_t Bytes) {
  try {
    std::int64_t end = Stream.Position() + Bytes;
    if (end > Stream.Size()) {
      std::int64_t pos = Stream.Position();
      Stream.SetSize(end);
      Stream.SetPosition(pos);
    }
  } catch (const Exception&) {
  }
}

// One colour channel described by a bit mask, scaled to 8 bits.
struct TChannel {
  std::uint32_t Mask = 0;
  int Shift = 0;
  int Bits = 0;
  explicit TChannel(std::uint32_t M) : Mask(M) {
    if (!M) return;
    while (!((M >> Shift) & 1)) ++Shift;
    while (Bits + Shift < 32 && ((M >> (Shift + Bits)) & 1)) ++Bits;
  }
  std::uint8_t Get(std::uint32_t V) const {
    if (!Bits) return 0;
    std::uint32_t c = (V & Mask) >> Shift;
    std::uint32_t max = Bits >= 32 ? 0xFFFFFFFFu : (1u << Bits) - 1;
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(c) * 255 + max / 2) / max);
  }
};

bool Contiguous(std::uint32_t M) {
  if (!M) return true;
  while (!(M & 1)) M >>= 1;
  return (M & (M + 1)) == 0;
}

// Run-length data of 8- or 4-bit rows into Image (bottom-up). Pixels the
// data skips stay at index 0; runs past the right edge are clipped.
void DecodeRle(const std::vector<std::uint8_t>& Data, bool Eight, TBitmap& Image) {
  const int w = Image.Width(), hgt = Image.Height();
  const TPixelFormat format = Eight ? pf8bit : pf4bit;
  std::size_t i = 0;
  int x = 0, y = 0;  // y counts rows from the bottom
  auto put = [&](unsigned Index) {
    if (x < w && y < hgt) pixels::WriteIndex(Image.ScanLine(hgt - 1 - y), x, format, Index);
    ++x;
  };
  auto need = [&](std::size_t N) {
    if (Data.size() - i < N) Invalid("file ends inside the run-length data");
  };
  while (y < hgt) {
    if (Data.size() - i < 2) {
      // Some writers end without the end-of-bitmap code after the last row.
      if (y == hgt - 1 && x >= w) return;
      Invalid("file ends inside the run-length data");
    }
    const unsigned count = Data[i], value = Data[i + 1];
    i += 2;
    if (count > 0) {
      for (unsigned k = 0; k < count && x < w; ++k)
        put(Eight ? value : (k & 1) ? value & 0x0F : value >> 4);
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // move right and up
        need(2);
        x += Data[i];
        y += Data[i + 1];
        i += 2;
        break;
      default: {  // literal pixels, padded to a 16-bit boundary
        std::size_t bytes = Eight ? value : (value + 1) / 2;
        need(bytes + (bytes & 1));
        for (unsigned k = 0; k < value; ++k) {
          std::uint8_t b = Data[i + (Eight ? k : k / 2)];
          put(Eight ? b : (k & 1) ? b & 0x0F : b >> 4);
        }
        i += bytes + (bytes & 1);
      }
    }
  }
}

}  // namespace

void TBitmap::LoadFromStream(TStream& Stream) {
  std::uint8_t fh[kFileHeaderSize];
  ReadExact(Stream, fh, sizeof fh, "file header");
  if (fh[0] != 'B' || fh[1] != 'M') Invalid("not a BMP file");
  const std::uint32_t offBits = Get32(fh + 10);

  std::uint8_t sizeField[4];
  ReadExact(Stream, sizeField, 4, "bitmap header");
  const std::uint32_t headerSize = Get32(sizeField);
  if (headerSize != kCoreHeaderSize && (headerSize < kInfoHeaderSize || headerSize > 1024))
    Invalid("unknown header size " + std::to_string(headerSize));
  std::vector<std::uint8_t> h(headerSize);
  std::memcpy(h.data(), sizeField, 4);
  ReadExact(Stream, h.data() + 4, headerSize - 4, "bitmap header");

  const bool core = headerSize == kCoreHeaderSize;
  std::int64_t width, height;
  std::uint32_t planes, bits, compression = BI_RGB, colorsUsed = 0;
  if (core) {
    width = Get16(&h[4]);
    height = Get16(&h[6]);
    planes = Get16(&h[8]);
    bits = Get16(&h[10]);
  } else {
    width = static_cast<std::int32_t>(Get32(&h[4]));
    height = static_cast<std::int32_t>(Get32(&h[8]));
    planes = Get16(&h[12]);
    bits = Get16(&h[14]);
    compression = Get32(&h[16]);
    colorsUsed = Get32(&h[32]);
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (planes != 1) Invalid("plane count " + std::to_string(planes));
  if (width <= 0 || height <= 0)
    Invalid("size " + std::to_string(width) + "x" + std::to_string(height));
  if (width > MaxDimension || height > MaxDimension ||
      BytesPerScanLine(static_cast<int>(width), 32) * height > MaxBytes)
    Invalid("size " + std::to_string(width) + "x" + std::to_string(height) + " is too large");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    Invalid(std::to_string(bits) + " bits per pixel");

  std::uint32_t masks[3] = {0, 0, 0};
  std::int64_t headerEnd = kFileHeaderSize + headerSize;
  if (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) {
    if (bits != 16 && bits != 32) Invalid("bit fields need 16 or 32 bits per pixel");
    if (headerSize >= 52) {
      masks[0] = Get32(&h[40]);
      masks[1] = Get32(&h[44]);
      masks[2] = Get32(&h[48]);
    } else {
      std::uint8_t m[12];
      ReadExact(Stream, m, sizeof m, "colour masks");
      masks[0] = Get32(m);
      masks[1] = Get32(m + 4);
      masks[2] = Get32(m + 8);
      headerEnd += 12;
      if (compression == BI_ALPHABITFIELDS) {
        ReadExact(Stream, m, 4, "colour masks");
        headerEnd += 4;
      }
    }
    for (std::uint32_t m : masks)
      if (!Contiguous(m)) Invalid("colour mask is not contiguous");
  } else if (compression == BI_RLE8 || compression == BI_RLE4) {
    if (bits != (compression == BI_RLE8 ? 8u : 4u))
      Invalid("run-length compression with " + std::to_string(bits) + " bits per pixel");
    if (topDown) Invalid("run-length compressed rows must be bottom-up");
  } else if (compression != BI_RGB) {
    Invalid("compression " + std::to_string(compression) + " is not supported");
  } else if (bits == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else if (bits == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }

  // The colour table: palette formats only; others may carry an optional
  // one that is skipped with the gap before the pixels.
  const std::uint32_t entrySize = core ? 3 : 4;
  std::vector<PALETTEENTRY> palette;
  if (bits <= 8) {
    std::uint32_t count = colorsUsed == 0 ? (1u << bits) : colorsUsed;
    if (count > 256) Invalid("colour table of " + std::to_string(count) + " entries");
    // Some writers declare more colours than they store before the pixels.
    if (offBits > headerEnd)
      count = std::min<std::uint32_t>(
          count, static_cast<std::uint32_t>((offBits - headerEnd) / entrySize));
    std::vector<std::uint8_t> table(std::size_t(count) * entrySize);
    ReadExact(Stream, table.data(), static_cast<std::int64_t>(table.size()), "colour table");
    headerEnd += static_cast<std::int64_t>(table.size());
    palette.resize(std::min<std::uint32_t>(count, 1u << bits));
    for (std::size_t i = 0; i < palette.size(); ++i) {
      const std::uint8_t* e = &table[i * entrySize];
      palette[i] = {e[2], e[1], e[0], 0};
    }
    if (palette.empty()) Invalid("empty colour table");
  }
  if (offBits > headerEnd) {
    std::int64_t gap = offBits - headerEnd;
    std::int64_t left = Remaining(Stream);
    if (left >= 0 && gap > left) Invalid("pixel data offset beyond the end of the file");
    std::vector<std::uint8_t> skip(static_cast<std::size_t>(std::min<std::int64_t>(gap, 65536)));
    while (gap > 0) {
      std::int64_t n = std::min<std::int64_t>(gap, static_cast<std::int64_t>(skip.size()));
      ReadExact(Stream, skip.data(), n, "gap before the pixels");
      gap -= n;
    }
  } else if (offBits != 0 && offBits < headerEnd) {
    Invalid("pixel data offset inside the header");
  }

  const int w = static_cast<int>(width), hgt = static_cast<int>(height);
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  const std::int64_t fileRow = BytesPerScanLine(w, static_cast<int>(bits));
  std::int64_t left = Remaining(Stream);
  std::int64_t rleSize = 0;
  if (rle) {
    rleSize = core ? 0 : Get32(&h[20]);
    if (rleSize == 0 || (left >= 0 && rleSize > left)) rleSize = left;
    if (rleSize <= 0) Invalid("no run-length data");
    if (width * height > std::max(kRleAlwaysAllowedPixels, rleSize * kRlePixelsPerByte))
      Invalid("size " + std::to_string(width) + "x" + std::to_string(height) +
              " is too large for its run-length data");
  } else if (left >= 0 && left < fileRow * hgt) {
    Invalid("file ends inside the pixel data");
  }

  // How the rows are stored in memory; masks other than the standard ones
  // are decoded into 24 bits.
  TPixelFormat format;
  bool raw = true;
  switch (bits) {
    case 1:
      format = pf1bit;
      break;
    case 4:
      format = pf4bit;
      break;
    case 8:
      format = pf8bit;
      break;
    case 24:
      format = pf24bit;
      break;
    case 16:
      if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)
        format = pf15bit;
      else if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F)
        format = pf16bit;
      else {
        format = pf24bit;
        raw = false;
      }
      break;
    default:
      if (masks[0] == 0xFF0000 && masks[1] == 0x00FF00 && masks[2] == 0x0000FF)
        format = pf32bit;
      else {
        format = pf24bit;
        raw = false;
      }
      break;
  }

  TBitmap result;
  result.SetPixelFormat(format);
  if (!palette.empty()) {
    LOGPALETTE lp;
    lp.palPalEntry = palette;
    result.SetPalette(CreatePalette(lp));
  }
  result.SetSize(w, hgt);
  if (rle) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(rleSize));
    ReadExact(Stream, data.data(), rleSize, "pixel data");
    DecodeRle(data, bits == 8, result);
    TakeImage(result);
    return;
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(fileRow));
  const TChannel r(masks[0]), g(masks[1]), b(masks[2]);
  for (int i = 0; i < hgt; ++i) {
    ReadExact(Stream, row.data(), fileRow, "pixel data");
    std::uint8_t* dst = result.ScanLine(topDown ? i : hgt - 1 - i);
    if (raw) {
      std::memcpy(dst, row.data(), static_cast<std::size_t>(fileRow));
      continue;
    }
    for (int x = 0; x < w; ++x) {
      std::uint32_t v =
          bits == 16 ? Get16(&row[2 * std::size_t(x)]) : Get32(&row[4 * std::size_t(x)]);
      dst[3 * x] = b.Get(v);
      dst[3 * x + 1] = g.Get(v);
      dst[3 * x + 2] = r.Get(v);
    }
  }
  TakeImage(result);
}

void TBitmap::TakeImage(TBitmap& Source) {
  // Keeps what the caller set about transparency.
  FPixels = std::move(Source.FPixels);
  FWidth = Source.FWidth;
  FHeight = Source.FHeight;
  FPixelFormat = Source.FPixelFormat;
  FPalette = Source.FPalette;
  Source.FWidth = Source.FHeight = 0;
}

struct TBitmap::TBMPHead {
  std::vector<std::uint8_t> Bytes;  // file header, info header, masks, palette
  std::int64_t FileSize;
};

TBitmap::TBMPHead TBitmap::BMPHead() const {
  // An empty bitmap still writes a valid header with its zero size, as
  // other writers do; loading such a file is refused.
  const TPixelFormat format = FPixelFormat;
  const int bits = BitsPerPixel(format);
  const bool indexed = pixels::IsPaletteFormat(format);
  const bool fields = format == pf16bit;

  std::vector<PALETTEENTRY> palette;
  if (indexed) {
    HPALETTE p = FPalette ? FPalette : pixels::DefaultPalette(format);
    palette = p->Entries;
    palette.resize(std::min<std::size_t>(palette.size(), std::size_t(1) << bits));
  }
  const std::int64_t rowBytes = RowBytes();
  const std::uint32_t offBits = static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize +
                                                           (fields ? 12 : 0) + palette.size() * 4);
  const std::int64_t imageSize = Empty() ? 0 : rowBytes * FHeight;
  const std::int64_t fileSize = offBits + imageSize;
  if (fileSize > std::numeric_limits<std::uint32_t>::max())
    throw EInvalidGraphicOperation("Bitmap too large for a BMP file");

  std::vector<std::uint8_t> head(offBits, 0);
  head[0] = 'B';
  head[1] = 'M';
  Put32(&head[2], static_cast<std::uint32_t>(fileSize));
  Put32(&head[10], offBits);
  std::uint8_t* ih = &head[kFileHeaderSize];
  Put32(ih, kInfoHeaderSize);
  Put32(ih + 4, static_cast<std::uint32_t>(Empty() ? 0 : FWidth));
  Put32(ih + 8, static_cast<std::uint32_t>(Empty() ? 0 : FHeight));  // positive: bottom-up
  Put16(ih + 12, 1);
  Put16(ih + 14, static_cast<std::uint32_t>(bits));
  Put32(ih + 16, fields ? BI_BITFIELDS : BI_RGB);
  Put32(ih + 20, static_cast<std::uint32_t>(imageSize));
  Put32(ih + 24, 2835);  // 72 dpi
  Put32(ih + 28, 2835);
  Put32(ih + 32, static_cast<std::uint32_t>(palette.size()));
  std::uint8_t* p = ih + kInfoHeaderSize;
  if (fields) {
    Put32(p, 0xF800);
    Put32(p + 4, 0x07E0);
    Put32(p + 8, 0x001F);
    p += 12;
  }
  for (const PALETTEENTRY& e : palette) {
    p[0] = e.peBlue;
    p[1] = e.peGreen;
    p[2] = e.peRed;
    p[3] = 0;
    p += 4;
  }
  return {std::move(head), fileSize};
}

void TBitmap::SaveToStream(TStream& Stream) {
  const TBMPHead head = BMPHead();
  ReserveRoom(Stream, head.FileSize);
  Stream.WriteBuffer(head.Bytes.data(), static_cast<std::int64_t>(head.Bytes.size()));
  if (!Empty())
    for (int y = FHeight - 1; y >= 0; --y) Stream.WriteBuffer(ScanLine(y), RowBytes());
}

void TBitmap::SaveToFile(const std::string& FileName) {
  // A copy of the file in memory first would cost a large picture's size
  // again. The one refusal comes before the file is touched; a failing
  // disk leaves a partial file either way.
  BMPHead();
  TFileStream file(FileName, fmCreate);
  SaveToStream(file);
}

}  // namespace host
