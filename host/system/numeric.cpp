#include "host/system/numeric.h"

#include <cfenv>
#include <cmath>

namespace host {

std::int32_t MulDiv(std::int32_t Number, std::int32_t Numerator, std::int32_t Denominator) {
  if (Denominator == 0) return -1;
  std::int64_t p = static_cast<std::int64_t>(Number) * Numerator;
  std::int64_t d = Denominator;
  std::int64_t q = p / d;
  std::int64_t r = p % d;
  // Round half away from zero: compare twice the remainder with the divisor.
  if (2 * (r < 0 ? -r : r) >= (d < 0 ? -d : d)) q += ((p < 0) != (d < 0)) ? -1 : 1;
  return static_cast<std::int32_t>(q);
}

std::int64_t Round(long double X) {
  // nearbyintl honours the current rounding mode, which is to-nearest-even
  // unless someone changed it; be explicit rather than rely on that.
  long double f = std::floor(X);
  long double diff = X - f;
  if (diff > 0.5L) return static_cast<std::int64_t>(f) + 1;
  if (diff < 0.5L) return static_cast<std::int64_t>(f);
  std::int64_t i = static_cast<std::int64_t>(f);
  return (i % 2 == 0) ? i : i + 1;
}

std::int64_t Trunc(long double X) { return static_cast<std::int64_t>(X); }

}  // namespace host
