#include "imaging/phash.h"

#include <gtest/gtest.h>

#include <random>

#include "imaging/filters.h"
#include "imaging/resample.h"

namespace snapkit {
namespace {

// A page-like picture: a light background, a dark heading bar and lines of
// "words" (dark blocks) placed from Seed, all bytes within 20 .. 200 so a
// uniform brightening clamps nothing.
void Page(host::TBitmap& B, unsigned Seed, int Brighten = 0, int MovedWord = -1) {
  B.SetPixelFormat(host::pf24bit);
  B.SetSize(480, 300);
  std::mt19937 rng(Seed);
  std::uniform_int_distribution<int> len(12, 60), gap(4, 14), skip(0, 5);
  auto fill = [&](int x0, int y0, int x1, int y1, int v) {
    for (int y = y0; y < std::min(y1, 300); ++y)
      for (int x = x0; x < std::min(x1, 480); ++x)
        B.ScanLine(y)[3 * x] = B.ScanLine(y)[3 * x + 1] = B.ScanLine(y)[3 * x + 2] =
            std::uint8_t(v + Brighten);
  };
  fill(0, 0, 480, 300, 200);
  fill(10, 10, 300, 40, 30);
  int word = 0;
  for (int y = 60; y < 290; y += 22) {
    if (skip(rng) == 0) continue;
    for (int x = 10; x < 470; ++word) {
      const int l = len(rng);
      if (word == MovedWord) x += 8;
      fill(x, y, x + l, y + 12, 40);
      x += l + gap(rng);
    }
  }
}

TEST(PerceptualHash, NearPicturesAreNearAndOthersFar) {
  host::TBitmap page, same, brighter, moved, other, half, wide;
  Page(page, 1);
  Page(same, 1);
  Page(brighter, 1, 20);
  Page(moved, 1, 0, 30);
  Page(other, 2);
  Resample(page, half, 240, 150, MitchellFilter, 2.0f);
  wide.Assign(page);
  wide.SetPixelFormat(host::pf32bit);
  const std::uint64_t h = PerceptualHash(page);
  struct TCase {
    const char* What;
    const host::TBitmap* Picture;
    int AtLeast, AtMost;
  } cases[] = {
      {"the same picture", &same, 0, 0},       {"32 bits per pixel", &wide, 0, 0},
      {"uniformly brighter", &brighter, 0, 0}, {"half the size", &half, 0, 4},
      {"one word moved", &moved, 0, 6},        {"another page", &other, 14, 64},
  };
  for (const TCase& c : cases) {
    const int d = HashDistance(h, PerceptualHash(*c.Picture));
    EXPECT_GE(d, c.AtLeast) << c.What;
    EXPECT_LE(d, c.AtMost) << c.What;
  }
}

TEST(PerceptualHash, BitsFollowTheBrightnessAcross) {
  struct TCase {
    int Width, Height;
    bool DarkeningRightwards;
    std::uint64_t Hash;
  } cases[] = {
      {90, 40, true, ~std::uint64_t(0)},
      {90, 40, false, 0},
      {9, 8, true, ~std::uint64_t(0)},
      // Fewer pixels than cells: cells 0-2, 3-5 and 6-8 share a pixel each,
      // so only the steps between those groups set bits.
      {3, 2, true, 0x2424242424242424ULL},
  };
  for (const TCase& c : cases) {
    host::TBitmap b;
    b.SetPixelFormat(host::pf24bit);
    b.SetSize(c.Width, c.Height);
    for (int y = 0; y < c.Height; ++y)
      for (int x = 0; x < c.Width; ++x) {
        const int v = 255 * x / c.Width;
        std::fill_n(b.ScanLine(y) + 3 * x, 3, std::uint8_t(c.DarkeningRightwards ? 255 - v : v));
      }
    EXPECT_EQ(PerceptualHash(b), c.Hash) << c.Width << "x" << c.Height;
  }
  EXPECT_EQ(PerceptualHash(host::TBitmap()), 0u);
}

TEST(PerceptualHash, HexText) {
  std::uint64_t h = 0;
  EXPECT_EQ(HashToHex(0x0123456789abcdefULL), "0123456789abcdef");
  EXPECT_TRUE(HashFromHex("FEDCBA9876543210", h));
  EXPECT_EQ(h, 0xfedcba9876543210ULL);
  for (const char* bad : {"", "0123456789abcde", "0123456789abcdefa", "0123456789abcdeg"})
    EXPECT_FALSE(HashFromHex(bad, h)) << bad;
  EXPECT_EQ(HashDistance(0xf0, 0x0f), 8);
}

}  // namespace
}  // namespace snapkit
