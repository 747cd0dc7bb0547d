#pragma once
// Numeric helpers of the imaging library: rounding to integers with the
// rules the resampler depends on, clamping, wrapping, minimum and maximum,
// and arc functions in extended precision.

#include <cstdint>
#include <vector>

namespace snapkit {

// Largest integer not above X, and smallest not below it. Raise
// host::EConvertError when X is not a number or the result does not fit.
std::int32_t xFloor(long double X);
std::int32_t xCeil(long double X);

// Upper when X >= Upper, Lower when X < Lower (or X is not a number),
// otherwise X truncated towards zero.
std::int32_t TrimReal(std::int32_t Lower, std::int32_t Upper, double X);
// Upper when X > Upper, Lower when X < Lower, otherwise X.
std::int32_t TrimInt(std::int32_t Lower, std::int32_t Upper, std::int32_t X);
// One wrap with the period Upper - Lower: X > Upper gives X - Upper + Lower,
// X < Lower gives X + Upper - Lower.
std::int32_t LoopInt(std::int32_t Lower, std::int32_t Upper, std::int32_t X);
// LoopInt's wrap applied to X, rounded to nearest (ties to even).
std::int32_t LoopReal(std::int32_t Lower, std::int32_t Upper, double X);

std::int32_t MaxInt2(std::int32_t A, std::int32_t B);
std::int32_t MinInt2(std::int32_t A, std::int32_t B);
double MaxDouble2(double A, double B);
double MinDouble2(double A, double B);
void MinMaxInt3(std::int32_t A, std::int32_t B, std::int32_t C, std::int32_t& Min,
                std::int32_t& Max);
void MinMaxDouble3(double A, double B, double C, double& Min, double& Max);

// Smallest or largest element. An empty array raises host::EListError.
double xMinValue(const std::vector<double>& Data);
double xMaxValue(const std::vector<double>& Data);
std::int32_t xMinIntValue(const std::vector<std::int32_t>& Data);
std::int32_t xMaxIntValue(const std::vector<std::int32_t>& Data);

long double xArcTan2(long double Y, long double X);
// Outside -1 .. 1 these give NaN, as the square root does.
long double xArcCos(long double X);
long double xArcSin(long double X);

}  // namespace snapkit
