// A link dragged out of a real browser: Chromium, headful on the test's own
// X server, shows a loopback page with one big link; xdotool drags it onto a
// GTK window whose drop area carries a host drop target.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "capture/sitelens.h"
#include "dropurl/drop_url.h"
#include "host/browser/testing/http_server.h"
#include "host/desktop/gtk_backend.h"
#include "host/desktop/testing/screenshot.h"
#include "host/desktop/testing/xdnd_drag.h"
#include "host/desktop/testing/xdnd_drop_window.h"
#include "host/desktop/testing/xvfb_session.h"
#include "host/desktop/xdnd_target.h"
#include "host/forms/application.h"
#include "host/forms/form.h"
#include "host/graphics/bitmap.h"
#include "host/graphics/picture.h"
#include "host/ole/testing/ole_session.h"

namespace host::desktop::testing {
namespace {

constexpr char Chromium[] = "/usr/bin/chromium";

// Chromium with a profile of its own, kept off every network but loopback's.
class TChromiumWindow {
 public:
  explicit TChromiumWindow(const std::string& URL) {
    gchar* Dir = g_dir_make_tmp("snapkit-drag-chromium-XXXXXX", nullptr);
    if (!Dir) throw std::runtime_error("no temporary profile folder");
    FProfile = Dir;
    g_free(Dir);
    std::vector<std::string> Argv{Chromium,
                                  "--user-data-dir=" + FProfile,
                                  "--no-first-run",
                                  "--no-default-browser-check",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  "--disable-extensions",
                                  "--disable-default-apps",
                                  "--disable-gpu",
                                  "--password-store=basic",
                                  "--window-position=0,0",
                                  "--window-size=600,500",
                                  "--app=" + URL};
    if (::geteuid() == 0) Argv.push_back("--no-sandbox");
    FProgram = std::make_unique<TChildProgram>(Argv, false);
  }
  ~TChromiumWindow() {
    FProgram.reset();
    std::error_code Ignored;
    std::filesystem::remove_all(FProfile, Ignored);
  }

 private:
  std::string FProfile;
  std::unique_ptr<TChildProgram> FProgram;
};

// The middle of the magenta link as the screen shows it; waits for the page
// to be painted. {-1, -1} when it never was.
TScreenPoint WaitForMagenta(int TimeoutMs) {
  TScreenPoint Found{-1, -1};
  PumpUntil(
      [&] {
        auto Shot = GrabScreen();
        int MinX = Shot->Width(), MinY = Shot->Height(), MaxX = -1, MaxY = -1;
        for (int Y = 0; Y < Shot->Height(); Y += 2)
          for (int X = 0; X < Shot->Width(); X += 2) {
            TRgb C = PixelAt(*Shot, X, Y);
            if (C.R != 255 || C.G != 0 || C.B != 255) continue;
            MinX = std::min(MinX, X), MaxX = std::max(MaxX, X);
            MinY = std::min(MinY, Y), MaxY = std::max(MaxY, Y);
          }
        // The whole block, not the first rows of a page still painting.
        if (MaxX - MinX < 300 || MaxY - MinY < 150) return false;
        Found = {(MinX + MaxX) / 2, (MinY + MaxY) / 2};
        return true;
      },
      TimeoutMs);
  return Found;
}

// A page that is one big magenta link to Link.
host::testing::TResponse LinkPage(const std::string& Link) {
  return host::testing::Page("<html><body style='margin:0;background:#fff'><a href='" + Link +
                             "' style='display:block;width:400px;height:250px;"
                             "background:#f0f;color:#f0f;font-size:40px'>link</a></body></html>");
}

// What every test here needs: its X server, the hand, the eye, the browser
// and GTK.
#define SNAPKIT_REQUIRE_CHROMIUM_DESKTOP()                                        \
  SNAPKIT_REQUIRE_XVFB();                                                         \
  for (const char* Program : {"xdotool", "import"})                               \
    if (!HaveProgram(Program)) GTEST_SKIP() << Program << " is not installed";    \
  if (::access(Chromium, X_OK) != 0) GTEST_SKIP() << "Chromium is not installed"; \
  ASSERT_TRUE(StartGtk())

std::string Joined(const std::vector<std::string>& Names) {
  std::string S;
  for (const std::string& N : Names) S += (S.empty() ? "" : " ") + N;
  return S;
}

TEST(XdndBrowserDrag, LinkDraggedOutOfChromiumArrivesWithItsURL) {
  SNAPKIT_REQUIRE_CHROMIUM_DESKTOP();
  host::testing::TOleSession Ole;

  host::testing::TTestServer Server;
  const std::string Link = Server.Url("/dropped-page?from=chromium");
  Server.Route("/", LinkPage(Link));
  Server.Route("/dropped-page", host::testing::Page("<html><body>dropped</body></html>"));
  Server.Route("/favicon.ico", host::testing::Page("", "image/x-icon"));
  TChromiumWindow Browser(Server.Url("/"));
  TScreenPoint LinkAt = WaitForMagenta(45000);
  ASSERT_GE(LinkAt.X, 0) << "Chromium never showed the page";

  // First a recording target, to see the data; then TDropURL's own.
  std::vector<std::string> Log;
  {
    TDropWindow Window(800, 400);
    TComPtr<TDataRecordingTarget> Target =
        TComPtr<TDataRecordingTarget>::Attach(new TDataRecordingTarget("T", Log));
    AttachDropTarget(Window.Area(), Target.Get());
    TDragPlan Plan;
    Plan.From = LinkAt;
    Plan.To = Window.AreaCentre();
    Plan.Arrived = [&] { return Logged(Log, "T over"); };
    bool Arrived = DragWithXdotool(Plan);
    std::cout << "Chromium offered: " << Joined(Window.Offered()) << std::endl;
    RecordProperty("ChromiumTargets", Joined(Window.Offered()));
    ASSERT_TRUE(Arrived) << "the drag out of Chromium never reached the window";
    PumpUntil([&] { return Logged(Log, "T drop"); }, 5000);
    ASSERT_FALSE(Log.empty());
    EXPECT_EQ(Log.back(), "T drop " + std::to_string(Plan.To.X) + "," + std::to_string(Plan.To.Y));
    EXPECT_EQ(Target->Served["Netscape Bookmark"], Link);
    EXPECT_EQ(Target->Served["UniformResourceLocator"], Link);
    DetachDropTarget(Window.Area());
  }

  TDropWindow Window(800, 400);
  host::TCustomPanel Control(nullptr);
  snapkit::TDropURL Drop(nullptr);
  std::vector<std::string> Reports;
  host::ReadComponent(Drop, [&] {
    Drop.SetTargetControl(&Control);
    Drop.OnDropURL = [&](host::TObject*, const std::string& URL) { Reports.push_back(URL); };
  });
  ASSERT_NE(Drop.DropTarget(), nullptr);
  Log.clear();
  TComPtr<IDropTarget> Forward =
      TComPtr<IDropTarget>::Attach(NewForwardingTarget(Drop.DropTarget(), Log));
  AttachDropTarget(Window.Area(), Forward.Get());
  TDragPlan Plan;
  Plan.From = LinkAt;
  Plan.To = Window.AreaCentre();
  Plan.Arrived = [&] { return Logged(Log, "F over"); };
  ASSERT_TRUE(DragWithXdotool(Plan));
  PumpUntil([&] { return !Reports.empty(); }, 5000);
  EXPECT_EQ(Reports, std::vector<std::string>{Link});
  DetachDropTarget(Window.Area());
}

// Counts what GTK hands any widget: the drop site's data arriving, and the
// pointer's moves after it (by then the site has called DragEnter).
struct TDragWatch {
  bool DataCame = false;
  int MovesAfterData = 0;
  gulong DataHook = 0, MotionHook = 0;
  TDragWatch() {
    DataHook = g_signal_add_emission_hook(
        g_signal_lookup("drag-data-received", GTK_TYPE_WIDGET), 0,
        [](GSignalInvocationHint*, guint, const GValue*, gpointer Self) -> gboolean {
          static_cast<TDragWatch*>(Self)->DataCame = true;
          return TRUE;
        },
        this, nullptr);
    MotionHook = g_signal_add_emission_hook(
        g_signal_lookup("drag-motion", GTK_TYPE_WIDGET), 0,
        [](GSignalInvocationHint*, guint, const GValue*, gpointer Self) -> gboolean {
          auto* W = static_cast<TDragWatch*>(Self);
          if (W->DataCame) ++W->MovesAfterData;
          return TRUE;
        },
        this, nullptr);
  }
  ~TDragWatch() {
    g_signal_remove_emission_hook(g_signal_lookup("drag-data-received", GTK_TYPE_WIDGET), DataHook);
    g_signal_remove_emission_hook(g_signal_lookup("drag-motion", GTK_TYPE_WIDGET), MotionHook);
  }
};

TEST(XdndBrowserDrag, LinkDraggedOutOfChromiumOntoASitelensWindowIsCaptured) {
  SNAPKIT_REQUIRE_CHROMIUM_DESKTOP();
  UseWindowBackend(bkDesktop);

  host::testing::TTestServer Server;
  const std::string Link = Server.Url("/dropped-page");
  Server.Route("/", LinkPage(Link));
  Server.Route("/first-page", host::testing::Page("<html><body style='background:#0c0'>"));
  Server.Route("/dropped-page", host::testing::Page("<html><body style='background:#00c'>"));
  Server.Route("/favicon.ico", host::testing::Page("", "image/x-icon"));

  // A window as a program would make it: the control loaded (which is when
  // it takes drops), showing a first page.
  auto Form = std::make_unique<TForm>();
  Form->SetBounds(660, 80, 400, 300);
  auto* Lens = new snapkit::TSitelens(Form.get());
  Lens->SetParent(Form.get());
  Lens->SetAlign(alClient);
  std::vector<std::string> Ready;
  Lens->OnWebImageReady = [&](TObject*, const std::string& URL) { Ready.push_back(URL); };
  host::ReadComponent(*Lens, [] {});
  Form->HandleNeeded();
  Lens->setUrl(Server.Url("/first-page"));
  ASSERT_TRUE(Application->RunUntil([&] { return !Ready.empty(); }, 30000)) << Lens->LastError();

  TChromiumWindow Browser(Server.Url("/"));
  TScreenPoint LinkAt = WaitForMagenta(45000);
  ASSERT_GE(LinkAt.X, 0) << "Chromium never showed the page";
  TDragWatch Watch;
  TDragPlan Plan;
  Plan.From = LinkAt;
  TPoint Centre = Lens->ClientToScreen({Lens->Width() / 2, Lens->Height() / 2});
  Plan.To = {Centre.X, Centre.Y};
  Plan.Arrived = [&] { return Watch.MovesAfterData > 0; };
  ASSERT_TRUE(DragWithXdotool(Plan)) << "the drag out of Chromium never reached the control";
  ASSERT_TRUE(PumpUntil([&] { return Ready.size() == 2; }, 30000)) << Lens->LastError();
  EXPECT_EQ(Lens->URL(), Link);
  EXPECT_EQ(Ready.back(), Link);
  // The dropped page is what the control shows now.
  TBitmap& Shown = Lens->Image().Picture().Bitmap();
  TBitmap Middle;
  Middle.Assign(Shown);
  Middle.SetPixelFormat(pf24bit);
  const std::uint8_t* P = Middle.ScanLine(Middle.Height() / 2) + 3 * (Middle.Width() / 2);
  EXPECT_LT(std::abs(int(P[0]) - 0xcc), 8);  // blue
  EXPECT_LT(int(P[1]), 8);
  EXPECT_LT(int(P[2]), 8);
  Form.reset();
}

}  // namespace
}  // namespace host::desktop::testing
