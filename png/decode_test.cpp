// Loading whole files: libpng writes them and decodes them as the reference;
// the bitmap must hold exactly what the placement and palette rules make of
// libpng's samples.

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <vector>

#include "host/graphics/bitmap.h"
#include "png/chunk_gama.h"
#include "png/errors.h"
#include "png/png_image.h"
#include "png/testing/libpng_writer.h"
#include "png/testing/png_testing.h"
#include "zstream/errors.h"

namespace snapkit {
namespace {

using testing::TBytes;

int Channels(int ColorType) {
  return ColorType == 2 ? 3 : ColorType == 4 ? 2 : ColorType == 6 ? 4 : 1;
}

// Sample C of pixel X, the high byte for 16-bit samples.
unsigned Sample(const std::vector<std::uint8_t>& Row, int X, int C, int ColorType, int Depth) {
  const int index = X * Channels(ColorType) + C;
  if (Depth < 8) return testing::PackedIndex(Row.data(), index, Depth);
  return Row[std::size_t(index) * (Depth / 8)];
}

struct TDecoded {
  host::TPixelFormat Format = host::pfDevice;
  std::vector<unsigned> Palette;              // red | green << 8 | blue << 16 | flags << 24
  std::vector<std::vector<unsigned>> Pixels;  // index, or blue | green << 8 | red << 16
};

unsigned Pack(const host::PALETTEENTRY& E) {
  return E.peRed | E.peGreen << 8 | E.peBlue << 16 | unsigned(E.peFlags) << 24;
}

TDecoded Expected(const testing::TLibpngImage& Ref, const std::uint8_t* Gamma) {
  const int ct = Ref.ColorType, d = Ref.BitDepth;
  TDecoded p;
  if (ct == 2 || ct == 6) {
    p.Format = host::pf24bit;
  } else {
    p.Format = d == 1 ? host::pf1bit : d <= 4 ? host::pf4bit : host::pf8bit;
    std::vector<unsigned> base;
    if (ct == 3) {
      for (const auto& c : Ref.Palette)
        base.push_back(Pack({Gamma[c[0]], Gamma[c[1]], Gamma[c[2]], 0}));
    } else {
      const int n = (ct == 4 || d == 16) ? 256 : 1 << d;
      for (int i = 0; i < n; ++i) {
        const auto grey = Gamma[i * 255 / (n - 1)];  // 255 / (n - 1) is whole here
        base.push_back(Pack({grey, grey, grey, 4}));
      }
    }
    p.Palette = base;
    if (d == 2 && base.size() < 16)
      for (std::size_t i = base.size(); i < 16; ++i) p.Palette.push_back(base[i % 4]);
  }
  for (const auto& row : Ref.Rows) {
    std::vector<unsigned> out;
    for (int x = 0; x < int(Ref.Width); ++x) {
      if (ct == 2 || ct == 6)
        out.push_back(Gamma[Sample(row, x, 2, ct, d)] | Gamma[Sample(row, x, 1, ct, d)] << 8 |
                      Gamma[Sample(row, x, 0, ct, d)] << 16);
      else
        out.push_back(d == 2 ? 5 * Sample(row, x, 0, ct, d) : Sample(row, x, 0, ct, d));
    }
    p.Pixels.push_back(out);
  }
  return p;
}

TDecoded Actual(const TPNGImage& Image) {
  TDecoded p;
  p.Format = Image.PixelFormat();
  if (Image.Palette()) {
    host::PALETTEENTRY entries[256];
    const unsigned n = host::GetPaletteEntries(Image.Palette(), 0, 256, entries);
    for (unsigned i = 0; i < n; ++i) p.Palette.push_back(Pack(entries[i]));
  }
  const int bits = host::BitsPerPixel(p.Format);
  for (int y = 0; y < Image.Height(); ++y) {
    const std::uint8_t* row = Image.ScanLine(y);
    std::vector<unsigned> out;
    for (int x = 0; x < Image.Width(); ++x)
      out.push_back(bits == 24 ? row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16
                               : testing::PackedIndex(row, x, bits));
    p.Pixels.push_back(out);
  }
  return p;
}

const std::uint8_t* GammaTableOf(TPNGImage& Image) {
  static std::array<std::uint8_t, 256> identity = [] {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = std::uint8_t(i);
    return t;
  }();
  const int index = Image.Chunks().IndexOfClass(&TChunkGAMA::ClassInfo);
  if (index < 0) return identity.data();
  return static_cast<TChunkGAMA*>(Image.Chunks().GetItem(index))->GammaTable();
}

void ExpectSamePicture(const TDecoded& Want, const TDecoded& Got) {
  EXPECT_EQ(Got.Format, Want.Format);
  EXPECT_TRUE(Got.Palette == Want.Palette)
      << "palette of " << Got.Palette.size() << " entries, " << Want.Palette.size() << " wanted";
  ASSERT_EQ(Got.Pixels.size(), Want.Pixels.size());
  for (std::size_t y = 0; y < Want.Pixels.size(); ++y)
    ASSERT_EQ(Got.Pixels[y], Want.Pixels[y]) << "row " << y;
}

struct TFormat {
  int ColorType, BitDepth;
};
const TFormat kFormats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                            {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
// One pixel, one column, one row, sizes that leave Adam7 passes empty, odd sizes.
const std::pair<int, int> kSizes[] = {{1, 1}, {1, 13}, {13, 1}, {3, 5}, {5, 3}, {17, 9}, {35, 20}};

void CheckAgainstLibpng(const testing::TLibpngImage& Source) {
  const TBytes file = testing::WriteWithLibpng(Source);
  const testing::TLibpngImage reference = testing::ReadWithLibpng(file);
  // The fixture itself: libpng gives back what it was given.
  ASSERT_EQ(reference.Rows, Source.Rows);
  TPNGImage image;
  testing::LoadFromBytes(image, file);
  ExpectSamePicture(Expected(reference, GammaTableOf(image)), Actual(image));
}

TEST(DecodeImage, EveryFormatInterlacedOrNotWithEachFilterMatchesLibpng) {
  unsigned seed = 1;
  for (const TFormat& f : kFormats)
    for (auto [w, h] : kSizes)
      for (bool interlaced : {false, true})
        for (int filter = -1; filter <= 4; ++filter) {
          SCOPED_TRACE(::testing::Message()
                       << "colour type " << f.ColorType << " depth " << f.BitDepth << ", " << w
                       << "x" << h << (interlaced ? " interlaced" : "") << ", filter " << filter);
          auto source = testing::RandomImage(w, h, f.ColorType, f.BitDepth, seed++);
          source.Interlaced = interlaced;
          source.Filter = filter;
          ASSERT_NO_FATAL_FAILURE(CheckAgainstLibpng(source));
          if (filter >= 1 && !interlaced && h > 1 && w > 1) {
            // The forced filter really is in the file (libpng writes rows of
            // one pixel unfiltered).
            const TBytes data = testing::InflatedImageData(testing::WriteWithLibpng(source));
            const std::size_t stride = testing::PngRowBytes(w, f.ColorType, f.BitDepth) + 1;
            EXPECT_EQ(data[stride], filter);
          }
        }
}

TEST(DecodeImage, GammaMapsColourSamplesAndPalettes) {
  unsigned seed = 5000;
  for (std::uint32_t gamma : {45455u, 100000u, 22000u})
    for (const TFormat& f : kFormats)
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "gamma " << gamma << ", colour type " << f.ColorType
                                          << " depth " << f.BitDepth);
        auto source = testing::RandomImage(19, 11, f.ColorType, f.BitDepth, seed++);
        source.Interlaced = interlaced;
        source.Gamma = gamma;
        ASSERT_NO_FATAL_FAILURE(CheckAgainstLibpng(source));
      }
  // The tables used above are real corrections: 1/2.2 is the identity, 1.0
  // brightens mid-grey.
  auto source = testing::RandomImage(2, 2, 2, 8, 1);
  source.Gamma = 100000;
  TPNGImage image;
  testing::LoadFromBytes(image, testing::WriteWithLibpng(source));
  EXPECT_EQ(GammaTableOf(image)[128], 186);
}

TEST(DecodeImage, WhatTheWriterSavesLoadsBackUnchanged) {
  unsigned seed = 9000;
  for (auto format : {host::pf1bit, host::pf4bit, host::pf8bit, host::pf24bit, host::pf32bit})
    for (auto [w, h] : {std::pair{1, 1}, {7, 3}, {33, 17}, {64, 40}})
      for (TEncodeFilterSet filters : {TEncodeFilterSet(0), DefaultFilterSet, AllFilters}) {
        SCOPED_TRACE(::testing::Message() << "format " << format << ", " << w << "x" << h);
        auto bitmap = host::BitsPerPixel(format) >= 24
                          ? testing::MakeRGBBitmap(format, w, h, seed++)
                          : testing::MakeIndexedBitmap(format, w, h, seed++);
        TPNGImage saved;
        saved.Assign(*bitmap);
        saved.SetFilter(filters);
        const TBytes file = testing::SaveToBytes(saved);
        TPNGImage loaded;
        testing::LoadFromBytes(loaded, file);
        // Saving converted anything wider to 24 bits in place.
        ExpectSamePicture(Actual(saved), Actual(loaded));
      }
}

// Rows are inflated into the bitmap's own memory, so the bits and bytes that
// pad each row must be cleared rather than left holding inflated data.
TEST(DecodeImage, RowPaddingIsZero) {
  struct TCase {
    std::uint32_t Width;
    int ColorType, Depth;
  };
  for (TCase c : {TCase{1, 2, 8}, TCase{5, 2, 8}, TCase{7, 2, 16}, TCase{5, 0, 8}, TCase{3, 3, 4},
                  TCase{9, 0, 2}, TCase{13, 6, 8}}) {
    SCOPED_TRACE(::testing::Message()
                 << c.Width << " type " << c.ColorType << " depth " << c.Depth);
    const auto source = testing::RandomImage(c.Width, 40, c.ColorType, c.Depth, 11);
    TPNGImage image;
    testing::LoadFromBytes(image, testing::WriteWithLibpng(source));
    const std::int64_t bits = std::int64_t(c.Width) * host::BitsPerPixel(image.PixelFormat());
    const std::int64_t used = (bits + 7) / 8;
    ASSERT_LT(used, image.RowBytes());
    // libpng clears the bits after a row's last pixel; so must we.
    const std::uint8_t tail = std::uint8_t(0xFF >> (bits % 8 ? bits % 8 : 8));
    for (int y = 0; y < 40; ++y) {
      EXPECT_EQ(image.ScanLine(y)[used - 1] & tail, 0) << "row " << y;
      for (std::int64_t i = used; i < image.RowBytes(); ++i)
        ASSERT_EQ(image.ScanLine(y)[i], 0) << "row " << y << " byte " << i;
    }
  }
}

TEST(DecodeImage, ProgressIsReportedPerRowOrPerPass) {
  struct TCall {
    int Percent;
    host::TRect R;
  };
  for (bool interlaced : {false, true}) {
    auto source = testing::RandomImage(10, 9, 2, 8, 3);
    source.Interlaced = interlaced;
    TPNGImage image;
    std::vector<TCall> calls;
    image.OnProgress = [&](host::TGraphic& Sender, TProgressStage Stage, std::uint8_t Percent,
                           bool RedrawNow, const host::TRect& R, const std::string& Msg) {
      EXPECT_EQ(&Sender, &image);
      EXPECT_EQ(Stage, psRunning);
      EXPECT_TRUE(RedrawNow);
      EXPECT_EQ(Msg, "Drawing...");
      calls.push_back({Percent, R});
    };
    testing::LoadFromBytes(image, testing::WriteWithLibpng(source));
    if (!interlaced) {
      ASSERT_EQ(calls.size(), 9u);
      for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(calls[y].Percent, (y * 100 + 4) / 9);  // MulDiv(y, 100, 9)
        EXPECT_EQ(calls[y].R.Top, y - 1);
        EXPECT_EQ(calls[y].R.Bottom, y);
        EXPECT_EQ(calls[y].R.Right, 10);
      }
    } else {
      ASSERT_EQ(calls.size(), 7u);
      const int percents[7] = {0, 17, 33, 50, 67, 83, 100};
      for (int p = 0; p < 7; ++p) {
        EXPECT_EQ(calls[p].Percent, percents[p]);
        EXPECT_EQ(calls[p].R.Bottom, 9);
      }
    }
  }
}

}  // namespace
}  // namespace snapkit
