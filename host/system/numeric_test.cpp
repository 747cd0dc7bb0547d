#include "host/system/numeric.h"

#include <gtest/gtest.h>

using namespace host;

TEST(MulDiv, RoundsHalvesAwayFromZeroAndFailsOnZeroDivisor) {
  EXPECT_EQ(MulDiv(5, 1, 2), 3);
  EXPECT_EQ(MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(MulDiv(5, -1, 2), -3);
  EXPECT_EQ(MulDiv(7, 1, 3), 2);
  EXPECT_EQ(MulDiv(8, 1, 3), 3);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
  EXPECT_EQ(MulDiv(1, 2, 0), -1);
}

TEST(Round, TiesGoToEven) {
  EXPECT_EQ(Round(0.5L), 0);
  EXPECT_EQ(Round(1.5L), 2);
  EXPECT_EQ(Round(2.5L), 2);
  EXPECT_EQ(Round(-0.5L), 0);
  EXPECT_EQ(Round(-1.5L), -2);
  EXPECT_EQ(Round(-2.5L), -2);
  EXPECT_EQ(Round(2.4999L), 2);
  EXPECT_EQ(Round(-2.6L), -3);
  EXPECT_EQ(Trunc(-2.6L), -2);
}
