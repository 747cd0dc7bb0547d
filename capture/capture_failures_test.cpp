// Pages that fail, hang, crash or fight the browser: an application must
// hear why, in time, and the control must go on capturing.

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"
#include "host/browser/chromium_browser.h"
#include "host/browser/testing/browser_processes.h"
#include "host/system/exception.h"

namespace snapkit {
namespace {

using host::testing::Page;
using testing::Body;
using testing::CaptureTest;
using testing::PixelAt;
using testing::SolidPng;
using testing::TLens;

TEST_F(CaptureTest, ARefusedURLRaisesAndLeavesAnInvisibleControlAsItWas) {
  TLens L;
  L->SetVisible(false);
  EXPECT_THROW(L->setUrl("http://exa mple^^/"), host::EOleException);
  EXPECT_THROW(L->setUrl("javascript:alert(1)"), host::EOleException);
  EXPECT_FALSE(L->Visible());
  EXPECT_EQ(L->Width(), 128);
  EXPECT_FALSE(L->HiddenForLoad());
  EXPECT_NE(L->LastError().find("javascript"), std::string::npos) << L->LastError();
}

// Whatever goes wrong after the address was accepted ends the capture with
// its reason, within the caller's limits, and the control captures the next
// page as if nothing had happened.
TEST_F(CaptureTest, EachFailureEndsTheCaptureWithItsReasonAndTheNextOneWorks) {
  auto Html = [](const std::string& Head, const std::string& Script) {
    return Page("<html><head>" + Head + "</head><body style='margin:0;background:#ff0000'>" +
                "<script>" + Script + "</script></body></html>");
  };
  host::testing::TResponse Auth = Page("no", "text/plain");
  Auth.Status = 401;
  Auth.Headers = "WWW-Authenticate: Basic realm=\"snapkit\"\r\n";
  Server->Route("/auth", Auth);
  host::testing::TResponse Download = Page("bytes", "application/octet-stream");
  Download.Headers = "Content-Disposition: attachment; filename=\"x.bin\"\r\n";
  Server->Route("/download", Download);
  Server->Route("/loop", host::testing::Redirect(302, "/loop"));
  Server->Route("/refresh-loop", Page("<meta http-equiv='refresh' content='0'>"));
  Server->Route("/spin-before", Html("", "for (;;) {}"));
  Server->Route("/spin-after", Html("", "onload = () => setTimeout(() => { for (;;) {} }, 0);"));
  Server->Route("/dialogs", Html("", "alert(1); confirm(2); prompt(3);"));
  Server->Route("/dialog-after", Html("", "onload = () => setTimeout(() => alert(1), 0);"));
  Server->Route("/leaving", Html("", "onbeforeunload = e => { e.preventDefault(); return 'x'; };"));
  Server->Route("/popups",
                Html("", "for (let i = 0; i < 50; ++i) window.open('/blue.html?' + i);"));
  Server->Route("/print", Html("", "print();"));
  Server->Route("/hog", Html("", "const a = []; for (;;) a.push(new Array(1e6).fill(1.5));"));
  // Blue once every request is refused; the late image holds the load until
  // the answers are in. A request nobody answers would leave it red.
  Server->Route("/late.png", host::testing::Slow(Page(SolidPng(1, 1, 0), "image/png"), 700));
  Server->Route("/permissions",
                Html("",
                     "Promise.allSettled([Notification.requestPermission(),"
                     " new Promise((y, n) => navigator.geolocation.getCurrentPosition(y, n)),"
                     " navigator.mediaDevices.getUserMedia({video: true})])"
                     ".then(r => { if (r[0].value == 'denied' && r[1].reason && r[2].reason)"
                     " document.body.style.background = '#0000ff'; });"
                     "document.write('<img src=/late.png>');"));

  const std::string Closed =
      "http://127.0.0.1:" + std::to_string(host::testing::ClosedPort()) + "/";
  struct TCase {
    std::string Url;
    bool Captured;  // else: the failure's kind and a word of its reason
    host::TNavigateFailure Kind;
    const char* Reason;
    int WithinMs;
    unsigned Shows = 0;  // a captured page's colour, where it has one
  } Cases[] = {
      {Closed, false, host::nfUnreachable, "ERR_CONNECTION_REFUSED", 3000},
      {"http://nowhere.invalid/", false, host::nfUnreachable, "ERR_NAME_NOT_RESOLVED", 3000},
      {Server->Url("/auth"), false, host::nfFailed, "asks for a login (HTTP 401)", 3000},
      {Server->Url("/endless"), true, host::nfFailed, "", 4000},  // stopped after LoadTimeout
      {Server->Url("/spin-before"), false, host::nfTimeout, "does not yield", 6000},
      {Server->Url("/spin-after"), false, host::nfTimeout, "not rendered", 6000},
      {Server->Url("/dialogs"), true, host::nfFailed, "", 3000, 0xff0000},
      {Server->Url("/dialog-after"), true, host::nfFailed, "", 3000, 0xff0000},
      {Server->Url("/leaving"), true, host::nfFailed, "", 3000, 0xff0000},
      {Server->Url("/popups"), true, host::nfFailed, "", 3000, 0xff0000},
      {Server->Url("/download"), false, host::nfFailed, "download", 3000},
      {Server->Url("/print"), true, host::nfFailed, "", 3000, 0xff0000},
      {Server->Url("/permissions"), true, host::nfFailed, "", 3000, 0x0000ff},
      {Server->Url("/loop"), false, host::nfFailed, "ERR_TOO_MANY_REDIRECTS", 3000},
      {Server->Url("/refresh-loop"), false, host::nfFailed, "keeps navigating", 8000},
      {Server->Url("/hog"), false, host::nfCrashed, "crashed", 15000},
  };
  TLens L;
  L->Browser().SetRenderTimeout(2000);
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Url);
    // A page that fills its heap spins while it does; on a busy machine the
    // load limit would end it first.
    L->Browser().SetLoadTimeout(Case.Kind == host::nfCrashed ? Case.WithinMs : 1000);
    L.Ready.clear();
    L.Errors.clear();
    gint64 Start = g_get_monotonic_time();
    L->setUrl(Case.Url);
    EXPECT_LT((g_get_monotonic_time() - Start) / 1000, 50);  // returns at once
    ASSERT_TRUE(host::Application->RunUntil([&] { return !L.Ready.empty() || !L.Errors.empty(); },
                                            Case.WithinMs + 5000));
    EXPECT_LT((g_get_monotonic_time() - Start) / 1000, Case.WithinMs);
    EXPECT_TRUE(L->CaptureDone());
    if (Case.Captured) {
      EXPECT_TRUE(L.Errors.empty()) << L.Errors[0];
      if (Case.Shows) {
        EXPECT_EQ(PixelAt(L->Capture(), 5, 5), Case.Shows);
      }
    } else {
      ASSERT_EQ(L.Errors.size(), 1u);
      EXPECT_EQ(L->LastFailure(), Case.Kind) << L.Errors[0];
      EXPECT_NE(L.Errors[0].find(Case.Reason), std::string::npos) << L.Errors[0];
    }
    L.Ready.clear();
    L.Errors.clear();
    L->setUrl(Server->Url("/green.html"));
    ASSERT_TRUE(L.WaitReady(1, 10000)) << (L.Errors.empty() ? "" : L.Errors[0]);
    EXPECT_EQ(PixelAt(L->Capture(), 5, 5), 0x00ff00u);
  }
  // No window a page opened was left behind.
  EXPECT_LT(Requests("/blue.html?49"), 1);
}

TEST_F(CaptureTest, FailuresAreReportedNotRaisedAndAHandlersExceptionIsDropped) {
  // A document without a body has no full-page size: no picture, no event.
  TLens L;
  L->SetWebPageView(wvFull);
  L->setUrl(Server->Url("/nobody.svg"));
  ASSERT_TRUE(host::Application->RunUntil([&] { return !L.Errors.empty(); }, 15000));
  L.Settle(100);
  EXPECT_TRUE(L.Ready.empty());
  EXPECT_FALSE(L->CaptureDone());
  EXPECT_FALSE(L->LastError().empty());

  TLens Throwing;
  bool Reported = false;
  host::Application->OnException = [&](host::TObject*, const std::exception&) { Reported = true; };
  int Calls = 0;
  Throwing->OnWebImageReady = [&](host::TObject*, const std::string&) {
    ++Calls;
    throw host::Exception("from the application");
  };
  Throwing->setUrl(Server->Url("/green.html"));
  ASSERT_TRUE(host::Application->RunUntil([&] { return Calls == 1; }, 15000));
  EXPECT_TRUE(Throwing->CaptureDone());
  EXPECT_EQ(PixelAt(Throwing->Capture(), 5, 5), 0x00ff00u);
  Throwing->Refresh();
  ASSERT_TRUE(host::Application->RunUntil([&] { return Calls == 2; }, 15000));
  host::Application->OnException = nullptr;
  EXPECT_FALSE(Reported);
}

TEST_F(CaptureTest, APageLostWhileLoadingFailsAtOnceAndTheTimerTriesAgain) {
  Server->Route("/endless.html", host::testing::Unfinished(Body("", "#00ff00")));
  host::TChromiumBrowser& C = host::TChromiumBrowser::Shared();
  for (const char* Kill : {"renderer", "browser"}) {
    SCOPED_TRACE(Kill);
    TLens L;
    L->Browser().SetLoadTimeout(0);
    L->setUrl(Server->Url("/endless.html"));
    L.Settle(300);
    // A renderer is slow to start on a busy machine.
    host::Application->RunUntil([&] { return !host::testing::RendererPids(C.Pid()).empty(); },
                                5000);
    ASSERT_TRUE(L.Errors.empty());
    if (std::string(Kill) == "renderer")
      ASSERT_EQ(host::testing::KillRenderers(C.Pid()), 1);
    else
      ASSERT_EQ(kill(C.Pid(), SIGKILL), 0);
    ASSERT_TRUE(host::Application->RunUntil([&] { return !L.Errors.empty(); }, 3000));
    EXPECT_NE(L.Errors[0].find(std::string(Kill) == "renderer" ? "crashed" : "browser"),
              std::string::npos)
        << L.Errors[0];
    // The load is over: the timer loads the page again.
    int Loads = Requests("/endless.html");
    L->SetTimerInterval(100);
    L->SetTimedUpdate(true);
    ASSERT_TRUE(
        host::Application->RunUntil([&] { return Requests("/endless.html") > Loads; }, 5000));
  }
}

}  // namespace
}  // namespace snapkit
