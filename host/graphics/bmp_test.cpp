// BMP files: round trips, an independent reader and writer (Pillow,
// ImageMagick), and damaged input.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "host/graphics/bitmap.h"
#include "host/graphics/testing/images.h"
#include "host/system/exception.h"
#include "host/system/stream.h"

namespace host {
namespace {

using testing::MakePattern;
using testing::TRgbImage;
using testing::TScratchDir;

HPALETTE Palette(int Count) {
  LOGPALETTE lp;
  for (int i = 0; i < Count; ++i)
    lp.palPalEntry.push_back({static_cast<std::uint8_t>(i * 7 + 3),
                              static_cast<std::uint8_t>(255 - i * 5),
                              static_cast<std::uint8_t>((i * 53) & 0xFF), 0});
  return CreatePalette(lp);
}

std::unique_ptr<TBitmap> Sample(TPixelFormat Format, int W = 13, int H = 7) {
  std::unique_ptr<TBitmap> bp = MakePattern(W, H, Format);
  TBitmap& b = *bp;
  if (Format == pf1bit) b.SetPalette(Palette(2));
  if (Format == pf4bit) b.SetPalette(Palette(16));
  if (Format == pf8bit) b.SetPalette(Palette(256));
  return bp;
}

std::vector<std::uint8_t> Save(TBitmap& B) {
  TMemoryStream m;
  B.SaveToStream(m);
  return std::vector<std::uint8_t>(m.Memory(), m.Memory() + m.Size());
}

void Load(TBitmap& B, const std::vector<std::uint8_t>& Data) {
  TMemoryStream m;
  m.WriteBuffer(Data.data(), static_cast<std::int64_t>(Data.size()));
  m.SetPosition(0);
  B.LoadFromStream(m);
}

void ExpectSamePixels(const TBitmap& A, const TBitmap& B) {
  ASSERT_EQ(A.Width(), B.Width());
  ASSERT_EQ(A.Height(), B.Height());
  for (int y = 0; y < A.Height(); ++y)
    for (int x = 0; x < A.Width(); ++x)
      ASSERT_EQ(A.GetPixel(x, y), B.GetPixel(x, y)) << "at " << x << "," << y;
}

// Tolerance: 5- and 6-bit channels are widened to 8 bits by bit replication
// here and by truncated scaling in Pillow; both are within 1 of exact.
void ExpectSameAsPillow(const TBitmap& B, const TRgbImage& P, int Tolerance = 0) {
  TRgbImage ours = testing::ToRgb(B);
  ASSERT_EQ(ours.Width, P.Width);
  ASSERT_EQ(ours.Height, P.Height);
  int worst = 0;
  for (std::size_t i = 0; i < ours.Rgb.size(); ++i)
    worst = std::max(worst, std::abs(int(ours.Rgb[i]) - int(P.Rgb[i])));
  EXPECT_LE(worst, Tolerance);
}

class BmpFormats : public ::testing::TestWithParam<TPixelFormat> {};

TEST_P(BmpFormats, RoundTripKeepsFormatPaletteAndRows) {
  auto a_owner = Sample(GetParam());
  TBitmap& a = *a_owner;
  std::vector<std::uint8_t> file = Save(a);
  TBitmap b;
  Load(b, file);
  EXPECT_EQ(b.PixelFormat(), GetParam() == pfDevice ? pf32bit : GetParam());
  ASSERT_EQ(b.Width(), a.Width());
  ASSERT_EQ(b.Height(), a.Height());
  for (int y = 0; y < a.Height(); ++y)
    EXPECT_EQ(0, std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<std::size_t>(a.RowBytes())))
        << "row " << y;
  if (a.Palette()) {
    ASSERT_TRUE(b.Palette());
    ASSERT_EQ(a.Palette()->Entries.size(), b.Palette()->Entries.size());
    for (std::size_t i = 0; i < a.Palette()->Entries.size(); ++i) {
      EXPECT_EQ(a.Palette()->Entries[i].peRed, b.Palette()->Entries[i].peRed);
      EXPECT_EQ(a.Palette()->Entries[i].peBlue, b.Palette()->Entries[i].peBlue);
    }
  }
}

TEST_P(BmpFormats, PillowReadsTheSamePixels) {
  TScratchDir dir;
  auto a_owner = Sample(GetParam(), 37, 11);
  TBitmap& a = *a_owner;
  a.SaveToFile(dir.File("a.bmp"));
  TRgbImage p;
  ASSERT_TRUE(testing::ReadWithPillow(dir.File("a.bmp"), p)) << "Pillow could not read the file";
  ExpectSameAsPillow(a, p, GetParam() == pf15bit || GetParam() == pf16bit ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BmpFormats,
                         ::testing::Values(pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit,
                                           pf32bit, pfDevice));

TEST(BmpRead, FilesWrittenByPillowAndImageMagick) {
  TScratchDir dir;
  // Pillow writes 1-bit, 8-bit palette, 8-bit grey and 24-bit files;
  // ImageMagick a 4-bit file, a run-length 8-bit file and a 32-bit file with
  // bit-field masks in a version 5 header.
  int rc = testing::RunPython(
      "import sys, random\n"
      "from PIL import Image\n"
      "random.seed(7)\n"
      "d = sys.argv[1]\n"
      "w, h = 29, 9\n"
      "rgb = Image.frombytes('RGB', (w, h), bytes(random.randrange(256) for _ in range(w*h*3)))\n"
      "rgb.save(d + '/rgb.bmp')\n"
      "rgb.convert('1').save(d + '/mono.bmp')\n"
      "rgb.convert('L').save(d + '/grey.bmp')\n"
      "rgb.convert('P', palette=Image.ADAPTIVE, colors=200).save(d + '/pal.bmp')\n"
      "rgb.convert('P', palette=Image.ADAPTIVE, colors=12).save(d + '/pal16.png')\n"
      "rgb.save(d + '/rgb.png')\n",
      {dir.Path()});
  ASSERT_EQ(rc, 0);
  const std::string magick =
      "convert " + dir.File("pal16.png") + " -colors 12 -depth 4 BMP3:" + dir.File("pal4.bmp") +
      " && convert " + dir.File("pal16.png") + " -type Palette BMP3:" + dir.File("rle8.bmp") +
      " && convert " + dir.File("rgb.png") + " -alpha set BMP:" + dir.File("argb.bmp");
  ASSERT_EQ(std::system(magick.c_str()), 0);
  struct {
    const char* Name;
    TPixelFormat Format;
  } cases[] = {{"rgb.bmp", pf24bit}, {"mono.bmp", pf1bit}, {"grey.bmp", pf8bit},
               {"pal.bmp", pf8bit},  {"pal4.bmp", pf4bit}, {"argb.bmp", pf32bit},
               {"rle8.bmp", pf8bit}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBitmap b;
    b.LoadFromFile(dir.File(c.Name));
    EXPECT_EQ(b.PixelFormat(), c.Format);
    TRgbImage p;
    ASSERT_TRUE(testing::ReadWithPillow(dir.File(c.Name), p));
    ExpectSameAsPillow(b, p);
  }
}

TEST(BmpRead, TopDownRowsLoadLikeBottomUp) {
  auto a_owner = Sample(pf24bit, 5, 4);
  TBitmap& a = *a_owner;
  std::vector<std::uint8_t> file = Save(a);
  std::vector<std::uint8_t> flipped(file.begin(), file.begin() + 54);
  std::int32_t h = -4;
  std::memcpy(&flipped[22], &h, 4);
  const std::size_t row = static_cast<std::size_t>(a.RowBytes());
  for (int y = 3; y >= 0; --y)
    flipped.insert(flipped.end(), file.begin() + 54 + y * row, file.begin() + 54 + (y + 1) * row);
  TBitmap b;
  Load(b, flipped);
  ExpectSamePixels(a, b);
}

TEST(BmpRead, SixteenBitMasksOtherThanTheStandardOnesDecodeTo24Bits) {
  // 4-4-4 in a 16-bit word, one pixel of each primary at full strength.
  auto probe_owner = Sample(pf16bit, 3, 1);
  TBitmap& probe = *probe_owner;
  std::vector<std::uint8_t> file = Save(probe);
  const std::uint32_t masks[3] = {0x0F00, 0x00F0, 0x000F};
  std::memcpy(&file[54], masks, 12);
  const std::uint16_t px[3] = {0x0F00, 0x00F0, 0x0008};
  std::memcpy(&file[66], px, 6);
  TBitmap b;
  Load(b, file);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(b.GetPixel(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(b.GetPixel(2, 0), RGB(0, 0, 136));  // 8 of 15, rounded
}

// --- damaged and hostile input ----------------------------------------------

std::vector<std::uint8_t> Header(std::int32_t W, std::int32_t H, std::uint16_t Bits,
                                 std::uint32_t Compression = 0, std::uint32_t Colors = 0) {
  std::vector<std::uint8_t> f(54, 0);
  f[0] = 'B';
  f[1] = 'M';
  std::uint32_t off = 54, hs = 40;
  std::uint16_t planes = 1;
  std::memcpy(&f[10], &off, 4);
  std::memcpy(&f[14], &hs, 4);
  std::memcpy(&f[18], &W, 4);
  std::memcpy(&f[22], &H, 4);
  std::memcpy(&f[26], &planes, 2);
  std::memcpy(&f[28], &Bits, 2);
  std::memcpy(&f[30], &Compression, 4);
  std::memcpy(&f[46], &Colors, 4);
  f.resize(54 + 4096, 0x55);  // some bytes of "pixels"
  return f;
}

TEST(BmpRead, RunLengthEightBitsWithEveryCode) {
  // 5x3, bottom row first: a run and a padded literal; end of line, a delta
  // three to the right and a run clipped at the right edge; end of line, a
  // run, end of bitmap.
  std::vector<std::uint8_t> f = Header(5, 3, 8, 1, 4);
  const std::uint8_t rle[] = {2, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 3, 0, 9, 3, 0, 0, 1, 1, 0, 1};
  f.resize(54);
  const std::uint8_t pal[16] = {0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0};
  f.insert(f.end(), pal, pal + 16);
  f.insert(f.end(), rle, rle + sizeof rle);
  std::uint32_t off = 54 + 16, size = sizeof rle;
  std::memcpy(&f[10], &off, 4);
  std::memcpy(&f[34], &size, 4);
  TBitmap b;
  Load(b, f);
  ASSERT_EQ(b.PixelFormat(), pf8bit);
  const int expected[3][5] = {{1, 0, 0, 0, 0}, {0, 0, 0, 3, 3}, {1, 1, 2, 3, 1}};
  const TColor colours[4] = {RGB(0, 0, 0), RGB(0, 0, 255), RGB(0, 255, 0), RGB(255, 0, 0)};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(b.GetPixel(x, y), colours[expected[y][x]]) << x << "," << y;
}

TEST(BmpRead, RunLengthFourBits) {
  // 6x1: a run alternating two indices, then a literal of three (odd) pixels.
  std::vector<std::uint8_t> f = Header(6, 1, 4, 2, 3);
  const std::uint8_t rle[] = {3, 0x12, 0, 3, 0x21, 0x00, 0, 1};
  f.resize(54);
  const std::uint8_t pal[12] = {0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0};
  f.insert(f.end(), pal, pal + 12);
  f.insert(f.end(), rle, rle + sizeof rle);
  std::uint32_t off = 54 + 12, size = sizeof rle;
  std::memcpy(&f[10], &off, 4);
  std::memcpy(&f[34], &size, 4);
  TBitmap b;
  Load(b, f);
  ASSERT_EQ(b.PixelFormat(), pf4bit);
  const int expected[6] = {1, 2, 1, 2, 1, 0};
  const TColor colours[3] = {RGB(0, 0, 0), RGB(0, 0, 255), RGB(0, 255, 0)};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(b.GetPixel(x, 0), colours[expected[x]]) << x;
}

// Run-length files of Width x Height whose data is an end-of-bitmap code
// after Filler bytes of literal-free runs (one pixel each, index 0).
std::vector<std::uint8_t> SparseRunLength(std::int32_t W, std::int32_t H, std::size_t Filler) {
  std::vector<std::uint8_t> f = Header(W, H, 8, 1, 2);
  f.resize(54 + 8);  // two palette entries
  for (std::size_t i = 0; i < Filler / 2; ++i) f.insert(f.end(), {1, 0});
  f.insert(f.end(), {0, 1});
  std::uint32_t off = 54 + 8, size = static_cast<std::uint32_t>(f.size() - off);
  std::memcpy(&f[10], &off, 4);
  std::memcpy(&f[34], &size, 4);
  return f;
}

TEST(BmpRead, RunLengthSizeIsBoundedByItsData) {
  TBitmap b;
  // 64 K x 16 K pixels from 2 bytes would be a 1 GiB bitmap: refused
  // before anything is allocated.
  EXPECT_THROW(Load(b, SparseRunLength(1 << 16, 1 << 14, 0)), EInvalidGraphic);
  EXPECT_TRUE(b.Empty());
  // Small pictures load however little data they have: 2048 x 2048.
  Load(b, SparseRunLength(2048, 2048, 0));
  EXPECT_EQ(b.Width(), 2048);
  EXPECT_EQ(b.GetPixel(2047, 0), RGB(0x55, 0x55, 0x55));
  // Above that, 1024 pixels per byte of data: 4096 x 4096 needs 16 KiB.
  EXPECT_THROW(Load(b, SparseRunLength(4096, 4096, 16 * 1024 - 4)), EInvalidGraphic);
  Load(b, SparseRunLength(4096, 4096, 16 * 1024));
  EXPECT_EQ(b.Height(), 4096);
}

TEST(BmpRead, RefusesDamagedFilesAndKeepsThePicture) {
  const std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  std::vector<std::pair<const char*, std::vector<std::uint8_t>>> bad = {
      {"empty", {}},
      {"not a bitmap", {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"zero width", Header(0, 10, 24)},
      {"zero height", Header(10, 0, 24)},
      {"negative width", Header(-5, 10, 24)},
      {"huge width", Header(0x7FFFFFFF, 1, 24)},
      {"most negative height", Header(1, kMin, 24)},
      {"too many bytes", Header(1 << 20, 1 << 20, 32)},
      {"pixels missing", Header(1000, 1000, 24)},
      {"2 bits", Header(4, 4, 2)},
      {"run-length on 24 bits", Header(4, 4, 24, 1)},
      {"run-length without an end", Header(4, 4, 8, 1)},
      {"unknown compression", Header(4, 4, 24, 99)},
      {"colour table too long", Header(4, 4, 8, 0, 100000)},
      {"bit fields on 8 bits", Header(4, 4, 8, 3)},
  };
  auto odd = Header(4, 4, 24);
  odd[14] = 20;  // header size
  bad.push_back({"unknown header size", odd});
  auto planes = Header(4, 4, 24);
  planes[26] = 0;
  bad.push_back({"no planes", planes});
  auto far = Header(4, 4, 24);
  far[10] = 0xFF;
  far[11] = 0xFF;
  far[12] = 0xFF;
  bad.push_back({"pixel offset past the end", far});
  auto holes = Header(2, 2, 16, 3);
  const std::uint32_t masks[3] = {0xF0F0, 0x0F00, 0x000F};
  std::memcpy(&holes[54], masks, 12);
  bad.push_back({"non-contiguous mask", holes});

  auto b_owner = Sample(pf24bit, 3, 3);
  TBitmap& b = *b_owner;
  const TColor before = b.GetPixel(1, 1);
  for (const auto& [what, data] : bad) {
    SCOPED_TRACE(what);
    EXPECT_THROW(Load(b, data), EInvalidGraphic);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.GetPixel(1, 1), before);
  }
}

TEST(BmpRead, EveryTruncationIsRefused) {
  auto a_owner = Sample(pf8bit, 9, 5);
  TBitmap& a = *a_owner;
  std::vector<std::uint8_t> file = Save(a);
  for (std::size_t n = 0; n < file.size(); ++n) {
    std::vector<std::uint8_t> part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
    TBitmap b;
    EXPECT_THROW(Load(b, part), EInvalidGraphic) << n << " bytes";
  }
}

TEST(BmpRead, RandomDamageNeverCrashes) {
  // Under the sanitizers this also shows that nothing reads outside a buffer.
  std::vector<std::vector<std::uint8_t>> files;
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf16bit, pf24bit}) {
    auto a_owner = Sample(f, 6, 3);
    TBitmap& a = *a_owner;
    files.push_back(Save(a));
  }
  std::uint32_t seed = 99;
  int loaded = 0, refused = 0;
  for (int i = 0; i < 3000; ++i) {
    std::vector<std::uint8_t> f = files[static_cast<std::size_t>(i) % files.size()];
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245u + 12345u;
      std::size_t pos = (seed >> 8) % std::min<std::size_t>(f.size(), 120);
      f[pos] = static_cast<std::uint8_t>(seed >> 24);
    }
    TBitmap b;
    try {
      Load(b, f);
      ++loaded;
      EXPECT_GT(b.Width(), 0);
    } catch (const Exception&) {
      ++refused;
    }
  }
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
}

TEST(BmpWrite, WritesAtTheStreamPositionAndKeepsWhatSurroundsIt) {
  auto a_owner = Sample(pf24bit, 6, 4);
  TBitmap& a = *a_owner;
  const std::int64_t fileSize = static_cast<std::int64_t>(Save(a).size());
  TMemoryStream m;
  std::vector<std::uint8_t> filler(static_cast<std::size_t>(fileSize + 20), 0xAB);
  m.WriteBuffer(filler.data(), static_cast<std::int64_t>(filler.size()));
  m.SetPosition(7);
  a.SaveToStream(m);
  EXPECT_EQ(m.Position(), 7 + fileSize);
  EXPECT_EQ(m.Size(), static_cast<std::int64_t>(filler.size()));
  EXPECT_EQ(m.Memory()[6], 0xAB);
  EXPECT_EQ(m.Memory()[7 + fileSize], 0xAB);
  m.SetPosition(7);
  TBitmap b;
  b.LoadFromStream(m);
  EXPECT_EQ(m.Position(), 7 + fileSize);
  ExpectSamePixels(a, b);
}

TEST(BmpWrite, EmptyBitmapWritesAHeaderThatLoadingRefuses) {
  TBitmap empty;
  std::vector<std::uint8_t> file = Save(empty);
  ASSERT_EQ(file.size(), 54u);
  TBitmap b;
  EXPECT_THROW(Load(b, file), EInvalidGraphic);
}

}  // namespace
}  // namespace host
