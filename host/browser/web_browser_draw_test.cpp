// Pictures must hold the page's colours where the page has them, whatever
// the target's format, size or scale, and only once the page is ready.

#include <algorithm>
#include <set>
#include <utility>

#include "host/browser/testing/web_browser_fixture.h"
#include "host/forms/timer.h"

namespace host {
namespace {

TEST_F(WebBrowserTest, DrawGivesThePagesColoursWhereTheyAre) {
  Browser->SetBounds(0, 0, 200, 100);
  Browser->Navigate(Server->Url("/quads.html"));
  ASSERT_TRUE(WaitComplete());
  IViewObject* View = dynamic_cast<IViewObject*>(Browser->GetControlInterface());
  ASSERT_NE(View, nullptr);

  TBitmap B;
  ASSERT_EQ(DrawInto(*View, B, 200, 100), 0);
  EXPECT_EQ(Rgb(B, 0, 0), 0xFF0000u);
  EXPECT_EQ(Rgb(B, 99, 49), 0xFF0000u);
  EXPECT_EQ(Rgb(B, 100, 0), 0x00FF00u);
  EXPECT_EQ(Rgb(B, 50, 75), 0x0000FFu);
  EXPECT_EQ(Rgb(B, 150, 75), 0x102030u);
  EXPECT_EQ(Rgb(B, 199, 99), 0x102030u);

  // Into a part of a larger 32-bit bitmap, scaled to half size.
  TBitmap Big;
  Big.SetSize(300, 200);
  Big.Canvas().Brush.Color = clWhite;
  Big.Canvas().FillRect(Rect(0, 0, 300, 200));
  TRect Half = Rect(20, 30, 120, 80);
  ASSERT_EQ(View->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &Big.Canvas(), &Half,
                       nullptr, nullptr, 0),
            0);
  EXPECT_EQ(Big.GetPixel(19, 30), clWhite);
  EXPECT_EQ(Big.GetPixel(20, 30), RGB(0xFF, 0, 0));
  EXPECT_EQ(Big.GetPixel(75, 35), RGB(0, 0xFF, 0));
  EXPECT_EQ(Big.GetPixel(25, 75), RGB(0, 0, 0xFF));
  EXPECT_EQ(Big.GetPixel(119, 79), RGB(0x10, 0x20, 0x30));
  EXPECT_EQ(Big.GetPixel(120, 80), clWhite);

  TRect Empty = Rect(5, 5, 5, 9);
  EXPECT_EQ(View->Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &Empty, nullptr,
                       nullptr, 0),
            E_INVALIDARG);
  TRect R = Rect(0, 0, 200, 100);
  EXPECT_EQ(View->Draw(4, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R, nullptr, nullptr, 0),
            E_INVALIDARG);
}

// Polled from timers: the loop goes on meanwhile, and the picture is the
// box of the element waited for, at the device scale factor.
TEST_F(WebBrowserTest, TheConditionWaitedForIsPolledFromTheLoopAndTheElementsBoxTaken) {
  // The browser's start-up is not what is measured.
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  Seen.clear();
  Browser->SetBounds(0, 0, 400, 300);
  Browser->SetDeviceScaleFactor(2);
  Browser->SetWaitFor("#late");
  Browser->SetSelector("#late");
  TTimer Ticker(nullptr);
  gint64 Last = g_get_monotonic_time(), LongestGap = 0;
  std::set<std::string> Waits;
  Ticker.SetInterval(10);
  Ticker.OnTimer = [&](TObject*) {
    gint64 Now = g_get_monotonic_time();
    LongestGap = std::max(LongestGap, Now - Last);
    Last = Now;
    Waits.insert(Browser->Waiting());
  };
  Ticker.SetEnabled(true);
  gint64 Start = g_get_monotonic_time();
  Browser->Navigate(Server->Url("/later.html"));
  ASSERT_TRUE(WaitComplete());
  EXPECT_GE(MsSince(Start), 700);
  EXPECT_LT(LongestGap / 1000, 250);
  EXPECT_EQ(Waits.count("the selector #late to match"), 1u);
  EXPECT_EQ(Browser->Waiting(), "");
  int W = 0, H = 0;
  ASSERT_TRUE(Browser->PictureSize(W, H));
  EXPECT_EQ(W, 120);
  EXPECT_EQ(H, 60);
  TBitmap B;
  ASSERT_EQ(DrawInto(*Browser, B, W, H), 0);
  for (auto [X, Y] : {std::pair{0, 0}, {119, 0}, {0, 59}, {119, 59}, {60, 30}})
    EXPECT_EQ(Rgb(B, X, Y), 0x00aa55u) << X << "," << Y;
}

}  // namespace
}  // namespace host
