#pragma once
// TCanvas: drawing on a TBitmap.

#include "host/graphics/types.h"

namespace host {

class TBitmap;
class TGraphic;

enum TCopyMode : std::uint32_t {
  cmSrcCopy = 0x00CC0020,
  cmWhiteness = 0x00FF0062,
  cmBlackness = 0x00000042,
};

struct TBrush {
  TColor Color = clWhite;
};

class TCanvas {
 public:
  explicit TCanvas(TBitmap& Bitmap) : FBitmap(Bitmap) {}

  TBrush Brush;
  TCopyMode CopyMode = cmSrcCopy;

  TBitmap& Bitmap() { return FBitmap; }
  // Fills Rect (clipped to the bitmap) with Brush.Color; clNone fills nothing.
  void FillRect(const TRect& Rect);
  // Draws Graphic at its own size with its top-left corner at (X, Y).
  void Draw(int X, int Y, TGraphic& Graphic);
  // Draws Graphic scaled into Rect (nearest neighbour), clipped to the bitmap.
  // CopyMode cmWhiteness / cmBlackness fill the clipped Rect instead; a
  // Transparent graphic leaves the pixels of its TransparentColor out.
  void StretchDraw(const TRect& Rect, TGraphic& Graphic);

 private:
  TBitmap& FBitmap;
};

}  // namespace host
