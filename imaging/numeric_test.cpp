#include "imaging/numeric.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/system/exception.h"

namespace snapkit {
namespace {

TEST(Numeric, FloorAndCeil) {
  EXPECT_EQ(xFloor(2.7L), 2);
  EXPECT_EQ(xFloor(-2.3L), -3);
  EXPECT_EQ(xFloor(-3.0L), -3);
  EXPECT_EQ(xFloor(-0.0L), 0);
  EXPECT_EQ(xCeil(2.1L), 3);
  EXPECT_EQ(xCeil(-2.7L), -2);
  EXPECT_EQ(xCeil(5.0L), 5);
  EXPECT_EQ(xFloor(2147483647.5L), 2147483647);
  EXPECT_EQ(xCeil(-2147483648.5L), -2147483648);
  EXPECT_THROW(xFloor(-2147483648.5L), host::EConvertError);
  EXPECT_THROW(xCeil(2147483647.5L), host::EConvertError);
  EXPECT_THROW(xFloor(NAN), host::EConvertError);
  EXPECT_THROW(xCeil(INFINITY), host::EConvertError);
}

TEST(Numeric, TrimRealClampsAndTruncates) {
  EXPECT_EQ(TrimReal(0, 255, 254.99), 254);
  EXPECT_EQ(TrimReal(0, 255, 255.0), 255);
  EXPECT_EQ(TrimReal(0, 255, 1e30), 255);
  EXPECT_EQ(TrimReal(0, 255, -3), 0);
  EXPECT_EQ(TrimReal(0, 255, -0.5), 0);
  EXPECT_EQ(TrimReal(-10, 10, -2.9), -2);  // towards zero inside the range
  EXPECT_EQ(TrimReal(0, 255, NAN), 0);
}

TEST(Numeric, TrimAndLoop) {
  EXPECT_EQ(TrimInt(0, 255, 300), 255);
  EXPECT_EQ(TrimInt(0, 255, -1), 0);
  EXPECT_EQ(TrimInt(0, 255, 17), 17);
  EXPECT_EQ(LoopInt(0, 10, 12), 2);
  EXPECT_EQ(LoopInt(0, 10, -3), 7);
  EXPECT_EQ(LoopInt(0, 10, 10), 10);
  EXPECT_EQ(LoopInt(5, 8, 9), 6);
  EXPECT_EQ(LoopInt(0, 10, 2147483647), 2147483637);
  EXPECT_EQ(LoopReal(0, 10, 12.5), 2);  // 2.5 to even
  EXPECT_EQ(LoopReal(0, 10, 13.5), 4);  // 3.5 to even
  EXPECT_EQ(LoopReal(0, 10, -2.6), 7);  // 7.4
  EXPECT_EQ(LoopReal(0, 10, 4.5), 4);
}

TEST(Numeric, MinimaAndMaxima) {
  EXPECT_EQ(MaxInt2(-3, 2), 2);
  EXPECT_EQ(MinInt2(-3, 2), -3);
  EXPECT_EQ(MaxDouble2(0.5, -1.5), 0.5);
  EXPECT_EQ(MinDouble2(0.5, -1.5), -1.5);
  std::int32_t lo, hi;
  MinMaxInt3(5, -7, 3, lo, hi);
  EXPECT_EQ(lo, -7);
  EXPECT_EQ(hi, 5);
  double dlo, dhi;
  MinMaxDouble3(0.25, 0.75, -0.5, dlo, dhi);
  EXPECT_EQ(dlo, -0.5);
  EXPECT_EQ(dhi, 0.75);
  EXPECT_EQ(xMinValue({3.5, -1.25, 9}), -1.25);
  EXPECT_EQ(xMaxValue({3.5, -1.25, 9}), 9);
  EXPECT_EQ(xMinIntValue({4}), 4);
  EXPECT_EQ(xMaxIntValue({4, 8, -2, 8}), 8);
  EXPECT_THROW(xMinValue({}), host::EListError);
  EXPECT_THROW(xMaxIntValue({}), host::EListError);
}

TEST(Numeric, ArcFunctions) {
  const long double pi = 3.141592653589793238462643383279502884L;
  EXPECT_NEAR(xArcTan2(-1, -1), -3 * pi / 4, 1e-15L);
  EXPECT_NEAR(xArcTan2(1, 0), pi / 2, 1e-15L);
  EXPECT_NEAR(xArcCos(0), pi / 2, 1e-15L);
  EXPECT_NEAR(xArcCos(-1), pi, 1e-15L);
  EXPECT_NEAR(xArcSin(1), pi / 2, 1e-15L);
  EXPECT_NEAR(xArcSin(-0.5L), -pi / 6, 1e-15L);
  EXPECT_TRUE(std::isnan(xArcSin(2)));
}

}  // namespace
}  // namespace snapkit
