// Rendering the page into a bitmap.

#include <algorithm>

#include "host/browser/png_reader.h"
#include "host/browser/web_browser.h"
#include "host/browser/web_browser_page.h"
#include "host/graphics/bitmap.h"

namespace host {

HRESULT TWebBrowser::Draw(std::uint32_t dwDrawAspect, std::int32_t, void*, const void*, const void*,
                          HDC hdcDraw, const TRect* lprcBounds, const TRect*, TContinue,
                          std::uintptr_t) {
  if (dwDrawAspect != DVASPECT_CONTENT || !hdcDraw || !lprcBounds) return E_INVALIDARG;
  const TRect R = *lprcBounds;
  if (R.Width() <= 0 || R.Height() <= 0) return E_INVALIDARG;
  FRenderError.clear();
  // The picture taken before the document was reported complete, while
  // nothing has changed since; else one is asked for and waited on.
  std::shared_ptr<TPicture> Picture = FPicture;
  if (!LivePage()) {
    FRenderError = FPage && !FPage->SessionId.empty() && Chromium().SessionGone(FPage->SessionId)
                       ? "The page crashed (its renderer ended)"
                       : "The browser holds no page";
    return E_FAIL;
  }
  if (!Picture || Picture->Serial != FViewSerial) {
    Picture = std::make_shared<TPicture>();
    try {
      if (FPage && FPage->Preparing) throw EOleException("The page is still being rendered");
      json Params = {{"format", "png"}, {"optimizeForSpeed", true}, {"fromSurface", true}};
      if (!FPage->Clip.is_null()) Params["clip"] = FPage->Clip;
      json Shot = PageCall("Page.captureScreenshot", Params);
      std::vector<std::uint8_t> Png = DecodeBase64(Shot.at("data").get_ref<const std::string&>());
      Picture->Image = ReadBrowserPng(Png.data(), Png.size());
      Picture->Serial = FViewSerial;
    } catch (const std::exception& E) {
      FRenderError = E.what();
      // A crashed page answers with a bare "Internal error"; its crash may
      // already be on the pipe and says more.
      // Only asked, not acted on: a lost browser is dropped by the loop, and
      // its page's loss reported once, from there.
      if (FPage && !FPage->SessionId.empty() && Chromium().SessionGone(FPage->SessionId))
        FRenderError = "The page crashed (its renderer ended)";
      return E_FAIL;
    }
    FPicture = Picture;
  }
  const TRgbImage& Image = Picture->Image;
  TBitmap& Target = hdcDraw->Bitmap();
  int X0 = std::max(R.Left, 0), X1 = std::min(R.Right, Target.Width());
  int Y0 = std::max(R.Top, 0), Y1 = std::min(R.Bottom, Target.Height());
  if (X0 >= X1 || Y0 >= Y1) return 0;
  TPixelFormat Format = Target.PixelFormat();
  int Bytes = Format == pf24bit ? 3 : (Format == pf32bit || Format == pfDevice) ? 4 : 0;
  // The view is scaled into the bounds when their sizes differ.
  bool Scaled = R.Width() != Image.Width || R.Height() != Image.Height;
  std::vector<int> SourceX(static_cast<std::size_t>(X1 - X0));
  for (int x = X0; x < X1; ++x)
    SourceX[std::size_t(x - X0)] =
        Image.Bpp * static_cast<int>(std::int64_t(x - R.Left) * Image.Width / R.Width());
  for (int y = Y0; y < Y1; ++y) {
    int Sy =
        Scaled ? static_cast<int>(std::int64_t(y - R.Top) * Image.Height / R.Height()) : y - R.Top;
    const std::uint8_t* Src = Image.Row(Sy);
    if (!Bytes) {
      for (int x = X0; x < X1; ++x) {
        const std::uint8_t* P = Src + SourceX[std::size_t(x - X0)];
        Target.SetPixel(x, y, RGB(P[0], P[1], P[2]));
      }
      continue;
    }
    std::uint8_t* D = Target.ScanLine(y) + std::size_t(X0) * Bytes;
    for (int x = X0; x < X1; ++x, D += Bytes) {
      const std::uint8_t* P = Src + SourceX[std::size_t(x - X0)];
      D[0] = P[2];
      D[1] = P[1];
      D[2] = P[0];
      if (Bytes == 4) D[3] = 0;
    }
  }
  return 0;
}

}  // namespace host
