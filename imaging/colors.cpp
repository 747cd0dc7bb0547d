#include "imaging/colors.h"

#include <cstdint>

#include "host/system/numeric.h"
#include "imaging/numeric.h"

namespace snapkit {
namespace {

// Results of out-of-range inputs are clamped rather than wrapped into a byte.
std::uint8_t ToByte(std::int64_t V) {
  return static_cast<std::uint8_t>(V < 0 ? 0 : (V > 255 ? 255 : V));
}

std::uint8_t RoundToByte(long double V) { return ToByte(host::Round(V)); }

}  // namespace

RGBTRIPLE RGBTriple(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  RGBTRIPLE t;
  t.rgbtRed = R;
  t.rgbtGreen = G;
  t.rgbtBlue = B;
  return t;
}

RGBTRIPLE ColorToRGB(host::TColor Color) {
  return RGBTriple(static_cast<std::uint8_t>(Color), static_cast<std::uint8_t>(Color >> 8),
                   static_cast<std::uint8_t>(Color >> 16));
}

host::TColor RGBtoColor(const RGBTRIPLE& RGB) {
  return RGB.rgbtRed + RGB.rgbtGreen * 256 + RGB.rgbtBlue * 65536;
}

void AssignRGBTriple(RGBTRIPLE& Dst, const RGBTRIPLE& Src) { Dst = Src; }

std::int32_t RGBIntensity(const RGBTRIPLE& RGB) {
  return (RGB.rgbtRed + RGB.rgbtGreen + RGB.rgbtBlue) / 3;
}

std::int32_t RGBLightness(const RGBTRIPLE& RGB) {
  std::int32_t lo, hi;
  MinMaxInt3(RGB.rgbtRed, RGB.rgbtGreen, RGB.rgbtBlue, lo, hi);
  return (hi + lo) / 2;
}

std::int32_t RGBSaturation(const RGBTRIPLE& RGB) {
  std::int32_t lo, hi;
  MinMaxInt3(RGB.rgbtRed, RGB.rgbtGreen, RGB.rgbtBlue, lo, hi);
  return hi == 0 ? 0 : (hi - lo) * 255 / hi;
}

std::int32_t RGBValue(const RGBTRIPLE& RGB) {
  std::int32_t lo, hi;
  MinMaxInt3(RGB.rgbtRed, RGB.rgbtGreen, RGB.rgbtBlue, lo, hi);
  return hi;
}

void RGBtoCMY(const RGBTRIPLE& RGB, TCMYTriple& CMY) {
  CMY.Cyan = 255 - RGB.rgbtRed;
  CMY.Magenta = 255 - RGB.rgbtGreen;
  CMY.Yellow = 255 - RGB.rgbtBlue;
}

void RGBtoCMYK(const RGBTRIPLE& RGB, TCMYKQuad& CMYK) {
  TCMYTriple cmy;
  RGBtoCMY(RGB, cmy);
  std::int32_t black, unused;
  MinMaxInt3(cmy.Cyan, cmy.Magenta, cmy.Yellow, black, unused);
  CMYK.Cyan = static_cast<std::uint8_t>(cmy.Cyan - black);
  CMYK.Magenta = static_cast<std::uint8_t>(cmy.Magenta - black);
  CMYK.Yellow = static_cast<std::uint8_t>(cmy.Yellow - black);
  CMYK.Black = static_cast<std::uint8_t>(black);
}

void CMYKtoRGB(const TCMYKQuad& CMYK, RGBTRIPLE& RGB) {
  auto channel = [&](std::int32_t c) {
    return ToByte(255 - (c - host::MulDiv(c, CMYK.Black, 255) + CMYK.Black));
  };
  RGB.rgbtRed = channel(CMYK.Cyan);
  RGB.rgbtGreen = channel(CMYK.Magenta);
  RGB.rgbtBlue = channel(CMYK.Yellow);
}

void RGBtoHSLDbl(const RGBTRIPLE& RGB, double& H, double& S, double& L) {
  const long double r = RGB.rgbtRed / 255.0L, g = RGB.rgbtGreen / 255.0L, b = RGB.rgbtBlue / 255.0L;
  const long double mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
  const long double mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
  const long double l = (mx + mn) / 2;
  L = static_cast<double>(l);
  if (mx == mn) {
    H = 0;
    S = 0;
    return;
  }
  const long double d = mx - mn;
  S = static_cast<double>(l < 0.5L ? d / (mx + mn) : d / (2 - mx - mn));
  long double h;
  if (r == mx)
    h = (g - b) / d;
  else if (g == mx)
    h = (b - r) / d + 2;
  else
    h = (r - g) / d + 4;
  h /= 6;
  if (h < 0) h += 1;
  H = static_cast<double>(h);
}

void RGBtoHSL(const RGBTRIPLE& RGB, THSLTriple& HSL) {
  double h, s, l;
  RGBtoHSLDbl(RGB, h, s, l);
  HSL.Hue = static_cast<std::int32_t>(host::Round(h * 358.0L));
  HSL.Saturation = static_cast<std::int32_t>(host::Round(s * 255.0L));
  HSL.Lightness = static_cast<std::int32_t>(host::Round(l * 255.0L));
}

void HSLDblToRGB(double H, double S, double L, RGBTRIPLE& RGB) {
  if (S == 0) {
    const std::uint8_t grey = RoundToByte(L * 255.0L);
    RGB = RGBTriple(grey, grey, grey);
    return;
  }
  const long double l = L, s = S;
  const long double m2 = l <= 0.5L ? l * (1 + s) : l + s - l * s;
  const long double m1 = 2 * l - m2;
  auto value = [&](long double h) {
    if (h < 0)
      h += 1;
    else if (h > 1)
      h -= 1;
    long double v;
    if (6 * h < 1)
      v = m1 + (m2 - m1) * h * 6;
    else if (2 * h < 1)
      v = m2;
    else if (3 * h < 2)
      v = m1 + (m2 - m1) * (2.0L / 3.0L - h) * 6;
    else
      v = m1;
    return RoundToByte(v * 255);
  };
  RGB.rgbtRed = value(H + 1.0L / 3.0L);
  RGB.rgbtGreen = value(H);
  RGB.rgbtBlue = value(H - 1.0L / 3.0L);
}

void HSLtoRGB(const THSLTriple& HSL, RGBTRIPLE& RGB) {
  HSLDblToRGB(static_cast<double>(HSL.Hue / 358.0L), static_cast<double>(HSL.Saturation / 255.0L),
              static_cast<double>(HSL.Lightness / 255.0L), RGB);
}

void RGBtoHSV(const RGBTRIPLE& RGB, THSVTriple& HSV) {
  const std::int32_t R = RGB.rgbtRed, G = RGB.rgbtGreen, B = RGB.rgbtBlue;
  std::int32_t lo, hi;
  MinMaxInt3(R, G, B, lo, hi);
  const std::int32_t d = hi - lo;
  HSV.Value = hi;
  HSV.Saturation = hi == 0 ? 0 : d * 255 / hi;
  if (HSV.Saturation == 0) {
    HSV.Hue = 0;
    return;
  }
  std::int32_t h;
  if (R == hi)
    h = (G - B) * 60 / d;
  else if (G == hi)
    h = (B - R) * 60 / d + 120;
  else
    h = (R - G) * 60 / d + 240;
  if (h < 0) h += 360;
  HSV.Hue = h;
}

void HSVtoRGB(const THSVTriple& HSV, RGBTRIPLE& RGB) {
  const std::int64_t V = HSV.Value, S = HSV.Saturation;
  if (S == 0) {
    RGB = RGBTriple(ToByte(V), ToByte(V), ToByte(V));
    return;
  }
  // Truncating division alone would put hues just below 0 into sector 0.
  if (HSV.Hue < 0 || HSV.Hue > 360) return;
  const std::int64_t h = HSV.Hue == 360 ? 0 : HSV.Hue;
  const std::int64_t f = h % 60;
  const std::int64_t p = V - V * S / 255;
  const std::int64_t q = V - V * S * f / 15300;
  const std::int64_t t = V - V * S * (60 - f) / 15300;
  std::int64_t r, g, b;
  switch (h / 60) {
    case 0:
      r = V, g = t, b = p;
      break;
    case 1:
      r = q, g = V, b = p;
      break;
    case 2:
      r = p, g = V, b = t;
      break;
    case 3:
      r = p, g = q, b = V;
      break;
    case 4:
      r = t, g = p, b = V;
      break;
    default:
      r = V, g = p, b = q;
      break;
  }
  RGB = RGBTriple(ToByte(r), ToByte(g), ToByte(b));
}

void YCbCrToRGB(const TYCbCrTriple& YCbCr, RGBTRIPLE& RGB) {
  const long double y = YCbCr.Y, cb = YCbCr.Cb - 156, cr = YCbCr.Cr - 137;
  RGB.rgbtRed = RoundToByte(1.407488L * y + 1.3230336L * cr);
  RGB.rgbtGreen = RoundToByte(1.407488L * y - 0.3954176L * cb - 0.67392L * cr);
  RGB.rgbtBlue = RoundToByte(1.407488L * y + 2.0360448L * cb);
}

void RGBAtoBGRA(const TRGBAQuad& RGBA, TBGRAQuad& BGRA) { BGRA = RGBA; }

void RGBAtoBGRA_16(const TRGBAQuad& RGBA, TBGRAQuad& BGRA) {
  const TRGBAQuad in = RGBA;  // BGRA may be the same object
  BGRA[0] = in[2] >> 8;
  BGRA[1] = in[1] >> 8;
  BGRA[2] = in[0] >> 8;
  BGRA[3] = in[3] >> 8;
}

void CIELABtoBGR(const TCIELABTriple& LAB, TBGRTriple& BGR) {
  const long double L = LAB.L / 2.56L, a = LAB.a, b = LAB.b;
  const long double fy = (L + 16) / 116;
  long double X, Y, Z;
  if (L < 7.9996L) {
    Y = L / 903.3L;
    X = a / 3893.5L + Y;
    Z = Y - b / 1557.4L;
  } else {
    const long double fx = a / 500 + fy, fz = fy - b / 200;
    X = fx * fx * fx;
    Y = fy * fy * fy;
    Z = fz * fz * fz;
  }
  auto channel = [](long double V) {
    // TrimInt on the rounded value; huge values cannot reach it from bytes.
    return TrimInt(0, 255, static_cast<std::int32_t>(host::Round(V * 255)));
  };
  BGR.Red = channel(2.998L * X - 1.458L * Y - 0.541L * Z);
  BGR.Green = channel(-0.952L * X + 1.893L * Y + 0.059L * Z);
  BGR.Blue = channel(0.099L * X - 0.198L * Y + 1.099L * Z);
}

}  // namespace snapkit
