// Pages built the way real sites are: a hero of one screen, a web font
// asked for after load, animations, and requests that go on after load.
// Each must give the picture a person would see, the same every time.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"
#include "host/graphics/testing/coded_images.h"

namespace snapkit {
namespace {

using host::testing::Page;
using host::testing::Slow;
using testing::CaptureTest;
using testing::PixelAt;
using testing::TLens;

// Pixels darker than mid grey: text drawn in black.
int DarkPixels(const host::TBitmap& B) {
  int Dark = 0;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x)
      if ((PixelAt(B, x, y) & 0xFF) < 0x80) ++Dark;
  return Dark;
}

TEST_F(CaptureTest, AFullPageStaysLaidOutForItsScreen) {
  // A hero of 100vh under a fixed header, 3000 px of content below.
  Server->Route("/hero.html",
                Page("<html><body style='margin:0'>"
                     "<div style='position:fixed;top:0;left:0;width:100%;height:20px;"
                     "background:#0000ff'></div>"
                     "<div style='height:100vh;background:#cc0000'></div>"
                     "<div style='height:3000px;background:#00cc00'></div></body></html>"));
  struct TProbe {
    int Y;
    unsigned Colour;
  };
  const TProbe Probes[] = {{5, 0x0000ff},    {30, 0xcc0000},  {599, 0xcc0000},
                           {600, 0x00cc00},  {610, 0x00cc00},  // the header shows once
                           {1210, 0x00cc00}, {3599, 0x00cc00}};
  for (double Scale : {1.0, 2.0}) {
    TLens L;
    L->Browser().SetDeviceScaleFactor(Scale);
    L->SetWebPageView(wvFull);
    L->setUrl(Server->Url("/hero.html"));
    ASSERT_TRUE(L.WaitReady()) << Scale;
    EXPECT_EQ(L->ViewWidth(), 800u);
    EXPECT_EQ(L->ViewHeight(), 3600u);
    ASSERT_EQ(L->Capture().Height(), int(3600 * Scale));
    for (const TProbe& P : Probes)
      EXPECT_EQ(PixelAt(L->Capture(), 10, int(P.Y * Scale)), P.Colour) << Scale << " y " << P.Y;
  }
}

TEST_F(CaptureTest, WebFontsAskedForAfterLoadAreInThePicture) {
  std::ifstream In("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
  if (!In) GTEST_SKIP() << "fonts-dejavu-core is not installed";
  std::string Font((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  // Invisible until its font has come, as text in a blocking web font is.
  // One font file each, so that none comes from the cache.
  for (const char* Name : {"0", "1"}) {
    Server->Route("/late" + std::string(Name) + ".ttf", Slow(Page(Font, "font/ttf"), 1500));
    Server->Route("/font" + std::string(Name) + ".html",
                  Page("<html><body style='margin:0;background:#fff'>"
                       "<div id=t style='font-size:120px;color:#000'>MWMW</div><script>"
                       "onload = () => { const s = document.createElement('style');"
                       "  s.textContent = \"@font-face { font-family: Late; src: url(/late" +
                       std::string(Name) +
                       ".ttf); } #t { font-family: Late; }\"; document.head.append(s); };"
                       "</script></body></html>"));
  }
  struct TCase {
    bool Wait;
    bool Text;
    const char* Ended;
  };
  const TCase Cases[] = {{true, true, "loaded"}, {false, false, "off"}};
  for (const TCase& C : Cases) {
    TLens L;
    L->Browser().SetWaitForFonts(C.Wait);
    L->setUrl(Server->Url("/font" + std::to_string(C.Wait) + ".html"));
    ASSERT_TRUE(L.WaitReady()) << C.Wait;
    EXPECT_EQ(DarkPixels(L->Capture()) > 1000, C.Text) << C.Wait;
    EXPECT_EQ(L->Browser().FontsWait(), C.Ended);
  }
}

TEST_F(CaptureTest, WithAnimationsDisabledAPageGivesTheSamePixelsEachTime) {
  // An endless animation, a transition started at load and a blinking
  // caret in a focused field.
  Server->Route(
      "/moving.html",
      Page("<html><head><style>"
           "@keyframes slide { from { left: 0 } to { left: 600px } }"
           "#a { position: absolute; top: 0; width: 100px; height: 100px; background: #f00;"
           "     animation: slide 700ms linear infinite }"
           "#b { position: absolute; top: 200px; height: 100px; width: 0; background: #00f;"
           "     transition: width 5s linear }"
           "#b.go { width: 500px }"
           "</style></head><body style='margin:0'><div id=a></div><div id=b></div>"
           "<input autofocus style='position:absolute;top:400px'>"
           "<script>onload = () => requestAnimationFrame(() => b.className = 'go');</script>"
           "</body></html>"));
  TLens L;
  L->Browser().SetDisableAnimations(true);
  std::unique_ptr<host::TBitmap> First;
  L->setUrl(Server->Url("/moving.html"));
  for (int i = 0; i < 3; ++i) {
    if (i > 0) L->Refresh();
    ASSERT_TRUE(L.WaitReady()) << i;
    // The endless one at its start, the transition at its end.
    EXPECT_EQ(PixelAt(L->Capture(), 50, 50), 0xff0000u) << i;
    EXPECT_EQ(PixelAt(L->Capture(), 650, 50), 0xffffffu) << i;
    EXPECT_EQ(PixelAt(L->Capture(), 490, 250), 0x0000ffu) << i;
    if (!First) {
      First = std::make_unique<host::TBitmap>();
      First->Assign(L->Capture());
    } else {
      EXPECT_TRUE(host::testing::SamePixels(*First, L->Capture())) << i;
    }
  }
}

TEST_F(CaptureTest, EachLoadConditionEndsWhenItHolds) {
  // Three requests at once after load, then red: more than two in flight.
  for (const char* Name : {"1", "2", "3"}) {
    Server->Route("/slow-data" + std::string(Name), Slow(Page("{}", "application/json"), 700));
    Server->Route("/stuck-data" + std::string(Name), host::testing::Hanging());
  }
  Server->Route("/after-load.html",
                Page("<html><body style='margin:0;background:#fff'><script>"
                     "onload = () => Promise.all([1, 2, 3].map(i => fetch('/slow-data' + i)))"
                     "  .then(() => document.body.style.background = '#f00');"
                     "</script></body></html>"));
  // A beacon every 100 ms for ever: idle all the same.
  Server->Route("/beacon", Page("", "text/plain"));
  Server->Route("/beacons.html", Page("<html><body style='margin:0;background:#0f0'><script>"
                                      "setInterval(() => fetch('/beacon?' + Math.random()), 100);"
                                      "</script></body></html>"));
  // Never idle: three requests that never end.
  Server->Route("/busy.html",
                Page("<html><body style='margin:0;background:#0f0'><script>"
                     "onload = () => [1, 2, 3].forEach(i => fetch('/stuck-data' + i));"
                     "</script></body></html>"));
  // Its image comes late; DOMContentLoaded does not wait for it.
  Server->Route("/slow.png",
                Slow(Page(testing::SolidPng(100, 100, host::RGB(0, 0, 0xff)), "image/png"), 1500));
  Server->Route("/image.html", Page(testing::Body("<img src='/slow.png'>", "#00ff00")));
  struct TCase {
    const char* Path;
    host::TWaitUntil Until;
    unsigned Colour;     // at (50, 50); 0: fails
    const char* Failed;  // part of the failure's text
  };
  const TCase Cases[] = {
      {"/after-load.html", host::wuLoad, 0xffffff, ""},
      {"/after-load.html", host::wuNetworkIdle, 0xff0000, ""},
      {"/beacons.html", host::wuNetworkIdle, 0x00ff00, ""},
      {"/busy.html", host::wuNetworkIdle, 0, "did not go idle"},
      {"/image.html", host::wuLoad, 0x0000ff, ""},
      {"/image.html", host::wuDOMContentLoaded, 0x00ff00, ""},
  };
  for (const TCase& C : Cases) {
    TLens L;
    L->Browser().SetWaitUntil(C.Until);
    L->Browser().SetLoadTimeout(3000);
    L->setUrl(Server->Url(C.Path));
    if (!C.Colour) {
      L.Settle(5000);
      ASSERT_EQ(L.Errors.size(), 1u) << C.Path;
      EXPECT_NE(L.Errors[0].find(C.Failed), std::string::npos) << L.Errors[0];
      continue;
    }
    ASSERT_TRUE(L.WaitReady()) << C.Path << " " << C.Until;
    EXPECT_EQ(PixelAt(L->Capture(), 50, 50), C.Colour) << C.Path << " " << C.Until;
  }
}

}  // namespace
}  // namespace snapkit
