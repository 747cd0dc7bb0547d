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

// The seven passes of Adam7 interlacing. Mask says which columns of each
// group of eight a pass holds, bit 7 for column 0.
struct TAdam7Pass {
  std::int32_t FirstRow, FirstCol, RowStep, ColStep;
  std::uint8_t Mask;
};
inline constexpr TAdam7Pass Adam7[7] = {{0, 0, 8, 8, 0x80}, {0, 4, 8, 8, 0x08}, {4, 0, 8, 4, 0x88},
                                        {0, 2, 4, 4, 0x22}, {2, 0, 4, 2, 0xAA}, {0, 1, 2, 2, 0x55},
                                        {1, 0, 2, 1, 0xFF}};

// Pixels in each row of a pass, and its rows, for an image of Width x Height.
inline std::int64_t Adam7PassWidth(const TAdam7Pass& Pass, std::int64_t Width) {
  return Width > Pass.FirstCol ? (Width - Pass.FirstCol + Pass.ColStep - 1) / Pass.ColStep : 0;
}
inline std::int64_t Adam7PassRows(const TAdam7Pass& Pass, std::int64_t Height) {
  return Height > Pass.FirstRow ? (Height - Pass.FirstRow + Pass.RowStep - 1) / Pass.RowStep : 0;
}

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
