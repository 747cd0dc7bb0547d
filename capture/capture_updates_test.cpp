// Every load costs a fetch and an event the application acts on: a page
// must give one event, and refreshes, the timer and resizes load only when
// they should. A hidden control must not show half a page while it loads.

#include <gtest/gtest.h>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"

namespace snapkit {
namespace {

using testing::CaptureTest;
using testing::PixelAt;
using testing::Shown;
using testing::TLens;

TEST_F(CaptureTest, AFramesPageGivesOneEventAndARedirectTheAddressItEndsOn) {
  TLens L;
  L->setUrl(Server->Url("/frames.html"));
  ASSERT_TRUE(L.WaitReady());
  L.Settle(300);
  ASSERT_EQ(L.Ready.size(), 1u);
  EXPECT_EQ(L.Ready[0].Url, Server->Url("/frames.html"));

  L->setUrl(Server->Url("/r1"));
  ASSERT_TRUE(L.WaitReady());
  L.Settle(200);
  ASSERT_EQ(L.Ready.size(), 2u);
  EXPECT_EQ(L.Ready[1].Url, Server->Url("/blue.html"));
  EXPECT_EQ(L->URL(), Server->Url("/r1"));
  EXPECT_EQ(PixelAt(L->Capture(), 10, 10), 0x0000ffu);
}

TEST_F(CaptureTest, TheSameURLTwiceLoadsOnce) {
  TLens L;
  int Before = Requests("/green.html");
  L->setUrl(Server->Url("/green.html"));
  ASSERT_TRUE(L.WaitReady());
  L->setUrl(Server->Url("/green.html"));
  L.Settle(200);
  EXPECT_EQ(Requests("/green.html") - Before, 1);
  EXPECT_EQ(L.Ready.size(), 1u);
}

TEST_F(CaptureTest, RefreshTimerAndResizeAfterACapture) {
  TLens L;
  L->setUrl(Server->Url("/quads.html"));
  ASSERT_TRUE(L.WaitReady());
  int Loads = Requests("/quads.html");

  // A resize renders the loaded page again at the new size, loading nothing.
  L->SetBounds(0, 0, 256, 256);
  EXPECT_EQ(Shown(*L).Width(), 256);
  EXPECT_EQ(Shown(*L).Height(), 192);  // 796x596 fitted
  EXPECT_EQ(Requests("/quads.html"), Loads);

  L->Refresh();
  ASSERT_TRUE(L.WaitReady());
  EXPECT_EQ(Requests("/quads.html"), Loads + 1);

  L->SetTimerInterval(150);
  L->SetTimedUpdate(true);
  ASSERT_TRUE(L.WaitReady(int(L.Ready.size()) + 2, 10000));
  EXPECT_GE(Requests("/quads.html"), Loads + 3);
}

TEST_F(CaptureTest, DisplayFileMessageHoldsRefreshesAndResizesBackUntilTheNextURL) {
  TLens L;
  L->setUrl(Server->Url("/red.html"));
  ASSERT_TRUE(L.WaitReady());
  host::SendMessage(L->Handle(), UM_DISPLAYFILE, 0, 0);
  EXPECT_FALSE(L->CaptureDone());
  int Loads = Requests("/red.html");
  L->Refresh();
  L->SetBounds(0, 0, 64, 64);
  L.Settle(200);
  EXPECT_EQ(Requests("/red.html"), Loads);
  EXPECT_EQ(Shown(*L).Width(), 128);  // not rendered again

  L->setUrl(Server->Url("/green.html"));
  ASSERT_TRUE(L.WaitReady());
  EXPECT_EQ(Shown(*L).Width(), 64);
  L->Refresh();
  ASSERT_TRUE(L.WaitReady());
}

TEST_F(CaptureTest, AnInvisibleControlIsShownAtZeroSizeWhileLoadingAndGetsTheUnscaledCapture) {
  TLens L;
  L->SetBounds(0, 0, 200, 100);
  L->SetVisible(false);
  L->SetWebPageView(wvCustom);
  L->SetViewWidth(320);
  L->SetViewHeight(240);
  L->setUrl(Server->Url("/red.html"));
  EXPECT_TRUE(L->Visible());
  EXPECT_EQ(L->Width(), 0);
  EXPECT_EQ(L->Height(), 0);
  EXPECT_TRUE(L->HiddenForLoad());
  ASSERT_TRUE(L.WaitReady());
  EXPECT_FALSE(L->Visible());
  EXPECT_EQ(L->Width(), 200);
  EXPECT_EQ(L->Height(), 100);
  EXPECT_FALSE(L->HiddenForLoad());
  EXPECT_EQ(L.Ready[0].ShownWidth, 320);
  EXPECT_EQ(L.Ready[0].ShownHeight, 240);
  EXPECT_EQ(Shown(*L).Width(), 320);
}

}  // namespace
}  // namespace snapkit
