// The browser is a process of its own that can die, hang or fail to start;
// the control must notice at once, say so, and start afresh on next use.

#include <signal.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "host/browser/testing/browser_processes.h"
#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

TEST_F(WebBrowserTest, KilledBrowserRaisesAndTheNextUseStartsAFreshOne) {
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  pid_t Old = C.Pid();
  ASSERT_GT(Old, 0);
  ASSERT_EQ(kill(Old, SIGKILL), 0);
  gint64 Start = g_get_monotonic_time();
  EXPECT_THROW(Browser->OleObject().Get("Document").Get("defaultView"), EOleException);
  EXPECT_LT(MsSince(Start), 3000);
  EXPECT_EQ(kill(Old, 0), -1);  // reaped, not a zombie
  EXPECT_EQ(Browser->ReadyState(), READYSTATE_UNINITIALIZED);

  Seen.clear();
  Browser->Navigate(Server->Url("/final.html"));
  EXPECT_NE(C.Pid(), Old);
  ASSERT_TRUE(WaitComplete());

  // Noticed by the message loop alone, with nobody calling.
  pid_t Second = C.Pid();
  ASSERT_EQ(kill(Second, SIGKILL), 0);
  ASSERT_TRUE(Application->RunUntil([&] { return !C.Running(); }, 3000));
  EXPECT_EQ(kill(Second, 0), -1);
  EXPECT_EQ(Browser->ReadyState(), READYSTATE_UNINITIALIZED);
}

TEST_F(WebBrowserTest, BrowserThatStopsAnsweringIsEndedAndReplaced) {
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  C.Options().CommandTimeoutMs = 1000;
  pid_t Old = C.Pid();
  ASSERT_EQ(kill(-Old, SIGSTOP), 0);
  gint64 Start = g_get_monotonic_time();
  EXPECT_THROW(Browser->OleObject().Get("Document").Get("defaultView"), EOleException);
  EXPECT_LT(MsSince(Start), 3000);
  EXPECT_FALSE(C.Running());
  EXPECT_EQ(kill(Old, 0), -1);
  Seen.clear();
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
}

TEST_F(WebBrowserTest, APageLostWhileLoadingIsReportedAtOnce) {
  // The page never finishes; only its loss can end the wait.
  struct TCase {
    const char* Kill;
    const char* Reason;
  } Cases[] = {{"renderer", "crashed"}, {"browser", "browser process ended"}};
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  Browser->SetLoadTimeout(0);
  for (const TCase& K : Cases) {
    SCOPED_TRACE(K.Kill);
    Errors.clear();
    Browser->Navigate(Server->Url("/partial"));
    // Its first bytes are in the renderer (slow to start on a busy machine).
    Application->RunUntil([] { return false; }, 300);
    Application->RunUntil([&] { return !testing::RendererPids(C.Pid()).empty(); }, 5000);
    ASSERT_TRUE(Browser->Busy());
    if (std::string(K.Kill) == "renderer")
      ASSERT_EQ(testing::KillRenderers(C.Pid()), 1);
    else
      ASSERT_EQ(kill(C.Pid(), SIGKILL), 0);
    gint64 Start = g_get_monotonic_time();
    ASSERT_TRUE(WaitError(5000));
    EXPECT_LT(MsSince(Start), 3000);
    Application->RunUntil([] { return false; }, 200);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_NE(Errors[0].Reason.find(K.Reason), std::string::npos) << Errors[0].Reason;
    EXPECT_EQ(Browser->ReadyState(), READYSTATE_UNINITIALIZED);
  }
}

TEST_F(WebBrowserTest, NavigateAfterAKillThatNobodyNoticedYetLoadsOnAFreshPage) {
  // Killed between two pages, with no message handled in between: the next
  // page must not fail for what happened to the last one.
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  for (const char* Kill : {"renderer", "browser", "renderer"}) {
    SCOPED_TRACE(Kill);
    Seen.clear();
    Browser->Navigate(Server->Url("/final.html"));
    ASSERT_TRUE(WaitComplete());
    pid_t Pid = C.Pid();
    if (std::string(Kill) == "renderer") {
      ASSERT_EQ(testing::KillRenderers(Pid), 1);
      g_usleep(300 * 1000);  // the crash is on the pipe before Navigate runs
    } else {
      ASSERT_EQ(kill(Pid, SIGKILL), 0);
    }
    Seen.clear();
    Browser->SetBounds(0, 0, 200, 100);
    Browser->Navigate(Server->Url("/quads.html"));
    ASSERT_TRUE(WaitComplete());
    EXPECT_EQ(Urls("complete"), std::vector<std::string>{Server->Url("/quads.html")});
    TBitmap B;
    ASSERT_EQ(DrawInto(*Browser, B, 200, 100), 0) << Browser->RenderError();
    EXPECT_EQ(Rgb(B, 150, 75), 0x102030u);
    Browser->SetBounds(0, 0, 800, 600);
    EXPECT_EQ(C.Pid() != Pid, std::string(Kill) == "browser");
  }
  EXPECT_TRUE(Errors.empty()) << Errors[0].Reason;
}

TEST_F(WebBrowserTest, DrawOnACrashedPageFailsAtOnceAndSaysWhy) {
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  ASSERT_EQ(testing::KillRenderers(TChromiumBrowser::Shared().Pid()), 1);
  g_usleep(300 * 1000);
  TBitmap B;
  gint64 Start = g_get_monotonic_time();
  EXPECT_EQ(DrawInto(*Browser, B, 100, 100), E_FAIL);
  EXPECT_LT(MsSince(Start), 3000);
  EXPECT_NE(Browser->RenderError().find("crashed"), std::string::npos) << Browser->RenderError();
}

TEST_F(WebBrowserTest, BrowserThatCannotStartIsReported) {
  // A missing executable fails at exec; one that ends at once closes the
  // pipe while its first commands are written or before they are answered.
  const struct {
    const char* Executable;
    const char* Why;
  } Rows[] = {{"/nonexistent/chromium", "No such file or directory"}, {"/bin/false", ""}};
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.Executable);
    for (int Try = 0; Try < 3; ++Try) {
      C.Shutdown();
      C.Options().Executable = Row.Executable;
      Errors.clear();
      Browser->Navigate(Server->Url("/final.html"));
      ASSERT_TRUE(WaitError());
      EXPECT_EQ(Errors[0].Kind, nfBrowserLost);
      EXPECT_NE(Errors[0].Reason.find("could not be started"), std::string::npos)
          << Errors[0].Reason;
      EXPECT_NE(Errors[0].Reason.find(Row.Why), std::string::npos) << Errors[0].Reason;
      EXPECT_FALSE(C.Running());
    }
  }
  C.Options().Executable = TBrowserOptions().Executable;
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
}

TEST_F(WebBrowserTest, ShutdownEndsTheBrowserAndRemovesItsProfile) {
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  std::string Profile = C.ProfileDir();
  pid_t Pid = C.Pid();
  struct stat St;
  ASSERT_EQ(stat(Profile.c_str(), &St), 0);
  C.Shutdown();
  EXPECT_EQ(kill(Pid, 0), -1);
  EXPECT_NE(stat(Profile.c_str(), &St), 0);
}

}  // namespace
}  // namespace host
