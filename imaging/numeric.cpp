#include "imaging/numeric.h"

#include <cmath>

#include "host/system/exception.h"
#include "host/system/numeric.h"

namespace snapkit {
namespace {

std::int32_t TruncToInt32(long double X) {
  long double t = std::trunc(X);
  // NaN fails both comparisons and lands here too.
  if (!(t >= -2147483648.0L && t <= 2147483647.0L))
    throw host::EConvertError("Floating point value out of integer range");
  return static_cast<std::int32_t>(t);
}

}  // namespace

std::int32_t xFloor(long double X) {
  std::int32_t r = TruncToInt32(X);
  if (X - std::trunc(X) < 0) {
    if (r == INT32_MIN) throw host::EConvertError("Floating point value out of integer range");
    --r;
  }
  return r;
}

std::int32_t xCeil(long double X) {
  std::int32_t r = TruncToInt32(X);
  if (X - std::trunc(X) > 0) {
    if (r == INT32_MAX) throw host::EConvertError("Floating point value out of integer range");
    ++r;
  }
  return r;
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
