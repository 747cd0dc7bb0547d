#pragma once
// The fixture every web browser test shares: one page server for the suite,
// and a control whose events are recorded for the test to look at.

#include <glib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/browser/chromium_browser.h"
#include "host/browser/testing/http_server.h"
#include "host/browser/web_browser.h"
#include "host/forms/application.h"
#include "host/graphics/bitmap.h"

namespace host {

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
    Server = new testing::TTestServer;
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
  static testing::TTestServer* Server;
  std::unique_ptr<TWebBrowser> Browser;
  std::vector<TSeen> Seen;
  std::vector<TError> Errors;
};

gint64 MsSince(gint64 Start);

// The colour of a 24-bit bitmap's pixel as 0xRRGGBB.
std::uint32_t Rgb(TBitmap& B, int X, int Y);

// Draws View's whole picture into B, made 24-bit and W x H; Draw's result.
HRESULT DrawInto(IViewObject& View, TBitmap& B, int W, int H);

}  // namespace host
