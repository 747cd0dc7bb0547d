#include "host/browser/web_browser.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>

#include "host/browser/chromium_browser.h"
#include "host/browser/testing/browser_processes.h"
#include "host/browser/testing/http_server.h"
#include "host/forms/application.h"
#include "host/forms/timer.h"
#include "host/graphics/bitmap.h"

namespace host {
namespace {

using testing::TResponse;
using testing::TTestServer;

struct TSeen {
  std::string Kind;  // "before" or "complete"
  std::string Url;
  int ReadyState;
  bool TopLevel;
};

class WebBrowserTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    using testing::Page;
    Server = new TTestServer;
    Server->Route("/frames.html", Page("<html><body style='margin:0;background:#00f'>"
                                       "<iframe src='/child1.html' width=200 height=100></iframe>"
                                       "<iframe src='/child2.html' width=200 height=100></iframe>"
                                       "</body></html>"));
    Server->Route("/child1.html", Page("<body style='background:#0f0'>one</body>"));
    Server->Route("/child2.html", Page("<body style='background:#f00'>two</body>"));
    Server->Route("/r1", testing::Redirect(302, "/r2"));
    Server->Route("/r2", testing::Redirect(301, "/final.html"));
    Server->Route("/final.html", Page("<html><body>final</body></html>"));
    Server->Route("/big.html", Page("<html><body style='margin:0'>"
                                    "<div style='width:1500px;height:3000px;background:#eee'></div>"
                                    "</body></html>"));
    Server->Route(
        "/nobody.svg",
        Page("<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'/>", "image/svg+xml"));
    Server->Route("/quads.html",
                  Page("<html><body style='margin:0;overflow:hidden'>"
                       "<div style='position:absolute;left:0;top:0;width:100px;height:50px;"
                       "background:#ff0000'></div>"
                       "<div style='position:absolute;left:100px;top:0;width:100px;height:50px;"
                       "background:#00ff00'></div>"
                       "<div style='position:absolute;left:0;top:50px;width:100px;height:50px;"
                       "background:#0000ff'></div>"
                       "<div style='position:absolute;left:100px;top:50px;width:100px;"
                       "height:50px;background:#102030'></div></body></html>"));
    Server->Route("/meta.html",
                  Page("<html><head><meta http-equiv='refresh' content='0;url=/final.html'>"
                       "</head><body>meta</body></html>"));
    Server->Route("/hang", testing::Hanging());
    // A box comes 700 ms after the page has loaded.
    Server->Route(
        "/later.html",
        Page("<html><body style='margin:0;background:#fff'><script>"
             "onload = () => setTimeout(() => document.body.insertAdjacentHTML('beforeend',"
             "  \"<div id=late style='position:absolute;left:30px;top:40px;width:60px;"
             "height:30px;background:#00aa55'></div>\"), 700);</script></body></html>"));
    Server->Route("/agent.html", Page("<html><body>agent</body></html>"));
    Server->Route("/partial",
                  testing::Unfinished("<html><body style='margin:0;background:#ff00ff'>partial"));
  }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }

  void SetUp() override {
    Browser = std::make_unique<TWebBrowser>(nullptr);
    Browser->SetBounds(0, 0, 800, 600);
    Browser->OnBeforeNavigate2 = [this](TObject* Sender, IDispatch* pDisp, const OleVariant& URL,
                                        const OleVariant&, const OleVariant&, const OleVariant&,
                                        const OleVariant&, bool&) {
      EXPECT_EQ(Sender, Browser.get());
      Seen.push_back({"before", URL.AsString(), Browser->ReadyState(),
                      pDisp == Browser->GetControlInterface()});
    };
    Browser->OnDocumentComplete = [this](TObject* Sender, IDispatch* pDisp, const OleVariant& URL) {
      EXPECT_EQ(Sender, Browser.get());
      Seen.push_back({"complete", URL.AsString(), Browser->ReadyState(),
                      pDisp == Browser->GetControlInterface()});
    };
    Browser->OnNavigateError = [this](TObject* Sender, const std::string& URL,
                                      TNavigateFailure Kind, const std::string& Reason) {
      EXPECT_EQ(Sender, Browser.get());
      Errors.push_back({Kind, Reason, URL});
    };
  }

  bool WaitError(int TimeoutMs = 10000) {
    return Application->RunUntil([&] { return !Errors.empty(); }, TimeoutMs);
  }

  void TearDown() override {
    Browser.reset();
    TChromiumBrowser::Shared().Options() = TBrowserOptions();
  }

  // Runs the loop until the page's own document has completed.
  bool WaitComplete(int TimeoutMs = 10000) {
    return Application->RunUntil(
        [&] {
          return !Seen.empty() && Seen.back().Kind == "complete" &&
                 Seen.back().ReadyState == READYSTATE_COMPLETE;
        },
        TimeoutMs);
  }

  std::vector<std::string> Urls(const std::string& Kind) const {
    std::vector<std::string> R;
    for (const TSeen& S : Seen)
      if (S.Kind == Kind) R.push_back(S.Url);
    return R;
  }

  struct TError {
    TNavigateFailure Kind;
    std::string Reason, Url;
  };
  static TTestServer* Server;
  std::unique_ptr<TWebBrowser> Browser;
  std::vector<TSeen> Seen;
  std::vector<TError> Errors;
};

TTestServer* WebBrowserTest::Server = nullptr;

gint64 MsSince(gint64 Start) { return (g_get_monotonic_time() - Start) / 1000; }

TEST_F(WebBrowserTest, FramesCompleteBeforeThePageWhichAloneReadsComplete) {
  std::string Top = Server->Url("/frames.html");
  Browser->Navigate(Top);
  ASSERT_TRUE(WaitComplete());
  ASSERT_FALSE(Seen.empty());
  EXPECT_EQ(Seen.front().Kind, "before");
  EXPECT_EQ(Seen.front().Url, Top);
  EXPECT_TRUE(Seen.front().TopLevel);

  std::vector<std::string> Completed = Urls("complete");
  ASSERT_EQ(Completed.size(), 3u);
  EXPECT_EQ(Completed.back(), Top);
  for (const std::string& Child : {Server->Url("/child1.html"), Server->Url("/child2.html")}) {
    auto Before = std::find_if(Seen.begin(), Seen.end(), [&](const TSeen& S) {
      return S.Kind == "before" && S.Url == Child;
    });
    auto Done = std::find_if(Seen.begin(), Seen.end(), [&](const TSeen& S) {
      return S.Kind == "complete" && S.Url == Child;
    });
    ASSERT_NE(Before, Seen.end()) << Child;
    ASSERT_NE(Done, Seen.end()) << Child;
    EXPECT_LT(Before - Seen.begin(), Done - Seen.begin());
    EXPECT_FALSE(Done->TopLevel);
    EXPECT_NE(Done->ReadyState, READYSTATE_COMPLETE);
  }
  EXPECT_TRUE(Seen.back().TopLevel);
  EXPECT_EQ(Browser->ReadyState(), READYSTATE_COMPLETE);
  EXPECT_EQ(Browser->LocationURL(), Top);
  // Nothing more arrives for a page that has completed.
  std::size_t Count = Seen.size();
  Application->RunUntil([] { return false; }, 300);
  EXPECT_EQ(Seen.size(), Count);
}

TEST_F(WebBrowserTest, HandlerExceptionIsReportedAndLoadingGoesOn) {
  std::vector<TObject*> Senders;
  Application->OnException = [&](TObject* Sender, const std::exception&) {
    Senders.push_back(Sender);
  };
  auto Record = Browser->OnDocumentComplete;
  Browser->OnDocumentComplete = [&](TObject* Sender, IDispatch* pDisp, const OleVariant& URL) {
    Record(Sender, pDisp, URL);
    throw EConvertError("handler failed");
  };
  Browser->Navigate(Server->Url("/frames.html"));
  bool Done = WaitComplete();
  Application->OnException = nullptr;
  ASSERT_TRUE(Done);
  EXPECT_EQ(Urls("complete").size(), 3u);
  EXPECT_EQ(Senders, std::vector<TObject*>(3, Browser.get()));
}

TEST_F(WebBrowserTest, RedirectsAnnounceEveryStep) {
  Browser->Navigate(Server->Url("/r1"));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Urls("before"), (std::vector<std::string>{Server->Url("/r1"), Server->Url("/r2"),
                                                      Server->Url("/final.html")}));
  EXPECT_EQ(Urls("complete"), std::vector<std::string>{Server->Url("/final.html")});
}

TEST_F(WebBrowserTest, RefreshByThePageIsANewNavigation) {
  // The refresh may come while the first document's picture is being
  // taken, which gives that document up: the page ends on the second.
  Browser->Navigate(Server->Url("/meta.html"));
  ASSERT_TRUE(Application->RunUntil(
      [&] {
        return !Urls("complete").empty() && Urls("complete").back() == Server->Url("/final.html");
      },
      10000));
  EXPECT_EQ(Urls("before"),
            (std::vector<std::string>{Server->Url("/meta.html"), Server->Url("/final.html")}));
  EXPECT_EQ(Seen.back().ReadyState, READYSTATE_COMPLETE);
}

TEST_F(WebBrowserTest, CancelledNavigationDoesNotLoad) {
  Browser->OnBeforeNavigate2 = [](TObject*, IDispatch*, const OleVariant&, const OleVariant&,
                                  const OleVariant&, const OleVariant&, const OleVariant&,
                                  bool& Cancel) { Cancel = true; };
  std::size_t Asked = Server->Requests().size();
  Browser->Navigate(Server->Url("/final.html?cancelled"));
  Application->RunUntil([] { return false; }, 300);
  EXPECT_TRUE(Seen.empty());
  EXPECT_EQ(Server->Requests().size(), Asked);
}

TEST_F(WebBrowserTest, ScrollSizeOfTheBodyThroughLateBinding) {
  Browser->SetBounds(0, 0, 1024, 768);
  Browser->Navigate(Server->Url("/big.html"));
  ASSERT_TRUE(WaitComplete());
  OleVariant Doc = Browser->OleObject().Get("Document");
  EXPECT_EQ(Doc.Get("Body").Get("ScrollWidth").AsInteger(), 1500);
  EXPECT_EQ(Browser->OleObject().Get("Document").Get("Body").Get("ScrollHeight").AsInteger(), 3000);
  // The viewport is the control's size.
  OleVariant View = Doc.Get("defaultView");
  EXPECT_EQ(View.Get("innerWidth").AsInteger(), 1024);
  Browser->SetBounds(0, 0, 640, 480);
  EXPECT_EQ(View.Get("innerWidth").AsInteger(), 640);
  EXPECT_EQ(View.Get("InnerHeight").AsInteger(), 480);
  EXPECT_THROW(Doc.Get("NoSuchProperty"), EOleException);
  EXPECT_THROW(Browser->OleObject().Get("Nonsense"), EOleException);
  EXPECT_EQ(Browser->OleObject().Get("LocationURL").AsString(), Server->Url("/big.html"));
}

TEST_F(WebBrowserTest, DocumentWithoutBodyFailsTheLookup) {
  Browser->Navigate(Server->Url("/nobody.svg"));
  ASSERT_TRUE(WaitComplete());
  OleVariant Body = Browser->OleObject().Get("Document").Get("Body");
  EXPECT_TRUE(Body.IsNull());
  EXPECT_THROW(Body.Get("ScrollWidth"), EOleException);
  EXPECT_THROW(Body.AsInteger(), EConvertError);
}

// The colour of a 24-bit bitmap's pixel as 0xRRGGBB.
std::uint32_t Rgb(TBitmap& B, int X, int Y) {
  const std::uint8_t* P = B.ScanLine(Y) + X * 3;
  return (std::uint32_t(P[2]) << 16) | (std::uint32_t(P[1]) << 8) | P[0];
}

TEST_F(WebBrowserTest, DrawGivesThePagesColoursWhereTheyAre) {
  Browser->SetBounds(0, 0, 200, 100);
  Browser->Navigate(Server->Url("/quads.html"));
  ASSERT_TRUE(WaitComplete());
  IViewObject* View = dynamic_cast<IViewObject*>(Browser->GetControlInterface());
  ASSERT_NE(View, nullptr);

  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(200, 100);
  TRect R = Rect(0, 0, 200, 100);
  ASSERT_EQ(View->Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R, nullptr,
                       nullptr, 0),
            0);
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
  EXPECT_EQ(View->Draw(4, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R, nullptr, nullptr, 0),
            E_INVALIDARG);
}

TEST_F(WebBrowserTest, FileUrlsLoadAndDraw) {
  gchar* Dir = g_dir_make_tmp("snapkit-browser-test-XXXXXX", nullptr);
  ASSERT_NE(Dir, nullptr);
  std::string Path = std::string(Dir) + "/page.html";
  std::ofstream(Path) << "<html><body style='margin:0;background:#123456'></body></html>";
  Browser->SetBounds(0, 0, 64, 48);
  Browser->Navigate(std::wstring(L"file://") + std::wstring(Path.begin(), Path.end()));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Urls("complete").back(), "file://" + Path);
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(64, 48);
  TRect R = Rect(0, 0, 64, 48);
  ASSERT_EQ(Browser->Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R, nullptr,
                          nullptr, 0),
            0);
  EXPECT_EQ(Rgb(B, 32, 24), 0x123456u);
  // Refused once local files are not allowed, whatever the scheme's case.
  Browser->SetAllowLocal(false);
  for (const std::string& Url : {"file://" + Path, "FILE://" + Path})
    EXPECT_THROW(Browser->Navigate(Url), EOleException) << Url;
  remove(Path.c_str());
  rmdir(Dir);
  g_free(Dir);
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
  B.SetPixelFormat(pf24bit);
  B.SetSize(W, H);
  TRect R = Rect(0, 0, W, H);
  ASSERT_EQ(Browser->Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R, nullptr,
                          nullptr, 0),
            0);
  for (auto [X, Y] : {std::pair{0, 0}, {119, 0}, {0, 59}, {119, 59}, {60, 30}})
    EXPECT_EQ(Rgb(B, X, Y), 0x00aa55u) << X << "," << Y;
}

// A page is set up with the options when it opens; a change reaches the
// next navigation, and taking one back leaves the browser's own.
TEST_F(WebBrowserTest, PageOptionsReachTheNextNavigation) {
  std::string Lower;
  auto Agent = [&](const std::string& Set) {
    Browser->SetUserAgent(Set);
    Seen.clear();
    Browser->Navigate(Server->Url("/agent.html"));
    EXPECT_TRUE(WaitComplete()) << Set;
    std::string Head = Server->RequestHead("/agent.html");
    std::size_t At = Head.find("User-Agent: ");
    return At == std::string::npos ? Head : Head.substr(At + 12, Head.find('\r', At) - At - 12);
  };
  EXPECT_EQ(Agent("one/1"), "one/1");
  EXPECT_EQ(Agent("two/2"), "two/2");
  std::string Own = Agent("");
  EXPECT_EQ(Own.rfind("Mozilla/", 0), 0u) << Own;

  // What no page could be set up with is refused when it is set.
  EXPECT_THROW(Browser->SetDeviceScaleFactor(0), EInvalidOperation);
  EXPECT_THROW(Browser->SetDeviceScaleFactor(8.5), EInvalidOperation);
  EXPECT_THROW(Browser->SetColorScheme("blue"), EOleException);
  EXPECT_THROW(Browser->SetUserAgent("a\r\nX-Evil: 1"), EOleException);
  EXPECT_THROW(Browser->SetExtraHeaders({{"Bad Name", "v"}}), EOleException);
  EXPECT_THROW(Browser->SetExtraHeaders({{"X-Ok", "a\nb"}}), EOleException);
  EXPECT_EQ(Browser->DeviceScaleFactor(), 1.0);
  EXPECT_TRUE(Browser->ExtraHeaders().empty());
}

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
  B.SetPixelFormat(pf24bit);
  B.SetSize(100, 100);
  TRect R = Rect(0, 0, 100, 100);
  ASSERT_EQ(Browser->Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R, nullptr,
                          nullptr, 0),
            0);
  EXPECT_EQ(Rgb(B, 50, 50), 0xFF00FFu);
}

TEST_F(WebBrowserTest, SameDocumentNavigationStillCompletes) {
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  Seen.clear();
  Browser->Navigate(Server->Url("/final.html#part"));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Urls("complete"), std::vector<std::string>{Server->Url("/final.html#part")});
}

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
    Browser->Navigate(Server->Url("/quads.html"));
    ASSERT_TRUE(WaitComplete());
    EXPECT_EQ(Urls("complete"), std::vector<std::string>{Server->Url("/quads.html")});
    TBitmap B;
    B.SetPixelFormat(pf24bit);
    B.SetSize(200, 100);
    TRect R = Rect(0, 0, 200, 100);
    Browser->SetBounds(0, 0, 200, 100);
    ASSERT_EQ(Browser->Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R,
                            nullptr, nullptr, 0),
              0)
        << Browser->RenderError();
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
  B.SetPixelFormat(pf24bit);
  B.SetSize(100, 100);
  TRect R = Rect(0, 0, 100, 100);
  gint64 Start = g_get_monotonic_time();
  EXPECT_EQ(Browser->Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R, nullptr,
                          nullptr, 0),
            E_FAIL);
  EXPECT_LT(MsSince(Start), 3000);
  EXPECT_NE(Browser->RenderError().find("crashed"), std::string::npos) << Browser->RenderError();
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

TEST_F(WebBrowserTest, APageThatGrewPastTheHeapLimitGivesTheNextLoadAFreshPage) {
  // sessionStorage belongs to one page: the second document finds the mark
  // the first one left only when it loads in the same page.
  const char* Mark = "<script>sessionStorage.mark = '1';</script>";
  Server->Route("/light-mark.html",
                testing::Page(std::string("<html><body>light") + Mark + "</body></html>"));
  Server->Route("/heavy-mark.html",
                testing::Page(std::string("<html><body>heavy") + Mark +
                              "<script>window.keep = Array.from({length: 3e6}, (_, i) => i + 0.5);"
                              "</script></body></html>"));
  // As heavy on the way, but all of it garbage by the next navigation.
  Server->Route("/garbage-mark.html",
                testing::Page(std::string("<html><body>garbage") + Mark +
                              "<script>window.keep = Array.from({length: 3e6}, (_, i) => i + 0.5);"
                              "window.keep = null;</script></body></html>"));
  Server->Route("/marked.html",
                testing::Page("<html><body style='margin:0'><div id=d style='width:100px;"
                              "height:100px;background:#ff0000'></div><script>"
                              "if (sessionStorage.mark) d.style.background = '#00ff00';"
                              "</script></body></html>"));
  struct TCase {
    const char* First;
    std::size_t Limit;
    bool Fresh;
  } Cases[] = {
      {"/light-mark.html", Browser->PageHeapLimit(), false},
      {"/heavy-mark.html", Browser->PageHeapLimit(), true},
      {"/garbage-mark.html", Browser->PageHeapLimit(), false},
      {"/light-mark.html", 0, true},
      {"/heavy-mark.html", std::size_t(1) << 40, false},
  };
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string(Case.First) + " limit " + std::to_string(Case.Limit));
    Browser->SetPageHeapLimit(Case.Limit);
    Browser->SetBounds(0, 0, 100, 100);
    Seen.clear();
    Browser->Navigate(Server->Url(Case.First));
    ASSERT_TRUE(WaitComplete());
    std::vector<pid_t> Before = testing::RendererPids(C.Pid());
    Seen.clear();
    Browser->Navigate(Server->Url("/marked.html"));
    ASSERT_TRUE(WaitComplete());
    TBitmap B;
    B.SetPixelFormat(pf24bit);
    B.SetSize(100, 100);
    TRect R = Rect(0, 0, 100, 100);
    ASSERT_EQ(Browser->Draw(DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &B.Canvas(), &R,
                            nullptr, nullptr, 0),
              0)
        << Browser->RenderError();
    EXPECT_EQ(Rgb(B, 50, 50), Case.Fresh ? 0xFF0000u : 0x00FF00u);
    if (Case.Fresh) {
      // The old page's renderer, and the memory it held, is gone.
      auto OneEnded = [&] {
        std::vector<pid_t> Now = testing::RendererPids(C.Pid());
        for (pid_t Pid : Before)
          if (std::find(Now.begin(), Now.end(), Pid) == Now.end()) return true;
        return false;
      };
      EXPECT_TRUE(Application->RunUntil(OneEnded, 3000));
    }
  }
}

TEST_F(WebBrowserTest, BrowserThatCannotStartIsReported) {
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  C.Shutdown();
  C.Options().Executable = "/nonexistent/chromium";
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitError());
  EXPECT_EQ(Errors[0].Kind, nfBrowserLost);
  EXPECT_NE(Errors[0].Reason.find("could not be started"), std::string::npos) << Errors[0].Reason;
  EXPECT_FALSE(C.Running());
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
