#pragma once
// `snapkit capture`: web pages to image files through the TSitelens control,
// one page, a list of pages in bulk, or one page again and again.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/sitelens.h"
#include "host/browser/credentials.h"
#include "tools/batch_list.h"
#include "tools/change_watch_options.h"
#include "tools/picture_output.h"

namespace snapkit::tools {

struct TCaptureOptions {
  // One page.
  std::string Url;
  std::string Output;
  // In bulk: a list of "URL [NAME]" lines ("-" reads standard input).
  std::string Batch;
  std::string OutDir;
  // --format: for OUT (and list names) whose extension names no format,
  // and for standard output.
  std::optional<TPictureFormat> Given;
  std::string Report;
  int Jobs = 1;
  int ShardIndex = 1;  // K of --shard K/N, from 1
  int ShardCount = 1;
  // --shard auto: which scheduler's variables gave K and N.
  std::string ShardSource;
  // Skip the list lines the report already has written, append the rest.
  bool Resume = false;
  // Again and again: every EveryMs, Count times (0: until stopped).
  int EveryMs = 0;
  int Count = 0;
  // --changed and its options (see change_watch.h).
  TChangeWatchOptions Watch;

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

  // The page: see TWebBrowser's options of the same names. Script and
  // StyleSheet hold the files' contents, read when the options are parsed.
  double Scale = 1;
  std::string Selector;
  std::string WaitFor;
  std::string Hide;
  std::string Script;
  std::string StyleSheet;
  std::string UserAgent;
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string ColorScheme;
  int Quality = 0;        // JPEG, WebP, AVIF; 0: the control's own
  bool Lossless = false;  // WebP
  bool NoLocal = false;
  // When the page counts as loaded, and whether its animations are stopped.
  host::TWaitUntil WaitUntil = host::wuLoad;
  bool DisableAnimations = false;

  // Who the page is to its sites: see TWebBrowser's SetCookies (--cookies
  // files, read when the options are parsed), SetPageCookies (--cookie),
  // SetProxy and SetBlockCookieBanners.
  std::vector<host::TCookie> Cookies;
  std::vector<std::string> PageCookies;
  std::string Proxy;
  bool BlockCookieBanners = false;
  // Ads, trackers and logins: see TWebBrowser's options of the same names.
  // Auth comes from --auth, else SNAPKIT_AUTH, and is never printed.
  bool BlockAds = false;
  bool BlockTrackers = false;
  std::vector<std::string> FilterLists;
  host::TCredentials Auth;
};

// Args are the words after "capture". Raises TUsageError.
TCaptureOptions ParseCaptureArgs(const std::vector<std::string>& Args);
// Starts the shared browser for the options' screen; the commands call it
// once their arguments and folders are known to be good.
void StartBrowser(const TCaptureOptions& Options);
// Captures what the options say, reporting failures on standard error;
// returns the exit code.
int RunCapture(const TCaptureOptions& Options);

extern const char* const CaptureUsage;

}  // namespace snapkit::tools
