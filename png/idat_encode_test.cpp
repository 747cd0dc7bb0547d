// Saved files checked with libpng and zlib as independent readers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

#include "png/chunk_gama.h"
#include "png/chunk_idat.h"
#include "png/errors.h"
#include "png/png_image.h"
#include "png/row_geometry.h"
#include "png/testing/png_testing.h"

namespace snapkit {
namespace {

using testing::TBytes;

// Adds a gamma chunk right after the header, where PNG wants it.
TChunkGAMA* AddGamma(TPNGImage& Image, std::uint32_t Value) {
  auto* gamma = Image.Chunks().Add<TChunkGAMA>();
  gamma->SetValue(Value);
  gamma->DoAction();
  Image.Chunks().Move(Image.Chunks().GetCount() - 1, 1);
  return gamma;
}

struct TSize {
  int Width, Height;
};

class SavedFileDecodes
    : public ::testing::TestWithParam<std::tuple<host::TPixelFormat, TSize, std::uint32_t, bool>> {
};

// Saved plain or, with the interlace flag set, as Adam7: libpng reads the
// same pixels either way, and the header says which it is.
TEST_P(SavedFileDecodes, ToTheSavedPixelsAndPalette) {
  const auto [format, size, gammaValue, interlaced] = GetParam();
  const bool indexed = format == host::pf1bit || format == host::pf4bit || format == host::pf8bit;
  const std::unique_ptr<host::TBitmap> bitmap =
      indexed ? testing::MakeIndexedBitmap(format, size.Width, size.Height, size.Width)
              : testing::MakeRGBBitmap(format, size.Width, size.Height, size.Height);
  const host::TBitmap& source = *bitmap;
  TPNGImage image;
  image.Assign(source);
  const TChunkGAMA* gamma = gammaValue ? AddGamma(image, gammaValue) : nullptr;
  image.SetInterlacing(interlaced);
  const TBytes file = testing::SaveToBytes(image);
  EXPECT_EQ(image.Interlacing(), interlaced);

  const testing::TLibpngResult png = testing::DecodeWithLibpng(file);
  ASSERT_TRUE(png.Ok) << png.Error;
  EXPECT_EQ(png.Width, std::uint32_t(size.Width));
  EXPECT_EQ(png.Height, std::uint32_t(size.Height));
  EXPECT_EQ(png.Interlace, interlaced ? 1 : 0);
  ASSERT_EQ(png.Rows.size(), std::size_t(size.Height));
  auto map = [&](std::uint8_t v) { return gamma ? gamma->InverseTable()[v] : v; };

  if (indexed) {
    const int bits = host::BitsPerPixel(format);
    EXPECT_EQ(png.ColorType, 3);
    EXPECT_EQ(png.BitDepth, bits);
    const auto& entries = source.Palette()->Entries;
    ASSERT_EQ(png.Palette.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(png.Palette[i].peRed, map(entries[i].peRed)) << i;
      EXPECT_EQ(png.Palette[i].peGreen, map(entries[i].peGreen)) << i;
      EXPECT_EQ(png.Palette[i].peBlue, map(entries[i].peBlue)) << i;
    }
    for (int y = 0; y < size.Height; ++y)
      for (int x = 0; x < size.Width; ++x)
        ASSERT_EQ(testing::PackedIndex(png.Rows[y].data(), x, bits),
                  testing::PackedIndex(source.ScanLine(y), x, bits))
            << "pixel " << x << "," << y;
  } else {
    EXPECT_EQ(png.ColorType, 2);
    EXPECT_EQ(png.BitDepth, 8);
    EXPECT_TRUE(png.Palette.empty());
    const int bpp = host::BitsPerPixel(format) / 8;
    for (int y = 0; y < size.Height; ++y) {
      const std::uint8_t* s = source.ScanLine(y);
      const std::uint8_t* d = png.Rows[y].data();
      for (int x = 0; x < size.Width; ++x) {
        const std::uint8_t* p = s + x * bpp;
        ASSERT_EQ(d[3 * x], map(p[2])) << "red of " << x << "," << y;
        ASSERT_EQ(d[3 * x + 1], map(p[1])) << "green of " << x << "," << y;
        ASSERT_EQ(d[3 * x + 2], map(p[0])) << "blue of " << x << "," << y;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    FormatsAndSizes, SavedFileDecodes,
    ::testing::Combine(::testing::Values(host::pf1bit, host::pf4bit, host::pf8bit, host::pf24bit,
                                         host::pf32bit),
                       ::testing::Values(TSize{1, 1}, TSize{2, 3}, TSize{7, 5}, TSize{33, 17},
                                         TSize{255, 4}, TSize{1001, 9}, TSize{3001, 3}),
                       // none, the standard 1/2.2 (identity tables), linear (non-identity)
                       ::testing::Values(0u, 45455u, 100000u), ::testing::Bool()));

TEST(SavedFileDecodes, LargeScreenshotSizedImage) {
  TPNGImage image;
  image.Assign(*testing::MakeRGBBitmap(host::pf24bit, 1920, 1080, 3));
  const testing::TLibpngResult png = testing::DecodeWithLibpng(testing::SaveToBytes(image));
  ASSERT_TRUE(png.Ok) << png.Error;
  for (int y = 0; y < 1080; y += 97) {
    const std::uint8_t* s = image.ScanLine(y);
    for (int x = 0; x < 1920; ++x) ASSERT_EQ(png.Rows[y][3 * x], s[3 * x + 2]) << x << "," << y;
  }
}

// The filter each row should get, worked out the long way.
std::uint8_t ExpectedFilter(const TBytes& Raw, const TBytes& Prior, int Offset,
                            TEncodeFilterSet Set) {
  const int n = static_cast<int>(Raw.size());
  int best = 0, bestScore = 0;
  for (int t = 0; t <= 4; ++t) {
    if (!(Set & (1 << t))) continue;
    TBytes out(n);
    for (int i = 0; i < n; ++i) {
      const int a = i >= Offset ? Raw[i - Offset] : 0, b = Prior[i],
                c = i >= Offset ? Prior[i - Offset] : 0;
      int predicted = 0;
      if (t == 1) predicted = a;
      if (t == 2) predicted = b;
      if (t == 3) predicted = (a + b) / 2;
      if (t == 4) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      out[i] = std::uint8_t(Raw[i] - predicted);
    }
    int score = 0;
    for (int k = 4; k < n; ++k)
      score += out[k] == out[k - 1] && out[k] == out[k - 2] && out[k] == out[k - 3] &&
               out[k] == out[k - 4];
    if (score > bestScore) best = t, bestScore = score;
  }
  return std::uint8_t(best);
}

// Undoes one row's filter (the PNG standard's rules), in place.
void Unfilter(std::uint8_t Type, TBytes& Row, const TBytes& Prior, int Offset) {
  for (std::size_t i = 0; i < Row.size(); ++i) {
    const int a = i >= std::size_t(Offset) ? Row[i - Offset] : 0, b = Prior[i],
              c = i >= std::size_t(Offset) ? Prior[i - Offset] : 0;
    int predicted = 0;
    if (Type == 1) predicted = a;
    if (Type == 2) predicted = b;
    if (Type == 3) predicted = (a + b) / 2;
    if (Type == 4) {
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    Row[i] = std::uint8_t(Row[i] + predicted);
  }
}

// The filter byte of each row of a saved file (inflated with zlib), and the
// filter the rule gives for the row bytes recovered from it. Padding bits of
// packed rows count as written, so libpng's rows (which clear them) do not serve.
struct TFilterRun {
  std::vector<std::uint8_t> Filters;
  std::vector<std::uint8_t> Expected;
};

TFilterRun RunFilters(const host::TBitmap& Source, TEncodeFilterSet Set) {
  TPNGImage image;
  image.Assign(Source);
  image.SetFilter(Set);
  const TBytes file = testing::SaveToBytes(image);
  const testing::TLibpngResult png = testing::DecodeWithLibpng(file);
  EXPECT_TRUE(png.Ok) << png.Error;
  const TBytes data = testing::InflatedImageData(file);
  const int height = Source.Height();
  const std::size_t length = png.Rows.empty() ? 0 : png.Rows[0].size();
  EXPECT_EQ(data.size(), height * (length + 1));
  const int offset = GetOffset(std::uint8_t(png.BitDepth), std::uint8_t(png.ColorType));
  TFilterRun run;
  TBytes prior(length, 0);
  for (int y = 0; y < height && (y + 1) * (length + 1) <= data.size(); ++y) {
    const std::uint8_t type = data[y * (length + 1)];
    TBytes row(data.begin() + y * (length + 1) + 1, data.begin() + (y + 1) * (length + 1));
    Unfilter(type, row, prior, offset);
    run.Filters.push_back(type);
    run.Expected.push_back(ExpectedFilter(row, prior, offset, image.Filter()));
    prior = row;
  }
  return run;
}

class FilterChoice : public ::testing::TestWithParam<TEncodeFilterSet> {};

TEST_P(FilterChoice, MatchesTheRunCountRuleOnEveryRow) {
  const TEncodeFilterSet set = GetParam();
  for (host::TPixelFormat format : {host::pf8bit, host::pf24bit, host::pf4bit}) {
    const std::unique_ptr<host::TBitmap> source =
        format == host::pf24bit ? testing::MakeRGBBitmap(format, 301, 60, 5)
                                : testing::MakeIndexedBitmap(format, 301, 60, 5);
    const TFilterRun run = RunFilters(*source, set);
    EXPECT_EQ(run.Filters, run.Expected) << "format " << int(format);
    for (std::uint8_t t : run.Filters)
      EXPECT_TRUE((set | 1) & (1 << t)) << "filter " << int(t) << " is not in the set";
  }
}

INSTANTIATE_TEST_SUITE_P(Sets, FilterChoice,
                         ::testing::Values(DefaultFilterSet, AllFilters, FilterBit(efNone),
                                           FilterBit(efSub), FilterBit(efUp),
                                           FilterBit(efUp) | FilterBit(efAverage),
                                           FilterBit(efPaeth)));

// RGB rows where filter (y - 1) % 5 turns row y into a constant (after the
// first pixel), so every filter wins somewhere.
std::unique_ptr<host::TBitmap> MakeFilterFriendlyBitmap(int Width, int Height) {
  auto bitmap = std::make_unique<host::TBitmap>();
  bitmap->SetPixelFormat(host::pf24bit);
  bitmap->SetSize(Width, Height);
  std::mt19937 rng(11);
  const std::size_t n = std::size_t(Width) * 3;
  TBytes prior(n, 0), row(n);
  for (int y = 0; y < Height; ++y) {
    const int type = y == 0 ? -1 : (y - 1) % 5;
    const std::uint8_t d = std::uint8_t(rng() % 200 + 17);
    for (std::size_t i = 0; i < n; ++i) {
      const int a = i >= 3 ? row[i - 3] : 0, b = prior[i], c = i >= 3 ? prior[i - 3] : 0;
      int v = int(rng() & 0xFF);
      if (type == 0) v = d;
      if (i >= 3 && type == 1) v = a + d;
      if (type == 2) v = b + d;
      if (i >= 3 && type == 3) v = (a + b) / 2 + d;
      if (i >= 3 && type == 4)
        v = PaethPredictor(std::uint8_t(a), std::uint8_t(b), std::uint8_t(c)) + d;
      row[i] = std::uint8_t(v);
    }
    std::uint8_t* line = bitmap->ScanLine(y);
    for (int x = 0; x < Width; ++x) {
      line[3 * x] = row[3 * x + 2];
      line[3 * x + 1] = row[3 * x + 1];
      line[3 * x + 2] = row[3 * x];
    }
    prior = row;
  }
  return bitmap;
}

TEST(FilterChoice, EachFilterWinsWhereItFlattensTheRow) {
  const TFilterRun run = RunFilters(*MakeFilterFriendlyBitmap(97, 41), AllFilters);
  ASSERT_EQ(run.Filters.size(), 41u);
  for (int y = 1; y < 41; ++y) EXPECT_EQ(run.Filters[y], (y - 1) % 5) << "row " << y;
  EXPECT_EQ(run.Filters, run.Expected);
  // Without Up in the set, the row made for it goes to another filter.
  const TFilterRun byDefault = RunFilters(*MakeFilterFriendlyBitmap(97, 41), DefaultFilterSet);
  EXPECT_EQ(byDefault.Filters, byDefault.Expected);
  EXPECT_EQ(std::count(byDefault.Filters.begin(), byDefault.Filters.end(), 2), 0);
}

TEST(FilterChoice, RepeatedRowsPreferUpThenPaeth) {
  const std::unique_ptr<host::TBitmap> repeated = testing::MakeRGBBitmap(host::pf24bit, 50, 6, 9);
  host::TBitmap& bitmap = *repeated;
  for (int y = 1; y < 6; ++y)
    std::copy_n(bitmap.ScanLine(0), bitmap.RowBytes(), bitmap.ScanLine(y));
  // Up and Paeth both give all zeros on a repeated row; the tie goes to Up.
  const std::vector<std::uint8_t> all = RunFilters(bitmap, AllFilters).Filters;
  EXPECT_EQ(std::vector<std::uint8_t>(all.begin() + 1, all.end()), std::vector<std::uint8_t>(5, 2));
  const std::vector<std::uint8_t> byDefault = RunFilters(bitmap, DefaultFilterSet).Filters;
  EXPECT_EQ(std::vector<std::uint8_t>(byDefault.begin() + 1, byDefault.end()),
            std::vector<std::uint8_t>(5, 4));
  // Against the zero row the first row's Up output is its None output: a tie.
  EXPECT_EQ(RunFilters(bitmap, FilterBit(efUp)).Filters[0], 0);
}

TEST(FilterChoice, FlatAndShortRowsUseNone) {
  host::TBitmap flat;
  flat.SetPixelFormat(host::pf24bit);
  flat.SetSize(40, 5);
  for (int y = 0; y < 5; ++y) std::fill_n(flat.ScanLine(y), flat.RowBytes(), std::uint8_t(77));
  for (std::uint8_t t : RunFilters(flat, AllFilters).Filters) EXPECT_EQ(t, 0);
  // Four-byte rows never score.
  for (std::uint8_t t :
       RunFilters(*testing::MakeIndexedBitmap(host::pf8bit, 4, 30, 2), AllFilters).Filters)
    EXPECT_EQ(t, 0);
}

TEST(Encoder, ZeroHeightGivesAnEmptyStreamAndStillAnIDAT) {
  TPNGImage image;
  host::TBitmap empty;
  empty.SetPixelFormat(host::pf24bit);
  empty.SetSize(5, 0);
  image.Assign(empty);
  const TBytes file = testing::SaveToBytes(image);
  EXPECT_EQ(testing::ChunkTypes(file), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_TRUE(testing::InflatedImageData(file).empty());
}

TEST(Encoder, ZeroWidthGivesRowsOfFilterBytesOnly) {
  TPNGImage image;
  host::TBitmap empty;
  empty.SetPixelFormat(host::pf8bit);
  empty.SetSize(0, 3);
  image.Assign(empty);
  const TBytes file = testing::SaveToBytes(image);
  EXPECT_EQ(testing::InflatedImageData(file), (TBytes{0, 0, 0}));
}

TEST(Encoder, APaletteBitmapWithoutAPaletteGetsABlackOneSoTheFileIsValid) {
  for (host::TPixelFormat format : {host::pf1bit, host::pf4bit, host::pf8bit}) {
    std::unique_ptr<host::TBitmap> bitmap = testing::MakeIndexedBitmap(format, 7, 3, 5);
    bitmap->SetPalette(nullptr);
    TPNGImage image;
    image.Assign(*bitmap);
    const testing::TLibpngResult decoded = testing::DecodeWithLibpng(testing::SaveToBytes(image));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.Palette.size(), 1u << host::BitsPerPixel(format));
    for (const host::PALETTEENTRY& e : decoded.Palette)
      EXPECT_EQ(e.peRed | e.peGreen | e.peBlue, 0);
  }
}

TEST(Encoder, ReplacesOldDataWithRowsAsTheHeaderInterlacesThem) {
  TPNGImage image;
  image.Assign(*testing::MakeRGBBitmap(host::pf24bit, 20, 20, 4));
  auto* idat = static_cast<TChunkIDAT*>(image.Chunks().GetItem(1));
  idat->Data().WriteBuffer("junk", 4);
  testing::SaveToBytes(image);
  // The chunk keeps what it wrote: one zlib stream of 20 filtered rows.
  TBytes kept(idat->Data().Memory(), idat->Data().Memory() + idat->GetSize());
  EXPECT_EQ(testing::Inflate(kept).size(), 20u * 61u);

  // Adam7 passes of a 20 x 20 picture: 3, 2, 5, 5, 10, 10 and 20 pixels
  // wide; 3, 3, 2, 5, 5, 10 and 10 rows.
  image.SetInterlacing(true);
  const TBytes file = testing::SaveToBytes(image);
  kept.assign(idat->Data().Memory(), idat->Data().Memory() + idat->GetSize());
  EXPECT_EQ(testing::Inflate(kept).size(),
            3u * 10 + 3 * 7 + 2 * 16 + 5 * 16 + 5 * 31 + 10 * 31 + 10 * 61);
  EXPECT_EQ(testing::SplitChunks(file)[0].Data[12], 1);
  TPNGImage back;
  testing::LoadFromBytes(back, file);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(back.GetPixel(x, y), image.GetPixel(x, y));

  // Encoding on its own follows the header in the list, whatever the flag.
  image.SetInterlacing(false);
  idat->EncodeImage();
  EXPECT_EQ(TBytes(idat->Data().Memory(), idat->Data().Memory() + idat->GetSize()), kept);
}

TEST(Encoder, RefusesAHeaderThatDoesNotDescribeTheBitmap) {
  TPNGImage image;
  image.Assign(*testing::MakeRGBBitmap(host::pf24bit, 20, 3, 4));
  auto* idat = static_cast<TChunkIDAT*>(image.Chunks().GetItem(1));
  // The header still says 0 by 0, palette: its rows would not fit the bitmap's.
  EXPECT_THROW(idat->EncodeImage(), EPNGImageException);
}

}  // namespace
}  // namespace snapkit
