#include "host/system/datetime.h"

#include <sys/time.h>

#include <cmath>
#include <ctime>

#include "host/system/exception.h"
#include "host/system/numeric.h"

namespace host {

namespace {

constexpr std::int64_t MSecsPerDay = 24LL * 60 * 60 * 1000;
// Days from 1 January of year 1 to 30 December 1899.
constexpr std::int64_t DateDelta = 693594;

int DaysInMonth(std::uint16_t Year, std::uint16_t Month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return Month == 2 && IsLeapYear(Year) ? 29 : days[Month - 1];
}

// Whole days since 1 January of year 1 (day 1) and milliseconds into the day.
// Times before 1899 are negative numbers whose fraction still counts forward
// from midnight, so the fraction's magnitude is the time of day.
void Split(TDateTime Value, std::int64_t& Days, std::int64_t& MSecs) {
  if (!std::isfinite(Value) || std::fabs(Value) > 3.0e6)
    throw EConvertError("Invalid argument to date decode");
  std::int64_t total = Round(static_cast<long double>(Value) * MSecsPerDay);
  Days = DateDelta + total / MSecsPerDay;
  MSecs = (total < 0 ? -total : total) % MSecsPerDay;
}

}  // namespace

bool IsLeapYear(std::uint16_t Year) {
  return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
}

bool TryEncodeDate(std::uint16_t Year, std::uint16_t Month, std::uint16_t Day, TDateTime& Result) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      Day > DaysInMonth(Year, Month))
    return false;
  std::int64_t d = Day;
  for (int m = 1; m < Month; ++m) d += DaysInMonth(Year, static_cast<std::uint16_t>(m));
  std::int64_t y = Year - 1;
  Result = static_cast<TDateTime>(y * 365 + y / 4 - y / 100 + y / 400 + d - DateDelta);
  return true;
}

bool TryEncodeTime(std::uint16_t Hour, std::uint16_t Min, std::uint16_t Sec, std::uint16_t MSec,
                   TDateTime& Result) {
  if (Hour >= 24 || Min >= 60 || Sec >= 60 || MSec >= 1000) return false;
  std::int64_t ms = ((Hour * 60LL + Min) * 60 + Sec) * 1000 + MSec;
  Result = static_cast<TDateTime>(ms) / static_cast<TDateTime>(MSecsPerDay);
  return true;
}

TDateTime EncodeDate(std::uint16_t Year, std::uint16_t Month, std::uint16_t Day) {
  TDateTime r;
  if (!TryEncodeDate(Year, Month, Day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(std::uint16_t Hour, std::uint16_t Min, std::uint16_t Sec, std::uint16_t MSec) {
  TDateTime r;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, r))
    throw EConvertError("Invalid argument to time encode");
  return r;
}

void DecodeDate(TDateTime Date, std::uint16_t& Year, std::uint16_t& Month, std::uint16_t& Day) {
  std::int64_t days, ms;
  Split(Date, days, ms);
  if (days <= 0) {
    Year = Month = Day = 0;
    return;
  }
  constexpr std::int64_t D1 = 365, D4 = D1 * 4 + 1, D100 = D4 * 25 - 1, D400 = D100 * 4 + 1;
  std::int64_t t = days - 1;
  std::int64_t y = 1;
  y += (t / D400) * 400;
  t %= D400;
  std::int64_t i = t / D100;
  t %= D100;
  if (i == 4) {  // last day of a 400-year cycle
    i = 3;
    t += D100;
  }
  y += i * 100;
  y += (t / D4) * 4;
  t %= D4;
  i = t / D1;
  t %= D1;
  if (i == 4) {  // last day of a leap cycle
    i = 3;
    t += D1;
  }
  y += i;
  Year = static_cast<std::uint16_t>(y);
  std::uint16_t m = 1;
  while (t >= DaysInMonth(Year, m)) {
    t -= DaysInMonth(Year, m);
    ++m;
  }
  Month = m;
  Day = static_cast<std::uint16_t>(t + 1);
}

void DecodeTime(TDateTime Time, std::uint16_t& Hour, std::uint16_t& Min, std::uint16_t& Sec,
                std::uint16_t& MSec) {
  std::int64_t days, ms;
  Split(Time, days, ms);
  MSec = static_cast<std::uint16_t>(ms % 1000);
  ms /= 1000;
  Sec = static_cast<std::uint16_t>(ms % 60);
  ms /= 60;
  Min = static_cast<std::uint16_t>(ms % 60);
  Hour = static_cast<std::uint16_t>(ms / 60);
}

TDateTime Now() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm local{};
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &local);
  return EncodeDate(static_cast<std::uint16_t>(local.tm_year + 1900),
                    static_cast<std::uint16_t>(local.tm_mon + 1),
                    static_cast<std::uint16_t>(local.tm_mday)) +
         EncodeTime(static_cast<std::uint16_t>(local.tm_hour),
                    static_cast<std::uint16_t>(local.tm_min),
                    static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec),
                    static_cast<std::uint16_t>(tv.tv_usec / 1000));
}

}  // namespace host
