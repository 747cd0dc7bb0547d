#include "png/decode_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace snapkit {
namespace {

TEST(GammaHelpers, ExponentAppliedToTheScaledValueRoundedHalfUp) {
  for (int v = 0; v <= 255; ++v) EXPECT_EQ(IntGamma(1.0, v), v);
  EXPECT_EQ(IntGamma(2.0, 128), 64);   // 64.25
  EXPECT_EQ(IntGamma(2.0, 181), 128);  // 128.47
  EXPECT_EQ(IntGamma(0.5, 64), 128);   // 127.75
  EXPECT_NEAR(CalculateGamma(2.0, 128), 255.0 * (128 / 255.0) * (128 / 255.0) + 0.5, 1e-9);
  // Values are capped at 255; nothing at or below zero.
  EXPECT_EQ(IntGamma(2.0, 1000), 255);
  EXPECT_EQ(CalculateGamma(0.3, 0), 0.0);
  EXPECT_EQ(CalculateGamma(0.3, -5), 0.0);
  EXPECT_EQ(IntGamma(0.45, -5), 0);
}

TEST(ByteSwaps, ReverseTheBytesOfEachWord) {
  EXPECT_EQ(SwapL(0x12345678u), 0x78563412u);
  EXPECT_EQ(SwapS(std::uint16_t(0xABCD)), 0xCDAB);
  std::uint8_t words[6] = {1, 2, 3, 4, 5, 6};
  SwapS(words, 2);
  EXPECT_EQ(std::vector<std::uint8_t>(words, words + 6),
            (std::vector<std::uint8_t>{2, 1, 4, 3, 5, 6}));
  SwapS(words, 0);
  EXPECT_EQ(words[0], 2);
}

TEST(Deprediction, AddsEachPixelToTheNextWithWrapAround) {
  std::vector<std::uint8_t> one = {5, 1, 250, 10, 99};
  Deprediction1(one.data(), 3);
  EXPECT_EQ(one, (std::vector<std::uint8_t>{5, 6, 0, 10, 99}));

  std::vector<std::uint8_t> three = {1, 2, 3, 10, 20, 30, 255, 1, 1, 7};
  Deprediction3(three.data(), 2);
  EXPECT_EQ(three, (std::vector<std::uint8_t>{1, 2, 3, 11, 22, 33, 10, 23, 34, 7}));

  std::vector<std::uint8_t> four = {1, 2, 3, 4, 1, 1, 1, 1, 9};
  Deprediction4(four.data(), 1);
  EXPECT_EQ(four, (std::vector<std::uint8_t>{1, 2, 3, 4, 2, 3, 4, 5, 9}));

  Deprediction4(four.data(), 0);
  EXPECT_EQ(four[4], 2);
}

}  // namespace
}  // namespace snapkit
