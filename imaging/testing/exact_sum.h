#pragma once
// Sum + Byte x Weight rounded once to single, worked out in integers: an
// oracle for the resampler's arithmetic that shares nothing with it.

#include <cstdint>

namespace snapkit::testing {

float ExactSingleSum(float Sum, std::uint8_t Byte, float Weight);

}  // namespace snapkit::testing
