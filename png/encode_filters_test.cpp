// The vector filter and scoring code against the byte-at-a-time versions,
// and the row geometry.

#include "png/encode_filters.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "png/errors.h"
#include "png/row_geometry.h"

namespace snapkit {
namespace {

using TBytes = std::vector<std::uint8_t>;

// Every level this CPU runs, against the plain code.
std::vector<TVectorLevel> Levels() {
  std::vector<TVectorLevel> levels;
  for (TVectorLevel l : {vlSSE2, vlSSSE3, vlAVX2})
    if (l <= BestVectorLevel()) levels.push_back(l);
  return levels;
}

TEST(EncodeFilters, VectorCodeMatchesPlainCode) {
  ASSERT_FALSE(Levels().empty()) << "no vector code runs on this machine";
  std::mt19937 rng(5);
  for (std::uint32_t length : {1u, 3u, 8u, 15u, 16u, 17u, 31u, 33u, 64u, 100u, 4099u, 5760u}) {
    for (std::uint32_t offset : {1u, 2u, 3u, 4u, 6u, 8u}) {
      // Small alphabets give the Paeth ties and equal runs that random bytes lack.
      for (unsigned alphabet : {2u, 5u, 256u}) {
        TBytes row(length), prior(length);
        for (auto& b : row) b = std::uint8_t(rng() % alphabet * (256 / alphabet));
        for (auto& b : prior) b = std::uint8_t(rng() % alphabet * (256 / alphabet));
        std::vector<TBytes> plain(5, TBytes(length));
        std::uint8_t* plainOut[5] = {nullptr, plain[1].data(), plain[2].data(), plain[3].data(),
                                     plain[4].data()};
        ComputeFiltersAt(vlPlain, row.data(), prior.data(), plainOut, length, offset, 0x1F);
        for (TVectorLevel level : Levels()) {
          std::vector<TBytes> fast(5, TBytes(length));
          std::uint8_t* fastOut[5] = {nullptr, fast[1].data(), fast[2].data(), fast[3].data(),
                                      fast[4].data()};
          ComputeFiltersAt(level, row.data(), prior.data(), fastOut, length, offset, 0x1F);
          for (int t = 1; t <= 4; ++t) {
            ASSERT_EQ(fast[t], plain[t]) << "filter " << t << " length " << length << " offset "
                                         << offset << " level " << level;
            ASSERT_EQ(RunScoreAt(level, fast[t].data(), length),
                      RunScoreAt(vlPlain, fast[t].data(), length))
                << "length " << length << " level " << level;
          }
        }
      }
    }
  }
}

TEST(EncodeFilters, SwapToRGBAtEveryLevel) {
  std::mt19937 rng(3);
  for (std::uint32_t pixels : {1u, 2u, 5u, 6u, 7u, 10u, 33u, 1920u}) {
    TBytes bgr(3 * pixels);
    for (auto& b : bgr) b = std::uint8_t(rng());
    TBytes expected(3 * pixels);
    for (std::uint32_t x = 0; x < pixels; ++x)
      for (int c = 0; c < 3; ++c) expected[3 * x + c] = bgr[3 * x + 2 - c];
    for (TVectorLevel level : {vlPlain, vlSSE2, vlSSSE3, vlAVX2}) {
      if (level > BestVectorLevel()) continue;
      TBytes rgb(3 * pixels, 0);
      SwapToRGBAt(level, bgr.data(), rgb.data(), pixels, nullptr);
      EXPECT_EQ(rgb, expected) << pixels << " pixels, level " << level;
    }
  }
}

TEST(EncodeFilters, OnlyTheRequestedFiltersAreWritten) {
  TBytes row(40, 9), prior(40, 1);
  std::vector<TBytes> out(5, TBytes(40, 0xEE));
  std::uint8_t* ptrs[5] = {nullptr, out[1].data(), out[2].data(), out[3].data(), out[4].data()};
  ComputeFilters(row.data(), prior.data(), ptrs, 40, 1, 0x01 | 0x04);
  EXPECT_EQ(out[1], TBytes(40, 0xEE));
  EXPECT_EQ(out[2], TBytes(40, 8));
  EXPECT_EQ(out[3], TBytes(40, 0xEE));
}

TEST(EncodeFilters, RunScoreCountsWindowsOfFiveEqualBytes) {
  EXPECT_EQ(RunScore(TBytes(4, 7).data(), 4), 0u);
  EXPECT_EQ(RunScore(TBytes(5, 7).data(), 5), 1u);
  // Past the 255-block fold of the vector counters.
  for (TVectorLevel level : Levels())
    EXPECT_EQ(RunScoreAt(level, TBytes(20000, 7).data(), 20000), 19996u) << level;
  TBytes mixed = {1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3};
  EXPECT_EQ(RunScore(mixed.data(), std::uint32_t(mixed.size())), 3u);
}

TEST(EncodeFilters, SwapToRGBReordersAndMaps) {
  const TBytes bgr = {1, 2, 3, 4, 5, 6};
  TBytes rgb(6);
  SwapToRGB(bgr.data(), rgb.data(), 2, nullptr);
  EXPECT_EQ(rgb, (TBytes{3, 2, 1, 6, 5, 4}));
  std::uint8_t map[256];
  for (int i = 0; i < 256; ++i) map[i] = std::uint8_t(255 - i);
  SwapToRGB(bgr.data(), rgb.data(), 2, map);
  EXPECT_EQ(rgb, (TBytes{252, 253, 254, 249, 250, 251}));
}

TEST(RowGeometry, BytesPerRowAndFilterDistance) {
  struct {
    std::uint32_t Width;
    std::uint8_t Depth, Colour;
    std::int64_t Length;
    std::int32_t Offset;
  } cases[] = {{301, 1, 3, 38, 1},   {301, 2, 0, 76, 1},  {301, 4, 3, 151, 1}, {301, 8, 0, 301, 1},
               {301, 16, 0, 602, 2}, {301, 8, 2, 903, 3}, {3, 16, 6, 24, 8},   {5, 8, 4, 10, 2},
               {5, 16, 4, 20, 4},    {5, 16, 2, 30, 6},   {0, 8, 2, 0, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(GetBufferWidth(c.Width, c.Depth, c.Colour), c.Length)
        << c.Width << " " << int(c.Depth) << " " << int(c.Colour);
    EXPECT_EQ(GetOffset(c.Depth, c.Colour), c.Offset);
  }
  // Widths PNG allows but 32 bits cannot multiply.
  EXPECT_EQ(GetBufferWidth(0x7FFFFFFFu, 16, 6), std::int64_t(0x7FFFFFFF) * 8);
  for (std::uint8_t colour : {1, 5, 7, 255}) {
    EXPECT_THROW(GetBufferWidth(10, 8, colour), EPNGImageException);
    EXPECT_EQ(GetOffset(8, colour), 0);
  }
}

TEST(RowGeometry, PaethPredictorPicksTheNearestNeighbour) {
  EXPECT_EQ(PaethPredictor(10, 20, 10), 20);  // p = 20: above exactly
  EXPECT_EQ(PaethPredictor(20, 10, 10), 20);  // p = 20: left exactly
  EXPECT_EQ(PaethPredictor(10, 10, 10), 10);
  EXPECT_EQ(PaethPredictor(100, 50, 255), 50);  // p = -105: above is nearest
  EXPECT_EQ(PaethPredictor(0, 255, 128), 128);  // p = 127: upper-left is nearest
  EXPECT_EQ(PaethPredictor(7, 9, 8), 8);        // p = 8: upper-left exactly
  EXPECT_EQ(PaethPredictor(10, 25, 20), 10);    // p = 15: left and upper-left tie, left wins
}

}  // namespace
}  // namespace snapkit
