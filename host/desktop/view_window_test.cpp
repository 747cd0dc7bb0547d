// `snapkit view` as a user runs it: its window comes up on the screen with
// the page in it, it stays responsive while a page loads, and closing it
// ends the program and its browser.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "host/browser/testing/http_server.h"
#include "host/desktop/testing/screenshot.h"
#include "host/desktop/testing/x_windows.h"
#include "host/desktop/testing/xvfb_session.h"

extern char** environ;

namespace host::desktop::testing {
namespace {

// Polls Check every 100 ms for up to Ms.
template <class F>
bool WaitFor(F Check, int Ms) {
  for (int Waited = 0; Waited < Ms; Waited += 100) {
    if (Check()) return true;
    ::usleep(100 * 1000);
  }
  return Check();
}

// One run of `snapkit view URL`, seen from outside as a user sees it.
class TViewProgram {
 public:
  explicit TViewProgram(const std::string& Url, std::vector<std::string> More = {}) : FUrl(Url) {
    std::vector<std::string> Argv = {SNAPKIT_PROGRAM, "view", Url};
    Argv.insert(Argv.end(), More.begin(), More.end());
    std::vector<char*> Args;
    for (std::string& A : Argv) Args.push_back(A.data());
    Args.push_back(nullptr);
    FSpawned = posix_spawn(&FPid, Args[0], nullptr, nullptr, Args.data(), environ) == 0;
  }
  ~TViewProgram() {
    if (FPid > 0 && ::waitpid(FPid, nullptr, WNOHANG) == 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
  }

  // Waits up to Ms for a visible window whose title is Title; its X id.
  std::string WindowTitled(const std::string& Title, int Ms) const {
    std::string Xid;
    WaitFor(
        [&] {
          std::istringstream(
              ProgramOutput({"xdotool", "search", "--onlyvisible", "--name", "^" + Title + "$"})) >>
              Xid;
          return !Xid.empty();
        },
        Ms);
    return Xid;
  }

  static std::map<std::string, int> Geometry(const std::string& Xid) {
    std::map<std::string, int> G;
    std::istringstream Shell(ProgramOutput({"xdotool", "getwindowgeometry", "--shell", Xid}));
    for (std::string Line; std::getline(Shell, Line);)
      if (auto Eq = Line.find('='); Eq != std::string::npos)
        G[Line.substr(0, Eq)] = std::atoi(Line.substr(Eq + 1).c_str());
    return G;
  }

  // Closes the window as a window manager would; the exit status, or -1
  // when the program did not end within 15 s.
  int Close(const std::string& Xid) {
    AskToClose(std::stoul(Xid));
    int Status = -1;
    if (!WaitFor([&] { return ::waitpid(FPid, &Status, WNOHANG) == FPid; }, 15000)) return -1;
    FPid = -1;
    return Status;
  }

  bool Spawned() const { return FSpawned; }

 private:
  std::string FUrl;
  pid_t FPid = -1;
  bool FSpawned = false;
};

bool Near(TRgb A, TRgb B) {
  return std::abs(A.R - B.R) < 4 && std::abs(A.G - B.G) < 4 && std::abs(A.B - B.B) < 4;
}

TEST(ViewWindow, ShowsThePageUntilClosedThenExitsLeavingNoBrowserRunning) {
  SNAPKIT_REQUIRE_XVFB();
  for (const char* Tool : {"import", "xdotool"})
    if (!HaveProgram(Tool)) GTEST_SKIP() << Tool << " is not installed";
  // Processes the program leaves behind come to this one instead of init,
  // so that none escapes the count below.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

  host::testing::TTestServer Server;
  Server.Route("/", host::testing::Page("<!DOCTYPE html><style>html,body{margin:0;height:100%;"
                                        "background:#3366cc}</style>"));
  const std::string Url = Server.Url("/");
  TViewProgram View(Url);
  ASSERT_TRUE(View.Spawned());
  std::string Xid = View.WindowTitled(Url + " - snapkit", 20000);
  ASSERT_FALSE(Xid.empty()) << "no window came up";

  // The window's middle is the middle of the thumbnail once it is drawn.
  std::map<std::string, int> Geometry = TViewProgram::Geometry(Xid);
  TRgb Middle{};
  bool Drawn = WaitFor(
      [&] {
        Middle = PixelAt(*GrabScreen(), Geometry["X"] + Geometry["WIDTH"] / 2,
                         Geometry["Y"] + Geometry["HEIGHT"] / 2);
        return Near(Middle, {0x33, 0x66, 0xcc});
      },
      20000);
  EXPECT_TRUE(Drawn) << "the middle is " << Middle.R << "," << Middle.G << "," << Middle.B;
  EXPECT_FALSE(Descendants("chrom").empty()) << "no browser seen running";

  int Status = View.Close(Xid);
  ASSERT_NE(Status, -1) << "the program did not end when its window was closed";
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "status " << Status;
  // Reap what was handed to us, then nothing of the browser may be left.
  bool NoBrowser = WaitFor(
      [] {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        return Descendants("chrom").empty();
      },
      5000);
  EXPECT_TRUE(NoBrowser) << "Chromium is still running";
}

// The number of colours in a W x H box of the screen.
std::size_t ColoursIn(const TBitmap& Screen, int X, int Y, int W, int H) {
  std::set<std::tuple<int, int, int>> Seen;
  for (int j = Y; j < Y + H; ++j)
    for (int i = X; i < X + W; ++i) {
      TRgb C = PixelAt(Screen, i, j);
      Seen.insert({C.R, C.G, C.B});
    }
  return Seen.size();
}

TEST(ViewWindow, WhileASlowPageLoadsTheWindowRepaintsAtOnceAndItsMenuOpens) {
  SNAPKIT_REQUIRE_XVFB();
  for (const char* Tool : {"import", "xdotool"})
    if (!HaveProgram(Tool)) GTEST_SKIP() << Tool << " is not installed";
  host::testing::TTestServer Server;
  Server.Route("/", host::testing::Slow(host::testing::Page("<body>late</body>"), 15000));
  const std::string Url = Server.Url("/");
  TViewProgram View(Url);
  ASSERT_TRUE(View.Spawned());
  std::string Xid = View.WindowTitled("Loading " + Url + " - snapkit", 20000);
  ASSERT_FALSE(Xid.empty()) << "no window said it was loading";
  ::usleep(300 * 1000);  // the first paint

  // Made larger, the window fills its new part at once, though nothing
  // has loaded: the loop is free. The screen outside it shows what an
  // unpainted area would.
  std::map<std::string, int> Before = TViewProgram::Geometry(Xid);
  ASSERT_EQ(RunProgram({"xdotool", "windowsize", Xid, "1100", "900"}), 0);
  std::map<std::string, int> After;
  WaitFor([&] { return (After = TViewProgram::Geometry(Xid))["WIDTH"] == 1100; }, 2000);
  ASSERT_EQ(After["WIDTH"], 1100);
  ::usleep(250 * 1000);
  std::unique_ptr<TBitmap> Screen = GrabScreen();
  TRgb Old = PixelAt(*Screen, Before["X"] + 100, Before["Y"] + 100);
  TRgb New = PixelAt(*Screen, After["X"] + 1050, After["Y"] + 850);
  TRgb Outside = PixelAt(*Screen, 1270, 1015);
  EXPECT_TRUE(Near(New, Old) && !Near(New, Outside))
      << "new part " << New.R << "," << New.G << "," << New.B << ", old part " << Old.R << ","
      << Old.G << "," << Old.B << ", outside " << Outside.R << "," << Outside.G << "," << Outside.B;

  // A right click opens the menu there while the page still loads.
  int X = After["X"] + 300, Y = After["Y"] + 300;
  std::size_t Plain = ColoursIn(*Screen, X + 5, Y + 5, 120, 40);
  ASSERT_EQ(
      RunProgram({"xdotool", "mousemove", std::to_string(X), std::to_string(Y), "click", "3"}), 0);
  std::size_t WithMenu = 0;
  bool Opened = WaitFor(
      [&] { return (WithMenu = ColoursIn(*GrabScreen(), X + 5, Y + 5, 120, 40)) > Plain + 4; },
      1000);
  EXPECT_TRUE(Opened) << Plain << " colours before the click, " << WithMenu << " after";
  EXPECT_FALSE(View.WindowTitled("Loading " + Url + " - snapkit", 0).empty())
      << "the page was no longer loading";
  RunProgram({"xdotool", "key", "Escape"});
  EXPECT_NE(View.Close(Xid), -1) << "the program did not end when its window was closed";
}

// Red pixels in the window: the frame of a change, as nothing else on the
// pages below is red.
int RedIn(const TBitmap& Screen, std::map<std::string, int>& G) {
  int N = 0;
  for (int y = G["Y"]; y < G["Y"] + G["HEIGHT"]; ++y)
    for (int x = G["X"]; x < G["X"] + G["WIDTH"]; ++x)
      N += Near(PixelAt(Screen, x, y), {255, 0, 0});
  return N;
}

TEST(ViewWindow, AChangeOfThePageIsFramedForAMoment) {
  SNAPKIT_REQUIRE_XVFB();
  for (const char* Tool : {"import", "xdotool"})
    if (!HaveProgram(Tool)) GTEST_SKIP() << Tool << " is not installed";
  host::testing::TTestServer Server;
  const std::string Style =
      "<!DOCTYPE html><style>html,body{margin:0;height:100%;background:#36c}"
      "div{position:absolute;left:30%;top:40%;width:20%;height:20%}</style>";
  Server.Route("/", host::testing::Page(Style + "<div style='background:#36c'></div>"));
  const std::string Url = Server.Url("/");
  TViewProgram View(Url, {"--every", "0.5"});
  ASSERT_TRUE(View.Spawned());
  std::string Xid = View.WindowTitled(Url + " - snapkit", 20000);
  ASSERT_FALSE(Xid.empty()) << "no window came up";
  std::map<std::string, int> G = TViewProgram::Geometry(Xid);
  ASSERT_TRUE(WaitFor(
      [&] {
        return Near(PixelAt(*GrabScreen(), G["X"] + G["WIDTH"] / 2, G["Y"] + G["HEIGHT"] / 2),
                    {0x33, 0x66, 0xcc});
      },
      20000));
  // Unchanged captures frame nothing.
  ::usleep(1500 * 1000);
  EXPECT_EQ(RedIn(*GrabScreen(), G), 0);

  Server.Route("/", host::testing::Page(Style + "<div style='background:#3c6'></div>"));
  int Red = 0;
  ASSERT_TRUE(WaitFor([&] { return (Red = RedIn(*GrabScreen(), G)) > 0; }, 5000))
      << "no frame after the change";
  // Around the block that changed, in the window's middle third.
  TRgb Inside = PixelAt(*GrabScreen(), G["X"] + G["WIDTH"] * 4 / 10, G["Y"] + G["HEIGHT"] / 2);
  EXPECT_TRUE(Near(Inside, {0x33, 0xcc, 0x66})) << Inside.R << "," << Inside.G << "," << Inside.B;
  EXPECT_LT(Red, G["WIDTH"] * G["HEIGHT"] / 10);
  EXPECT_TRUE(WaitFor([&] { return RedIn(*GrabScreen(), G) == 0; }, 4000)) << "the frame stayed";
  EXPECT_NE(View.Close(Xid), -1) << "the program did not end when its window was closed";
}

}  // namespace
}  // namespace host::desktop::testing
