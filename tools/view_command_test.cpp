// snapkit view without a window system to show it on, and its command line.
// The window itself is tested under Xvfb in host/desktop.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string RunCommand(const std::string& Command, int* Status) {
  std::string Out;
  FILE* P = popen((Command + " 2>&1").c_str(), "r");
  char Buffer[4096];
  for (std::size_t N; (N = std::fread(Buffer, 1, sizeof Buffer, P)) > 0;) Out.append(Buffer, N);
  int S = pclose(P);
  *Status = WIFEXITED(S) ? WEXITSTATUS(S) : -1;
  return Out;
}

TEST(ViewCommand, RefusesWithoutADisplayAndExplainsWrongCommandLines) {
  const std::string Program = SNAPKIT_PROGRAM;
  struct {
    std::string Environment, Args;
    int Status;
    std::string Says;
  } const Cases[] = {
      {"env -u DISPLAY -u WAYLAND_DISPLAY", "view http://127.0.0.1:9/", 1,
       "snapkit: view needs a display, and none is set (DISPLAY)\n"},
      // A display that is set but cannot be opened (or no desktop library).
      {"env -u WAYLAND_DISPLAY DISPLAY=:4999", "view http://127.0.0.1:9/", 1,
       "snapkit: The desktop backend "},
      {"env -u DISPLAY", "view", 2, "snapkit: view needs a URL\n"},
      {"env -u DISPLAY", "view a b", 2, "snapkit: view shows one page\n"},
      {"env -u DISPLAY", "view a --view wide", 2, "--view takes screen, full or custom, not wide"},
      {"env -u DISPLAY", "view a --area 800x600", 2, "--area goes with --view custom"},
      {"env -u DISPLAY", "view a --view custom --area 8x6", 2, "--area takes WIDTHxHEIGHT"},
      {"env -u DISPLAY", "view a --view custom --area", 2, "--area needs a value"},
      {"env -u DISPLAY", "view a --zoom 2", 2, "unknown option --zoom"},
      {"env -u DISPLAY", "view --help", 0, "snapkit view URL [--view screen|full|custom]"},
  };
  for (const auto& C : Cases) {
    int Status = -1;
    std::string Out = RunCommand(C.Environment + " " + Program + " " + C.Args, &Status);
    EXPECT_EQ(Status, C.Status) << C.Args << ": " << Out;
    EXPECT_NE(Out.find(C.Says), std::string::npos) << C.Args << ": " << Out;
  }
}

}  // namespace
