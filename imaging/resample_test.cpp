#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "imaging/contributors.h"
#include "imaging/filters.h"
#include "imaging/resample_passes.h"
#include "imaging/testing/images.h"
#include "imaging/testing/reference_resample.h"
#include "imaging/testing/vector_widths.h"

namespace snapkit {
namespace {

using testing::FromBitmap;
using testing::GreyImage;
using testing::MakeImage;
using testing::RandomImage;
using testing::ReferenceResample;
using testing::ToBitmap;
using testing::TPlainImage;

TPlainImage Resampled(const TPlainImage& Src, int W, int H, TResampleFilter Filter, float FWidth,
                      TImageProgressProc Progress = nullptr) {
  host::TBitmap src, dst;
  ToBitmap(Src, src);
  Resample(src, dst, W, H, Filter, FWidth, Progress);
  return FromBitmap(dst);
}

using testing::VectorWidths;

TEST_F(VectorWidths, FastPathMatchesReferenceOnRandomImagesAndSizes) {
  std::mt19937 rng(20240607);
  std::uniform_int_distribution<int> srcSize(1, 60), newSize(0, 80);
  const auto& filters = ResampleFilters();
  const std::vector<int> widths = Supported();
  ASSERT_FALSE(widths.empty());
  for (int trial = 0; trial < 120; ++trial) {
    const int w = srcSize(rng), h = srcSize(rng), nw = newSize(rng), nh = newSize(rng);
    const TResampleFilterInfo& f = filters[rng() % filters.size()];
    // Below, at and above the support, including widths whose lists
    // outgrow 2 * width + 1.
    const float fwidth = f.Support * std::uniform_real_distribution<float>(0.2f, 2.0f)(rng);
    const TPlainImage src = RandomImage(w, h, rng);
    const TPlainImage expected = ReferenceResample(src, nw, nh, f.Filter, fwidth);
    for (int lanes : widths) {
      ASSERT_TRUE(SetResampleVectorWidth(lanes));
      ASSERT_EQ(Resampled(src, nw, nh, f.Filter, fwidth), expected)
          << f.Name << " width " << fwidth << " " << w << "x" << h << " -> " << nw << "x" << nh
          << " lanes " << lanes;
    }
  }
}

TEST_F(VectorWidths, LargerPicturesMatchReferenceInEveryWidth) {
  std::mt19937 rng(7);
  const TPlainImage src = RandomImage(203, 157, rng);
  for (auto [nw, nh] : {std::pair{37, 23}, std::pair{411, 301}, std::pair{1, 90}}) {
    const TPlainImage expected = ReferenceResample(src, nw, nh, MitchellFilter, 3.0f);
    for (int lanes : Supported()) {
      ASSERT_TRUE(SetResampleVectorWidth(lanes));
      EXPECT_EQ(Resampled(src, nw, nh, MitchellFilter, 3.0f), expected) << nw << "x" << nh;
    }
  }
}

TEST(Resample, EqualSizeMitchellKeepsEveryUniformByte) {
  for (int v = 0; v < 256; ++v) {
    TPlainImage src = MakeImage(9, 6, static_cast<std::uint8_t>(v));
    EXPECT_EQ(Resampled(src, 9, 6, MitchellFilter, 3.0f), src) << v;
  }
}

TEST(Resample, HandWorkedTriangleEnlargementTruncatesSums) {
  // Scale 2 on both axes: the middle samples get 0.5 of each neighbour, and
  // the sums 15.5, 25.5, 35.5 and 31.0 are truncated, not rounded.
  const TPlainImage src = GreyImage(2, 2, {10, 21, 30, 41});
  const TPlainImage expected = GreyImage(3, 3, {10, 15, 21, 20, 25, 31, 30, 35, 41});
  EXPECT_EQ(Resampled(src, 3, 3, TriangleFilter, 1.0f), expected);
}

TEST(Resample, SourceFormatAndIdentity) {
  std::mt19937 rng(11);
  const TPlainImage image = RandomImage(17, 12, rng);
  host::TBitmap src, dst;
  // A source without pixels: only the target's size changes.
  src.SetPixelFormat(host::pf8bit);
  src.SetSize(0, 5);
  static int calls;
  calls = 0;
  Resample(src, dst, 7, 4, MitchellFilter, 3.0f, [](int, int, int) { ++calls; });
  EXPECT_EQ(dst.Width(), 7);
  EXPECT_EQ(dst.Height(), 4);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(src.PixelFormat(), host::pf8bit);
  // Any other source is converted to 24 bits per pixel for good.
  ToBitmap(image, src);
  src.SetPixelFormat(host::pf32bit);
  Resample(src, dst, 8, 5, BellFilter, 1.5f);
  EXPECT_EQ(src.PixelFormat(), host::pf24bit);
  EXPECT_EQ(FromBitmap(dst), ReferenceResample(image, 8, 5, BellFilter, 1.5f));
  // One bitmap as source and target.
  Resample(src, src, 10, 30, SplineFilter, 2.0f);
  EXPECT_EQ(FromBitmap(src), ReferenceResample(image, 10, 30, SplineFilter, 2.0f));
}

TEST(Resample, TinySourcesAndTargetsGiveSensiblePictures) {
  // One source pixel: every contributor reads it. The weights add up to
  // just under 1 in single precision and each pass truncates, so a value
  // may lose a step per pass.
  const TPlainImage dot = MakeImage(1, 1, 200);
  const TPlainImage big = Resampled(dot, 5, 4, MitchellFilter, 3.0f);
  for (std::uint8_t b : big.Pixels) EXPECT_NEAR(b, 200, 2);
  // Two pixels with a kernel that reaches four: no read outside, values
  // stay between the two.
  const TPlainImage two = GreyImage(2, 1, {40, 80});
  for (std::uint8_t b : Resampled(two, 6, 3, Lanczos3Filter, 3.0f).Pixels) {
    EXPECT_GE(b, 30);
    EXPECT_LE(b, 90);
  }
  // One output pixel stands for the whole picture: half black, half white
  // gives a middle grey, a flat picture its own value.
  TPlainImage halves = MakeImage(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 20; x < 40; ++x) halves.Pixel(x, y)[0] = halves.Pixel(x, y)[1] = 255;
  const TPlainImage one = Resampled(halves, 1, 1, MitchellFilter, 3.0f);
  EXPECT_NEAR(one.Pixels[0], 128, 12);
  EXPECT_EQ(one.Pixels[2], 0);
  EXPECT_NEAR(Resampled(MakeImage(40, 30, 77), 1, 1, MitchellFilter, 3.0f).Pixels[0], 77, 2);
  // Zero-sized targets.
  EXPECT_EQ(Resampled(halves, 0, 7, MitchellFilter, 3.0f), MakeImage(0, 7));
  EXPECT_EQ(Resampled(halves, 9, 0, MitchellFilter, 3.0f), MakeImage(9, 0));
}

TEST(Resample, BadArgumentsRaise) {
  host::TBitmap src, dst;
  ToBitmap(MakeImage(4, 4, 1), src);
  EXPECT_THROW(Resample(src, dst, -1, 4, MitchellFilter, 3.0f), host::EInvalidGraphicOperation);
  EXPECT_THROW(Resample(src, dst, 8, 8, MitchellFilter, std::nanf("")), host::EConvertError);
  EXPECT_THROW(Resample(src, dst, 8, 8, MitchellFilter, 1e30f), host::EOutOfMemory);
  auto failing = [](float) -> float { throw std::runtime_error("kernel"); };
  EXPECT_THROW(Resample(src, dst, 3, 3, failing, 1.0f), std::runtime_error);
}

struct TProgressLog {
  static std::vector<int>& Calls() {
    static std::vector<int> calls;
    return calls;
  }
  static void Record(int Min, int Max, int Pos) {
    EXPECT_EQ(Min, 0);
    EXPECT_EQ(Max, 100);
    Calls().push_back(Pos);
  }
};

std::vector<int> ProgressRun(int Count) {
  std::vector<int> v;
  for (int i = 0; i < Count; ++i)
    v.push_back(static_cast<int>(std::nearbyint(static_cast<double>(i) / Count * 100)));
  return v;
}

TEST(Resample, ProgressComesInFourRunsBeforeEachItem) {
  TProgressLog::Calls().clear();
  host::TBitmap src, dst;
  ToBitmap(MakeImage(37, 23, 9), src);
  Resample(src, dst, 10, 8, MitchellFilter, 3.0f, TProgressLog::Record);
  std::vector<int> expected;
  for (int count : {10, 23, 8, 10}) {
    std::vector<int> run = ProgressRun(count);
    expected.insert(expected.end(), run.begin(), run.end());
  }
  // 10 outputs: 0, 10, ... 90; 8 outputs: 0, 12 (12.5 to even), 25, 38 (37.5), ...
  EXPECT_EQ(std::vector<int>(TProgressLog::Calls().begin(), TProgressLog::Calls().begin() + 10),
            (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));
  EXPECT_EQ(TProgressLog::Calls(), expected);
}

TEST(Resample, FailingProgressLeavesEarlierColumnsWritten) {
  // The last run reports columns of the target; stop at column 21 of 40.
  static int seen;
  seen = 0;
  auto stopAtColumn21 = [](int, int, int) {
    // 40 + 30 + 25 calls come before the column run.
    if (++seen == 40 + 30 + 25 + 22) throw std::runtime_error("stop");
  };
  std::mt19937 rng(9);
  const TPlainImage image = RandomImage(30, 30, rng);
  const TPlainImage full = ReferenceResample(image, 40, 25, HermiteFilter, 1.0f);
  host::TBitmap src, dst;
  ToBitmap(image, src);
  EXPECT_THROW(Resample(src, dst, 40, 25, HermiteFilter, 1.0f, stopAtColumn21), std::runtime_error);
  const TPlainImage part = FromBitmap(dst);
  ASSERT_EQ(part.Width, 40);
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 40; ++x)
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(part.Pixel(x, y)[c], x < 21 ? full.Pixel(x, y)[c] : 0) << x << "," << y;
}

}  // namespace
}  // namespace snapkit
