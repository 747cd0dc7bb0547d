#pragma once
// PNG row geometry and the Paeth predictor, shared by the encoder and the
// decoder.

#include <cstdint>
#include <cstdlib>

namespace snapkit {

// Bytes in one row of Width pixels (without the filter-type byte). Computed
// in 64 bits so that absurd header widths cannot wrap. Raises
// _PNG_ERROR_INVALID_COLOR_TYPE for colour types 1, 5, 7 and above.
std::int64_t GetBufferWidth(std::uint32_t Width, std::uint8_t BitDepth, std::uint8_t ColorType);
// Filter distance in bytes: one complete pixel, at least 1; 0 for an
// unknown colour type.
std::int32_t GetOffset(std::uint8_t BitDepth, std::uint8_t ColorType);

inline std::uint8_t PaethPredictor(std::uint8_t Left, std::uint8_t Above, std::uint8_t UpperLeft) {
  const int p = int(Left) + int(Above) - int(UpperLeft);
  const int pa = std::abs(p - int(Left));
  const int pb = std::abs(p - int(Above));
  const int pc = std::abs(p - int(UpperLeft));
  if (pa <= pb && pa <= pc) return Left;
  if (pb <= pc) return Above;
  return UpperLeft;
}

}  // namespace snapkit
