#pragma once
// What `capture --every --changed` is told: see change_watch.h.

#include <string>

namespace snapkit::tools {

struct TChangeWatchOptions {
  // Write OUT only when the page's picture changed.
  bool Changed = false;
  // The colour difference that makes a pixel count (0 to 1), as diff's.
  double Threshold = 0.1;
  // The share of pixels that must differ, above which it is a change.
  double MinChange = 0;
  // The diff picture of each change.
  std::string DiffOut;
  // One JSON line per picture written (capture's --report, taken over).
  std::string Report;
};

}  // namespace snapkit::tools
