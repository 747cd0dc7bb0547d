#include "png/testing/png_testing.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <random>

namespace snapkit::testing {

TBytes SaveToBytes(TPNGImage& Image) {
  host::TMemoryStream stream;
  Image.SaveToStream(stream);
  return TBytes(stream.Memory(), stream.Memory() + stream.Size());
}

void LoadFromBytes(TPNGImage& Image, const TBytes& File) {
  host::TMemoryStream stream;
  stream.WriteBuffer(File.data(), static_cast<std::int64_t>(File.size()));
  stream.SetPosition(0);
  Image.LoadFromStream(stream);
}

static std::uint32_t BE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

static void PutBE32(TBytes& Out, std::uint32_t V) {
  for (int s = 24; s >= 0; s -= 8) Out.push_back(std::uint8_t(V >> s));
}

std::vector<TRawChunk> SplitChunks(const TBytes& File) {
  static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<TRawChunk> chunks;
  if (File.size() < 8 || std::memcmp(File.data(), signature, 8) != 0) {
    ADD_FAILURE() << "no PNG signature";
    return chunks;
  }
  std::size_t pos = 8;
  while (pos + 12 <= File.size()) {
    const std::uint32_t length = BE32(&File[pos]);
    if (pos + 12 + length > File.size()) {
      ADD_FAILURE() << "chunk runs past the end of the file";
      break;
    }
    TRawChunk c;
    c.Type.assign(reinterpret_cast<const char*>(&File[pos + 4]), 4);
    c.Data.assign(File.begin() + pos + 8, File.begin() + pos + 8 + length);
    c.CRC = BE32(&File[pos + 8 + length]);
    chunks.push_back(std::move(c));
    pos += 12 + length;
  }
  EXPECT_EQ(pos, File.size()) << "trailing bytes after the last chunk";
  return chunks;
}

std::vector<std::string> ChunkTypes(const TBytes& File) {
  std::vector<std::string> types;
  for (const TRawChunk& c : SplitChunks(File)) types.push_back(c.Type);
  return types;
}

TBytes FrameChunk(const std::string& Type, const TBytes& Data) {
  TBytes out;
  PutBE32(out, static_cast<std::uint32_t>(Data.size()));
  out.insert(out.end(), Type.begin(), Type.end());
  out.insert(out.end(), Data.begin(), Data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(Type.data()), 4);
  // zlib answers a null buffer with its initial value, so skip empty data.
  if (!Data.empty()) crc = crc32(crc, Data.data(), static_cast<uInt>(Data.size()));
  PutBE32(out, static_cast<std::uint32_t>(crc));
  return out;
}

TBytes BuildFile(const std::vector<TBytes>& Chunks) {
  TBytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const TBytes& c : Chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

TBytes HeaderData(std::uint32_t Width, std::uint32_t Height, std::uint8_t BitDepth,
                  std::uint8_t ColorType, std::uint8_t Interlace) {
  TBytes d;
  PutBE32(d, Width);
  PutBE32(d, Height);
  d.insert(d.end(), {BitDepth, ColorType, 0, 0, Interlace});
  return d;
}

TBytes Inflate(const TBytes& Compressed) {
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  TBytes out;
  std::uint8_t buf[65536];
  z.next_in = const_cast<Bytef*>(Compressed.data());
  z.avail_in = static_cast<uInt>(Compressed.size());
  int rc;
  do {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
  } while (rc == Z_OK);
  EXPECT_EQ(rc, Z_STREAM_END) << "image data is not one complete zlib stream";
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the zlib stream";
  inflateEnd(&z);
  return out;
}

TBytes Deflate(const TBytes& Plain) {
  uLongf size = compressBound(static_cast<uLong>(Plain.size()));
  TBytes out(size);
  EXPECT_EQ(compress(out.data(), &size, Plain.data(), static_cast<uLong>(Plain.size())), Z_OK);
  out.resize(size);
  return out;
}

TBytes InflatedImageData(const TBytes& File) {
  TBytes all;
  for (const TRawChunk& c : SplitChunks(File))
    if (c.Type == "IDAT") all.insert(all.end(), c.Data.begin(), c.Data.end());
  return Inflate(all);
}

namespace {

struct TReadSource {
  const TBytes* File;
  std::size_t Pos;
};

void ReadFromMemory(png_structp Png, png_bytep Out, png_size_t Count) {
  auto* src = static_cast<TReadSource*>(png_get_io_ptr(Png));
  if (src->Pos + Count > src->File->size()) png_error(Png, "read past the end");
  std::memcpy(Out, src->File->data() + src->Pos, Count);
  src->Pos += Count;
}

void OnError(png_structp Png, png_const_charp Message) {
  auto* error = static_cast<std::string*>(png_get_error_ptr(Png));
  *error = Message;
  png_longjmp(Png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors between setjmp and longjmp.
bool RunLibpng(const TBytes* File, TLibpngResult* Result, std::string* Error) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, Error, OnError, OnWarning);
  png_infop info = png_create_info_struct(png);
  TReadSource source{File, 0};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &source, ReadFromMemory);
  png_read_info(png, info);
  png_uint_32 width, height;
  int depth, color, interlace;
  png_get_IHDR(png, info, &width, &height, &depth, &color, &interlace, nullptr, nullptr);
  Result->Width = width;
  Result->Height = height;
  Result->BitDepth = depth;
  Result->ColorType = color;
  Result->Interlace = interlace;
  png_colorp palette;
  int entries = 0;
  if (png_get_PLTE(png, info, &palette, &entries) == PNG_INFO_PLTE)
    for (int i = 0; i < entries; ++i)
      Result->Palette.push_back({palette[i].red, palette[i].green, palette[i].blue, 0});
  double gamma;
  Result->HasGamma = png_get_gAMA(png, info, &gamma) != 0;
  // Interlaced images are put together by libpng, pass over pass.
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_size_t rowBytes = png_get_rowbytes(png, info);
  Result->Rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) Result->Rows[y].resize(rowBytes);
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, Result->Rows[y].data(), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

TLibpngResult DecodeWithLibpng(const TBytes& File) {
  TLibpngResult result;
  std::string error;
  result.Ok = RunLibpng(&File, &result, &error);
  result.Error = error;
  return result;
}

void FillPalette(host::TBitmap& Bitmap, unsigned Entries, unsigned Seed) {
  std::mt19937 rng(Seed);
  host::LOGPALETTE log;
  for (unsigned i = 0; i < Entries; ++i)
    log.palPalEntry.push_back({std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng()), 0});
  Bitmap.SetPalette(host::CreatePalette(log));
}

std::unique_ptr<host::TBitmap> MakeIndexedBitmap(host::TPixelFormat Format, int Width, int Height,
                                                 unsigned Seed) {
  auto result = std::make_unique<host::TBitmap>();
  host::TBitmap& bitmap = *result;
  bitmap.SetPixelFormat(Format);
  bitmap.SetSize(Width, Height);
  const int bits = host::BitsPerPixel(Format);
  FillPalette(bitmap, 1u << bits, Seed);
  std::mt19937 rng(Seed * 7 + 1);
  for (int y = 0; y < Height; ++y) {
    std::uint8_t* row = bitmap.ScanLine(y);
    const bool flat = rng() % 3 == 0;
    const std::int64_t bytes = bitmap.RowBytes();
    const std::uint8_t fill = std::uint8_t(rng());
    for (std::int64_t i = 0; i < bytes; ++i) row[i] = flat ? fill : std::uint8_t(rng());
  }
  return result;
}

std::unique_ptr<host::TBitmap> MakeRGBBitmap(host::TPixelFormat Format, int Width, int Height,
                                             unsigned Seed) {
  auto result = std::make_unique<host::TBitmap>();
  host::TBitmap& bitmap = *result;
  bitmap.SetPixelFormat(Format);
  bitmap.SetSize(Width, Height);
  const int bpp = host::BitsPerPixel(Format) / 8;
  std::mt19937 rng(Seed);
  for (int y = 0; y < Height; ++y) {
    std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < Width; ++x) {
      std::uint8_t* p = row + x * bpp;
      switch ((x / 13 + y / 7 + Seed) % 4) {
        case 0:  // flat
          p[0] = 200, p[1] = 100, p[2] = 50;
          break;
        case 1:  // horizontal gradient
          p[0] = std::uint8_t(x), p[1] = std::uint8_t(x * 2), p[2] = std::uint8_t(x * 3);
          break;
        case 2:  // vertical gradient
          p[0] = std::uint8_t(y), p[1] = std::uint8_t(y + 40), p[2] = std::uint8_t(255 - y);
          break;
        default:  // noise
          p[0] = std::uint8_t(rng()), p[1] = std::uint8_t(rng()), p[2] = std::uint8_t(rng());
          break;
      }
      if (bpp == 4) p[3] = std::uint8_t(rng());
    }
  }
  return result;
}

unsigned PackedIndex(const std::uint8_t* Row, int X, int Bits) {
  const int perByte = 8 / Bits;
  const int shift = 8 - Bits * (X % perByte + 1);
  return (Row[X / perByte] >> shift) & ((1u << Bits) - 1);
}

}  // namespace snapkit::testing
