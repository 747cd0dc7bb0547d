#include "imaging/filters.h"

#include <cctype>
#include <cmath>

namespace snapkit {
namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

}  // namespace

float BoxFilter(float Value) {
  // Open on the left, closed on the right: exactly one of two samples half
  // a pixel apart gets the weight.
  return (Value > -0.5f && Value <= 0.5f) ? 1.0f : 0.0f;
}

float TriangleFilter(float Value) {
  long double t = std::fabs(static_cast<long double>(Value));
  if (t < 1) return static_cast<float>(1 - t);
  return 0;
}

float HermiteFilter(float Value) {
  long double t = std::fabs(static_cast<long double>(Value));
  if (t < 1) return static_cast<float>((2 * t - 3) * t * t + 1);
  return 0;
}

float BellFilter(float Value) {
  long double t = std::fabs(static_cast<long double>(Value));
  if (t < 0.5L) return static_cast<float>(0.75L - t * t);
  if (t < 1.5L) {
    long double d = t - 1.5L;
    return static_cast<float>(0.5L * d * d);
  }
  return 0;
}

float SplineFilter(float Value) {
  long double t = std::fabs(static_cast<long double>(Value));
  if (t < 1) return static_cast<float>(0.5L * t * t * t - t * t + 2.0L / 3.0L);
  if (t < 2) {
    long double d = 2 - t;
    return static_cast<float>(1.0L / 6.0L * d * d * d);
  }
  return 0;
}

float NormalizedSinc(float Value) {
  if (Value == 0) return 1;
  float y = static_cast<float>(Value * kPi);
  return static_cast<float>(std::sin(static_cast<long double>(y)) / y);
}

float Lanczos3Filter(float Value) {
  long double t = std::fabs(static_cast<long double>(Value));
  if (t < 3) {
    float third = static_cast<float>(t / 3);
    return static_cast<float>(static_cast<long double>(NormalizedSinc(static_cast<float>(t))) *
                              NormalizedSinc(third));
  }
  return 0;
}

float MitchellFilter(float Value) {
  long double t = std::fabs(static_cast<long double>(Value));
  long double tt = t * t;
  if (t < 1) return static_cast<float>((7 * t * tt - 12 * tt + 16.0L / 3.0L) / 6);
  if (t < 2)
    return static_cast<float>((-(7.0L / 3.0L) * t * tt + 12 * tt - 20 * t + 32.0L / 3.0L) / 6);
  return 0;
}

const std::vector<TResampleFilterInfo>& ResampleFilters() {
  static const std::vector<TResampleFilterInfo> filters = {
      {"box", BoxFilter, 0.5f},          {"triangle", TriangleFilter, 1.0f},
      {"hermite", HermiteFilter, 1.0f},  {"bell", BellFilter, 1.5f},
      {"spline", SplineFilter, 2.0f},    {"lanczos3", Lanczos3Filter, 3.0f},
      {"mitchell", MitchellFilter, 2.0f}};
  return filters;
}

const TResampleFilterInfo* FindResampleFilter(std::string_view Name) {
  for (const TResampleFilterInfo& f : ResampleFilters()) {
    if (f.Name.size() != Name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < Name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(Name[i])) == f.Name[i];
    if (same) return &f;
  }
  return nullptr;
}

}  // namespace snapkit
