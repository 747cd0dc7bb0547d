// Pictures on the screen as the framework places them: in a form's window at
// the image's place (top-left, centred or stretched), in any pixel format,
// and nowhere for a control that has no form to show it in.

#include <gtest/gtest.h>

#include <memory>

#include "host/desktop/gtk_backend.h"
#include "host/desktop/testing/screenshot.h"
#include "host/desktop/testing/x_windows.h"
#include "host/desktop/testing/xvfb_session.h"
#include "host/forms/application.h"
#include "host/forms/form.h"
#include "host/graphics/picture.h"

namespace host::desktop::testing {
namespace {

// Left half one colour, right half another (TColor is 0x00BBGGRR).
std::unique_ptr<TBitmap> TwoHalves(int W, int H, TPixelFormat Format, TColor Left, TColor Right) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) B->SetPixel(x, y, x < W / 2 ? Left : Right);
  B->SetPixelFormat(Format);
  return B;
}

TRgb Rgb(TColor C) { return {C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF}; }

bool Same(TRgb A, TRgb B) { return A.R == B.R && A.G == B.G && A.B == B.B; }

class PaintingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SNAPKIT_REQUIRE_XVFB();
    if (!HaveProgram("import")) GTEST_SKIP() << "import is not installed";
    UseWindowBackend(bkDesktop);
  }
};

TEST_F(PaintingTest, ImagesAreDrawnAtTheirPlaceInEveryLayoutAndPixelFormat) {
  const TColor Red = 0x1010D0, Blue = 0xE03010;  // 0x00BBGGRR
  // Each image is 60x40 with a 20x10 picture; a probe at a client point of
  // the image sees the picture's pixel (PicX, PicY) as the bitmap itself
  // holds it (palette and 16-bit formats round the colours), or the panel.
  struct {
    TPixelFormat Format;
    bool Center, Stretch;
    int ProbeX, ProbeY;
    int PicX, PicY;  // -1: the panel's grey
  } const Cases[] = {
      {pf24bit, false, false, 2, 2, 2, 2},       {pf24bit, false, false, 15, 5, 15, 5},
      {pf24bit, false, false, 25, 5, -1, -1},    {pf32bit, true, false, 22, 17, 2, 2},
      {pf32bit, true, false, 38, 23, 18, 8},     {pf32bit, true, false, 5, 5, -1, -1},
      {pf8bit, true, false, 22, 17, 2, 2},       {pf4bit, false, false, 15, 5, 15, 5},
      {pf16bit, false, true, 25, 35, 8, 8},      {pf16bit, false, true, 35, 5, 11, 1},
      {pf1bit, false, false, 2, 2, 2, 2},        {pf1bit, false, false, 15, 5, 15, 5},
  };
  TForm Form;
  Form.SetCaption("Painting");
  Form.SetBounds(100, 100, 400, 300);
  std::vector<TImage*> Images;
  int i = 0;
  for (const auto& C : Cases) {
    auto* Image = new TImage(&Form);
    Image->SetParent(&Form);
    Image->SetBounds(10 + 70 * (i % 5), 10 + 50 * (i / 5), 60, 40);
    Image->SetCenter(C.Center);
    Image->SetStretch(C.Stretch);
    // A 1-bit picture has only black and white.
    TColor L = C.Format == pf1bit ? clBlack : Red, R = C.Format == pf1bit ? clWhite : Blue;
    Image->Picture().SetGraphic(TwoHalves(20, 10, C.Format, L, R));
    Images.push_back(Image);
    ++i;
  }
  Form.HandleNeeded();
  SettleAndSync(300);
  auto Screen = GrabScreen();
  for (std::size_t k = 0; k < Images.size(); ++k) {
    const auto& C = Cases[k];
    TPoint P = Images[k]->ClientToScreen({C.ProbeX, C.ProbeY});
    TBitmap Picture;
    Picture.Assign(Images[k]->Picture().Bitmap());
    Picture.SetPixelFormat(pf24bit);
    TRgb Want = C.PicX < 0 ? TRgb{240, 240, 240} : PixelAt(Picture, C.PicX, C.PicY);
    if (C.PicX >= 0) {  // the halves differ, so a misplaced picture shows
      TRgb Other = PixelAt(Picture, C.PicX < 10 ? 15 : 5, C.PicY);
      ASSERT_FALSE(Same(Want, Other)) << "case " << k;
    }
    TRgb Got = PixelAt(*Screen, P.X, P.Y);
    EXPECT_TRUE(Same(Got, Want)) << "case " << k << ": " << Got.R << "," << Got.G << "," << Got.B;
  }
}

TEST_F(PaintingTest, OnlyAFormIsAWindowOnTheScreen) {
  auto ScreenAt = [](int X, int Y) {
    SettleAndSync(300);
    return PixelAt(*GrabScreen(), X, Y);
  };
  TColor Green = 0x20C020;
  struct {
    bool InForm;
    bool Seen;
  } const Cases[] = {{false, false}, {true, true}};
  for (const auto& C : Cases) {
    std::unique_ptr<TWinControl> Holder;
    if (C.InForm)
      Holder = std::make_unique<TForm>();
    else
      Holder = std::make_unique<TCustomPanel>(nullptr);
    Holder->SetBounds(600, 400, 200, 100);
    auto* Image = new TImage(Holder.get());
    Image->SetParent(Holder.get());
    Image->SetBounds(0, 0, 200, 100);
    Image->Picture().SetGraphic(TwoHalves(200, 100, pf24bit, Green, Green));
    Holder->HandleNeeded();
    TPoint P = Holder->ClientToScreen({100, 50});
    EXPECT_EQ(Same(ScreenAt(P.X, P.Y), Rgb(Green)), C.Seen) << (C.InForm ? "form" : "panel");
  }
}

}  // namespace
}  // namespace host::desktop::testing
