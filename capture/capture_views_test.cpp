// An application lays out and saves by these sizes, so each view, scale
// factor and fit must give exactly the size it promises, and no more than
// a picture can hold.

#include <gtest/gtest.h>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"
#include "host/forms/screen.h"

namespace snapkit {
namespace {

using testing::CaptureTest;
using testing::PixelAt;
using testing::Shown;
using testing::TLens;

TEST_F(CaptureTest, EachViewCapturesItsArea) {
  struct TCase {
    TWebPageView View;
    unsigned Width, Height;  // ViewWidth and ViewHeight before the capture
    unsigned CapturedW, CapturedH;
    double Scale = 1;              // the browser's device scale factor
    int PixelsW = 0, PixelsH = 0;  // the capture's size, when not the area's
  };
  const TCase Cases[] = {
      {wvScreen, 0, 0, 800, 600},
      {wvFull, 0, 0, 1500, 3000},  // the body's scroll size
      {wvCustom, 0, 0, 640, 480},
      {wvCustom, 31, 100, 640, 100},
      {wvCustom, 32, 31, 32, 480},
      {wvCustom, 1024, 200, 1024, 200},
      {wvScreen, 0, 0, 800, 600, 2, 1600, 1200},
      {wvFull, 0, 0, 1500, 3000, 1.5, 2250, 4500},
      {wvCustom, 1024, 200, 1024, 200, 0.5, 512, 100},
      {wvCustom, 16000, 100, 8192, 100, 2, 16384, 200},  // the picture's bounds
  };
  for (const TCase& C : Cases) {
    TLens L;
    L->Browser().SetDeviceScaleFactor(C.Scale);
    L->SetWebPageView(C.View);
    L->SetViewWidth(C.Width);
    L->SetViewHeight(C.Height);
    L->setUrl(Server->Url("/big.html"));
    ASSERT_TRUE(L.WaitReady()) << C.View << " " << C.Width << "x" << C.Height;
    EXPECT_EQ(L->ViewWidth(), C.CapturedW);
    EXPECT_EQ(L->ViewHeight(), C.CapturedH);
    const int W = C.PixelsW ? C.PixelsW : int(C.CapturedW);
    const int H = C.PixelsH ? C.PixelsH : int(C.CapturedH);
    EXPECT_EQ(L->Capture().Width(), W);
    EXPECT_EQ(L->Capture().Height(), H);
    EXPECT_EQ(PixelAt(L->Capture(), W - 1, H - 1), 0x336699u);
  }
}

TEST_F(CaptureTest, BackToCustomCapturesTheLastCapturedSize) {
  TLens L;
  L->setUrl(Server->Url("/red.html"));
  ASSERT_TRUE(L.WaitReady());
  L->SetWebPageView(wvCustom);  // refreshes
  ASSERT_TRUE(L.WaitReady());
  EXPECT_EQ(L->Capture().Width(), 800);
  EXPECT_EQ(L->Capture().Height(), 600);
}

TEST_F(CaptureTest, ProportionalAndStretchedSizesOfTheShownPicture) {
  struct TCase {
    int ScreenW, ScreenH;
    TWebPageView View;
    unsigned ViewW, ViewH;
    int ControlW, ControlH;
    bool Proportional;
    int ShownW, ShownH;
  };
  const TCase Cases[] = {
      {1024, 768, wvScreen, 0, 0, 128, 128, true, 128, 96},
      {800, 600, wvCustom, 800, 600, 800, 600, true, 796, 596},
      {800, 600, wvCustom, 1280, 1024, 300, 200, true, 250, 200},
      {800, 600, wvCustom, 1280, 1024, 300, 200, false, 300, 200},
      {800, 600, wvCustom, 640, 480, 123, 321, false, 123, 321},
  };
  for (const TCase& C : Cases) {
    host::Screen->SetSize(C.ScreenW, C.ScreenH);
    TLens L;
    L->SetBounds(0, 0, C.ControlW, C.ControlH);
    L->SetWebPageView(C.View);
    L->SetViewWidth(C.ViewW);
    L->SetViewHeight(C.ViewH);
    L->SetProportional(C.Proportional);
    L->setUrl(Server->Url("/quads.html"));
    ASSERT_TRUE(L.WaitReady());
    EXPECT_EQ(Shown(*L).Width(), C.ShownW) << C.ViewW << "x" << C.ViewH;
    EXPECT_EQ(Shown(*L).Height(), C.ShownH) << C.ViewW << "x" << C.ViewH;
  }
}

// The bounds are the picture's: at a scale factor of 2 the page is cut at
// half the height.
TEST_F(CaptureTest, AFullPageBeyondTheBoundsIsCutToThem) {
  for (int Scale : {1, 2}) {
    TLens L;
    L->Browser().SetDeviceScaleFactor(Scale);
    L->SetWebPageView(wvFull);
    L->setUrl(Server->Url("/huge.html"));
    ASSERT_TRUE(L.WaitReady(-1, 60000)) << Scale;
    EXPECT_EQ(L->ViewWidth(), 1000u);
    EXPECT_EQ(L->ViewHeight(), unsigned(MaxCaptureSide / Scale));
    EXPECT_EQ(L->Capture().Width(), 1000 * Scale);
    EXPECT_EQ(L->Capture().Height(), MaxCaptureSide);
    EXPECT_EQ(PixelAt(L->Capture(), 1000 * Scale - 1, MaxCaptureSide - 1), 0x336699u);
    EXPECT_TRUE(L->LastError().empty()) << L->LastError();
  }
}

}  // namespace
}  // namespace snapkit
