#include "host/browser/testing/web_browser_fixture.h"

namespace host {

testing::TTestServer* WebBrowserTest::Server = nullptr;

gint64 MsSince(gint64 Start) { return (g_get_monotonic_time() - Start) / 1000; }

std::uint32_t Rgb(TBitmap& B, int X, int Y) {
  const std::uint8_t* P = B.ScanLine(Y) + X * 3;
  return (std::uint32_t(P[2]) << 16) | (std::uint32_t(P[1]) << 8) | P[0];
}

HRESULT DrawInto(IViewObject& View, TBitmap& B, int W, int H) {
  B.SetPixelFormat(pf24bit);
  B.SetSize(W, H);
  TRect R = Rect(0, 0, W, H);
  return View.Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R, nullptr,
                   nullptr, 0);
}

}  // namespace host
