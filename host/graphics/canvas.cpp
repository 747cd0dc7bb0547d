#include "host/graphics/canvas.h"

#include <algorithm>
#include <memory>

#include "host/graphics/bitmap.h"
#include "host/graphics/pixels.h"

namespace host {

void TCanvas::FillRect(const TRect& R) {
  TBitmap& bmp = FBitmap;
  const int x0 = std::max(R.Left, 0), x1 = std::min(R.Right, bmp.Width());
  const int y0 = std::max(R.Top, 0), y1 = std::min(R.Bottom, bmp.Height());
  // clNone is "no colour": the brush paints nothing.
  if (x0 >= x1 || y0 >= y1 || Brush.Color == clNone) return;
  const TColor color = Brush.Color & 0xFFFFFF;
  const TPixelFormat format = bmp.PixelFormat();
  std::unique_ptr<pixels::TNearestColor> nearest;
  if (pixels::IsPaletteFormat(format))
    nearest = std::make_unique<pixels::TNearestColor>(bmp.Palette());
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* row = bmp.ScanLine(y);
    for (int x = x0; x < x1; ++x) pixels::WritePixel(row, x, format, color, nearest.get());
  }
}

void TCanvas::Draw(int X, int Y, TGraphic& Graphic) {
  if (Graphic.Empty()) return;
  Graphic.Draw(*this, Rect(X, Y, X + Graphic.Width(), Y + Graphic.Height()));
}

void TCanvas::StretchDraw(const TRect& R, TGraphic& Graphic) {
  if (Graphic.Empty()) return;
  Graphic.Draw(*this, R);
}

}  // namespace host
