// snapkit view without a window system to show it on, and its command line.
// The window itself is tested under Xvfb in host/desktop.

#include <gtest/gtest.h>

#include <string>

#include "tools/testing/child_program.h"

namespace {

using snapkit::tools::testing::RunShell;

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
    std::string Out;
    const int Status = RunShell(C.Environment + " " + Program + " " + C.Args + " 2>&1", &Out);
    EXPECT_EQ(Status, C.Status) << C.Args << ": " << Out;
    EXPECT_NE(Out.find(C.Says), std::string::npos) << C.Args << ": " << Out;
  }
}

}  // namespace
