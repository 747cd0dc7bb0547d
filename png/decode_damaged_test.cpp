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
  // 1.2 GB of pixels a bitmap could hold, but 64 compressed bytes can never
  // inflate to them: refused before anything that size is allocated.
  const TBytes data = testing::Deflate(TBytes(64, 0));
  for (bool interlaced : {false, true}) {
    TPNGImage image;
    EXPECT_EQ(LoadError(image, File(testing::HeaderData(20000, 20000, 8, 2, interlaced), data)),
              PNGErrorMessage(_PNG_ERROR_NO_IDAT));
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
  }
  // A 1-bit image needs an eighth of a byte per pixel: 4000 x 4000 still
  // fits what 2 KB of (stored, uncompressed) data may inflate to, so it
  // loads, the rows the data lacks as zeros.
  TBytes stored(4096);
  uLongf storedSize = stored.size();
  const TBytes zeros(2048, 0);
  ASSERT_EQ(compress2(stored.data(), &storedSize, zeros.data(), zeros.size(), 0), Z_OK);
  stored.resize(storedSize);
  TPNGImage image;
  testing::LoadFromBytes(image, File(testing::HeaderData(4000, 4000, 1, 0), stored));
  EXPECT_EQ(image.Width(), 4000);
  EXPECT_TRUE(RowIsZero(image, 3999));
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
