// The pixels must be the page's as Chromium itself would draw them, with no
// scroll bar, and those of a page that draws after it has loaded.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"
#include "host/graphics/testing/images.h"
#include "imaging/filters.h"
#include "imaging/resample.h"

namespace snapkit {
namespace {

using testing::Block;
using testing::Body;
using testing::CaptureTest;
using testing::PixelAt;
using testing::Shown;
using testing::TLens;

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

}  // namespace
}  // namespace snapkit
