// A TSitelens in a real window on the test's own X server, seen and used as
// a person would: the screen grabbed by import, the mouse moved by xdotool.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "capture/sitelens.h"
#include "host/browser/testing/http_server.h"
#include "host/desktop/gtk_backend.h"
#include "host/desktop/testing/screenshot.h"
#include "host/desktop/testing/x_windows.h"
#include "host/desktop/testing/xvfb_session.h"
#include "host/forms/application.h"
#include "host/forms/form.h"
#include "host/forms/screen.h"
#include "host/graphics/picture.h"
#include "host/system/shell.h"

namespace host::desktop::testing {
namespace {

// Four quarters of known colours: every part of the thumbnail says where it
// came from, so a picture drawn at the wrong place or size cannot match.
const char* const QuartersPage = R"(<!DOCTYPE html>
<style>html,body{margin:0;height:100%} div{position:absolute;width:50%;height:50%}</style>
<div style="left:0;top:0;background:#d01010"></div>
<div style="left:50%;top:0;background:#10a020"></div>
<div style="left:0;top:50%;background:#1030e0"></div>
<div style="left:50%;top:50%;background:#f0e010"></div>)";

class SitelensWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SNAPKIT_REQUIRE_XVFB();
    for (const char* Tool : {"import", "xdotool"})
      if (!HaveProgram(Tool)) GTEST_SKIP() << Tool << " is not installed";
    UseWindowBackend(bkDesktop);
    Backend = dynamic_cast<TGtkBackend*>(&WindowBackend());
    ASSERT_NE(Backend, nullptr);
    Server.Route("/", host::testing::Page(QuartersPage));

    Form = std::make_unique<TForm>();
    Form->SetCaption("Sitelens window");
    Form->SetBounds(40, 30, 480, 360);
    Lens = new snapkit::TSitelens(Form.get());
    Lens->SetParent(Form.get());
    Lens->SetAlign(alClient);
    Lens->OnWebImageReady = [this](TObject*, const std::string&) { ++Ready; };
    Form->HandleNeeded();
    Lens->setUrl(Server.Url("/"));
    ASSERT_TRUE(Application->RunUntil([&] { return Ready > 0; }, 30000)) << Lens->LastError();
    SettleAndSync(300);
  }
  void TearDown() override {
    Form.reset();
    SetShellLauncher(nullptr);
  }

  TBitmap& Shown() { return Lens->Image().Picture().Bitmap(); }
  GtkWidget* Window() { return Backend->TopLevel(*Form); }

  // Where the control's shown picture is on the screen: centred in its image.
  TPoint ShownOrigin() {
    TImage& Image = Lens->Image();
    TPoint P = Image.ClientToScreen({0, 0});
    return {P.X + (Image.Width() - Shown().Width()) / 2,
            P.Y + (Image.Height() - Shown().Height()) / 2};
  }

  // Compares the screen with the shown picture, pixel by pixel on a grid,
  // and checks that what lies just outside it is the panel, not picture.
  void ExpectScreenShowsThePicture() {
    auto Screen = GrabScreen();
    TBitmap Expected;
    Expected.Assign(Shown());
    Expected.SetPixelFormat(pf24bit);
    TPoint O = ShownOrigin();
    // The picture may be a little larger than its image (the panel's bevel
    // takes a pixel each side): what lies outside the image is not drawn.
    TPoint I = Lens->Image().ClientToScreen({0, 0});
    auto InImage = [&](int x, int y) {
      return O.X + x >= I.X && O.Y + y >= I.Y && O.X + x < I.X + Lens->Image().Width() &&
             O.Y + y < I.Y + Lens->Image().Height();
    };
    int Mismatches = 0, Checked = 0;
    for (int y = 0; y < Expected.Height(); y += 3)
      for (int x = 0; x < Expected.Width(); x += 3) {
        if (!InImage(x, y)) continue;
        TRgb S = PixelAt(*Screen, O.X + x, O.Y + y), E = PixelAt(Expected, x, y);
        ++Checked;
        if (std::abs(S.R - E.R) > 2 || std::abs(S.G - E.G) > 2 || std::abs(S.B - E.B) > 2)
          if (++Mismatches <= 5)
            ADD_FAILURE() << "at " << x << "," << y << " screen " << S.R << "," << S.G << "," << S.B
                          << " shown " << E.R << "," << E.G << "," << E.B;
      }
    EXPECT_GT(Checked, 1000);
    EXPECT_EQ(Mismatches, 0) << "of " << Checked << " pixels at " << O.X << "," << O.Y;
    // The four colours are there, in their quarters.
    auto Near = [](TRgb C, int R, int G, int B) {
      return std::abs(C.R - R) < 24 && std::abs(C.G - G) < 24 && std::abs(C.B - B) < 24;
    };
    int W = Expected.Width(), H = Expected.Height();
    EXPECT_TRUE(Near(PixelAt(*Screen, O.X + W / 4, O.Y + H / 4), 0xd0, 0x10, 0x10));
    EXPECT_TRUE(Near(PixelAt(*Screen, O.X + 3 * W / 4, O.Y + H / 4), 0x10, 0xa0, 0x20));
    EXPECT_TRUE(Near(PixelAt(*Screen, O.X + W / 4, O.Y + 3 * H / 4), 0x10, 0x30, 0xe0));
    EXPECT_TRUE(Near(PixelAt(*Screen, O.X + 3 * W / 4, O.Y + 3 * H / 4), 0xf0, 0xe0, 0x10));
    // Above the picture (the page is wider than tall) is the panel's grey.
    if (O.Y - 2 > Lens->ClientToScreen({0, 0}).Y) {
      EXPECT_TRUE(Near(PixelAt(*Screen, O.X + W / 2, O.Y - 2), 240, 240, 240));
    }
  }

  host::testing::TTestServer Server;
  TGtkBackend* Backend = nullptr;
  std::unique_ptr<TForm> Form;
  snapkit::TSitelens* Lens = nullptr;
  int Ready = 0;
};

TEST_F(SitelensWindowTest, ShowsTheThumbnailAndDrawsItAgainAtTheNewSizeWhenResized) {
  int W0 = Shown().Width(), H0 = Shown().Height();
  ASSERT_GT(W0, 100);
  ExpectScreenShowsThePicture();

  std::string Xid = std::to_string(XidOf(Window()));
  ASSERT_EQ(RunProgram({"xdotool", "windowsize", Xid, "720", "600"}), 0);
  ASSERT_TRUE(Application->RunUntil([&] { return Shown().Width() != W0; }, 20000))
      << "the picture was not drawn again for the new size";
  SettleAndSync(300);
  EXPECT_EQ(Form->Width(), 720);
  EXPECT_EQ(Lens->Width(), 720);
  EXPECT_GT(Shown().Width(), W0);
  EXPECT_GT(Shown().Height(), H0);
  EXPECT_LE(Shown().Width(), 720);
  ExpectScreenShowsThePicture();
}

TEST_F(SitelensWindowTest, TheScreenViewCapturesAnAreaTheSizeOfTheDisplaysMonitor) {
  // What the X server says of itself, asked by another program.
  std::string Geometry = ProgramOutput({"xdotool", "getdisplaygeometry"});
  int W = 0, H = 0;
  ASSERT_EQ(std::sscanf(Geometry.c_str(), "%d %d", &W, &H), 2) << Geometry;
  EXPECT_EQ(host::Screen->Width(), W);
  EXPECT_EQ(host::Screen->Height(), H);
  EXPECT_EQ(Lens->WebPageView(), snapkit::wvScreen);
  EXPECT_EQ(Lens->Capture().Width(), W);
  EXPECT_EQ(Lens->Capture().Height(), H);
}

// The menu's items where X has them, found through the menu's own widgets.
struct TShownItem {
  std::string Label;
  int X, Y;  // centre, screen coordinates
};

std::vector<TShownItem> ShownMenuItems() {
  std::vector<TShownItem> Items;
  GList* TopLevels = gtk_window_list_toplevels();
  for (GList* L = TopLevels; L; L = L->next) {
    GtkWidget* Top = GTK_WIDGET(L->data);
    GtkWidget* Child = gtk_bin_get_child(GTK_BIN(Top));
    if (!Child || !GTK_IS_MENU(Child) || !gtk_widget_get_mapped(Top)) continue;
    GList* Children = gtk_container_get_children(GTK_CONTAINER(Child));
    for (GList* C = Children; C; C = C->next) {
      GtkWidget* Item = GTK_WIDGET(C->data);
      GtkAllocation A;
      gtk_widget_get_allocation(Item, &A);
      int X = 0, Y = 0;
      gdk_window_get_origin(gtk_widget_get_window(Item), &X, &Y);
      const char* Label = gtk_menu_item_get_label(GTK_MENU_ITEM(Item));
      Items.push_back({Label ? Label : "", X + A.x + A.width / 2, Y + A.y + A.height / 2});
    }
    g_list_free(Children);
  }
  g_list_free(TopLevels);
  return Items;
}

TEST_F(SitelensWindowTest, RightClickPopsUpTheMenuAndViewFullImageOpensABitmapOfTheCapture) {
  std::vector<std::string> Launched;
  SetShellLauncher([&](const std::vector<std::string>& Argv) {
    Launched.push_back(Argv.back());
    return true;
  });
  std::vector<TShownItem> Seen;
  // The menu runs its own loop inside the click's handling; the user's
  // second click is made from there, once the menu is on the screen.
  struct TUser {
    std::vector<TShownItem>* Seen;
    bool Clicked = false;
  } User{&Seen};
  guint Timer = g_timeout_add(
      200,
      [](gpointer Data) -> gboolean {
        auto* U = static_cast<TUser*>(Data);
        *U->Seen = ShownMenuItems();
        for (const TShownItem& I : *U->Seen)
          if (I.Label == "View Full Image") {
            RunProgram({"xdotool", "mousemove", std::to_string(I.X), std::to_string(I.Y)});
            RunProgram({"xdotool", "sleep", "0.2", "click", "1"});
            U->Clicked = true;
            return G_SOURCE_REMOVE;
          }
        return G_SOURCE_CONTINUE;
      },
      &User);

  TPoint P = Lens->ClientToScreen({Lens->Width() / 2, Lens->Height() / 2});
  ASSERT_EQ(
      RunProgram({"xdotool", "mousemove", std::to_string(P.X), std::to_string(P.Y), "click", "3"}),
      0);
  bool Done = Application->RunUntil([&] { return !Launched.empty(); }, 10000);
  if (!User.Clicked) g_source_remove(Timer);
  ASSERT_TRUE(Done) << "nothing was launched";

  ASSERT_EQ(Seen.size(), 2u);
  EXPECT_EQ(Seen[0].Label, "Launch in Browser");
  EXPECT_EQ(Seen[1].Label, "View Full Image");
  // The menu came up where the mouse was, as menus do.
  EXPECT_NEAR(Seen[0].X, P.X, 200);
  EXPECT_NEAR(Seen[0].Y, P.Y, 40);
  ASSERT_EQ(Launched.size(), 1u);
  TBitmap Saved;
  Saved.LoadFromFile(Launched[0]);
  EXPECT_EQ(Saved.Width(), Lens->Capture().Width());
  EXPECT_EQ(Saved.Height(), Lens->Capture().Height());
}

// What X knows of the form's window: xdotool's search by its title.
std::string VisibleWindowsNamed(const std::string& Name) {
  return ProgramOutput({"xdotool", "search", "--onlyvisible", "--name", "^" + Name + "$"});
}

TEST_F(SitelensWindowTest, ClosingTheWindowEndsTheLoopAndFreeingTheFormTakesItsWindowsAway) {
  HWND FormHandle = Form->Handle(), LensHandle = Lens->Handle();
  std::string Xid = std::to_string(XidOf(Window()));
  ASSERT_EQ(VisibleWindowsNamed("Sitelens window"), Xid + "\n");

  AskToClose(XidOf(Window()));
  ASSERT_TRUE(Application->RunUntil([] { return Application->Terminated(); }, 5000));
  EXPECT_FALSE(Form->Visible());
  SettleAndSync(100);
  EXPECT_EQ(VisibleWindowsNamed("Sitelens window"), "");

  Form.reset();
  SettleAndSync(100);
  EXPECT_FALSE(IsWindow(FormHandle));
  EXPECT_FALSE(IsWindow(LensHandle));
  // The X window itself is gone, not only unmapped.
  EXPECT_NE(RunProgram({"xdotool", "getwindowname", Xid}), 0);
}

}  // namespace
}  // namespace host::desktop::testing
