// `snapkit view` as a user runs it: its window comes up on the screen with
// the page in it, and closing it ends the program and its browser.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

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

TEST(ViewWindow, ShowsThePageUntilClosedThenExitsLeavingNoBrowserRunning) {
  SNAPKIT_REQUIRE_XVFB();
  for (const char* Tool : {"import", "xdotool"})
    if (!HaveProgram(Tool)) GTEST_SKIP() << Tool << " is not installed";
  // Processes the program leaves behind come to this one instead of init,
  // so that none escapes the count below.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

  host::testing::TTestServer Server;
  Server.Route("/", host::testing::Page(
                        "<!DOCTYPE html><style>html,body{margin:0;height:100%;"
                        "background:#3366cc}</style>"));
  const std::string Url = Server.Url("/");
  std::vector<std::string> Argv = {SNAPKIT_PROGRAM, "view", Url};
  std::vector<char*> Args;
  for (std::string& A : Argv) Args.push_back(A.data());
  Args.push_back(nullptr);
  pid_t Pid;
  ASSERT_EQ(posix_spawn(&Pid, Args[0], nullptr, nullptr, Args.data(), environ), 0);

  std::string Xid;
  bool Shown = WaitFor(
      [&] {
        std::istringstream(ProgramOutput({"xdotool", "search", "--onlyvisible", "--name",
                                          "^" + Url + " - snapkit$"})) >>
            Xid;
        return !Xid.empty();
      },
      20000);
  if (!Shown) ::kill(Pid, SIGKILL);
  ASSERT_TRUE(Shown) << "no window came up";

  // The window's middle is the middle of the thumbnail once it is drawn.
  std::map<std::string, int> Geometry;
  std::istringstream Shell(ProgramOutput({"xdotool", "getwindowgeometry", "--shell", Xid}));
  for (std::string Line; std::getline(Shell, Line);)
    if (auto Eq = Line.find('='); Eq != std::string::npos)
      Geometry[Line.substr(0, Eq)] = std::atoi(Line.substr(Eq + 1).c_str());
  TRgb Middle{};
  bool Drawn = WaitFor(
      [&] {
        Middle = PixelAt(*GrabScreen(), Geometry["X"] + Geometry["WIDTH"] / 2,
                         Geometry["Y"] + Geometry["HEIGHT"] / 2);
        return std::abs(Middle.R - 0x33) < 4 && std::abs(Middle.G - 0x66) < 4 &&
               std::abs(Middle.B - 0xcc) < 4;
      },
      20000);
  EXPECT_TRUE(Drawn) << "the middle is " << Middle.R << "," << Middle.G << "," << Middle.B;
  EXPECT_FALSE(Descendants("chrom").empty()) << "no browser seen running";

  AskToClose(std::stoul(Xid));
  int Status = -1;
  bool Exited = WaitFor([&] { return ::waitpid(Pid, &Status, WNOHANG) == Pid; }, 15000);
  if (!Exited) {
    ::kill(Pid, SIGKILL);
    ::waitpid(Pid, &Status, 0);
  }
  ASSERT_TRUE(Exited) << "the program did not end when its window was closed";
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

}  // namespace
}  // namespace host::desktop::testing
