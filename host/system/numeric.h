#pragma once
// The framework's integer arithmetic and rounding.

#include <cstdint>

namespace host {

// (Number * Numerator) / Denominator with a 64-bit intermediate, halves
// rounded away from zero; -1 when Denominator is 0.
std::int32_t MulDiv(std::int32_t Number, std::int32_t Numerator, std::int32_t Denominator);

// To nearest, ties to even (the framework's Round).
std::int64_t Round(long double X);
// Towards zero (the framework's Trunc).
std::int64_t Trunc(long double X);

}  // namespace host
