#include "host/system/datetime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "host/system/exception.h"

namespace host {
namespace {

TEST(DateTime, KnownDatesAndTimes) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586.0);  // 2000 is a leap year
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  EXPECT_NEAR(EncodeTime(23, 59, 59, 999), 1.0 - 1.0 / 86400000, 1e-12);
}

TEST(DateTime, EveryDayDecodesBackToItsDate) {
  for (int day = -693593; day <= 2958465; day += 7) {
    std::uint16_t y, m, d;
    DecodeDate(day, y, m, d);
    ASSERT_EQ(EncodeDate(y, m, d), day) << y << "-" << m << "-" << d;
  }
  // Around the leap days, step by one.
  for (int day = EncodeDate(1899, 12, 1); day < EncodeDate(1900, 4, 1); ++day) {
    std::uint16_t y, m, d;
    DecodeDate(day, y, m, d);
    ASSERT_EQ(EncodeDate(y, m, d), day);
  }
}

TEST(DateTime, TimesRoundTripToTheMillisecond) {
  for (int h = 0; h < 24; h += 5)
    for (int mi = 0; mi < 60; mi += 7)
      for (int ms : {0, 1, 499, 999}) {
        std::uint16_t H, M, S, MS;
        DecodeTime(EncodeDate(2024, 2, 29) + EncodeTime(h, mi, 59, ms), H, M, S, MS);
        ASSERT_EQ(H, h);
        ASSERT_EQ(M, mi);
        ASSERT_EQ(S, 59);
        ASSERT_EQ(MS, ms);
      }
}

TEST(DateTime, BeforeTheEpochTheFractionIsStillTheTimeOfDay) {
  std::uint16_t y, m, d, h, mi, s, ms;
  DecodeDate(-1.25, y, m, d);
  DecodeTime(-1.25, h, mi, s, ms);
  EXPECT_EQ(y, 1899);
  EXPECT_EQ(m, 12);
  EXPECT_EQ(d, 29);
  EXPECT_EQ(h, 6);
}

TEST(DateTime, InvalidValuesAreRefused) {
  TDateTime r = 123;
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, r));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, r));
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, r));
  EXPECT_FALSE(TryEncodeDate(2023, 4, 31, r));
  EXPECT_FALSE(TryEncodeDate(2023, 13, 1, r));
  EXPECT_FALSE(TryEncodeDate(2023, 0, 1, r));
  EXPECT_FALSE(TryEncodeDate(2023, 1, 0, r));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, r));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, r));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, r));
  EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, r));
  EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, r));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, r));
  try {
    EncodeDate(2023, 2, 29);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Invalid argument to date encode");
  }
  try {
    EncodeTime(25, 0, 0, 0);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Invalid argument to time encode");
  }
  std::uint16_t y, m, d;
  EXPECT_THROW(DecodeDate(NAN, y, m, d), EConvertError);
  EXPECT_THROW(DecodeDate(1e300, y, m, d), EConvertError);
}

TEST(DateTime, NowIsTheLocalClock) {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  TDateTime expected = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
                       EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, 0);
  EXPECT_NEAR(Now(), expected, 5.0 / 86400);
}

}  // namespace
}  // namespace host
