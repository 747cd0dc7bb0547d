// TCanvas: filling and drawing with clipping, scaling, transparency and copy modes.

#include "host/graphics/canvas.h"

#include <gtest/gtest.h>

#include <string>

#include "host/graphics/bitmap.h"

namespace host {
namespace {

// A bitmap from rows of characters: each character one colour.
TColor ColourOf(char C) {
  switch (C) {
    case 'r':
      return clRed;
    case 'g':
      return clLime;
    case 'b':
      return clBlue;
    case 'w':
      return clWhite;
    case 'y':
      return RGB(255, 255, 0);
    default:
      return clBlack;
  }
}

void Fill(TBitmap& B, const std::vector<std::string>& Rows, TPixelFormat Format = pf24bit) {
  B.SetPixelFormat(Format);
  B.SetSize(static_cast<int>(Rows[0].size()), static_cast<int>(Rows.size()));
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) B.SetPixel(x, y, ColourOf(Rows[y][x]));
}

std::vector<std::string> Read(const TBitmap& B) {
  std::vector<std::string> rows;
  for (int y = 0; y < B.Height(); ++y) {
    std::string row;
    for (int x = 0; x < B.Width(); ++x) {
      char c = '?';
      for (char k : std::string("rgbwyk"))
        if (B.GetPixel(x, y) == ColourOf(k)) c = k;
      row += c;
    }
    rows.push_back(row);
  }
  return rows;
}

using Rows = std::vector<std::string>;

TEST(CanvasFill, ClipsToTheBitmapOnEverySide) {
  TBitmap b;
  Fill(b, {"kkkk", "kkkk", "kkkk"});
  b.Canvas().Brush.Color = clRed;
  b.Canvas().FillRect(Rect(-5, -5, 2, 1));
  b.Canvas().Brush.Color = clBlue;
  b.Canvas().FillRect(Rect(3, 2, 100, 100));
  b.Canvas().FillRect(Rect(2, 2, 1, 3));  // empty: right < left
  EXPECT_EQ(Read(b), (Rows{"rrkk", "kkkk", "kkkb"}));
  b.Canvas().Brush.Color = clNone;
  b.Canvas().FillRect(Rect(0, 0, 4, 3));
  EXPECT_EQ(Read(b), (Rows{"rrkk", "kkkk", "kkkb"}));
}

TEST(CanvasFill, PaletteBitmapsGetTheNearestEntry) {
  TBitmap b;
  Fill(b, {"kkk"}, pf4bit);
  b.Canvas().Brush.Color = RGB(250, 5, 5);
  b.Canvas().FillRect(Rect(1, 0, 2, 1));
  EXPECT_EQ(Read(b), (Rows{"krk"}));
}

TEST(CanvasDraw, DrawsAtItsOwnSizeClippedAtNegativeOffsets) {
  TBitmap dst, src;
  Fill(dst, {"kkkk", "kkkk", "kkkk"});
  Fill(src, {"rg", "by"});
  dst.Canvas().Draw(-1, -1, src);
  dst.Canvas().Draw(3, 2, src);
  EXPECT_EQ(Read(dst), (Rows{"ykkk", "kkkk", "kkkr"}));
}

TEST(CanvasDraw, StretchDrawIsNearestNeighbour) {
  TBitmap dst, src;
  Fill(dst, {"kkkkk", "kkkkk", "kkkkk", "kkkkk"});
  Fill(src, {"rg", "by"});
  dst.Canvas().StretchDraw(Rect(0, 0, 4, 4), src);
  EXPECT_EQ(Read(dst), (Rows{"rrggk", "rrggk", "bbyyk", "bbyyk"}));

  TBitmap big;
  Fill(big, {"rrggbb", "rrggbb", "wwyykk", "wwyykk"});
  TBitmap small;
  Fill(small, {"kkk", "kkk"});
  small.Canvas().StretchDraw(Rect(0, 0, 3, 2), big);
  EXPECT_EQ(Read(small), (Rows{"rgb", "wyk"}));

  // Partly outside: only the part on the bitmap is drawn, at the same scale.
  Fill(small, {"kkk", "kkk"});
  small.Canvas().StretchDraw(Rect(-2, -2, 4, 2), big);
  EXPECT_EQ(Read(small), (Rows{"yyk", "yyk"}));
}

TEST(CanvasDraw, PaletteSourcesAndTargets) {
  TBitmap src, dst;
  Fill(src, {"rgbw"}, pf8bit);
  Fill(dst, {"kkkk"}, pf4bit);
  dst.Canvas().Draw(0, 0, src);
  EXPECT_EQ(Read(dst), (Rows{"rgbw"}));
}

TEST(CanvasDraw, TransparentBitmapsSkipTheirTransparentColour) {
  TBitmap dst, src;
  Fill(dst, {"www", "www"});
  Fill(src, {"rgk", "kkb"});
  src.SetTransparent(true);  // key: bottom-left pixel, black
  dst.Canvas().Draw(0, 0, src);
  EXPECT_EQ(Read(dst), (Rows{"rgw", "wwb"}));
  src.SetTransparentColor(clRed);
  Fill(dst, {"www", "www"});
  dst.Canvas().Draw(0, 0, src);
  EXPECT_EQ(Read(dst), (Rows{"wgk", "kkb"}));
}

TEST(CanvasDraw, CopyModesWhitenessAndBlackness) {
  TBitmap dst, src;
  Fill(dst, {"rrr"});
  Fill(src, {"gg"});
  dst.Canvas().CopyMode = cmWhiteness;
  dst.Canvas().Draw(1, 0, src);
  EXPECT_EQ(Read(dst), (Rows{"rww"}));
  dst.Canvas().CopyMode = cmBlackness;
  dst.Canvas().Draw(-1, 0, src);
  EXPECT_EQ(Read(dst), (Rows{"kww"}));
  EXPECT_EQ(dst.Canvas().Brush.Color, clWhite);  // the brush is left alone
}

TEST(CanvasDraw, ABitmapCanDrawOntoItself) {
  TBitmap b;
  Fill(b, {"rgbk"});
  b.Canvas().Draw(1, 0, b);
  EXPECT_EQ(Read(b), (Rows{"rrgb"}));
}

}  // namespace
}  // namespace host
