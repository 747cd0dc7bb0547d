#include "png/decode_helpers.h"

#include <cmath>
#include <cstddef>

#include "imaging/numeric.h"

namespace snapkit {

namespace {

void Accumulate(std::uint8_t* P, std::size_t Bytes, std::size_t Stride) {
  for (std::size_t i = 0; i < Bytes; ++i) P[i + Stride] = std::uint8_t(P[i + Stride] + P[i]);
}

}  // namespace

double CalculateGamma(double Gamma, std::int32_t Value) {
  const std::int32_t v = Value > 255 ? 255 : Value;
  if (v <= 0) return 0;
  return 255.0 * std::exp(Gamma * std::log(v / 255.0)) + 0.5;
}

std::int32_t IntGamma(double Gamma, std::int32_t Value) {
  return TrimReal(0, 255, CalculateGamma(Gamma, Value));
}

std::uint32_t SwapL(std::uint32_t Value) { return __builtin_bswap32(Value); }

std::uint16_t SwapS(std::uint16_t Value) { return __builtin_bswap16(Value); }

void SwapS(void* P, std::uint32_t Count) {
  auto* b = static_cast<std::uint8_t*>(P);
  for (std::uint32_t i = 0; i < Count; ++i, b += 2) {
    const std::uint8_t t = b[0];
    b[0] = b[1];
    b[1] = t;
  }
}

void Deprediction1(std::uint8_t* P, std::uint32_t Count) { Accumulate(P, Count, 1); }
void Deprediction3(std::uint8_t* P, std::uint32_t Count) {
  Accumulate(P, std::size_t(Count) * 3, 3);
}
void Deprediction4(std::uint8_t* P, std::uint32_t Count) {
  Accumulate(P, std::size_t(Count) * 4, 4);
}

}  // namespace snapkit
