#include "imaging/contributors.h"

#include <gtest/gtest.h>

#include "imaging/filters.h"

namespace snapkit {
namespace {

std::vector<int> Pixels(const TContributorTable& T, int I) {
  std::vector<int> v;
  for (int j = 0; j < T.Size(I); ++j) v.push_back(T.List(I)[j].Pixel);
  return v;
}

TEST(Contributors, EqualSizeMitchellHasThreeWeightsReflectedAtBothBorders) {
  const TContributorTable t = TContributorTable::Build(10, 10, MitchellFilter, 3.0f, nullptr);
  ASSERT_EQ(t.Count(), 10);
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(t.Size(i), 3);
    // 1/18 and 8/9 (0.0555556 and 0.8888889) rounded to single.
    EXPECT_EQ(t.List(i)[0].Weight, static_cast<float>(1.0L / 18));
    EXPECT_EQ(t.List(i)[1].Weight, static_cast<float>(8.0L / 9));
    EXPECT_EQ(t.List(i)[2].Weight, static_cast<float>(1.0L / 18));
  }
  EXPECT_EQ(Pixels(t, 0), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(Pixels(t, 4), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(Pixels(t, 9), (std::vector<int>{8, 9, 9}));
}

TEST(Contributors, EnlargementStartsOnTheFirstSourcePixel) {
  const TContributorTable t = TContributorTable::Build(5, 13, MitchellFilter, 3.0f, nullptr);
  EXPECT_EQ(Pixels(t, 0), (std::vector<int>{1, 0, 1}));
  // Scale 3: output 12 lies on source 4 again.
  EXPECT_EQ(Pixels(t, 12), (std::vector<int>{3, 4, 4}));
  // Output 1 sits a third of the way from source 0 to 1.
  EXPECT_EQ(Pixels(t, 1), (std::vector<int>{1, 0, 1, 2}));
}

TEST(Contributors, ShrinkingWidensTheKernelAndScalesItsWeights) {
  // Scale (4 - 1) / (13 - 1) = 0.25: Triangle reaches 4 pixels each way,
  // with weights (1 - d / 4) / 4.
  const TContributorTable t = TContributorTable::Build(13, 4, TriangleFilter, 1.0f, nullptr);
  ASSERT_EQ(t.Size(1), 7);
  EXPECT_EQ(Pixels(t, 1), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  const float expected[7] = {0.0625f, 0.125f, 0.1875f, 0.25f, 0.1875f, 0.125f, 0.0625f};
  for (int j = 0; j < 7; ++j) EXPECT_EQ(t.List(1)[j].Weight, expected[j]);
}

TEST(Contributors, NarrowFilterWidthsKeepEveryCandidate) {
  // Width 0.1 leaves room for trunc(1.2) = 1 entry. Box on whole centres
  // fits; Triangle sampled from a centre half-way between two pixels has
  // two non-zero weights, and both are kept.
  const TContributorTable box = TContributorTable::Build(6, 6, BoxFilter, 0.1f, nullptr);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Pixels(box, i), (std::vector<int>{i}));
  const TContributorTable tri = TContributorTable::Build(6, 11, TriangleFilter, 0.1f, nullptr);
  EXPECT_EQ(Pixels(tri, 1), (std::vector<int>{0, 1}));  // centre 0.5 sees 0 and 1
  EXPECT_FLOAT_EQ(tri.List(1)[0].Weight, 0.5f);
  EXPECT_EQ(tri.MaxSize(), 2);
}

TEST(Contributors, ReflectionNeverLeavesTheSource) {
  EXPECT_EQ(ReflectIndex(-1, 10), 1);
  EXPECT_EQ(ReflectIndex(-9, 10), 9);
  EXPECT_EQ(ReflectIndex(10, 10), 9);
  EXPECT_EQ(ReflectIndex(19, 10), 0);
  // Beyond a second border it keeps reflecting.
  EXPECT_EQ(ReflectIndex(-2, 2), 1);
  EXPECT_EQ(ReflectIndex(3, 2), 0);
  EXPECT_EQ(ReflectIndex(4, 2), 1);
  EXPECT_EQ(ReflectIndex(-7, 1), 0);
  for (int s = 1; s < 6; ++s)
    for (int j = -40; j < 40; ++j) {
      const int n = ReflectIndex(j, s);
      EXPECT_TRUE(n >= 0 && n < s) << j << " in " << s;
    }
}

TEST(Contributors, SingleOutputOfALongAxisCoversItAroundTheMiddle) {
  const TContributorTable t = TContributorTable::Build(9, 1, TriangleFilter, 1.0f, nullptr);
  // Centre 4, half-width 9: every pixel contributes, none more than the
  // middle one (the folded borders can tie with it), and the weights
  // (1 - d / 9) / 9 add up to 1.
  ASSERT_EQ(t.Count(), 1);
  float weightAt[9] = {};
  double total = 0;
  for (int j = 0; j < t.Size(0); ++j) {
    weightAt[t.List(0)[j].Pixel] += t.List(0)[j].Weight;
    total += t.List(0)[j].Weight;
  }
  EXPECT_NEAR(total, 1.0, 1e-6);
  for (int p = 0; p < 9; ++p) {
    EXPECT_GT(weightAt[p], 0) << p;
    EXPECT_LE(weightAt[p], weightAt[4]) << p;
  }
}

}  // namespace
}  // namespace snapkit
