#pragma once
// One TSitelens on the command's form that captures one page at a time into
// a file, within a time limit. Bulk captures run several side by side in the
// one message loop.

#include <glib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/sitelens.h"
#include "tools/capture_command.h"

namespace snapkit::tools {

class TChangeWatch;

struct TCaptureResult {
  std::string Url;
  std::string File;
  TCaptureExit Code = ceOk;
  std::string Error;
  std::int64_t Bytes = 0;
  int Width = 0;  // of the picture written
  int Height = 0;
  std::int64_t Milliseconds = 0;
  std::int64_t StartedUs = 0;  // wall clock, microseconds since 1970; 0: never started
  // A full-page capture cut to the control's bounds: the page's size and
  // the part captured.
  bool Clipped = false;
  int PageWidth = 0;
  int PageHeight = 0;
  int CapturedWidth = 0;
  int CapturedHeight = 0;
  // The perceptual hash of the page's full-size picture, when one was written.
  bool HasPHash = false;
  std::uint64_t PHash = 0;
  // Watching for changes: the picture was the same as the last one
  // written, and nothing was written.
  bool Unchanged = false;
  // How the wait for the page's web fonts ended ("loaded", "timed out").
  std::string Fonts;
};

// "2026-12-07T21:50:01.123Z" for a wall-clock time in microseconds.
std::string IsoTime(std::int64_t UnixUs);

class TCaptureJob {
 public:
  using TDone = std::function<void(const TCaptureResult&)>;

  TCaptureJob(host::TComponent& Form, const TCaptureOptions& Options, TDone Done);
  ~TCaptureJob();
  TCaptureJob(const TCaptureJob&) = delete;
  TCaptureJob& operator=(const TCaptureJob&) = delete;

  // Starts capturing Url into File (written under another name first and
  // renamed, so File is never seen half written). Done is called once for
  // it, possibly before Start returns.
  void Start(const std::string& Url, const std::string& File);
  bool Busy() const { return FBusy; }
  TSitelens& Lens() { return *FLens; }

  // Writes the control's last capture to File the same way.
  TCaptureResult Save(const std::string& Url, const std::string& File);

 private:
  void MakeLens();
  void RecycleLens();
  void Ready(const std::string& Url);
  void Finish(TCaptureExit Code, const std::string& Error);
  static gboolean Expired(gpointer Self);

  const TCaptureOptions& FOptions;
  TDone FDone;
  host::TComponent& FForm;
  TSitelens* FLens = nullptr;
  int FCapturesOnPage = 0;
  bool FBusy = false;
  TCaptureResult FResult;
  gint64 FStarted = 0;
  guint FDeadline = 0;
  // With --changed.
  std::unique_ptr<TChangeWatch> FWatch;
};

}  // namespace snapkit::tools
