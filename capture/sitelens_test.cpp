// The control without pages: its parts, the gating of refreshes, the timer,
// the context menu and saving before any capture. Nothing here loads a page.

#include "capture/sitelens.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "capture/testing/capture_testing.h"
#include "host/forms/application.h"
#include "host/system/shell.h"
#include "host/system/tempfiles.h"

namespace snapkit {
namespace {

using testing::TLens;

bool Exists(const std::string& Path) {
  struct stat St;
  return stat(Path.c_str(), &St) == 0;
}

// True when the control has never asked its browser for a page.
bool NeverNavigated(TSitelens& Lens) {
  return Lens.Browser().ReadyState() == host::READYSTATE_UNINITIALIZED;
}

TEST(SitelensTest, NewControlOffersTheTwoMenuItemsAndAViewFileOfItsOwn) {
  TLens A, B;
  EXPECT_EQ(A->Width(), 128);
  EXPECT_EQ(A->Height(), 128);
  EXPECT_EQ(A->URL(), DefaultSitelensURL);
  EXPECT_EQ(A->TimerInterval(), 0u);
  ASSERT_EQ(A->PopupMenu().Items().Count(), 2);
  EXPECT_EQ(A->PopupMenu().Items().Items(0)->Caption(), "Launch in Browser");
  EXPECT_EQ(A->PopupMenu().Items().Items(1)->Caption(), "View Full Image");

  // SLX<number>.BMP in the private folder, not left behind as a file.
  const std::string& File = A->ViewFile();
  ASSERT_EQ(File.rfind(host::GetTempPath() + "SLX", 0), 0u) << File;
  EXPECT_EQ(File.substr(File.size() - 4), ".BMP");
  EXPECT_FALSE(Exists(File));
  EXPECT_NE(A->ViewFile(), B->ViewFile());
}

TEST(SitelensTest, NothingNavigatesUntilAFirstCaptureStartedByANewURLHasEnded) {
  TLens L;
  L->Refresh();
  L->SetActive(false);
  L->SetActive(true);
  L->SetWebPageView(wvFull);
  L->SetProportional(false);
  L->SetTimerInterval(10);
  L->SetTimedUpdate(true);
  L.Settle(60);                   // several ticks
  L->setUrl(DefaultSitelensURL);  // the URL it already has
  EXPECT_TRUE(NeverNavigated(*L));
  EXPECT_FALSE(L->CaptureDone());
  EXPECT_TRUE(L.Ready.empty());
}

TEST(SitelensTest, EmptyOrInactiveURLsNavigateNowhere) {
  TLens Empty;
  Empty->setUrl("");
  EXPECT_FALSE(Empty->CaptureDone());
  Empty->Refresh();
  EXPECT_TRUE(NeverNavigated(*Empty));

  TLens Inactive;
  Inactive->SetActive(false);
  Inactive->setUrl("http://127.0.0.1:1/never");
  EXPECT_EQ(Inactive->URL(), "http://127.0.0.1:1/never");
  EXPECT_TRUE(NeverNavigated(*Inactive));
}

TEST(SitelensTest, TimerIntervals) {
  struct TCase {
    unsigned IntervalBefore;
    unsigned Expected;
  };
  for (TCase C : {TCase{0, 60000}, TCase{45000, 45000}}) {
    TLens L;
    L->SetTimerInterval(C.IntervalBefore);
    L->SetTimedUpdate(true);
    ASSERT_NE(L->Timer(), nullptr);
    EXPECT_EQ(L->TimerInterval(), C.Expected);
    EXPECT_EQ(L->Timer()->Interval(), C.Expected);
    EXPECT_TRUE(L->Timer()->Enabled());
    L->SetTimerInterval(0);  // ignored
    EXPECT_EQ(L->Timer()->Interval(), C.Expected);
    L->SetTimerInterval(500);
    EXPECT_EQ(L->Timer()->Interval(), 500u);
    L->SetTimedUpdate(false);
    EXPECT_EQ(L->Timer(), nullptr);
  }
}

TEST(SitelensTest, TheDesignerRunsNoTimer) {
  TLens L;
  L.Form->SetDesigning(true);
  L->SetTimedUpdate(true);
  EXPECT_TRUE(L->TimedUpdate());
  EXPECT_EQ(L->Timer(), nullptr);
}

class SitelensMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OldHook = host::SetPopupHook([this](host::TPopupMenu& Menu, int X, int Y) {
      Popups.push_back({X, Y});
      for (int i = 0; i < Menu.Items().Count(); ++i)
        Offered.push_back(Menu.Items().Items(i)->Caption());
      if (Choose >= 0) Menu.Items().Items(Choose)->Click();
    });
    OldLauncher = host::SetShellLauncher([this](const std::vector<std::string>& Argv) {
      Launched.push_back(Argv.back());
      return true;
    });
  }
  void TearDown() override {
    host::SetPopupHook(OldHook);
    host::SetShellLauncher(OldLauncher);
  }
  void RightClick(TSitelens& Lens, int X, int Y, host::UINT Msg = host::WM_RBUTTONDOWN) {
    Lens.Perform(Msg, 0, host::MakeLParam(X, Y));
  }

  host::TPopupHook OldHook;
  host::TShellLauncher OldLauncher;
  int Choose = -1;
  std::vector<host::TPoint> Popups;
  std::vector<std::string> Offered;
  std::vector<std::string> Launched;
};

TEST_F(SitelensMenuTest, RightClickPopsTheMenuUpAtTheClickOnTheScreenOtherClicksDoNothing) {
  host::TCustomPanel Parent(nullptr);
  Parent.SetBounds(100, 50, 400, 300);
  TLens L;
  L->SetParent(&Parent);
  L->SetBounds(20, 30, 128, 128);
  RightClick(*L, 5, 5, host::WM_LBUTTONDOWN);
  RightClick(*L, 5, 5, host::WM_MBUTTONDOWN);
  EXPECT_TRUE(Popups.empty());
  RightClick(*L, 40, 60);
  ASSERT_EQ(Popups.size(), 1u);
  // The click lands on the image, which sits inside the panel's bevel; the
  // point is mapped as the control's own client point.
  EXPECT_EQ(Popups[0].X, 100 + 20 + 40 - 1);
  EXPECT_EQ(Popups[0].Y, 50 + 30 + 60 - 1);
  EXPECT_EQ(Offered, (std::vector<std::string>{"Launch in Browser", "View Full Image"}));
  L->SetParent(nullptr);
}

TEST_F(SitelensMenuTest, LaunchOpensTheURLAsItIsAndNothingWhenEmpty) {
  TLens L;
  L->SetActive(false);  // stores the URL without loading it
  L->setUrl("http://127.0.0.1:1/not loaded?a=1&b=2");
  Choose = 0;
  RightClick(*L, 10, 10);
  L->setUrl("");
  RightClick(*L, 10, 10);
  EXPECT_EQ(Launched, std::vector<std::string>{"http://127.0.0.1:1/not loaded?a=1&b=2"});
}

TEST_F(SitelensMenuTest, ViewWritesTheSameFileEachTimeAndOpensIt) {
  TLens L;
  Choose = 1;
  RightClick(*L, 10, 10);
  RightClick(*L, 10, 10);
  ASSERT_EQ(Launched.size(), 2u);
  EXPECT_EQ(Launched[0], L->ViewFile());
  EXPECT_EQ(Launched[1], L->ViewFile());
  // Before any capture the empty bitmap is written as a header alone.
  EXPECT_TRUE(Exists(L->ViewFile()));
  ::unlink(L->ViewFile().c_str());
}

TEST(SitelensSaveTest, NothingShownYetSavesNothing) {
  TLens L;
  std::string File = host::GetTempPath() + "never-written.png";
  EXPECT_EQ(L->SaveToFile(File, 0, 0), -1);
  EXPECT_EQ(L->SaveToFile(File, 100, 100), -1);
  EXPECT_FALSE(Exists(File));
}

TEST(ScaleToFitTest, ShrinksToTheBoxKeepingTheAspectAndNeverEnlarges) {
  struct TCase {
    int W, H, MaxW, MaxH;
    bool Changed;
    int NewW, NewH;
  };
  const TCase Cases[] = {
      {1020, 764, 128, 128, true, 128, 96},    // a 1024x768 screen in a 128x128 control
      {796, 596, 800, 600, false, 796, 596},   // fits already
      {1276, 1020, 300, 200, true, 250, 200},  // limited by the height
      {1024, 768, 200, 200, true, 200, 150},   // saving at 200x200
      {1024, 768, 2000, 2000, false, 1024, 768},
      {1024, 768, 1024, 768, false, 1024, 768},
      {0, 768, 100, 100, true, 13, 100},  // a missing width is the box's
      {3, 1, 1, 1, true, 3, 1},           // a side rounding to 0 keeps the old size
      {1024, 768, 100, 0, true, 1024, 768},
      {10, 5, 5, 5, true, 5, 2},  // 2.5 rounds half to even
      {6, 3, 3, 3, true, 3, 2},   // 1.5 rounds half to even
  };
  for (const TCase& C : Cases) {
    int W = C.W, H = C.H;
    EXPECT_EQ(ScaleToFit(W, H, C.MaxW, C.MaxH), C.Changed) << C.W << "x" << C.H;
    EXPECT_EQ(W, C.NewW) << C.W << "x" << C.H << " in " << C.MaxW << "x" << C.MaxH;
    EXPECT_EQ(H, C.NewH) << C.W << "x" << C.H << " in " << C.MaxW << "x" << C.MaxH;
  }
}

}  // namespace
}  // namespace snapkit
