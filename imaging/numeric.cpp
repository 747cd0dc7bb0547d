#include "imaging/numeric.h"

#include <cmath>

#include "host/system/exception.h"
#include "host/system/numeric.h"

namespace snapkit {
namespace {

[[noreturn]] void OutOfRange() {
  throw host::EConvertError("Floating point value out of integer range");
}

// The integer nearest to X, for |X| below 2^62: adding 1.5 * 2^63 leaves no
// fraction bits in the 64-bit significand, so the sum is rounded to a whole
// number, and subtracting it back is exact. No change of the x87 rounding
// mode (which a conversion or truncl needs, and which is slow) is involved.
long double NearestWhole(long double X) {
  constexpr long double kShift = 0x3p62L;
  return (X + kShift) - kShift;
}

std::int32_t ToInt32(long double Whole) {
  // NaN fails both comparisons.
  if (!(Whole >= -2147483648.0L && Whole <= 2147483647.0L)) OutOfRange();
  // Exact in double, whose conversion needs no mode change either.
  return static_cast<std::int32_t>(static_cast<double>(Whole));
}

}  // namespace

std::int32_t xFloor(long double X) {
  if (!(X > -0x1p62L && X < 0x1p62L)) OutOfRange();
  const long double r = NearestWhole(X);
  return ToInt32(r > X ? r - 1 : r);
}

std::int32_t xCeil(long double X) {
  if (!(X > -0x1p62L && X < 0x1p62L)) OutOfRange();
  const long double r = NearestWhole(X);
  return ToInt32(r < X ? r + 1 : r);
}

std::int32_t TrimReal(std::int32_t Lower, std::int32_t Upper, double X) {
  if (X >= Upper) return Upper;
  if (X >= Lower) return static_cast<std::int32_t>(X);  // below Upper, so it fits
  return Lower;
}

std::int32_t TrimInt(std::int32_t Lower, std::int32_t Upper, std::int32_t X) {
  if (X > Upper) return Upper;
  if (X < Lower) return Lower;
  return X;
}

std::int32_t LoopInt(std::int32_t Lower, std::int32_t Upper, std::int32_t X) {
  // 64-bit intermediates: extreme arguments must not overflow on the way.
  std::int64_t x = X;
  if (x > Upper) return static_cast<std::int32_t>(x - Upper + Lower);
  if (x < Lower) return static_cast<std::int32_t>(x + Upper - Lower);
  return X;
}

std::int32_t LoopReal(std::int32_t Lower, std::int32_t Upper, double X) {
  long double x = X;
  if (x > Upper)
    x = x - Upper + Lower;
  else if (x < Lower)
    x = x + Upper - Lower;
  return static_cast<std::int32_t>(host::Round(x));
}

std::int32_t MaxInt2(std::int32_t A, std::int32_t B) { return A > B ? A : B; }
std::int32_t MinInt2(std::int32_t A, std::int32_t B) { return A < B ? A : B; }
double MaxDouble2(double A, double B) { return A > B ? A : B; }
double MinDouble2(double A, double B) { return A < B ? A : B; }

void MinMaxInt3(std::int32_t A, std::int32_t B, std::int32_t C, std::int32_t& Min,
                std::int32_t& Max) {
  Min = MinInt2(MinInt2(A, B), C);
  Max = MaxInt2(MaxInt2(A, B), C);
}

void MinMaxDouble3(double A, double B, double C, double& Min, double& Max) {
  Min = MinDouble2(MinDouble2(A, B), C);
  Max = MaxDouble2(MaxDouble2(A, B), C);
}

namespace {

template <class T, class Better>
T Extreme(const std::vector<T>& Data, Better better) {
  if (Data.empty()) throw host::EListError("List index out of bounds (0)");
  T r = Data[0];
  for (const T& v : Data)
    if (better(v, r)) r = v;
  return r;
}

}  // namespace

double xMinValue(const std::vector<double>& Data) {
  return Extreme(Data, [](double a, double b) { return a < b; });
}
double xMaxValue(const std::vector<double>& Data) {
  return Extreme(Data, [](double a, double b) { return a > b; });
}
std::int32_t xMinIntValue(const std::vector<std::int32_t>& Data) {
  return Extreme(Data, [](std::int32_t a, std::int32_t b) { return a < b; });
}
std::int32_t xMaxIntValue(const std::vector<std::int32_t>& Data) {
  return Extreme(Data, [](std::int32_t a, std::int32_t b) { return a > b; });
}

long double xArcTan2(long double Y, long double X) { return std::atan2(Y, X); }
long double xArcCos(long double X) { return xArcTan2(std::sqrt(1 - X * X), X); }
long double xArcSin(long double X) { return xArcTan2(X, std::sqrt(1 - X * X)); }

}  // namespace snapkit
