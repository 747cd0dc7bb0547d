// What the application does to a control while it captures, or after a
// capture failed, and handlers that free their control on every path.

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <functional>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"
#include "host/browser/chromium_browser.h"
#include "host/system/tempfiles.h"

namespace snapkit {
namespace {

using testing::Body;
using testing::CaptureTest;
using testing::PixelAt;
using testing::TLens;

std::string Unreachable() {
  return "http://127.0.0.1:" + std::to_string(host::testing::ClosedPort()) + "/";
}

TEST_F(CaptureTest, WhatIsDoneDuringALoadOrAfterAFailureEndsAsTheControlPromises) {
  struct TCase {
    const char* Name;
    std::function<void(TSitelens&)> Act;
    // During a load of green.html: the captures that end it.
    int ReadyDuringLoad;
    // After a failure that followed a capture of green.html.
    int ErrorsAfterFailure;
  };
  const std::string Blue = Server->Url("/blue.html");
  const TCase Cases[] = {
      {"setUrl", [&](TSitelens& L) { L.setUrl(Blue); }, 1, 0},
      // Ignored while a capture is under way; after a failure it tries the
      // failing address again.
      {"Refresh", [](TSitelens& L) { L.Refresh(); }, 1, 1},
      {"resize", [](TSitelens& L) { L.SetBounds(0, 0, 64, 48); }, 1, 0},
      {"Active off", [](TSitelens& L) { L.SetActive(false); }, 1, 0},
      {"WebPageView", [](TSitelens& L) { L.SetWebPageView(wvFull); }, 1, 1},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    {
      TLens L;
      L->setUrl(Server->Url("/green.html"));
      C.Act(*L);
      ASSERT_TRUE(L.WaitReady());
      L.Settle(400);
      EXPECT_EQ(int(L.Ready.size()), C.ReadyDuringLoad);
      EXPECT_TRUE(L.Errors.empty()) << L.Errors[0];
      // What was asked last is what is shown.
      EXPECT_EQ(L.Ready.back().Url, L->URL());
      EXPECT_EQ(PixelAt(L->Capture(), 5, 5), L->URL() == Blue ? 0x0000ffu : 0x00ff00u);
    }
    {
      TLens L;
      L->setUrl(Server->Url("/green.html"));
      ASSERT_TRUE(L.WaitReady());
      L->setUrl(Unreachable());
      ASSERT_TRUE(host::Application->RunUntil([&] { return !L.Errors.empty(); }, 15000));
      L.Errors.clear();
      std::size_t Ready = L.Ready.size();
      C.Act(*L);
      L.Settle(1500);
      EXPECT_EQ(int(L.Errors.size()), C.ErrorsAfterFailure)
          << (L.Errors.empty() ? "" : L.Errors[0]);
      if (L->URL() == Blue) {
        EXPECT_EQ(L.Ready.size(), Ready + 1);
      }
      // The last good picture stays, shown and saved.
      EXPECT_EQ(PixelAt(L->Capture(), 5, 5), L->URL() == Blue ? 0x0000ffu : 0x00ff00u);
      const std::string File = MakeTempFileName("interplay", ".bmp");
      EXPECT_EQ(L->SaveToFile(File, 0, 0), 0);
      std::remove(File.c_str());
    }
  }
}

TEST_F(CaptureTest, AHandlerMayFreeItsControlOnEveryPath) {
  struct TCase {
    const char* Name;
    // Sets the control going; Free frees it from the handler that fires.
    std::function<void(TSitelens& L, std::function<void()> Free)> Start;
  };
  const TCase Cases[] = {
      {"ready",
       [&](TSitelens& L, std::function<void()> Free) {
         L.OnWebImageReady = [Free](host::TObject*, const std::string&) { Free(); };
         L.setUrl(Server->Url("/frames.html"));
       }},
      {"navigate error",
       [&](TSitelens& L, std::function<void()> Free) {
         L.OnCaptureError = [Free](host::TObject*, const std::string&, const std::string&) {
           Free();
         };
         L.setUrl(Unreachable());
       }},
      {"resize after a failure",
       [&](TSitelens& L, std::function<void()> Free) {
         bool Failed = false;
         L.OnCaptureError = [&Failed](host::TObject*, const std::string&, const std::string&) {
           Failed = true;
         };
         L.setUrl(Server->Url("/green.html"));
         ASSERT_TRUE(host::Application->RunUntil([&] { return L.CaptureDone(); }, 15000));
         L.setUrl(Unreachable());
         ASSERT_TRUE(host::Application->RunUntil([&] { return Failed; }, 15000));
         // A resize raises nothing; were it to, the handler frees the control.
         L.OnCaptureError = [Free](host::TObject*, const std::string&, const std::string&) {
           Free();
         };
         L.SetBounds(0, 0, 50, 40);
         Free();
       }},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto* Form = new host::TComponent(nullptr);
    auto* Lens = new TSitelens(Form);
    bool Freed = false;
    auto Free = [&] {
      if (Freed) return;
      Freed = true;
      delete Form;
    };
    C.Start(*Lens, Free);
    ASSERT_TRUE(host::Application->RunUntil([&] { return Freed; }, 15000));
    host::Application->RunUntil([] { return false; }, 300);
  }

  // The browser is lost while A navigates: B, still loading, hears of it
  // first and frees A, whose navigation then does nothing more.
  auto* FormA = new host::TComponent(nullptr);
  auto* FormB = new host::TComponent(nullptr);
  auto* A = new TSitelens(FormA);
  auto* B = new TSitelens(FormB);
  int Ready = 0;
  for (TSitelens* L : {A, B})
    L->OnWebImageReady = [&](host::TObject*, const std::string&) { ++Ready; };
  B->OnCaptureError = [&](host::TObject*, const std::string&, const std::string&) {
    delete FormA;
    FormA = nullptr;
  };
  A->setUrl(Server->Url("/green.html"));
  B->setUrl(Server->Url("/endless"));
  ASSERT_TRUE(host::Application->RunUntil([&] { return Ready == 1; }, 15000));
  ASSERT_EQ(kill(host::TChromiumBrowser::Shared().Pid(), SIGKILL), 0);
  g_usleep(200 * 1000);
  A->setUrl(Server->Url("/red.html"));
  ASSERT_TRUE(host::Application->RunUntil([&] { return FormA == nullptr; }, 5000));
  host::Application->RunUntil([] { return false; }, 500);
  EXPECT_EQ(Ready, 1);
  delete FormB;
}

TEST_F(CaptureTest, FramesThatNavigateOrCompleteLateMakeNoSecondCapture) {
  // An iframe added once the page has loaded completes after it; another
  // navigates every 60 ms all through the capture.
  Server->Route("/late-frame.html",
                host::testing::Page(Body("<script>onload = () => setTimeout(() => {"
                                         " const f = document.createElement('iframe');"
                                         " f.src = '/blue.html'; document.body.append(f); }, 50);"
                                         "</script>",
                                         "#00ff00")));
  Server->Route("/busy-frame.html",
                host::testing::Page(Body("<iframe id=f src='/blue.html'></iframe><script>"
                                         "let n = 0; setInterval(() => {"
                                         " document.getElementById('f').src = '/blue.html?' + ++n;"
                                         "}, 60);</script>",
                                         "#00ff00")));
  for (const char* Page : {"/late-frame.html", "/busy-frame.html"}) {
    SCOPED_TRACE(Page);
    TLens L;
    L->SetRenderDelay(400);
    L->setUrl(Server->Url(Page));
    ASSERT_TRUE(L.WaitReady());
    L.Settle(800);
    ASSERT_EQ(L.Ready.size(), 1u);
    EXPECT_EQ(L.Ready[0].Url, Server->Url(Page));
    EXPECT_TRUE(L.Errors.empty()) << L.Errors[0];
    // Laid out and taken at the screen's size, not a frame's whim.
    EXPECT_EQ(L->Capture().Width(), 800);
    EXPECT_EQ(L->Capture().Height(), 600);
    EXPECT_EQ(PixelAt(L->Capture(), 790, 590), 0x00ff00u);
  }
}

}  // namespace
}  // namespace snapkit
