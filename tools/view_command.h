#pragma once
// `snapkit view URL [--view screen|full|custom] [--area WxH] [--every S]`: a window
// holding a TSitelens (read from examples/view.form, built into the
// program) that shows the page's thumbnail live: it renders again as the
// window is resized, a right click offers its menu, a dropped link is
// captured. With --every it captures again every S seconds, and a change
// of the page is framed in red for a moment. Closing the window ends the
// program.

#include <string>
#include <vector>

#include "host/graphics/bitmap.h"
#include "host/graphics/types.h"

namespace snapkit::tools {

struct TViewOptions {
  std::string Url;
  std::string View = "screen";
  int AreaWidth = 0, AreaHeight = 0;  // the page's view for --view custom
  int EveryMs = 0;                    // 0: only when resized or refreshed
};

// Args are the words after "view". Raises TUsageError.
TViewOptions ParseViewArgs(const std::vector<std::string>& Args);
// Runs the window until it is closed; returns the exit code. Raises
// host::Exception when there is no display to show it on.
int RunView(const TViewOptions& Options);

// Frames Box, given in the pixels of a capture of CaptureWidth x
// CaptureHeight, in red on Shown, the capture's scaled picture.
void DrawChangeBox(host::TBitmap& Shown, int CaptureWidth, int CaptureHeight,
                   const host::TRect& Box);

extern const char* const ViewUsage;
extern const char* const ViewFormText;

}  // namespace snapkit::tools
