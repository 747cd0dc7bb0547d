// Damaged and hostile files: refused cleanly, or decoded with every byte of
// the bitmap defined.

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "host/graphics/bitmap.h"
#include "png/errors.h"
#include "png/png_image.h"
#include "png/testing/libpng_writer.h"
#include "png/testing/png_testing.h"
#include "zstream/errors.h"

namespace snapkit {
namespace {

using testing::TBytes;

TBytes File(const TBytes& Header, const TBytes& Compressed, const TBytes& Palette = {}) {
  std::vector<TBytes> chunks = {testing::FrameChunk("IHDR", Header)};
  if (!Palette.empty()) chunks.push_back(testing::FrameChunk("PLTE", Palette));
  chunks.push_back(testing::FrameChunk("IDAT", Compressed));
  chunks.push_back(testing::FrameChunk("IEND", {}));
  return testing::BuildFile(chunks);
}

// A 24-bit image as libpng writes it, with its unfiltered rows.
struct TSample {
  testing::TLibpngImage Source;
  TBytes File;
};
TSample RGBSample(int Width, int Height, bool Interlaced = false) {
  TSample s{testing::RandomImage(Width, Height, 2, 8, 42), {}};
  s.Source.Interlaced = Interlaced;
  s.File = testing::WriteWithLibpng(s.Source);
  return s;
}

// Row Y of the bitmap equals the source's row (red first there, blue here).
bool RowMatches(const TPNGImage& Image, const testing::TLibpngImage& Source, int Y) {
  const std::uint8_t* line = Image.ScanLine(Y);
  for (int i = 0; i < 3 * Image.Width(); ++i)
    if (line[i] != Source.Rows[Y][i / 3 * 3 + 2 - i % 3]) return false;
  return true;
}

bool RowIsZero(const TPNGImage& Image, int Y) {
  const std::uint8_t* line = Image.ScanLine(Y);
  for (std::int64_t i = 0; i < Image.RowBytes(); ++i)
    if (line[i]) return false;
  return true;
}

std::string LoadError(TPNGImage& Image, const TBytes& Bytes) {
  try {
    testing::LoadFromBytes(Image, Bytes);
  } catch (const EPNGImageException& e) {
    return e.Message();
  }
  return "no error";
}

TEST(DecodeDamaged, SizesNoBitmapCanHoldAreRefusedBeforeSizing) {
  const TBytes data = testing::Deflate(TBytes(64, 0));
  struct TCase {
    std::uint32_t Width, Height;
    std::uint8_t ColorType, Depth;
  };
  for (TCase c : {TCase{0x80000000u, 1, 2, 8},
                  {1, 0xFFFFFFFFu, 0, 1},
                  {100000, 100000, 6, 8},
                  {(1u << 20) + 1, 1, 0, 8},
                  {0xFFFFFFFFu, 0xFFFFFFFFu, 6, 16}}) {
    SCOPED_TRACE(::testing::Message() << c.Width << " x " << c.Height);
    TPNGImage image;
    EXPECT_THROW(
        testing::LoadFromBytes(
            image, File(testing::HeaderData(c.Width, c.Height, c.Depth, c.ColorType), data)),
        host::EOutOfMemory);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
  }
}

TEST(DecodeDamaged, SizesFarBeyondWhatTheDataCouldHoldAreRefusedBeforeSizing) {
  // Bitmaps of 3.6 GB, 450 MB and 1.2 GB that a bitmap could hold, but a
  // file of about 300 bytes can never inflate to them: refused as corrupt
  // before anything that size is allocated.
  TBytes data = testing::Deflate(testing::RandomImage(200, 1, 0, 8, 7).Rows[0]);
  struct TCase {
    std::uint32_t Width, Height;
    std::uint8_t Depth, ColorType, Interlace;
  };
  for (TCase c : {TCase{60000, 60000, 8, 0, 0}, TCase{60000, 60000, 1, 0, 1},
                  TCase{20000, 20000, 8, 2, 0}, TCase{20000, 20000, 8, 2, 1}}) {
    SCOPED_TRACE(::testing::Message() << c.Width << " x " << c.Height << " type "
                                      << int(c.ColorType) << " interlace " << int(c.Interlace));
    const TBytes file =
        File(testing::HeaderData(c.Width, c.Height, c.Depth, c.ColorType, c.Interlace), data);
    EXPECT_LT(file.size(), 320u);
    TPNGImage image;
    EXPECT_EQ(LoadError(image, file), PNGErrorMessage(_PNG_ERROR_CHUNK_INVALID_CRC));
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
  }
}

// A screenshot-like 2000 x 2000 picture: flat bands and a few busy blocks,
// so that its image data is small (a few dozen KB for 12 MB of pixels).
testing::TLibpngImage FlatPicture(std::uint32_t Width, std::uint32_t Height) {
  testing::TLibpngImage image = testing::RandomImage(Width, Height, 2, 8, 5);
  for (std::uint32_t y = 0; y < Height; ++y)
    for (std::uint32_t x = 0; x < Width; ++x) {
      if ((y / 150) % 3 == 1 && x / 10 == y / 150 % 7) continue;  // keep the noise
      std::uint8_t* p = &image.Rows[y][3 * x];
      p[0] = std::uint8_t(y / 40 * 13);
      p[1] = std::uint8_t(200 + x / 500);
      p[2] = std::uint8_t(255 - y / 100);
    }
  return image;
}

// A large file cut short, whether in its image data or at a chunk boundary
// as a broken download ends, loads: the rows the data holds exactly, the
// rest blank. The data is far too short to fill the image, but the bitmap
// is within what such files may cost.
TEST(DecodeDamaged, ALargeFileCutShortLoadsItsTopRows) {
  const testing::TLibpngImage source = FlatPicture(2000, 2000);
  const TBytes whole = testing::WriteWithLibpng(source);
  TBytes compressed;
  for (const testing::TRawChunk& c : testing::SplitChunks(whole))
    if (c.Type == "IDAT") compressed.insert(compressed.end(), c.Data.begin(), c.Data.end());
  ASSERT_LT(compressed.size() * 1032 / 5, 2000u * 6001) << "too much data to show the case";

  // Cut at a chunk boundary: every chunk up to the one reaching 20% of the data.
  TBytes download(whole.begin(), whole.begin() + 33);
  std::size_t seen = 0;
  for (const testing::TRawChunk& c : testing::SplitChunks(whole)) {
    if (c.Type != "IDAT") continue;
    const TBytes framed = testing::FrameChunk("IDAT", c.Data);
    download.insert(download.end(), framed.begin(), framed.end());
    seen += c.Data.size();
    if (seen >= compressed.size() / 5) break;
  }
  struct TCase {
    const char* Name;
    TBytes File;
    std::size_t Kept;  // image data bytes in the file
  };
  const TBytes fifth(compressed.begin(), compressed.begin() + compressed.size() / 5);
  for (const TCase& c : {TCase{"image data cut to a fifth",
                               File(testing::HeaderData(2000, 2000, 8, 2), fifth), fifth.size()},
                         TCase{"download cut after an IDAT chunk", download, seen}}) {
    SCOPED_TRACE(c.Name);
    // zlib tells how many rows the kept data holds.
    z_stream z{};
    ASSERT_EQ(inflateInit(&z), Z_OK);
    TBytes inflated(2000 * 6001);
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = uInt(c.Kept);
    z.next_out = inflated.data();
    z.avail_out = uInt(inflated.size());
    inflate(&z, Z_SYNC_FLUSH);
    const int complete = int(z.total_out / 6001);
    inflateEnd(&z);
    ASSERT_GT(complete, 100);
    ASSERT_LT(complete, 1900);

    TPNGImage image;
    testing::LoadFromBytes(image, c.File);
    ASSERT_EQ(image.Width(), 2000);
    ASSERT_EQ(image.Height(), 2000);
    for (int y = 0; y < complete; ++y) ASSERT_TRUE(RowMatches(image, source, y)) << y;
    for (int y = complete + 1; y < 2000; ++y) ASSERT_TRUE(RowIsZero(image, y)) << y;
  }
}

TEST(DecodeDamaged, ColourTypesAndDepthsPngDoesNotAllowAreRefused) {
  const TBytes data = testing::Deflate(TBytes(200, 0));
  const std::pair<int, int> pairs[] = {{0, 0},  {0, 3}, {0, 9}, {0, 15}, {0, 32}, {2, 1}, {2, 4},
                                       {3, 16}, {4, 4}, {6, 2}, {1, 8},  {5, 8},  {7, 8}, {255, 8}};
  for (auto [type, depth] : pairs) {
    SCOPED_TRACE(::testing::Message() << "colour type " << type << " depth " << depth);
    TPNGImage image;
    const auto format = image.PixelFormat();
    EXPECT_EQ(LoadError(image, File(testing::HeaderData(4, 4, depth, type), data, {1, 2, 3})),
              PNGErrorMessage(_PNG_ERROR_INVALID_COLOR_TYPE));
    EXPECT_EQ(image.PixelFormat(), format);
    EXPECT_EQ(image.Width(), 0);
  }
}

TEST(DecodeDamaged, HeaderErrorsRaiseTheirOwnMessages) {
  const TBytes data = testing::Deflate(TBytes(100, 0));
  TPNGImage image;
  EXPECT_EQ(LoadError(image, File(testing::HeaderData(3, 4, 8, 3), data)),
            PNGErrorMessage(_PNG_ERROR_NO_PALETTE));
  EXPECT_EQ(LoadError(image, File(testing::HeaderData(3, 4, 8, 2, 2), data)),
            PNGErrorMessage(_PNG_ERROR_INVALID_INTERLACE));
  // The bitmap was sized before the interlace method was looked at.
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.Height(), 4);
}

TEST(DecodeDamaged, ImageDataThatEndsEarlyLeavesTheMissingRowsZero) {
  // A complete zlib stream holding sixty and a half rows, long enough that
  // the decoder's buffer has held earlier rows where the missing ones go.
  const TSample sample = RGBSample(1000, 100);
  TBytes raw = testing::InflatedImageData(sample.File);
  raw.resize(60 * 3001 + 100);
  TPNGImage image;
  testing::LoadFromBytes(image, File(testing::HeaderData(1000, 100, 8, 2), testing::Deflate(raw)));
  for (int y = 0; y < 60; ++y) ASSERT_TRUE(RowMatches(image, sample.Source, y)) << y;
  for (int y = 61; y < 100; ++y) ASSERT_TRUE(RowIsZero(image, y)) << y;

  // Compressed data cut in half: zlib runs dry in the middle of the stream.
  const TSample big = RGBSample(64, 64);
  TBytes compressed = testing::InflatedImageData(big.File);
  compressed = testing::Deflate(compressed);
  compressed.resize(compressed.size() / 2);
  testing::LoadFromBytes(image, File(testing::HeaderData(64, 64, 8, 2), compressed));
  EXPECT_TRUE(RowMatches(image, big.Source, 0));
  EXPECT_TRUE(RowIsZero(image, 63));

  // The same for an interlaced file: the first pass arrived, the last did not.
  const TSample woven = RGBSample(64, 64, true);
  compressed = testing::Deflate(testing::InflatedImageData(woven.File));
  compressed.resize(compressed.size() / 3);
  testing::LoadFromBytes(image, File(testing::HeaderData(64, 64, 8, 2, 1), compressed));
  const std::uint8_t* first = image.ScanLine(0);
  EXPECT_EQ(first[2], woven.Source.Rows[0][0]);
  EXPECT_TRUE(RowIsZero(image, 63));
}

// Readers have always taken this; the decoder's whole-buffer road must hand
// it on to the streaming one rather than refuse it.
TEST(DecodeDamaged, DataThatInflatesBeyondTheImageStillDecodes) {
  for (bool interlaced : {false, true}) {
    const TSample sample = RGBSample(97, 31, interlaced);
    TBytes raw = testing::InflatedImageData(sample.File);
    raw.resize(raw.size() + 700, 3);
    TPNGImage image;
    testing::LoadFromBytes(
        image, File(testing::HeaderData(97, 31, 8, 2, interlaced ? 1 : 0), testing::Deflate(raw)));
    for (int y = 0; y < 31; ++y)
      ASSERT_TRUE(RowMatches(image, sample.Source, y)) << interlaced << " row " << y;
  }
}

TEST(DecodeDamaged, CorruptDataRaisesAfterTheRowsThatArrived) {
  const TSample sample = RGBSample(200, 200);
  const TBytes raw = testing::InflatedImageData(sample.File);
  // Stored blocks put the damage at a known place: break the length check
  // of the second block.
  uLongf size = compressBound(uLong(raw.size()));
  TBytes stored(size);
  ASSERT_EQ(compress2(stored.data(), &size, raw.data(), uLong(raw.size()), 0), Z_OK);
  stored.resize(size);
  const std::size_t firstLength = stored[3] | stored[4] << 8;
  ASSERT_LT(firstLength, raw.size());
  stored[2 + 5 + firstLength + 3] ^= 0xFF;

  TPNGImage image;
  try {
    testing::LoadFromBytes(image, File(testing::HeaderData(200, 200, 8, 2), stored));
    ADD_FAILURE() << "no error";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message(), "data error");
  }
  const int complete = int(firstLength / 601);
  for (int y = 0; y < complete; ++y) ASSERT_TRUE(RowMatches(image, sample.Source, y)) << y;
  for (int y = complete; y < 200; ++y) ASSERT_TRUE(RowIsZero(image, y)) << y;
}

TEST(DecodeDamaged, UnknownFilterTypeRaisesAfterTheRowsBeforeIt) {
  const TSample sample = RGBSample(5, 4);
  TBytes raw = testing::InflatedImageData(sample.File);
  raw[3 * 16] = 5;  // the last row's filter type
  TPNGImage image;
  EXPECT_EQ(LoadError(image, File(testing::HeaderData(5, 4, 8, 2), testing::Deflate(raw))),
            PNGErrorMessage(_PNG_ERROR_INVALID_FILTER_TYPE));
  for (int y = 0; y < 3; ++y) EXPECT_TRUE(RowMatches(image, sample.Source, y)) << y;
  EXPECT_TRUE(RowIsZero(image, 3));
}

TEST(DecodeDamaged, EmptyDimensionsDecodeToNothing) {
  for (int interlace : {0, 1}) {
    TPNGImage image;
    testing::LoadFromBytes(
        image, File(testing::HeaderData(0, 5, 8, 2, interlace), testing::Deflate(TBytes(5, 0))));
    EXPECT_TRUE(image.Empty());
  }
}

}  // namespace
}  // namespace snapkit
