// Navigations that cannot succeed must end in bounded time, say why, and
// leave the control able to load the next page.

#include <string>
#include <vector>

#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

TEST_F(WebBrowserTest, UnreachableUrlIsReportedAndLeavesNoEvents) {
  std::string Url = "http://127.0.0.1:" + std::to_string(testing::ClosedPort()) + "/";
  Browser->Navigate(Url);
  ASSERT_TRUE(WaitError());
  EXPECT_EQ(Errors[0].Kind, nfUnreachable);
  EXPECT_NE(Errors[0].Reason.find("ERR_CONNECTION_REFUSED"), std::string::npos) << Errors[0].Reason;
  EXPECT_EQ(Errors[0].Url, Url);
  Application->RunUntil([] { return false; }, 1500);  // the error page would retry by now
  EXPECT_EQ(Urls("complete").size(), 0u);
  EXPECT_EQ(Errors.size(), 1u);
  // The control goes on working.
  Seen.clear();
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Urls("complete"), std::vector<std::string>{Server->Url("/final.html")});
}

TEST_F(WebBrowserTest, InvalidUrlIsRefused) {
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  Seen.clear();
  for (const char* Bad : {"http://exa mple^^/", "notascheme"}) {
    try {
      Browser->Navigate(std::string(Bad));
      FAIL() << "no exception for " << Bad;
    } catch (const EOleException& E) {
      EXPECT_NE(E.Message().find("invalid URL"), std::string::npos) << E.Message();
    }
    EXPECT_EQ(Browser->ReadyState(), READYSTATE_COMPLETE);
  }
  Application->RunUntil([] { return false; }, 200);
  EXPECT_EQ(Urls("complete").size(), 0u);
  EXPECT_EQ(Browser->LocationURL(), Server->Url("/final.html"));
}

TEST_F(WebBrowserTest, ServerThatNeverAnswersFailsInBoundedTime) {
  Browser->SetNavigateTimeout(1500);
  gint64 Start = g_get_monotonic_time();
  Browser->Navigate(Server->Url("/hang"));
  EXPECT_LT(MsSince(Start), 100);
  ASSERT_TRUE(WaitError());
  EXPECT_EQ(Errors[0].Kind, nfTimeout);
  gint64 Took = MsSince(Start);
  EXPECT_GE(Took, 1400);
  EXPECT_LT(Took, 5000);
  // Timers still run, and the control loads the next page.
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Urls("complete"), std::vector<std::string>{Server->Url("/final.html")});
}

TEST_F(WebBrowserTest, PageThatNeverFinishesIsStoppedAndCompletes) {
  Browser->SetBounds(0, 0, 100, 100);
  Browser->SetLoadTimeout(1000);
  gint64 Start = g_get_monotonic_time();
  Browser->Navigate(Server->Url("/partial"));
  EXPECT_NE(Browser->ReadyState(), READYSTATE_COMPLETE);
  ASSERT_TRUE(WaitComplete(6000));
  EXPECT_GE(MsSince(Start), 900);
  TBitmap B;
  ASSERT_EQ(DrawInto(*Browser, B, 100, 100), 0);
  EXPECT_EQ(Rgb(B, 50, 50), 0xFF00FFu);
}

TEST_F(WebBrowserTest, APageBusyInItsOwnScriptIsGivenUpAloneAndTheBrowserGoesOn) {
  Server->Route("/spin.html", testing::Page("<html><body>spin<script>"
                                            "onload = () => setTimeout(() => { for (;;) {} }, 0);"
                                            "</script></body></html>"));
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  pid_t Pid = C.Pid();
  Browser->SetRenderTimeout(1500);
  gint64 Start = g_get_monotonic_time();
  Browser->Navigate(Server->Url("/spin.html"));
  ASSERT_TRUE(WaitError());
  EXPECT_EQ(Errors[0].Kind, nfTimeout) << Errors[0].Reason;
  EXPECT_LT(MsSince(Start), 4000);
  EXPECT_TRUE(C.Running());
  EXPECT_EQ(C.Pid(), Pid);
  // Stopping does not wait for it either.
  Start = g_get_monotonic_time();
  Browser->Stop();
  EXPECT_LT(MsSince(Start), 500);
  Seen.clear();
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(C.Pid(), Pid);
}

}  // namespace
}  // namespace host
