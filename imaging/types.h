#pragma once
// Types shared by the imaging functions: callbacks, array types, the
// enumerations callers use to name colour spaces and planes, and the
// library's exception classes.

#include <cstdint>
#include <string_view>
#include <vector>

#include "host/system/exception.h"

namespace snapkit {

// A resampling kernel: weight at a distance (in kernel units) from the centre.
using TResampleFilter = float (*)(float);

// Optional progress report: minimum, maximum, position. The imaging
// functions always pass (0, 100, position).
using TImageProgressProc = void (*)(std::int32_t, std::int32_t, std::int32_t);

using TScanLine = std::vector<std::uint8_t>;
using TCardinalArray = std::vector<std::uint32_t>;

enum TColorSpace : std::uint8_t {
  csRGB,
  csHSV,
  csHSL,
  csCMYK,
  csRGBA,
  csBGR,
  csBGRA,
  csCMY,
  csCIELAB,
  csYCBCR,
  cs8Bit,
  cs1Bit,
  cs4Bit,
  csNone
};

enum TColorPlane : std::uint8_t {
  cpRGB,
  cpRed,
  cpGreen,
  cpBlue,
  cpHueHSV,
  cpSaturationHSV,
  cpValue,
  cpCyan,
  cpMagenta,
  cpYellow,
  cpBlack,
  cpIntensity,
  cp8bit
};

enum TSizeMode : std::uint8_t { smUseZoomValue, smOriginal, smFitBoth, smFitWidth, smFitHeight };

// Run-time names of the enumerators, as written in source ("csRGB"), and the
// way back; GetEnumValue gives -1 for an unknown name (case-insensitive).
std::string_view GetEnumName(TColorSpace Value);
std::string_view GetEnumName(TColorPlane Value);
std::string_view GetEnumName(TSizeMode Value);
int GetColorSpaceValue(std::string_view Name);
int GetColorPlaneValue(std::string_view Name);
int GetSizeModeValue(std::string_view Name);

class EGraphicEffects : public host::Exception {
 public:
  using host::Exception::Exception;
};
class EGraphicConvert : public host::Exception {
 public:
  using host::Exception::Exception;
};
class EGraphicFormat : public host::Exception {
 public:
  using host::Exception::Exception;
};

}  // namespace snapkit
