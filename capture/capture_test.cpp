// Captures of real pages in headless Chromium: the views and their sizes,
// the events, what is shown, the timer, resizing, hidden controls, failures
// and the control's lifetime.

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <memory>

#include "capture/sitelens.h"
#include "capture/testing/capture_testing.h"
#include "host/browser/chromium_browser.h"
#include "host/browser/testing/browser_processes.h"
#include "host/browser/testing/http_server.h"
#include "host/forms/screen.h"
#include "host/graphics/testing/images.h"
#include "host/system/exception.h"
#include "host/system/stream.h"
#include "imaging/filters.h"
#include "imaging/resample.h"
#include "png/png_image.h"

namespace snapkit {
namespace {

using host::testing::Page;
using host::testing::TTestServer;
using testing::PixelAt;
using testing::Shown;
using testing::TLens;

std::string Block(int W, int H, const char* Colour) {
  return "<div style='width:" + std::to_string(W) + "px;height:" + std::to_string(H) +
         "px;background:" + Colour + "'></div>";
}

// A PNG file of one colour, as a page's image.
std::string SolidPng(int W, int H, host::TColor Colour) {
  TPNGImage Png;
  Png.SetPixelFormat(host::pf24bit);
  Png.SetSize(W, H);
  Png.Canvas().Brush.Color = Colour;
  Png.Canvas().FillRect(host::Rect(0, 0, W, H));
  host::TMemoryStream Out;
  Png.SaveToStream(Out);
  return std::string(reinterpret_cast<const char*>(Out.Memory()), std::size_t(Out.Size()));
}

std::string Body(const std::string& Inner, const char* Background = "#ffffff") {
  return std::string("<html><body style='margin:0;background:") + Background + "'>" + Inner +
         "</body></html>";
}

class CaptureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Server = new TTestServer;
    Server->Route("/red.html", Page(Body("", "#ff0000")));
    Server->Route("/green.html", Page(Body("", "#00ff00")));
    Server->Route("/blue.html", Page(Body("", "#0000ff")));
    Server->Route("/quads.html",
                  Page("<html><body style='margin:0;overflow:hidden'>"
                       "<div style='position:absolute;left:0;top:0;width:50%;height:50%;"
                       "background:#ff0000'></div>"
                       "<div style='position:absolute;left:50%;top:0;width:50%;height:50%;"
                       "background:#00ff00'></div>"
                       "<div style='position:absolute;left:0;top:50%;width:50%;height:50%;"
                       "background:#0000ff'></div>"
                       "<div style='position:absolute;left:50%;top:50%;width:50%;height:50%;"
                       "background:#102030'></div></body></html>"));
    // Longer and wider than any screen used here.
    Server->Route("/big.html", Page(Body(Block(1500, 3000, "#336699"), "#336699")));
    Server->Route("/long.html", Page(Body(Block(100, 3000, "#336699"), "#336699")));
    Server->Route("/frames.html",
                  Page(Body("<iframe src='/long.html' width=300 height=200 "
                            "style='border:0;display:block'></iframe>"
                            "<iframe src='/green.html' width=300 height=200></iframe>",
                            "#ffff00")));
    Server->Route("/r1", host::testing::Redirect(302, "/r2"));
    Server->Route("/r2", host::testing::Redirect(301, "/blue.html"));
    Server->Route("/nobody.svg", Page("<svg xmlns='http://www.w3.org/2000/svg' width='10' "
                                      "height='10'/>",
                                      "image/svg+xml"));
    Server->Route("/endless", host::testing::Unfinished(Body("still loading")));
    // Paints 300 ms after it has loaded.
    Server->Route("/late.html", Page("<html><body style='margin:0;background:#ffffff'><script>"
                                     "onload = () => setTimeout(() => "
                                     "document.body.style.background = '#ff0000', 300);"
                                     "</script></body></html>"));
    // Images far below the screen, loaded only once they come near the view.
    std::string Lazy;
    for (int i = 0; i < 4; ++i) {
      std::string Name = "/lazy" + std::to_string(i) + ".png";
      Server->Route(Name, host::testing::Slow(
                              Page(SolidPng(300, 300, host::RGB(0, 0x80, 0)), "image/png"), 400));
      Lazy += "<img loading=lazy src='" + Name +
              "' style='position:absolute;left:" + std::to_string(i * 350) +
              "px;top:5600px;width:300px;height:300px'>";
    }
    Server->Route("/lazy.html",
                  Page(Body("<div style='width:1500px;height:6000px'></div>" + Lazy)));
    Server->Route("/huge.html", Page(Body(Block(1000, 40000, "#336699"), "#336699")));
  }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }
  void SetUp() override { host::Screen->SetSize(800, 600); }
  void TearDown() override { host::Screen->SetSize(1920, 1080); }

  int Requests(const std::string& Path) {
    std::vector<std::string> R = Server->Requests();
    return static_cast<int>(std::count(R.begin(), R.end(), Path));
  }

  static TTestServer* Server;
};

TTestServer* CaptureTest::Server = nullptr;

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

TEST_F(CaptureTest, PixelsAreThePagesAndTheShownPictureIsTheMitchellResample) {
  TLens L;
  L->SetWebPageView(wvCustom);
  L->SetViewWidth(400);
  L->SetViewHeight(300);
  L->setUrl(Server->Url("/quads.html"));
  ASSERT_TRUE(L.WaitReady());
  host::TBitmap& C = L->Capture();
  struct TSpot {
    int X, Y;
    unsigned Rgb;
  };
  for (TSpot S : {TSpot{0, 0, 0xff0000}, TSpot{199, 149, 0xff0000}, TSpot{200, 0, 0x00ff00},
                  TSpot{399, 149, 0x00ff00}, TSpot{0, 150, 0x0000ff}, TSpot{199, 299, 0x0000ff},
                  TSpot{200, 150, 0x102030}, TSpot{399, 299, 0x102030}})
    EXPECT_EQ(PixelAt(C, S.X, S.Y), S.Rgb) << S.X << "," << S.Y;

  host::TBitmap Copy, Expected;
  Copy.Assign(C);
  Resample(Copy, Expected, 128, 96, MitchellFilter, 3.0f);  // 396x296 into 128x128
  host::TBitmap& Picture = Shown(*L);
  ASSERT_EQ(Picture.Width(), 128);
  ASSERT_EQ(Picture.Height(), 96);
  ASSERT_EQ(Picture.PixelFormat(), host::pf24bit);
  for (int y = 0; y < 96; ++y)
    ASSERT_TRUE(
        std::equal(Picture.ScanLine(y), Picture.ScanLine(y) + 128 * 3, Expected.ScanLine(y)))
        << "row " << y;
}

TEST_F(CaptureTest, NoScrollBarShowsYetScrollSizesStayThePages) {
  TLens L;
  L->setUrl(Server->Url("/long.html"));
  ASSERT_TRUE(L.WaitReady());
  host::TBitmap& C = L->Capture();
  // Where a vertical bar would be drawn, the page's colour shows.
  for (int x = 780; x < 800; ++x) EXPECT_EQ(PixelAt(C, x, 300), 0x336699u) << x;
  EXPECT_EQ(L->Browser().OleObject()["Document"]["Body"]["ScrollHeight"].AsInteger(), 3000);
  EXPECT_EQ(L->Browser().OleObject()["Document"]["Body"]["ClientWidth"].AsInteger(), 800);

  // Nor in a frame whose page is longer than the frame.
  L->setUrl(Server->Url("/frames.html"));
  ASSERT_TRUE(L.WaitReady());
  for (int x = 280; x < 300; ++x) EXPECT_EQ(PixelAt(C, x, 100), 0x336699u) << x;
}

// Chromium's own one-shot screenshot of the same page, scroll bars hidden as
// screenshot tools hide them, is the picture a capture must give.
TEST_F(CaptureTest, ACaptureIsWhatChromiumsOwnScreenshotShows) {
  host::testing::TScratchDir Dir;
  std::string Url = testing::FileUrl(
      Dir.Path(), "page.html",
      Body("<div style='height:1500px;background:linear-gradient(#f00,#00f)'>"
           "<p style='font:30px sans-serif;padding:20px'>snapkit thumbnails</p></div>"
           "<iframe src='long.html' width=300 height=200></iframe>"));
  testing::FileUrl(Dir.Path(), "long.html", Body(Block(100, 3000, "#336699"), "#00ff00"));
  std::string Shot = Dir.File("shot.png");
  std::string Command =
      "/usr/bin/chromium --headless --no-sandbox --disable-gpu "
      "--hide-scrollbars --window-size=800,600 --screenshot=" +
      Shot + " " + Url + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(Command.c_str()), 0);
  host::testing::TRgbImage Oracle;
  ASSERT_TRUE(host::testing::ReadWithPillow(Shot, Oracle));

  TLens L;
  L->SetWebPageView(wvCustom);
  L->SetViewWidth(800);
  L->SetViewHeight(600);
  L->setUrl(Url);
  ASSERT_TRUE(L.WaitReady());
  host::testing::TRgbImage Ours = host::testing::ToRgb(L->Capture());
  ASSERT_EQ(Ours.Width, Oracle.Width);
  ASSERT_EQ(Ours.Height, Oracle.Height);
  std::size_t Differ = 0;
  for (std::size_t i = 0; i < Ours.Rgb.size(); ++i) Differ += Ours.Rgb[i] != Oracle.Rgb[i];
  EXPECT_EQ(Differ, 0u);
}

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

TEST_F(CaptureTest, PagesThatDrawLate) {
  TLens Soon;
  Soon->setUrl(Server->Url("/late.html"));
  ASSERT_TRUE(Soon.WaitReady());
  EXPECT_EQ(PixelAt(Soon->Capture(), 10, 10), 0xffffffu);

  TLens Delayed;
  Delayed->SetRenderDelay(500);
  Delayed->setUrl(Server->Url("/late.html"));
  ASSERT_TRUE(Delayed.WaitReady());
  EXPECT_EQ(PixelAt(Delayed->Capture(), 10, 10), 0xff0000u);

  // A full page waits for the lazy images its larger view brings in.
  TLens Full;
  Full->SetWebPageView(wvFull);
  Full->setUrl(Server->Url("/lazy.html"));
  ASSERT_TRUE(Full.WaitReady());
  ASSERT_EQ(Full->ViewHeight(), 6000u);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(PixelAt(Full->Capture(), i * 350 + 150, 5750), 0x008000u) << "image " << i;
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

TEST_F(CaptureTest, AControlFreedMidLoadOrInItsOwnEventIsNeverTouchedAgain) {
  {
    TLens L;
    L->setUrl(Server->Url("/endless"));
  }
  {
    TLens L;
    L->SetTimerInterval(50);
    L->SetTimedUpdate(true);
    L->setUrl(Server->Url("/frames.html"));
    host::Application->RunUntil([&] { return false; }, 30);  // part-way through
  }
  auto* Form = new host::TComponent(nullptr);
  auto* Lens = new TSitelens(Form);
  bool Freed = false;
  Lens->OnWebImageReady = [&](host::TObject* Sender, const std::string&) {
    delete Form;  // frees the control, which is the Sender
    Freed = true;
  };
  Lens->setUrl(Server->Url("/frames.html"));
  ASSERT_TRUE(host::Application->RunUntil([&] { return Freed; }, 15000));
  host::Application->RunUntil([&] { return false; }, 300);

  // Freed by its own error handler.
  Form = new host::TComponent(nullptr);
  Lens = new TSitelens(Form);
  Freed = false;
  Lens->OnCaptureError = [&](host::TObject*, const std::string&, const std::string&) {
    delete Form;
    Freed = true;
  };
  Lens->setUrl("http://127.0.0.1:" + std::to_string(host::testing::ClosedPort()) + "/");
  ASSERT_TRUE(host::Application->RunUntil([&] { return Freed; }, 15000));

  // The browser dies under two loading controls; the first to hear of it
  // frees the other, which is never called.
  auto* FormA = new host::TComponent(nullptr);
  auto* FormB = new host::TComponent(nullptr);
  auto* A = new TSitelens(FormA);
  auto* B = new TSitelens(FormB);
  int Heard = 0;
  A->OnCaptureError = [&](host::TObject*, const std::string&, const std::string&) {
    ++Heard;
    delete FormB;
    FormB = nullptr;
  };
  B->OnCaptureError = [&](host::TObject*, const std::string&, const std::string&) {
    ++Heard;
    delete FormA;
    FormA = nullptr;
  };
  A->setUrl(Server->Url("/endless"));
  B->setUrl(Server->Url("/endless?b"));
  host::Application->RunUntil([&] { return false; }, 500);
  ASSERT_EQ(kill(host::TChromiumBrowser::Shared().Pid(), SIGKILL), 0);
  ASSERT_TRUE(host::Application->RunUntil([&] { return Heard > 0; }, 5000));
  host::Application->RunUntil([&] { return false; }, 500);
  EXPECT_EQ(Heard, 1);
  delete FormA;
  delete FormB;
}

}  // namespace
}  // namespace snapkit
