#pragma once
// `snapkit capture`: web pages to image files through the TSitelens control,
// one page, a list of pages in bulk, or one page again and again.

#include <string>
#include <vector>

#include "capture/sitelens.h"

namespace snapkit::tools {

// What a capture ended with; also the program's exit code, so that scripts
// can tell the failures apart.
enum TCaptureExit : int {
  ceOk = 0,
  ceFailed = 1,  // rendering or writing failed; in bulk: some pages failed
  ceUsage = 2,
  ceMalformedUrl = 3,
  ceUnreachable = 4,
  ceHttpError = 5,
  ceTimedOut = 6,
};

struct TCaptureOptions {
  // One page.
  std::string Url;
  std::string Output;
  // In bulk: a list of "URL [NAME]" lines ("-" reads standard input).
  std::string Batch;
  std::string OutDir;
  std::string Format = "png";
  std::string Report;
  int Jobs = 1;
  int ShardIndex = 1;  // K of --shard K/N, from 1
  int ShardCount = 1;
  // Again and again: every EveryMs, Count times (0: until stopped).
  int EveryMs = 0;
  int Count = 0;

  // The picture: SaveToFile's size (0: the whole capture), fitted unless
  // Stretch.
  int Width = 0;
  int Height = 0;
  bool Stretch = false;
  TWebPageView View = wvScreen;
  int AreaWidth = 0;  // the custom view's area
  int AreaHeight = 0;
  int ScreenWidth = 1920;
  int ScreenHeight = 1080;
  int TimeoutMs = 30000;
  int DelayMs = 0;
  bool ShowProgress = false;  // a progress bar in bulk (standard error is a terminal)
};

// Args are the words after "capture". Raises TUsageError.
TCaptureOptions ParseCaptureArgs(const std::vector<std::string>& Args);
// Captures what the options say, reporting failures on standard error;
// returns the exit code.
int RunCapture(const TCaptureOptions& Options);

// The URL to load for Text: a URL as it is, or an existing file's path as a
// file URL. Raises TCaptureFailure with ceMalformedUrl otherwise.
std::string PageUrl(const std::string& Text);

struct TCaptureFailure {
  TCaptureExit Code;
  std::string Message;
};

extern const char* const CaptureUsage;

}  // namespace snapkit::tools
