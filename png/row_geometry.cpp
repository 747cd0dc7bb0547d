#include "png/row_geometry.h"

#include "png/errors.h"

namespace snapkit {

std::int64_t GetBufferWidth(std::uint32_t Width, std::uint8_t BitDepth, std::uint8_t ColorType) {
  const std::int64_t w = Width, d = BitDepth;
  switch (ColorType) {
    case 0:
    case 3:
      return (d * w + 7) / 8;
    case 2:
      return (3 * w * d) / 8;
    case 4:
      return (2 * w * d) / 8;
    case 6:
      return (4 * w * d) / 8;
    default:
      RaisePNGError(_PNG_ERROR_INVALID_COLOR_TYPE);
  }
}

std::int32_t GetOffset(std::uint8_t BitDepth, std::uint8_t ColorType) {
  switch (ColorType) {
    case 0:
      return BitDepth == 16 ? 2 : 1;
    case 3:
      return 1;
    case 2:
      return (3 * BitDepth) / 8;
    case 4:
      return (2 * BitDepth) / 8;
    case 6:
      return (4 * BitDepth) / 8;
    default:
      return 0;
  }
}

}  // namespace snapkit
