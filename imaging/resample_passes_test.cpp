#include "imaging/resample_passes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "imaging/testing/exact_sum.h"
#include "imaging/testing/vector_widths.h"

namespace snapkit {
namespace {

using testing::ExactSingleSum;

TEST(ExactSingleSum, AgreesWithTheProcessorsFusedMultiplyAdd) {
  // Two independent ways to round Sum + Byte x Weight once; weights over a
  // wide range of magnitudes and both signs, sums from earlier steps.
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> byte(0, 255), exponent(-40, 2);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int trial = 0; trial < 200000; ++trial) {
    float sum = 0;
    for (int step = 0; step < 6; ++step) {
      const float weight = std::ldexp(unit(rng), exponent(rng));
      const auto b = static_cast<std::uint8_t>(byte(rng));
      const float expected = std::fma(static_cast<float>(b), weight, sum);
      ASSERT_EQ(ExactSingleSum(sum, b, weight), expected)
          << sum << " + " << int(b) << " * " << weight;
      sum = expected;
    }
  }
}

TEST(ExactSingleSum, RoundsOnceWhereDoubleWouldRoundTwice) {
  // 128 x (0.78125 - 2^-24) = 100 - 2^-17, a single. Adding 99 x 10845877 x
  // 2^-48 = 2^-18 - 2^-48 lands just below the midpoint 100 - 2^-18: once
  // rounded that is 100 - 2^-17. A double sum rounds to the midpoint first,
  // and single's ties-to-even then gives 100.
  const float w1 = 0.78125f - 0x1p-24f;
  const float w2 = std::ldexp(10845877.0f, -48);
  const float first = ExactSingleSum(0, 128, w1);
  ASSERT_EQ(first, 100.0f - 0x1p-17f);
  EXPECT_EQ(ExactSingleSum(first, 99, w2), 100.0f - 0x1p-17f);
  EXPECT_EQ(static_cast<float>(static_cast<double>(first) + 99.0 * w2), 100.0f);
}

using Passes = testing::VectorWidths;

TEST_F(Passes, EveryWidthRoundsEachSumOnce) {
  // The case above through both passes: bytes 128 and 99 with those weights
  // must truncate to 99 (from 99.99999), not to 100.
  const float w1 = 0.78125f - 0x1p-24f, w2 = std::ldexp(10845877.0f, -48);
  const TContributorTable table = TContributorTable::FromLists({{{0, w1}, {1, w2}}});
  alignas(64) static float scratch[64 * kResampleLanes];
  // One row of two pixels for the row pass.
  const std::uint8_t row[] = {128, 128, 128, 99, 99, 99, 0, 0};
  const std::uint8_t* rows[] = {row};
  // Two rows of a strip, kResampleLanes readable bytes each, for the column pass.
  std::vector<std::uint8_t> strip(2 * kResampleLanes);
  std::fill(strip.begin(), strip.begin() + kResampleLanes, 128);
  std::fill(strip.begin() + kResampleLanes, strip.end(), 99);
  for (int lanes : Supported()) {
    ASSERT_TRUE(SetResampleVectorWidth(lanes));
    std::uint8_t out[3] = {};
    std::uint8_t* outRows[] = {out};
    ResampleRowBlock(rows, 1, 2, scratch, table, outRows);
    EXPECT_EQ(out[0], 99) << lanes;
    EXPECT_EQ(out[2], 99) << lanes;
    std::vector<std::uint8_t> column(kResampleLanes);
    std::uint8_t* dstRows[] = {column.data()};
    ResampleColumnStrip(strip.data(), kResampleLanes, 2, scratch, table, dstRows, 0,
                        kResampleLanes);
    for (std::uint8_t v : column) EXPECT_EQ(v, 99) << lanes;
  }
}

TEST_F(Passes, SumsClampToBytes) {
  // 254.99 truncates to 254, 255 or more gives 255, negative sums and NaN 0.
  const std::uint8_t row[] = {100, 255, 1, 0};
  const std::uint8_t* rows[] = {row};
  const float nan = std::nanf("");
  const TContributorTable table = TContributorTable::FromLists(
      {{{0, 2.5499f}}, {{0, 2.55f}}, {{0, 3.0f}}, {{0, -0.03f}}, {{0, nan}}});
  alignas(64) static float scratch[64 * kResampleLanes];
  for (int lanes : Supported()) {
    ASSERT_TRUE(SetResampleVectorWidth(lanes));
    std::uint8_t out[15] = {};
    std::uint8_t* outRows[] = {out};
    ResampleRowBlock(rows, 1, 1, scratch, table, outRows);
    // Channel 0 is 100, channel 1 is 255, channel 2 is 1.
    EXPECT_EQ(out[0], 254) << lanes;  // 254.99
    EXPECT_EQ(out[3], 255) << lanes;  // 255.0 exactly
    EXPECT_EQ(out[6], 255) << lanes;  // 300
    EXPECT_EQ(out[9], 0) << lanes;    // -3
    EXPECT_EQ(out[12], 0) << lanes;   // NaN
    EXPECT_EQ(out[8], 3) << lanes;    // 1 x 3
  }
}

}  // namespace
}  // namespace snapkit
