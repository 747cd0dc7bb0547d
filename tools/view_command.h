#pragma once
// `snapkit view URL [--view screen|full|custom] [--area WxH]`: a window
// holding a TSitelens (read from examples/view.form, built into the
// program) that shows the page's thumbnail live: it renders again as the
// window is resized, a right click offers its menu, a dropped link is
// captured. Closing the window ends the program.

#include <string>
#include <vector>

namespace snapkit::tools {

struct TViewOptions {
  std::string Url;
  std::string View = "screen";
  int AreaWidth = 0, AreaHeight = 0;  // the page's view for --view custom
};

// Args are the words after "view". Raises TUsageError.
TViewOptions ParseViewArgs(const std::vector<std::string>& Args);
// Runs the window until it is closed; returns the exit code. Raises
// host::Exception when there is no display to show it on.
int RunView(const TViewOptions& Options);

extern const char* const ViewUsage;
extern const char* const ViewFormText;

}  // namespace snapkit::tools
