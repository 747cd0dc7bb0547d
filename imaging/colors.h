#pragma once
// Conversions between the three-byte colour record and other colour models,
// and single-colour measures. Pure functions; out parameters as the callers
// of the framework expect them.

#include <array>
#include <cstdint>

#include "host/graphics/types.h"

namespace snapkit {

using host::RGBTRIPLE;

// Hue 0 to 358 (the scale that makes RGBtoHSL and HSLtoRGB round-trip),
// saturation and lightness 0 to 255.
struct THSLTriple {
  std::int32_t Hue, Saturation, Lightness;
};
// Hue in degrees 0 to 359, saturation and value 0 to 255.
struct THSVTriple {
  std::int32_t Hue, Saturation, Value;
};
struct TCMYTriple {
  std::int32_t Cyan, Magenta, Yellow;
};
struct TCMYKQuad {
  std::uint8_t Cyan, Magenta, Yellow, Black;
};
struct TYCbCrTriple {
  std::int32_t Y, Cb, Cr;
};
using TRGBAQuad = std::array<std::uint32_t, 4>;
using TBGRAQuad = std::array<std::uint32_t, 4>;
struct TCIELABTriple {
  std::uint8_t L, a, b;
};
struct TBGRTriple {
  std::int32_t Blue, Green, Red;
};

RGBTRIPLE RGBTriple(std::uint8_t R, std::uint8_t G, std::uint8_t B);
// Plain 0x00BBGGRR colours only: the host's system colour values are not
// translated.
RGBTRIPLE ColorToRGB(host::TColor Color);
host::TColor RGBtoColor(const RGBTRIPLE& RGB);
void AssignRGBTriple(RGBTRIPLE& Dst, const RGBTRIPLE& Src);

std::int32_t RGBIntensity(const RGBTRIPLE& RGB);   // (R + G + B) div 3
std::int32_t RGBLightness(const RGBTRIPLE& RGB);   // (max + min) div 2
std::int32_t RGBSaturation(const RGBTRIPLE& RGB);  // (max - min) * 255 div max; 0 for black
std::int32_t RGBValue(const RGBTRIPLE& RGB);       // max

void RGBtoCMY(const RGBTRIPLE& RGB, TCMYTriple& CMY);
// Black is the smallest of cyan, magenta and yellow, taken out of each.
void RGBtoCMYK(const RGBTRIPLE& RGB, TCMYKQuad& CMYK);
void CMYKtoRGB(const TCMYKQuad& CMYK, RGBTRIPLE& RGB);

// H, S and L from 0 to 1.
void RGBtoHSLDbl(const RGBTRIPLE& RGB, double& H, double& S, double& L);
void RGBtoHSL(const RGBTRIPLE& RGB, THSLTriple& HSL);
void HSLDblToRGB(double H, double S, double L, RGBTRIPLE& RGB);
void HSLtoRGB(const THSLTriple& HSL, RGBTRIPLE& RGB);

// Integer HSV. HSVtoRGB leaves RGB untouched for a hue outside 0 to 360.
void RGBtoHSV(const RGBTRIPLE& RGB, THSVTriple& HSV);
void HSVtoRGB(const THSVTriple& HSV, RGBTRIPLE& RGB);

// Cb centred on 156 and Cr on 137; results clamped to 0 .. 255.
void YCbCrToRGB(const TYCbCrTriple& YCbCr, RGBTRIPLE& RGB);

// Copies the four components in place.
void RGBAtoBGRA(const TRGBAQuad& RGBA, TBGRAQuad& BGRA);
// 16-bit components to 8 bits, first and third swapped.
void RGBAtoBGRA_16(const TRGBAQuad& RGBA, TBGRAQuad& BGRA);

// L from its byte / 2.56; a and b as they are (no offset of 128); no
// white-point scaling. Results clamped to 0 .. 255.
void CIELABtoBGR(const TCIELABTriple& LAB, TBGRTriple& BGR);

}  // namespace snapkit
