#pragma once
// The resampling kernels. Each takes the distance from the sample centre and
// returns the weight; outside its support it returns 0. They compute in
// extended precision and round the result to single.

#include <string_view>
#include <vector>

#include "imaging/types.h"

namespace snapkit {

float BoxFilter(float Value);       // support 0.5; 1 on (-0.5, 0.5]
float TriangleFilter(float Value);  // support 1
float HermiteFilter(float Value);   // support 1
float BellFilter(float Value);      // support 1.5
float SplineFilter(float Value);    // support 2 (cubic B-spline)
float Lanczos3Filter(float Value);  // support 3
float MitchellFilter(float Value);  // support 2 (Mitchell-Netravali, B = C = 1/3)

// sin(pi x) / (pi x), 1 at 0; pi x is rounded to single before the sine.
float NormalizedSinc(float Value);

struct TResampleFilterInfo {
  std::string_view Name;  // lower case: "box", "mitchell", "lanczos3", ...
  TResampleFilter Filter;
  float Support;  // the smallest filter width that covers every non-zero weight
};

// The seven kernels, in the order above.
const std::vector<TResampleFilterInfo>& ResampleFilters();
// Looks a kernel up by name, ignoring case; null when there is none.
const TResampleFilterInfo* FindResampleFilter(std::string_view Name);

}  // namespace snapkit
