#include "imaging/geometry.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/testing/images.h"

namespace snapkit {
namespace {

using testing::FromBitmap;
using testing::MakeImage;
using testing::RandomImage;
using testing::ToBitmap;
using testing::TPlainImage;

// Expected turned pictures, by plain index arithmetic.
TPlainImage Turned(const TPlainImage& S, int Quarter) {
  const bool swap = Quarter % 2 == 1;
  TPlainImage t = MakeImage(swap ? S.Height : S.Width, swap ? S.Width : S.Height);
  for (int y = 0; y < t.Height; ++y)
    for (int x = 0; x < t.Width; ++x) {
      int sx, sy;
      switch (Quarter) {
        case 1:
          sx = y, sy = S.Height - 1 - x;
          break;  // clockwise
        case 2:
          sx = S.Width - 1 - x, sy = S.Height - 1 - y;
          break;
        default:
          sx = S.Width - 1 - y, sy = x;
          break;
      }
      for (int c = 0; c < 3; ++c) t.Pixel(x, y)[c] = S.Pixel(sx, sy)[c];
    }
  return t;
}

std::vector<int>& Calls() {
  static std::vector<int> calls;
  return calls;
}
void Record(int Min, int Max, int Pos) {
  EXPECT_EQ(Min, 0);
  EXPECT_EQ(Max, 100);
  Calls().push_back(Pos);
}

TEST(RotateBitmap, QuarterTurnsMatchTransposition) {
  std::mt19937 rng(1);
  for (auto [w, h] : {std::pair{6, 4}, std::pair{10, 10}, std::pair{2, 8}}) {
    const TPlainImage image = RandomImage(w, h, rng);
    for (int quarter = 1; quarter <= 3; ++quarter) {
      host::TBitmap src, dst;
      ToBitmap(image, src);
      RotateBitmap(src, dst, 90 * quarter, w / 2, h / 2, true, host::clRed);
      EXPECT_EQ(FromBitmap(dst), Turned(image, quarter)) << w << "x" << h << " " << 90 * quarter;
    }
    // A quarter turn the other way is three quarters this way.
    host::TBitmap src, dst;
    ToBitmap(image, src);
    RotateBitmap(src, dst, -90, w / 2, h / 2, true, host::clRed);
    EXPECT_EQ(FromBitmap(dst), Turned(image, 3));
  }
}

TEST(RotateBitmap, NoTurnIsACopyWhateverTheCentre) {
  std::mt19937 rng(2);
  const TPlainImage image = RandomImage(9, 7, rng);
  for (auto [cx, cy] : {std::pair{0, 0}, std::pair{4, 3}, std::pair{-50, 200}}) {
    host::TBitmap src, dst;
    ToBitmap(image, src);
    RotateBitmap(src, dst, 0, cx, cy, false, host::clWhite);
    EXPECT_EQ(FromBitmap(dst), image);
  }
}

TEST(RotateBitmap, FortyFiveDegreesKeepsSizeAndShowsBackgroundInCorners) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(40, 30, 200), src);
  src.SetPixelFormat(host::pf32bit);
  RotateBitmap(src, dst, 45, 20, 15, false, 0x000000FF);
  EXPECT_EQ(src.PixelFormat(), host::pf24bit);
  EXPECT_EQ(dst.PixelFormat(), host::pf24bit);
  const TPlainImage out = FromBitmap(dst);
  ASSERT_EQ(out.Width, 40);
  ASSERT_EQ(out.Height, 30);
  // Background 0x000000FF lands as blue 0, green 0, red 255.
  for (auto [x, y] : {std::pair{0, 0}, std::pair{39, 0}, std::pair{0, 29}, std::pair{39, 29}}) {
    EXPECT_EQ(out.Pixel(x, y)[0], 0);
    EXPECT_EQ(out.Pixel(x, y)[1], 0);
    EXPECT_EQ(out.Pixel(x, y)[2], 255);
  }
  EXPECT_EQ(out.Pixel(20, 15)[0], 200);
}

TEST(RotateBitmap, ExpandGrowsToHoldTheTurnedPicture) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(40, 20, 9), src);
  RotateBitmap(src, dst, 90, 0, 0, true, host::clBlack);
  EXPECT_EQ(dst.Width(), 20);
  EXPECT_EQ(dst.Height(), 40);
  RotateBitmap(src, dst, 45, 20, 10, true, host::clBlack);
  // |40 cos 45| + |20 sin 45| = 42.4 each way.
  EXPECT_NEAR(dst.Width(), 42, 1);
  EXPECT_NEAR(dst.Height(), 42, 1);
}

TEST(RotateBitmap, ProgressClimbsToOneHundredOncePerRow) {
  Calls().clear();
  host::TBitmap src, dst;
  ToBitmap(MakeImage(5, 8, 1), src);
  RotateBitmap(src, dst, 30, 2, 4, false, host::clBlack, Record);
  EXPECT_EQ(Calls(), (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
}

TEST(FlipAndMirror, TurnRowsAndColumnsAndUndoThemselves) {
  std::mt19937 rng(3);
  const TPlainImage image = RandomImage(7, 5, rng);
  host::TBitmap a, b, c;
  ToBitmap(image, a);
  FlipBitmap(a, b);
  const TPlainImage flipped = FromBitmap(b);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      for (int k = 0; k < 3; ++k) ASSERT_EQ(flipped.Pixel(x, y)[k], image.Pixel(x, 4 - y)[k]);
  FlipBitmap(b, c);
  EXPECT_EQ(FromBitmap(c), image);
  MirrorBitmap(a, b);
  const TPlainImage mirrored = FromBitmap(b);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      for (int k = 0; k < 3; ++k) ASSERT_EQ(mirrored.Pixel(x, y)[k], image.Pixel(6 - x, y)[k]);
  MirrorBitmap(b, c);
  EXPECT_EQ(FromBitmap(c), image);
  // The same bitmap on both sides works too.
  FlipBitmap(c, c);
  EXPECT_EQ(FromBitmap(c), flipped);
}

TEST(FlipAndMirror, ProgressCountsDown) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(3, 4, 1), src);
  Calls().clear();
  FlipBitmap(src, dst, Record);
  EXPECT_EQ(Calls(), (std::vector<int>{75, 50, 25, 0}));
  Calls().clear();
  MirrorBitmap(src, dst, Record);
  EXPECT_EQ(Calls(), (std::vector<int>{75, 50, 25, 0}));
}

TEST(SetBitmapsEql, ConvertsSourceAndSizesTarget) {
  host::TBitmap src, dst;
  src.SetPixelFormat(host::pf8bit);
  src.SetSize(13, 4);
  SetBitmapsEql(src, dst);
  EXPECT_EQ(src.PixelFormat(), host::pf24bit);
  EXPECT_EQ(dst.PixelFormat(), host::pf24bit);
  EXPECT_EQ(dst.Width(), 13);
  EXPECT_EQ(dst.Height(), 4);
}

// Counts the pixels of one colour (blue, green, red bytes).
int Count(const TPlainImage& I, std::uint8_t B, std::uint8_t G, std::uint8_t R) {
  int n = 0;
  for (std::size_t i = 0; i < I.Pixels.size(); i += 3)
    n += I.Pixels[i] == B && I.Pixels[i + 1] == G && I.Pixels[i + 2] == R;
  return n;
}

TEST(StretchResize, LandscapeStripFitsTheWidthAndIsCentred) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(1000, 10, 60), src);
  StretchResize(src, &dst, 100, 100, true, host::clWhite, false);
  const TPlainImage out = FromBitmap(dst);
  ASSERT_EQ(out.Width, 100);
  ASSERT_EQ(out.Height, 100);
  // One row high, at Round(99 / 2) = 50.
  EXPECT_EQ(Count(out, 60, 60, 60), 100);
  EXPECT_EQ(out.Pixel(0, 50)[0], 60);
  EXPECT_EQ(out.Pixel(99, 50)[0], 60);
  EXPECT_EQ(out.Pixel(0, 49)[0], 255);
}

TEST(StretchResize, SmallerSourceIsEnlargedAndClipped) {
  // 100 x 90 into 200 x 100: width fitted, 180 rows drawn, the lower part
  // clipped. Top half 10, bottom half 20.
  TPlainImage image = MakeImage(100, 90, 10);
  for (int y = 45; y < 90; ++y)
    for (int x = 0; x < 100; ++x) image.Pixel(x, y)[0] = 20;
  host::TBitmap src, dst;
  ToBitmap(image, src);
  StretchResize(src, &dst, 200, 100, false, host::clWhite, false);
  const TPlainImage out = FromBitmap(dst);
  ASSERT_EQ(out.Width, 200);
  ASSERT_EQ(out.Height, 100);
  EXPECT_EQ(Count(out, 10, 10, 10), 200 * 90);
  EXPECT_EQ(Count(out, 20, 10, 10), 200 * 10);
}

TEST(StretchResize, KeepSmallDrawsUnscaledAndCentred) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(10, 6, 30), src);
  dst.SetPixelFormat(host::pf32bit);
  StretchResize(src, &dst, 20, 20, false, host::clBlack, true);
  EXPECT_EQ(dst.PixelFormat(), host::pf32bit);
  const TPlainImage out = FromBitmap(dst);
  EXPECT_EQ(Count(out, 30, 30, 30), 60);
  EXPECT_EQ(out.Pixel(5, 7)[0], 30);
  EXPECT_EQ(out.Pixel(14, 12)[0], 30);
  EXPECT_EQ(out.Pixel(4, 7)[0], 0);
  EXPECT_EQ(out.Pixel(15, 12)[0], 0);
}

TEST(StretchResize, PortraitFitsTheHeight) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(30, 60, 40), src);
  StretchResize(src, &dst, 50, 20, true, host::clWhite, false);
  // h = 20, w = Round(30 / 3) = 10, centred at Round(40 / 2) = 20.
  const TPlainImage out = FromBitmap(dst);
  EXPECT_EQ(Count(out, 40, 40, 40), 200);
  EXPECT_EQ(out.Pixel(20, 0)[0], 40);
  EXPECT_EQ(out.Pixel(29, 19)[0], 40);
  EXPECT_EQ(out.Pixel(30, 19)[0], 255);
}

TEST(StretchResize, DegenerateTargetsAndSources) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(30, 60, 40), src);
  StretchResize(src, nullptr, 50, 20, true, host::clWhite, false);  // nothing at all
  StretchResize(src, &dst, 0, 20, true, host::clWhite, false);
  EXPECT_EQ(dst.Width(), 0);
  EXPECT_EQ(dst.Height(), 20);
  host::TBitmap empty;
  StretchResize(empty, &dst, 8, 4, true, host::clWhite, false);
  EXPECT_EQ(Count(FromBitmap(dst), 255, 255, 255), 32);
}

TEST(FitResize, CopiesWhenNothingNeedsFitting) {
  std::mt19937 rng(4);
  const TPlainImage image = RandomImage(30, 20, rng);
  host::TBitmap src, dst;
  ToBitmap(image, src);
  FitResize(src, &dst, 10, 10, true, host::clRed, 0);
  EXPECT_EQ(FromBitmap(dst), image);
  FitResize(src, &dst, 31, 21, true, host::clRed, 1);
  EXPECT_EQ(FromBitmap(dst), image);
  FitResize(src, nullptr, 10, 10, true, host::clRed, 1);
}

TEST(FitResize, FitsByOrientationWidthOrHeight) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(200, 100, 50), src);
  FitResize(src, &dst, 100, 100, false, host::clRed, 1);  // landscape: width
  EXPECT_EQ(dst.Width(), 100);
  EXPECT_EQ(dst.Height(), 50);
  FitResize(src, &dst, 100, 80, false, host::clRed, 2);
  EXPECT_EQ(dst.Width(), 100);
  EXPECT_EQ(dst.Height(), 50);
  FitResize(src, &dst, 300, 40, false, host::clRed, 3);
  EXPECT_EQ(dst.Width(), 80);
  EXPECT_EQ(dst.Height(), 40);
  EXPECT_EQ(Count(FromBitmap(dst), 50, 50, 50), 80 * 40);
  ToBitmap(MakeImage(60, 90, 50), src);
  FitResize(src, &dst, 100, 30, false, host::clRed, 1);  // portrait: height
  EXPECT_EQ(dst.Width(), 20);
  EXPECT_EQ(dst.Height(), 30);
}

TEST(FitResize, FitWidthOfANarrowTallSourceKeepsItsSize) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(50, 300, 70), src);
  FitResize(src, &dst, 100, 100, true, host::clRed, 2);
  EXPECT_EQ(dst.Width(), 50);
  EXPECT_EQ(dst.Height(), 300);
  EXPECT_EQ(Count(FromBitmap(dst), 70, 70, 70), 50 * 300);
}

TEST(FitResize, OrientationFitKeepsProportionsWhenTheFittedSideIsShort) {
  // Landscape 80 x 40 in a 100 x 30 box: not wider than the box, but too
  // high. The width is fitted all the same, enlarging to 100 x 50, and the
  // whole target shows the picture.
  host::TBitmap src, dst;
  ToBitmap(MakeImage(80, 40, 90), src);
  FitResize(src, &dst, 100, 30, true, host::clRed, 1);
  EXPECT_EQ(dst.Width(), 100);
  EXPECT_EQ(dst.Height(), 50);
  EXPECT_EQ(Count(FromBitmap(dst), 90, 90, 90), 100 * 50);
  // Portrait 40 x 60 in a 30 x 100 box: height fitted, 67 x 100.
  ToBitmap(MakeImage(40, 60, 90), src);
  FitResize(src, &dst, 30, 100, true, host::clRed, 1);
  EXPECT_EQ(dst.Width(), 67);
  EXPECT_EQ(dst.Height(), 100);
  EXPECT_EQ(Count(FromBitmap(dst), 90, 90, 90), 67 * 100);
}

TEST(FitResize, OtherModesDrawUnscaledIntoTheBoxWithoutNegativeOffsets) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(50, 50, 15), src);
  FitResize(src, &dst, 40, 60, true, host::clWhite, 7);
  EXPECT_EQ(dst.Width(), 40);
  EXPECT_EQ(dst.Height(), 60);
  const TPlainImage out = FromBitmap(dst);
  // Width would centre at -5: raised to 0. Height centres at 5.
  EXPECT_EQ(Count(out, 15, 15, 15), 40 * 50);
  EXPECT_EQ(out.Pixel(0, 5)[0], 15);
  EXPECT_EQ(out.Pixel(0, 4)[0], 255);
  EXPECT_EQ(out.Pixel(39, 54)[0], 15);
  EXPECT_EQ(out.Pixel(39, 55)[0], 255);
}

TEST(FitResize, ZeroBoxGivesAnEmptyTarget) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(50, 20, 15), src);
  FitResize(src, &dst, 0, 60, true, host::clWhite, 2);
  EXPECT_EQ(dst.Width(), 0);
  EXPECT_EQ(dst.Height(), 0);
}

}  // namespace
}  // namespace snapkit
