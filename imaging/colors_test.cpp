#include "imaging/colors.h"

#include <gtest/gtest.h>

namespace snapkit {
namespace {

bool Same(const RGBTRIPLE& A, const RGBTRIPLE& B) {
  return A.rgbtRed == B.rgbtRed && A.rgbtGreen == B.rgbtGreen && A.rgbtBlue == B.rgbtBlue;
}

TEST(Colors, RecordsAndHostColours) {
  const RGBTRIPLE t = RGBTriple(10, 20, 30);
  EXPECT_EQ(t.rgbtRed, 10);
  EXPECT_EQ(t.rgbtBlue, 30);
  EXPECT_EQ(RGBtoColor(t), 0x1E140A);
  EXPECT_TRUE(Same(ColorToRGB(0x1E140A), t));
  // The host's special values are not translated: only the low three bytes.
  EXPECT_TRUE(Same(ColorToRGB(host::clNone), RGBTriple(0xFF, 0xFF, 0xFF)));
  RGBTRIPLE copy{};
  AssignRGBTriple(copy, t);
  EXPECT_TRUE(Same(copy, t));
  EXPECT_EQ(sizeof(RGBTRIPLE), 3u);
}

TEST(Colors, Measures) {
  EXPECT_EQ(RGBIntensity(RGBTriple(10, 20, 31)), 20);
  EXPECT_EQ(RGBLightness(RGBTriple(10, 200, 31)), 105);
  EXPECT_EQ(RGBSaturation(RGBTriple(0, 0, 0)), 0);
  EXPECT_EQ(RGBSaturation(RGBTriple(100, 50, 25)), 191);  // 75 * 255 div 100
  EXPECT_EQ(RGBValue(RGBTriple(100, 50, 225)), 225);
}

TEST(Colors, CmyAndCmyk) {
  TCMYTriple cmy;
  RGBtoCMY(RGBTriple(255, 100, 0), cmy);
  EXPECT_EQ(cmy.Cyan, 0);
  EXPECT_EQ(cmy.Magenta, 155);
  EXPECT_EQ(cmy.Yellow, 255);
  TCMYKQuad k;
  RGBtoCMYK(RGBTriple(255, 0, 0), k);
  EXPECT_EQ((std::vector<int>{k.Cyan, k.Magenta, k.Yellow, k.Black}),
            (std::vector<int>{0, 255, 255, 0}));
  RGBtoCMYK(RGBTriple(100, 100, 100), k);
  EXPECT_EQ((std::vector<int>{k.Cyan, k.Magenta, k.Yellow, k.Black}),
            (std::vector<int>{0, 0, 0, 155}));
  RGBTRIPLE rgb;
  CMYKtoRGB(TCMYKQuad{12, 200, 77, 255}, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(0, 0, 0)));
  CMYKtoRGB(TCMYKQuad{0, 0, 0, 155}, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(100, 100, 100)));
  // 255 - (100 - MulDiv(100, 50, 255) + 50): MulDiv gives 19.6 -> 20.
  CMYKtoRGB(TCMYKQuad{100, 0, 0, 50}, rgb);
  EXPECT_EQ(rgb.rgbtRed, 125);
  EXPECT_EQ(rgb.rgbtGreen, 205);
}

TEST(Colors, Hsl) {
  THSLTriple hsl;
  RGBtoHSL(RGBTriple(255, 0, 0), hsl);
  EXPECT_EQ(hsl.Hue, 0);
  EXPECT_EQ(hsl.Saturation, 255);
  EXPECT_EQ(hsl.Lightness, 128);  // Round(127.5) to even
  RGBtoHSL(RGBTriple(0, 0, 255), hsl);
  EXPECT_EQ(hsl.Hue, 239);  // Round(2/3 * 358)
  double h, s, l;
  RGBtoHSLDbl(RGBTriple(0, 255, 0), h, s, l);
  EXPECT_NEAR(h, 1.0 / 3, 1e-15);
  RGBtoHSLDbl(RGBTriple(255, 0, 128), h, s, l);
  EXPECT_NEAR(h, 1 - 128.0 / 255 / 6, 1e-15);  // negative hue wrapped by + 1
  RGBtoHSLDbl(RGBTriple(200, 200, 200), h, s, l);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 0);

  RGBTRIPLE rgb;
  HSLtoRGB(THSLTriple{0, 0, 255}, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(255, 255, 255)));
  HSLtoRGB(THSLTriple{123, 0, 77}, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(77, 77, 77)));
  HSLDblToRGB(0.0, 1.0, 0.5, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(255, 0, 0)));
  HSLDblToRGB(0.5, 1.0, 0.2, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(0, 102, 102)));
}

TEST(Colors, HslRoundTripsWithinRounding) {
  // Hue and lightness are rounded to whole steps on the way, so a channel
  // can move by a few levels (pure red comes back as 255, 1, 1).
  for (int r = 0; r < 256; r += 15)
    for (int g = 0; g < 256; g += 15)
      for (int b = 0; b < 256; b += 15) {
        THSLTriple hsl;
        RGBtoHSL(RGBTriple(r, g, b), hsl);
        EXPECT_TRUE(hsl.Hue >= 0 && hsl.Hue <= 358);
        RGBTRIPLE back;
        HSLtoRGB(hsl, back);
        EXPECT_NEAR(back.rgbtRed, r, 3) << r << "," << g << "," << b;
        EXPECT_NEAR(back.rgbtGreen, g, 3) << r << "," << g << "," << b;
        EXPECT_NEAR(back.rgbtBlue, b, 3) << r << "," << g << "," << b;
      }
  // Greys do come back exactly.
  for (int v = 0; v < 256; ++v) {
    THSLTriple hsl;
    RGBtoHSL(RGBTriple(v, v, v), hsl);
    RGBTRIPLE back;
    HSLtoRGB(hsl, back);
    EXPECT_TRUE(Same(back, RGBTriple(v, v, v))) << v;
  }
}

TEST(Colors, Hsv) {
  THSVTriple hsv;
  RGBtoHSV(RGBTriple(255, 0, 128), hsv);
  EXPECT_EQ(hsv.Hue, 330);
  EXPECT_EQ(hsv.Saturation, 255);
  EXPECT_EQ(hsv.Value, 255);
  RGBtoHSV(RGBTriple(0, 0, 0), hsv);
  EXPECT_EQ(hsv.Saturation, 0);
  EXPECT_EQ(hsv.Hue, 0);
  RGBtoHSV(RGBTriple(50, 100, 200), hsv);
  EXPECT_EQ(hsv.Hue, 220);  // (50 - 100) * 60 div 150 + 240
  EXPECT_EQ(hsv.Saturation, 191);

  RGBTRIPLE a, b;
  HSVtoRGB(THSVTriple{360, 200, 180}, a);
  HSVtoRGB(THSVTriple{0, 200, 180}, b);
  EXPECT_TRUE(Same(a, b));
  EXPECT_TRUE(Same(a, RGBTriple(180, 39, 39)));  // p = t = 180 - 36000 div 255
  HSVtoRGB(THSVTriple{90, 255, 255}, a);
  EXPECT_TRUE(Same(a, RGBTriple(128, 255, 0)));  // q = 255 - 255 * 255 * 30 div 15300
  HSVtoRGB(THSVTriple{77, 0, 99}, a);
  EXPECT_TRUE(Same(a, RGBTriple(99, 99, 99)));
  // Out of range hues leave the record alone, below 0 as well as above 360.
  const RGBTRIPLE marker = RGBTriple(1, 2, 3);
  for (int hue : {400, 361, -1, -59}) {
    RGBTRIPLE untouched = marker;
    HSVtoRGB(THSVTriple{hue, 100, 100}, untouched);
    EXPECT_TRUE(Same(untouched, marker)) << hue;
  }
}

TEST(Colors, YCbCr) {
  RGBTRIPLE rgb;
  YCbCrToRGB(TYCbCrTriple{0, 156, 137}, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(0, 0, 0)));
  YCbCrToRGB(TYCbCrTriple{100, 156, 137}, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(141, 141, 141)));  // 140.7488
  YCbCrToRGB(TYCbCrTriple{1000, 156, 137}, rgb);
  EXPECT_TRUE(Same(rgb, RGBTriple(255, 255, 255)));
  YCbCrToRGB(TYCbCrTriple{50, 156, 237}, rgb);
  EXPECT_EQ(rgb.rgbtRed, 203);  // 70.3744 + 132.30336
  EXPECT_EQ(rgb.rgbtGreen, 3);  // 70.3744 - 67.392
  EXPECT_EQ(rgb.rgbtBlue, 70);
}

TEST(Colors, Quads) {
  TBGRAQuad out{};
  RGBAtoBGRA(TRGBAQuad{1, 2, 3, 4}, out);
  EXPECT_EQ(out, (TBGRAQuad{1, 2, 3, 4}));
  RGBAtoBGRA_16(TRGBAQuad{0xFF00, 0x8000, 0x0100, 0xFFFF}, out);
  EXPECT_EQ(out, (TBGRAQuad{1, 0x80, 0xFF, 0xFF}));
  TRGBAQuad same{0x1200, 0x3400, 0x5600, 0x7800};
  RGBAtoBGRA_16(same, same);
  EXPECT_EQ(same, (TRGBAQuad{0x56, 0x34, 0x12, 0x78}));
}

TEST(Colors, CieLab) {
  TBGRTriple bgr;
  CIELABtoBGR(TCIELABTriple{0, 0, 0}, bgr);
  EXPECT_EQ((std::vector<int>{bgr.Red, bgr.Green, bgr.Blue}), (std::vector<int>{0, 0, 0}));
  // L 99.6: fy^3 = 0.98968 for X, Y and Z; the matrix rows sum to about 1.
  CIELABtoBGR(TCIELABTriple{255, 0, 0}, bgr);
  EXPECT_EQ((std::vector<int>{bgr.Red, bgr.Green, bgr.Blue}), (std::vector<int>{252, 252, 252}));
  // Below L 7.9996 the linear branch; negative results clamp to 0.
  CIELABtoBGR(TCIELABTriple{10, 100, 50}, bgr);
  EXPECT_EQ((std::vector<int>{bgr.Red, bgr.Green, bgr.Blue}), (std::vector<int>{25, 0, 0}));
  CIELABtoBGR(TCIELABTriple{128, 20, 200}, bgr);
  EXPECT_EQ((std::vector<int>{bgr.Red, bgr.Green, bgr.Blue}), (std::vector<int>{115, 33, 0}));
}

}  // namespace
}  // namespace snapkit
