// Captures run beside each other and the application: none may hold up
// another control or the message loop.

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"

namespace snapkit {
namespace {

using host::testing::Page;
using testing::Body;
using testing::CaptureTest;
using testing::PixelAt;
using testing::TLens;

// One loop serves every control: a slow page, a page that hangs after it
// has loaded and a healthy page side by side, with a timer ticking.
TEST_F(CaptureTest, TwoControlsCaptureTwoPagesAtOnceWhileAThirdHangsAndTheLoopGoesOn) {
  Server->Route("/slow3.html", host::testing::Slow(Page(Body("", "#0000ff")), 3000));
  Server->Route("/hangs-after.html",
                Page("<html><body><script>onload = () => setTimeout(() => { for (;;) {} }, 0);"
                     "</script></body></html>"));
  host::TTimer Ticker(nullptr);
  gint64 Last = g_get_monotonic_time(), LongestGap = 0;
  int Ticks = 0;
  Ticker.SetInterval(20);
  Ticker.OnTimer = [&](host::TObject*) {
    gint64 Now = g_get_monotonic_time();
    LongestGap = std::max(LongestGap, Now - Last);
    Last = Now;
    ++Ticks;
  };
  Ticker.SetEnabled(true);
  TLens A, B, Hung;
  Hung->Browser().SetRenderTimeout(2000);
  gint64 Start = g_get_monotonic_time();
  Hung->setUrl(Server->Url("/hangs-after.html"));
  A->setUrl(Server->Url("/red.html"));
  B->setUrl(Server->Url("/slow3.html"));
  EXPECT_LT((g_get_monotonic_time() - Start) / 1000, 100);  // none of them waited
  ASSERT_TRUE(A.WaitReady(1, 3000));
  ASSERT_TRUE(host::Application->RunUntil(
      [&] { return B.Ready.size() == 1 && !Hung.Errors.empty(); }, 15000));
  EXPECT_GE((g_get_monotonic_time() - Start) / 1000, 3000);
  EXPECT_EQ(A.Ready[0].Url, Server->Url("/red.html"));
  EXPECT_EQ(B.Ready[0].Url, Server->Url("/slow3.html"));
  EXPECT_EQ(PixelAt(A->Capture(), 100, 100), 0xff0000u);
  EXPECT_EQ(PixelAt(B->Capture(), 100, 100), 0x0000ffu);
  EXPECT_TRUE(A.Errors.empty());
  EXPECT_TRUE(B.Errors.empty());
  EXPECT_EQ(Hung->LastFailure(), host::nfTimeout) << Hung.Errors[0];
  EXPECT_GT(Ticks, 100);
  EXPECT_LT(LongestGap / 1000, 250);
}

}  // namespace
}  // namespace snapkit
