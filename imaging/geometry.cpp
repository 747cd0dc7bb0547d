#include "imaging/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/graphics/canvas.h"
#include "host/system/numeric.h"

namespace snapkit {
namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr host::TColor kNoColor = 0x1FFFFFFF;

std::int32_t RoundInt(long double X) { return static_cast<std::int32_t>(host::Round(X)); }

// Side / (Fitted / Max): the other side of a picture whose fitted side
// becomes Max. A box of 0 pixels gives 0 rather than a division by zero.
std::int32_t ScaleSide(std::int32_t Side, std::int32_t Fitted, std::int32_t Max) {
  if (Max == 0 || Fitted == 0) return 0;
  const long double ratio = static_cast<long double>(Fitted) / Max;
  return RoundInt(Side / ratio);
}

void PrepareBox(host::TBitmap& Dst, std::int32_t Width, std::int32_t Height, host::TColor BkColor) {
  Dst.SetWidth(Width);
  Dst.SetHeight(Height);
  host::TCanvas& canvas = Dst.Canvas();
  canvas.Brush.Color = BkColor;
  canvas.FillRect(host::Rect(0, 0, Width, Height));
  canvas.Brush.Color = kNoColor;
  canvas.CopyMode = host::cmSrcCopy;
}

void DrawInBox(host::TBitmap& Src, host::TBitmap& Dst, std::int32_t Width, std::int32_t Height,
               std::int32_t W, std::int32_t H, std::int32_t OffX, std::int32_t OffY,
               host::TColor BkColor) {
  PrepareBox(Dst, Width, Height, BkColor);
  Dst.Canvas().StretchDraw(host::Rect(OffX, OffY, OffX + W, OffY + H), Src);
}

// The picture's rows, one pointer each; none for a picture without columns.
std::vector<std::uint8_t*> Rows(host::TBitmap& Bitmap) {
  std::vector<std::uint8_t*> rows;
  if (Bitmap.Width() > 0)
    for (int y = 0; y < Bitmap.Height(); ++y) rows.push_back(Bitmap.ScanLine(y));
  return rows;
}

}  // namespace

void StretchResize(host::TBitmap& Src, host::TBitmap* Dst, std::int32_t NewWidth,
                   std::int32_t NewHeight, bool Center, host::TColor BkColor, bool KeepSmall) {
  if (!Dst) return;
  if (Dst == &Src) {
    host::TBitmap copy;
    copy.Assign(Src);
    StretchResize(copy, Dst, NewWidth, NewHeight, Center, BkColor, KeepSmall);
    return;
  }
  const std::int32_t W = Src.Width(), H = Src.Height();
  if (NewWidth <= 0 || NewHeight <= 0 || W <= 0 || H <= 0) {
    // Nothing to scale, or nowhere to draw it: the background is all there is.
    PrepareBox(*Dst, NewWidth, NewHeight, BkColor);
    return;
  }
  std::int32_t w, h;
  if (NewWidth > W && H < NewHeight) {
    if (KeepSmall) {
      PrepareBox(*Dst, NewWidth, NewHeight, BkColor);
      Dst->Canvas().Draw((NewWidth - W) / 2, (NewHeight - H) / 2, Src);
      return;
    }
    if (H < W) {
      const long double ratio = static_cast<long double>(NewWidth) / W;
      w = NewWidth;
      h = RoundInt(H * ratio);
    } else {
      const long double ratio = static_cast<long double>(NewHeight) / H;
      h = NewHeight;
      w = RoundInt(W * ratio);
    }
  } else {
    if (H < W) {
      w = NewWidth;
      h = std::max(ScaleSide(H, W, NewWidth), 1);
    } else {
      h = NewHeight;
      w = std::max(ScaleSide(W, H, NewHeight), 1);
    }
    Dst->SetPixelFormat(Src.PixelFormat());
  }
  std::int32_t offX = 0, offY = 0;
  if (Center) {
    offX = RoundInt((NewWidth - w) / 2.0L);
    offY = RoundInt((NewHeight - h) / 2.0L);
  }
  DrawInBox(Src, *Dst, NewWidth, NewHeight, w, h, offX, offY, BkColor);
}

void FitResize(host::TBitmap& Src, host::TBitmap* Dst, std::int32_t MaxWidth,
               std::int32_t MaxHeight, bool Center, host::TColor BkColor, std::int32_t FitMode) {
  if (!Dst) return;
  if (Dst == &Src) {
    host::TBitmap copy;
    copy.Assign(Src);
    FitResize(copy, Dst, MaxWidth, MaxHeight, Center, BkColor, FitMode);
    return;
  }
  const std::int32_t W = Src.Width(), H = Src.Height();
  if (FitMode == 0 || (W < MaxWidth && H < MaxHeight) || W == 0 || H == 0) {
    Dst->Assign(Src);
    return;
  }
  std::int32_t TW = MaxWidth, TH = MaxHeight, w = W, h = H;
  switch (FitMode) {
    case 1:
      // By orientation, always keeping the proportions: a landscape source
      // gets the box's width, any other the box's height, enlarged if need be.
      if (W > H) {
        w = MaxWidth;
        h = TH = ScaleSide(H, W, MaxWidth);
      } else {
        h = MaxHeight;
        w = TW = ScaleSide(W, H, MaxHeight);
      }
      break;
    case 2:
      if (W > MaxWidth) {
        w = MaxWidth;
        h = TH = ScaleSide(H, W, MaxWidth);
      } else {
        TW = W;
        TH = H;
      }
      break;
    case 3:
      if (H > MaxHeight) {
        h = MaxHeight;
        w = TW = ScaleSide(W, H, MaxHeight);
      } else {
        TW = W;
        TH = H;
      }
      break;
    default:
      break;
  }
  Dst->SetPixelFormat(Src.PixelFormat());
  std::int32_t offX = 0, offY = 0;
  if (Center) {
    offX = std::max(RoundInt((TW - w) / 2.0L), 0);
    offY = std::max(RoundInt((TH - h) / 2.0L), 0);
  }
  DrawInBox(Src, *Dst, TW, TH, w, h, offX, offY, BkColor);
}

namespace {

struct TRotation {
  double S, C;
  // Twice the pixel centre, turned, back to a pixel index.
  std::int32_t RX(std::int64_t X, std::int64_t Y) const {
    const long double x2 = 2 * X + 1, y2 = 2 * Y + 1;
    return static_cast<std::int32_t>((host::Round(x2 * C - y2 * S) - 1) / 2);
  }
  std::int32_t RY(std::int64_t X, std::int64_t Y) const {
    const long double x2 = 2 * X + 1, y2 = 2 * Y + 1;
    return static_cast<std::int32_t>((host::Round(x2 * S + y2 * C) - 1) / 2);
  }
};

}  // namespace

void RotateBitmap(host::TBitmap& Src, host::TBitmap& Dst, std::int32_t Angle, std::int32_t CenterX,
                  std::int32_t CenterY, bool Expand, host::TColor BkColor,
                  TImageProgressProc Progress) {
  if (&Src == &Dst) {
    host::TBitmap copy;
    copy.Assign(Src);
    RotateBitmap(copy, Dst, Angle, CenterX, CenterY, Expand, BkColor, Progress);
    return;
  }
  Src.SetPixelFormat(host::pf24bit);
  Dst.SetPixelFormat(host::pf24bit);
  const double theta = static_cast<double>(-Angle * kPi / 180);
  const TRotation turn{static_cast<double>(std::sin(static_cast<long double>(theta))),
                       static_cast<double>(std::cos(static_cast<long double>(theta)))};
  const std::int32_t W = Src.Width(), H = Src.Height();
  std::int32_t offX = 0, offY = 0;
  if (Expand) {
    const std::int32_t xs[4] = {0, W, W, 0}, ys[4] = {0, 0, H, H};
    std::int32_t minX = turn.RX(0, 0), maxX = minX, minY = turn.RY(0, 0), maxY = minY;
    for (int i = 1; i < 4; ++i) {
      const std::int32_t rx = turn.RX(xs[i], ys[i]), ry = turn.RY(xs[i], ys[i]);
      minX = std::min(minX, rx);
      maxX = std::max(maxX, rx);
      minY = std::min(minY, ry);
      maxY = std::max(maxY, ry);
    }
    Dst.SetWidth(std::abs(maxX - minX));
    Dst.SetHeight(std::abs(maxY - minY));
    offX = (Dst.Width() - W) / 2;
    offY = (Dst.Height() - H) / 2;
  } else {
    Dst.SetWidth(W);
    Dst.SetHeight(H);
  }
  const std::int32_t TW = Dst.Width(), TH = Dst.Height();
  const std::vector<std::uint8_t*> src = Rows(Src), dst = Rows(Dst);
  const std::uint8_t background[3] = {static_cast<std::uint8_t>(BkColor >> 16),
                                      static_cast<std::uint8_t>(BkColor >> 8),
                                      static_cast<std::uint8_t>(BkColor)};
  for (std::int32_t y = TH - 1; y >= 0; --y) {
    if (Progress) Progress(0, 100, RoundInt(static_cast<long double>(TH - y) / TH * 100));
    if (TW == 0) continue;
    const std::int64_t dy = static_cast<std::int64_t>(y) - CenterY - offY;
    for (std::int32_t x = TW - 1; x >= 0; --x) {
      const std::int64_t dx = static_cast<std::int64_t>(x) - CenterX - offX;
      const std::int64_t xs = static_cast<std::int64_t>(CenterX) + turn.RX(dx, dy);
      const std::int64_t ys = static_cast<std::int64_t>(CenterY) + turn.RY(dx, dy);
      const std::uint8_t* from = (xs >= 0 && xs < W && ys >= 0 && ys < H)
                                     ? src[static_cast<std::size_t>(ys)] + 3 * xs
                                     : background;
      std::memcpy(dst[static_cast<std::size_t>(y)] + 3 * static_cast<std::ptrdiff_t>(x), from, 3);
    }
  }
}

void SetBitmapsEql(host::TBitmap& Src, host::TBitmap& Dst) {
  if (Src.PixelFormat() != host::pf24bit) Src.SetPixelFormat(host::pf24bit);
  Dst.SetPixelFormat(host::pf24bit);
  Dst.SetWidth(Src.Width());
  Dst.SetHeight(Src.Height());
}

void FlipBitmap(host::TBitmap& Src, host::TBitmap& Dst, TImageProgressProc Progress) {
  if (&Src == &Dst) {
    host::TBitmap copy;
    copy.Assign(Src);
    FlipBitmap(copy, Dst, Progress);
    return;
  }
  SetBitmapsEql(Src, Dst);
  const std::int32_t W = Src.Width(), H = Src.Height();
  const std::vector<std::uint8_t*> src = Rows(Src), dst = Rows(Dst);
  for (std::int32_t y = Dst.Height() - 1; y >= 0; --y) {
    if (Progress) Progress(0, 100, RoundInt(static_cast<long double>(y) / H * 100));
    if (W > 0) std::memcpy(dst[y], src[Dst.Height() - y - 1], 3 * static_cast<std::size_t>(W));
  }
}

void MirrorBitmap(host::TBitmap& Src, host::TBitmap& Dst, TImageProgressProc Progress) {
  if (&Src == &Dst) {
    host::TBitmap copy;
    copy.Assign(Src);
    MirrorBitmap(copy, Dst, Progress);
    return;
  }
  SetBitmapsEql(Src, Dst);
  const std::int32_t W = Src.Width(), H = Src.Height();
  const std::vector<std::uint8_t*> src = Rows(Src), dst = Rows(Dst);
  for (std::int32_t y = H - 1; y >= 0; --y) {
    if (Progress) Progress(0, 100, RoundInt(static_cast<long double>(y) / H * 100));
    if (W == 0) continue;
    for (std::int32_t x = 0; x < W; ++x)
      std::memcpy(dst[y] + 3 * static_cast<std::ptrdiff_t>(x),
                  src[y] + 3 * static_cast<std::ptrdiff_t>(W - 1 - x), 3);
  }
}

}  // namespace snapkit
