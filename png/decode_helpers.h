#pragma once
// Sample routines the codec exports for callers that handle raw PNG data
// themselves; the decoder does not use them.

#include <cstdint>

namespace snapkit {

// 255 * (Value / 255) ^ Gamma + 0.5, with Value capped at 255; 0 for Value <= 0.
// Gamma is the exponent itself, not its inverse.
double CalculateGamma(double Gamma, std::int32_t Value);
// CalculateGamma truncated into 0..255, i.e. rounded half up.
std::int32_t IntGamma(double Gamma, std::int32_t Value);

// Byte order reversal of one big-endian word.
std::uint32_t SwapL(std::uint32_t Value);
std::uint16_t SwapS(std::uint16_t Value);
// Swaps the two bytes of each of Count 16-bit words at P in place.
void SwapS(void* P, std::uint32_t Count);

// Turn horizontal byte differences back into values: P[i + stride] += P[i]
// for Count pixels of 1, 3 or 4 bytes, so the buffer holds Count + 1 pixels.
// A Count of 0 changes nothing.
void Deprediction1(std::uint8_t* P, std::uint32_t Count);
void Deprediction3(std::uint8_t* P, std::uint32_t Count);
void Deprediction4(std::uint8_t* P, std::uint32_t Count);

}  // namespace snapkit
