#include "imaging/filters.h"

#include <gtest/gtest.h>

#include <cmath>

namespace snapkit {
namespace {

TEST(Filters, KnownValues) {
  EXPECT_EQ(BoxFilter(-0.5f), 0.0f);
  EXPECT_EQ(BoxFilter(0.5f), 1.0f);
  EXPECT_EQ(BoxFilter(0.0f), 1.0f);
  EXPECT_EQ(TriangleFilter(0.25f), 0.75f);
  EXPECT_EQ(HermiteFilter(0.5f), 0.5f);  // (2 * 0.5 - 3) * 0.25 + 1
  EXPECT_EQ(BellFilter(0.0f), 0.75f);
  EXPECT_EQ(BellFilter(1.0f), 0.125f);  // 0.5 * (1 - 1.5)^2
  EXPECT_EQ(SplineFilter(0.0f), static_cast<float>(2.0L / 3));
  EXPECT_EQ(SplineFilter(1.5f), static_cast<float>(0.125L / 6));
  EXPECT_EQ(Lanczos3Filter(0.0f), 1.0f);
  EXPECT_EQ(MitchellFilter(0.0f), static_cast<float>(8.0L / 9));   // 0.8888889
  EXPECT_EQ(MitchellFilter(1.0f), static_cast<float>(1.0L / 18));  // 0.0555556
  EXPECT_NEAR(MitchellFilter(0.0f), 0.8888889f, 1e-7);
  EXPECT_NEAR(MitchellFilter(-1.0f), 0.0555556f, 1e-7);
  // The cubic's negative lobe between 1 and 2.
  EXPECT_LT(MitchellFilter(1.5f), 0.0f);
  EXPECT_LT(Lanczos3Filter(1.5f), 0.0f);
}

TEST(Filters, ZeroFromTheSupportOutwardsAndSymmetric) {
  for (const TResampleFilterInfo& f : ResampleFilters()) {
    // Box is closed on the right: 1 at +0.5, 0 at -0.5.
    EXPECT_EQ(f.Filter(f.Support), f.Filter == BoxFilter ? 1.0f : 0.0f) << f.Name;
    EXPECT_EQ(f.Filter(-f.Support), 0.0f) << f.Name;
    EXPECT_EQ(f.Filter(f.Support + 0.25f), 0.0f) << f.Name;
    EXPECT_EQ(f.Filter(-f.Support - 7.0f), 0.0f) << f.Name;
    // Just inside the support some weight is left (Box: only on the right).
    EXPECT_NE(f.Filter(f.Support - 0.01f), 0.0f) << f.Name;
    if (f.Filter == BoxFilter) continue;
    for (float x = 0; x < f.Support + 1; x += 0.0625f)
      EXPECT_EQ(f.Filter(x), f.Filter(-x)) << f.Name << " at " << x;
  }
}

TEST(Filters, UnitAreaWithSamplesOnePixelApart) {
  // Sampled at a whole-pixel spacing from any phase, the smooth kernels sum
  // to one (within single-precision rounding); Lanczos approximately.
  for (const TResampleFilterInfo& f : ResampleFilters()) {
    for (float phase : {0.0f, 0.25f, 0.5f, 0.8f}) {
      double total = 0;
      for (int j = -4; j <= 4; ++j) total += f.Filter(phase + j);
      const double tolerance = f.Filter == Lanczos3Filter ? 0.02 : 1e-6;
      EXPECT_NEAR(total, 1.0, tolerance) << f.Name << " phase " << phase;
    }
  }
}

TEST(Filters, NormalizedSinc) {
  EXPECT_EQ(NormalizedSinc(0.0f), 1.0f);
  EXPECT_NEAR(NormalizedSinc(1.0f), 0.0f, 1e-7f);
  EXPECT_NEAR(NormalizedSinc(0.5f), 2 / 3.14159265358979, 1e-7);
  EXPECT_NEAR(NormalizedSinc(-2.5f), 1 / (2.5 * 3.14159265358979), 1e-7);
}

TEST(Filters, LookUpByName) {
  EXPECT_EQ(FindResampleFilter("mitchell")->Filter, MitchellFilter);
  EXPECT_EQ(FindResampleFilter("Lanczos3")->Filter, Lanczos3Filter);
  EXPECT_EQ(FindResampleFilter("BOX")->Support, 0.5f);
  EXPECT_EQ(FindResampleFilter("spline")->Support, 2.0f);
  EXPECT_EQ(FindResampleFilter("lanczos"), nullptr);
  EXPECT_EQ(FindResampleFilter(""), nullptr);
  EXPECT_EQ(ResampleFilters().size(), 7u);
  for (const TResampleFilterInfo& f : ResampleFilters()) EXPECT_EQ(FindResampleFilter(f.Name), &f);
}

}  // namespace
}  // namespace snapkit
