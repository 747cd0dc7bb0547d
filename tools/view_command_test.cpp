// snapkit view without a window system to show it on, and its command line.
// The window itself is tested under Xvfb in host/desktop.

#include "tools/view_command.h"

#include <gtest/gtest.h>

#include <string>

#include "host/graphics/bitmap.h"
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
      {"env -u DISPLAY", "view a --every 0", 2, "--every takes seconds from 0.1"},
      {"env -u DISPLAY", "view a --every soon", 2, "--every takes seconds from 0.1"},
      {"env -u DISPLAY", "view --help", 0, "snapkit view URL [--view screen|full|custom]"},
  };
  for (const auto& C : Cases) {
    std::string Out;
    const int Status = RunShell(C.Environment + " " + Program + " " + C.Args + " 2>&1", &Out);
    EXPECT_EQ(Status, C.Status) << C.Args << ": " << Out;
    EXPECT_NE(Out.find(C.Says), std::string::npos) << C.Args << ": " << Out;
  }
}

// The frame of a change, from capture pixels to the picture shown.
TEST(ViewCommand, AChangeIsFramedWhereItIsOnThePictureShown) {
  struct {
    int ShownW, ShownH, CaptureW, CaptureH;
    host::TRect Box;
    host::TRect Frame;  // outer edge of the 2-pixel frame, clipped to the picture
  } const Cases[] = {
      {100, 50, 400, 200, host::Rect(40, 40, 120, 80), host::Rect(8, 8, 32, 22)},
      {400, 200, 400, 200, host::Rect(40, 40, 120, 80), host::Rect(38, 38, 122, 82)},
      {100, 50, 400, 200, host::Rect(0, 0, 1, 1), host::Rect(0, 0, 3, 3)},  // a pixel, clipped
      {100, 50, 400, 200, host::Rect(0, 0, 400, 200), host::Rect(0, 0, 100, 50)},
  };
  for (const auto& C : Cases) {
    host::TBitmap Shown;
    Shown.SetPixelFormat(host::pf24bit);
    Shown.SetSize(C.ShownW, C.ShownH);
    snapkit::tools::DrawChangeBox(Shown, C.CaptureW, C.CaptureH, C.Box);
    for (int y = 0; y < C.ShownH; ++y)
      for (int x = 0; x < C.ShownW; ++x) {
        const bool InOuter =
            x >= C.Frame.Left && x < C.Frame.Right && y >= C.Frame.Top && y < C.Frame.Bottom;
        // The frame is 2 pixels wide inside the outer edge where the edge
        // is not clipped; clipped sides keep their inner pixels only.
        const bool Clipped = C.Frame.Left == 0 || C.Frame.Top == 0;
        const bool Edge = x < C.Frame.Left + 2 || x >= C.Frame.Right - 2 || y < C.Frame.Top + 2 ||
                          y >= C.Frame.Bottom - 2;
        if (Clipped && InOuter) continue;  // checked by the unclipped cases
        ASSERT_EQ(Shown.GetPixel(x, y), InOuter && Edge ? host::clRed : host::clBlack)
            << x << "," << y << " in a " << C.ShownW << "x" << C.ShownH << " picture";
      }
  }
}

}  // namespace
