#pragma once
// `snapkit capture URL OUT --every S --changed [--threshold T]
// [--min-change R] [--diff-out FILE] [--report FILE]`: OUT (and a report
// line) only when the page's picture differs from the last one written in
// more than a share R of its pixels. Each capture is compared at full size
// with the comparison of `snapkit diff`.

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "host/graphics/bitmap.h"
#include "imaging/diff.h"
#include "tools/capture_command.h"

namespace snapkit::tools {

struct TCaptureResult;

// Takes A (and its value, through Value) when it is one of the watch's
// options; false leaves it to the caller. Raises TUsageError.
bool ParseChangeWatchArg(const std::string& A, const std::function<const std::string&()>& Value,
                         TChangeWatchOptions& W);
// Once every word is read: the watch's options make sense together, and a
// watch takes --report over (a single page has none otherwise). Raises
// TUsageError.
void CheckChangeWatch(TCaptureOptions& O);

class TChangeWatch {
 public:
  // Opens the report; raises TCaptureFailure when it cannot be written.
  explicit TChangeWatch(const TChangeWatchOptions& Options);
  ~TChangeWatch();
  TChangeWatch(const TChangeWatch&) = delete;
  TChangeWatch& operator=(const TChangeWatch&) = delete;

  struct TVerdict {
    bool Write = true;
    bool First = true;  // nothing to compare with: written
    TDiffResult Change;
  };
  // Capture against the last picture written; a change (or the first) is
  // kept as the new last one.
  TVerdict Measure(const host::TBitmap& Capture);
  // After a picture was written, or failed: the report line and, for a
  // change, the diff picture. Problems go to standard error.
  void Record(const TCaptureResult& R);

 private:
  const TChangeWatchOptions& FOptions;
  host::TBitmap FLast;
  bool FHaveLast = false;
  host::TBitmap FDiff;
  TVerdict FVerdict;
  int FReport = -1;
};

}  // namespace snapkit::tools
