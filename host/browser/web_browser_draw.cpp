// Rendering the page into a bitmap: the picture taken of its document
// before it was reported complete, scaled into the bounds. Nothing is asked
// of the browser here, so a Draw never waits.

#include <algorithm>

#include "host/browser/navigation.h"
#include "host/browser/page_session.h"
#include "host/browser/web_browser.h"
#include "host/graphics/bitmap.h"

namespace host {

namespace {

// Bytes per pixel of the formats copied row by row; 0 for the others.
int DirectBytes(TPixelFormat Format) {
  return Format == pf24bit ? 3 : (Format == pf32bit || Format == pfDevice) ? 4 : 0;
}

}  // namespace

HRESULT TWebBrowser::Draw(std::uint32_t dwDrawAspect, std::int32_t, void*, const void*, const void*,
                          HDC hdcDraw, const TRect* lprcBounds, const TRect*, TContinue,
                          std::uintptr_t) {
  FRenderError.clear();
  if (dwDrawAspect != DVASPECT_CONTENT || !hdcDraw || !lprcBounds) return E_INVALIDARG;
  const TRect R = *lprcBounds;
  if (R.Width() <= 0 || R.Height() <= 0) return E_INVALIDARG;
  std::shared_ptr<const TBitmap> Picture = FNav ? FNav->Picture : nullptr;
  // Only asked, not acted on: the loop reports the crash, once.
  if (Picture && FPage && !FPage->SessionId.empty() && Chromium().SessionGone(FPage->SessionId)) {
    FRenderError = PageCrashed().Reason;
    return E_FAIL;
  }
  if (!Picture) {
    if (FNav && FNav->Failure)
      FRenderError = FNav->Failure->Reason;
    else if (FNav && !FNav->Ended())
      FRenderError = "The page is still being rendered";
    else
      FRenderError = "The browser holds no page";
    return E_FAIL;
  }
  const TBitmap& Image = *Picture;
  TBitmap& Target = hdcDraw->Bitmap();
  int X0 = std::max(R.Left, 0), X1 = std::min(R.Right, Target.Width());
  int Y0 = std::max(R.Top, 0), Y1 = std::min(R.Bottom, Target.Height());
  if (X0 >= X1 || Y0 >= Y1 || Image.Width() <= 0 || Image.Height() <= 0) return 0;
  const int In = DirectBytes(Image.PixelFormat()), Out = DirectBytes(Target.PixelFormat());
  // Nearest neighbour when the sizes differ.
  std::vector<int> SourceX(static_cast<std::size_t>(X1 - X0));
  for (int x = X0; x < X1; ++x)
    SourceX[std::size_t(x - X0)] =
        static_cast<int>(std::int64_t(x - R.Left) * Image.Width() / R.Width());
  for (int y = Y0; y < Y1; ++y) {
    const int Sy = static_cast<int>(std::int64_t(y - R.Top) * Image.Height() / R.Height());
    if (!In || !Out) {
      for (int x = X0; x < X1; ++x)
        Target.SetPixel(x, y, Image.GetPixel(SourceX[std::size_t(x - X0)], Sy));
      continue;
    }
    const std::uint8_t* Src = Image.ScanLine(Sy);
    std::uint8_t* D = Target.ScanLine(y) + std::size_t(X0) * Out;
    for (int x = X0; x < X1; ++x, D += Out) {
      const std::uint8_t* P = Src + std::size_t(SourceX[std::size_t(x - X0)]) * In;
      D[0] = P[0];
      D[1] = P[1];
      D[2] = P[2];
      if (Out == 4) D[3] = 0;
    }
  }
  return 0;
}

}  // namespace host
