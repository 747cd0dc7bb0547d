#include "imaging/types.h"

#include <cctype>

namespace snapkit {
namespace {

constexpr std::string_view kColorSpaceNames[] = {
    "csRGB", "csHSV",    "csHSL",   "csCMYK", "csRGBA", "csBGR",  "csBGRA",
    "csCMY", "csCIELAB", "csYCBCR", "cs8Bit", "cs1Bit", "cs4Bit", "csNone"};
constexpr std::string_view kColorPlaneNames[] = {
    "cpRGB",  "cpRed",     "cpGreen",  "cpBlue",  "cpHueHSV",    "cpSaturationHSV", "cpValue",
    "cpCyan", "cpMagenta", "cpYellow", "cpBlack", "cpIntensity", "cp8bit"};
constexpr std::string_view kSizeModeNames[] = {"smUseZoomValue", "smOriginal", "smFitBoth",
                                               "smFitWidth", "smFitHeight"};

template <std::size_t N>
std::string_view NameOf(const std::string_view (&Names)[N], unsigned Value) {
  return Value < N ? Names[Value] : std::string_view();
}

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(A[i])) !=
        std::tolower(static_cast<unsigned char>(B[i])))
      return false;
  return true;
}

template <std::size_t N>
int ValueOf(const std::string_view (&Names)[N], std::string_view Name) {
  for (std::size_t i = 0; i < N; ++i)
    if (SameText(Names[i], Name)) return static_cast<int>(i);
  return -1;
}

}  // namespace

std::string_view GetEnumName(TColorSpace Value) { return NameOf(kColorSpaceNames, Value); }
std::string_view GetEnumName(TColorPlane Value) { return NameOf(kColorPlaneNames, Value); }
std::string_view GetEnumName(TSizeMode Value) { return NameOf(kSizeModeNames, Value); }
int GetColorSpaceValue(std::string_view Name) { return ValueOf(kColorSpaceNames, Name); }
int GetColorPlaneValue(std::string_view Name) { return ValueOf(kColorPlaneNames, Name); }
int GetSizeModeValue(std::string_view Name) { return ValueOf(kSizeModeNames, Name); }

}  // namespace snapkit
