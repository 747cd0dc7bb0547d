#include "png/inflate_exactly.h"

#include <gtest/gtest.h>

#include <random>

#include "png/testing/png_testing.h"

namespace snapkit {
namespace {

using testing::TBytes;

TBytes Mixed(std::size_t Size) {
  TBytes plain(Size);
  std::mt19937 rng(7);
  // Noise with long runs, so that literals, near and far matches all occur.
  for (std::size_t i = 0; i < Size; ++i) plain[i] = (i / 4096) % 2 ? std::uint8_t(rng()) : 9;
  return plain;
}

TEST(InflateExactly, DeliversTheDataOnlyWhenItFillsTheBufferExactly) {
  const TBytes plain = Mixed(300000);
  const TBytes compressed = testing::Deflate(plain);
  TBytes out(plain.size());
  ASSERT_TRUE(InflateExactly(compressed.data(), compressed.size(), out.data(), out.size()));
  EXPECT_EQ(out, plain);

  TBytes bigger(plain.size() + 1), smaller(plain.size() - 1);
  EXPECT_FALSE(InflateExactly(compressed.data(), compressed.size(), bigger.data(), bigger.size()));
  EXPECT_FALSE(
      InflateExactly(compressed.data(), compressed.size(), smaller.data(), smaller.size()));

  const TBytes empty = testing::Deflate({});
  EXPECT_TRUE(InflateExactly(empty.data(), empty.size(), out.data(), 0));
}

TEST(InflateExactly, RefusesDamagedData) {
  const TBytes plain = Mixed(50000);
  const TBytes compressed = testing::Deflate(plain);
  TBytes out(plain.size());

  TBytes badChecksum = compressed;
  badChecksum.back() ^= 1;
  EXPECT_FALSE(InflateExactly(badChecksum.data(), badChecksum.size(), out.data(), out.size()));

  const TBytes cut(compressed.begin(), compressed.begin() + compressed.size() / 2);
  EXPECT_FALSE(InflateExactly(cut.data(), cut.size(), out.data(), out.size()));

  TBytes badHeader = compressed;
  badHeader[0] = 0x79;  // not deflate
  EXPECT_FALSE(InflateExactly(badHeader.data(), badHeader.size(), out.data(), out.size()));
  EXPECT_FALSE(InflateExactly(nullptr, 0, out.data(), out.size()));
}

}  // namespace
}  // namespace snapkit
