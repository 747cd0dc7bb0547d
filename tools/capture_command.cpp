#include "tools/capture_command.h"

#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/browser/chromium_browser.h"
#include "host/browser/cookies_file.h"
#include "host/forms/application.h"
#include "host/forms/screen.h"
#include "tools/capture_batch.h"
#include "tools/capture_job.h"
#include "tools/change_watch.h"
#include "tools/convert_command.h"
#include "tools/page_options.h"
#include "tools/scheduler_shard.h"

namespace snapkit::tools {

const char* const CaptureUsage =
    "snapkit capture URL OUT [options]\n"
    "snapkit capture --batch LIST --out-dir DIR [--jobs N] [--report FILE]\n"
    "                [--shard K/N|auto|auto/N] [--resume] [options]\n"
    "snapkit capture URL OUT --every SECONDS [--count N] [options]\n"
    "snapkit capture URL OUT --every SECONDS --changed [--threshold T]\n"
    "                [--min-change R] [--diff-out FILE] [--report FILE] [options]\n"
    "  Loads a web page (or a local file) in headless Chromium and writes its\n"
    "  picture to OUT: PNG for .png, JPEG for .jpg, .jpeg and .jpe, BMP for\n"
    "  .bmp, WebP for .webp, AVIF for .avif (any case). OUT - writes the\n"
    "  picture to standard output.\n"
    "  --format png|jpg|bmp|webp|avif  the format for - and for an OUT whose\n"
    "                     extension names none; in a batch also for unnamed\n"
    "                     lines (png)\n"
    "  --view screen|full|custom  the screen-sized area (default), the whole\n"
    "                     page, or the area of --area\n"
    "  --area WxH         the custom view's area (default 640x480)\n"
    "  --screen WxH       the screen the page is laid out for (1920x1080, or\n"
    "                     --area's size when that is given)\n"
    "  --size WxH         fit the picture into W x H (never enlarged)\n"
    "  --stretch          with --size: exactly W x H\n"
    "  --delay MS         wait this long after the page has loaded\n"
    "  --timeout SECONDS  give a page this long to load (30)\n"
    "  --batch LIST       one URL a line, optionally followed by a file name;\n"
    "                     blank lines and lines starting with # are skipped;\n"
    "                     bad lines are reported and the others captured\n"
    "  --out-dir DIR      the batch's folder (made if missing)\n"
    "  --jobs N           capture N pages at once\n"
    "  --shard K/N        take every N-th URL of the list from the K-th (K from 1)\n"
    "  --shard auto       K and N from the scheduler: a Slurm array task is shard\n"
    "                     (SLURM_ARRAY_TASK_ID mod N) + 1, N the array's size; a\n"
    "                     Kubernetes indexed Job's is JOB_COMPLETION_INDEX + 1;\n"
    "  --shard auto/N     ... with N given (also SNAPKIT_SHARD_COUNT), as a task\n"
    "                     submitted again alone and Kubernetes need\n"
    "  --resume           with --report: skip the lines whose last report line\n"
    "                     says written and whose file is there whole; capture the\n"
    "                     rest and append to the report. A line's last report line\n"
    "                     is its final one. The first SIGTERM, SIGINT or SIGHUP\n"
    "                     stops a batch: no page is started, those under way get\n"
    "                     3 s, and the program ends by the signal\n"
    "  --report FILE      one JSON line per URL line: line, url, file, size,\n"
    "                     width, height, clipped, milliseconds, started (UTC,\n"
    "                     null if never started), error, fonts (how the wait\n"
    "                     for web fonts ended: loaded or timed out)\n"
    "  --every SECONDS    capture again and again, replacing OUT each time;\n"
    "  --count N          ... N times\n"
    "  --changed          ... writing OUT only when the picture changed since\n"
    "                     the last one written, compared as diff does\n"
    "  --threshold T      the colour difference that counts (0 to 1, 0.1)\n"
    "  --min-change R     the share of pixels (0 to 1) that must differ, above\n"
    "                     which it is a change (0: any pixel)\n"
    "  --diff-out FILE    write the diff picture of each change to FILE\n"
    "                     (--report: a line per picture written, with different,\n"
    "                     ratio and box against the last one; null for the first)\n"
    "  --scale F          device pixels per CSS pixel: 2 gives twice the pixels\n"
    "                     a side, for high-density screens (before --size);\n"
    "                     below 1, a small thumbnail drawn at its own size\n"
    "  --selector CSS     only the box of the first element CSS matches\n"
    "  --css FILE         add FILE's style sheet to the page, then\n"
    "  --hide CSS         hide the elements CSS matches (display: none), then\n"
    "  --javascript FILE  run FILE in the page (a promise it ends with is\n"
    "                     awaited), then\n"
    "  --wait-for CSS|JS  wait until the selector matches or the JavaScript\n"
    "                     expression is true, within --timeout; text that is\n"
    "                     no selector is JavaScript, and js: before it makes it so\n"
    "  --user-agent S     send S as the browser's user agent\n"
    "  --header 'NAME: VALUE'  send it with every request (repeatable)\n"
    "  --color-scheme light|dark  the prefers-color-scheme the page sees\n"
    "  --wait-until load|domcontentloaded|networkidle  when the page counts as\n"
    "                     loaded: its load event (default), its DOM parsed, or\n"
    "                     its load and then at most 2 requests in flight for\n"
    "                     500 ms, within --timeout. Web fonts in use are always\n"
    "                     waited for, at most half of --timeout\n"
    "  --disable-animations  finish CSS animations and transitions, set endless\n"
    "                     ones and videos back to their start: the same page\n"
    "                     gives the same pixels each time\n"
    "  --quality N        JPEG, WebP or AVIF quality from 1 to 100 (90)\n"
    "  --lossless         lossless WebP\n"
    "  --no-local         refuse local paths and file URLs (exit 3), for\n"
    "                     addresses that others pass on\n"
    "  --cookie 'NAME=VALUE'  send this cookie to each page's host (repeatable;\n"
    "                     a process listing shows it: --cookies does not)\n"
    "  --cookies FILE     send the cookies of a Netscape cookies.txt file, as\n"
    "                     curl, wget and browsers' exporters write it\n"
    "  --proxy URL        every request of the page, loopback too, through\n"
    "                     http://, https:// or socks5://HOST[:PORT]\n"
    "  --block-cookie-banners  answer cookie-consent dialogs \"reject\" where\n"
    "                     they allow it, else hide them, and let the page scroll\n"
    "  --block-ads        leave ads out: what EasyList refuses is not fetched,\n"
    "                     and the elements it hides are hidden\n"
    "  --block-trackers   ... and so for EasyPrivacy's trackers\n"
    "  --filter-list FILE  filter with FILE too, in the same syntax (repeatable)\n"
    "  --auth USER:PASSWORD|@FILE  answer the page's HTTP Basic or Digest login\n"
    "                     once; @FILE reads FILE's first line, and SNAPKIT_AUTH\n"
    "                     is read without --auth: both keep the password out of\n"
    "                     process listings\n"
    "  Exit codes: 0 written, 1 failed (in bulk: some pages failed or lines\n"
    "  were bad), 2 usage (also two list lines naming one file), 3 malformed\n"
    "  URL, 4 unreachable, 5 HTTP error status, 6 timed out.\n"
    "  A full page is cut at 16384 pixels a side and 32 M pixels, and says so.\n"
    "  Run as root, Chromium's sandbox cannot be used and is off.\n";

namespace {

int ParseWhole(const std::string& Text, const std::string& What, long Min, long Max) {
  char* End = nullptr;
  long V = std::strtol(Text.c_str(), &End, 10);
  if (Text.empty() || *End || V < Min || V > Max)
    throw TUsageError{What + " must be a whole number from " + std::to_string(Min) + " to " +
                      std::to_string(Max)};
  return int(V);
}

int ParseSeconds(const std::string& Text, const std::string& What) {
  char* End = nullptr;
  double V = std::strtod(Text.c_str(), &End);
  if (Text.empty() || *End || !(V > 0 && V <= 86400))
    throw TUsageError{What + " wants a number of seconds above 0 and at most 86400"};
  return int(V * 1000 + 0.5) < 1 ? 1 : int(V * 1000 + 0.5);
}

void ParseSize(const std::string& Text, const std::string& Option, int& W, int& H) {
  std::size_t X = Text.find_first_of("xX");
  if (X == std::string::npos) throw TUsageError{Option + " wants WxH, for example 320x240"};
  W = ParseWhole(Text.substr(0, X), Option + "'s width", 1, MaxCaptureSide);
  H = ParseWhole(Text.substr(X + 1), Option + "'s height", 1, MaxCaptureSide);
}

std::string ReadOptionFile(const std::string& File, const std::string& Option) {
  std::FILE* In = std::fopen(File.c_str(), "rb");
  std::string Text;
  int Error = In ? 0 : errno;
  char Buf[65536];
  std::size_t N;
  while (In && (N = std::fread(Buf, 1, sizeof Buf, In)) > 0) Text.append(Buf, N);
  if (In && std::ferror(In)) Error = errno;
  if (In) std::fclose(In);
  if (Error) throw TUsageError{Option + ": cannot read " + File + ": " + std::strerror(Error)};
  return Text;
}

std::pair<std::string, std::string> ParseHeader(const std::string& Text) {
  const std::size_t Colon = Text.find(':');
  if (Colon == std::string::npos || Colon == 0)
    throw TUsageError{"--header wants 'NAME: VALUE', for example 'Accept-Language: de'"};
  std::string Name = Text.substr(0, Colon);
  std::size_t From = Text.find_first_not_of(" \t", Colon + 1);
  std::size_t To = Text.find_last_not_of(" \t");
  return {Name, From == std::string::npos ? std::string() : Text.substr(From, To - From + 1)};
}

}  // namespace

TCaptureOptions ParseCaptureArgs(const std::vector<std::string>& Args) {
  TCaptureOptions O;
  std::vector<std::string> Words;
  bool Stretch = false, AreaGiven = false, ScreenGiven = false, AuthGiven = false;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& A = Args[i];
    auto Value = [&]() -> const std::string& {
      if (i + 1 >= Args.size()) throw TUsageError{A + " needs a value"};
      return Args[++i];
    };
    if (A == "--size") {
      ParseSize(Value(), A, O.Width, O.Height);
    } else if (A == "--stretch") {
      Stretch = true;
    } else if (A == "--view") {
      const std::string& V = Value();
      if (V == "screen")
        O.View = wvScreen;
      else if (V == "full")
        O.View = wvFull;
      else if (V == "custom")
        O.View = wvCustom;
      else
        throw TUsageError{"--view is screen, full or custom"};
    } else if (A == "--area") {
      ParseSize(Value(), A, O.AreaWidth, O.AreaHeight);
      AreaGiven = true;
    } else if (A == "--screen") {
      ParseSize(Value(), A, O.ScreenWidth, O.ScreenHeight);
      ScreenGiven = true;
    } else if (A == "--timeout") {
      O.TimeoutMs = ParseSeconds(Value(), A);
    } else if (A == "--delay") {
      O.DelayMs = ParseWhole(Value(), "--delay", 0, 600000);
    } else if (A == "--batch") {
      O.Batch = Value();
    } else if (A == "--out-dir") {
      O.OutDir = Value();
    } else if (A == "--jobs") {
      O.Jobs = ParseWhole(Value(), "--jobs", 1, 64);
    } else if (A == "--format") {
      O.Given = ParseFormatName(Value());
    } else if (A == "--report") {
      O.Report = Value();
    } else if (A == "--shard") {
      const std::string& V = Value();
      if (V == "auto" || V.rfind("auto/", 0) == 0) {
        int Given = V == "auto" ? 0 : ParseWhole(V.substr(5), "--shard auto's N", 1, 1000000);
        TSchedulerShard S =
            ShardFromScheduler([](const char* Name) { return getenv(Name); }, Given);
        O.ShardIndex = S.Index;
        O.ShardCount = S.Count;
        O.ShardSource = S.Source;
        continue;
      }
      std::size_t Slash = V.find('/');
      if (Slash == std::string::npos)
        throw TUsageError{"--shard wants K/N (for example 2/8), auto or auto/N"};
      O.ShardSource.clear();
      O.ShardCount = ParseWhole(V.substr(Slash + 1), "--shard's N", 1, 1000000);
      O.ShardIndex = ParseWhole(V.substr(0, Slash), "--shard's K", 1, O.ShardCount);
    } else if (A == "--resume") {
      O.Resume = true;
    } else if (A == "--every") {
      O.EveryMs = ParseSeconds(Value(), A);
    } else if (A == "--count") {
      O.Count = ParseWhole(Value(), "--count", 1, 1000000000);
    } else if (A == "--scale") {
      const std::string& V = Value();
      char* End = nullptr;
      O.Scale = std::strtod(V.c_str(), &End);
      if (V.empty() || *End) throw TUsageError{"--scale wants a number, such as 2 or 1.5"};
    } else if (A == "--selector" || A == "--wait-for" || A == "--hide") {
      std::string& Field = A == "--selector" ? O.Selector : A == "--wait-for" ? O.WaitFor : O.Hide;
      Field = Value();
      if (Field.empty() || Field == "js:") throw TUsageError{A + " needs a value"};
    } else if (A == "--javascript") {
      O.Script = ReadOptionFile(Value(), A);
    } else if (A == "--css") {
      O.StyleSheet = ReadOptionFile(Value(), A);
    } else if (A == "--user-agent") {
      O.UserAgent = Value();
      if (O.UserAgent.empty()) throw TUsageError{A + " needs a value"};
    } else if (A == "--header") {
      O.Headers.push_back(ParseHeader(Value()));
    } else if (A == "--color-scheme") {
      O.ColorScheme = Value();
      if (O.ColorScheme.empty()) throw TUsageError{A + " needs a value"};
    } else if (A == "--wait-until") {
      const std::string& V = Value();
      if (V == "load")
        O.WaitUntil = host::wuLoad;
      else if (V == "domcontentloaded")
        O.WaitUntil = host::wuDOMContentLoaded;
      else if (V == "networkidle")
        O.WaitUntil = host::wuNetworkIdle;
      else
        throw TUsageError{"--wait-until is load, domcontentloaded or networkidle"};
    } else if (A == "--disable-animations") {
      O.DisableAnimations = true;
    } else if (A == "--quality") {
      O.Quality = ParseWhole(Value(), "--quality", 1, 100);
    } else if (A == "--lossless") {
      O.Lossless = true;
    } else if (A == "--no-local") {
      O.NoLocal = true;
    } else if (A == "--cookie") {
      O.PageCookies.push_back(Value());
    } else if (A == "--cookies") {
      const std::string& File = Value();
      try {
        for (host::TCookie& C : host::ReadCookiesFile(File)) O.Cookies.push_back(std::move(C));
      } catch (const host::Exception& E) {
        throw TUsageError{"--cookies " + File + ": " + E.Message()};
      }
    } else if (A == "--proxy") {
      O.Proxy = Value();
    } else if (A == "--block-cookie-banners") {
      O.BlockCookieBanners = true;
    } else if (A == "--block-ads") {  // ads, trackers and logins
      O.BlockAds = true;
    } else if (A == "--block-trackers") {
      O.BlockTrackers = true;
    } else if (A == "--filter-list") {
      O.FilterLists.push_back(Value());
    } else if (A == "--auth") {
      AuthGiven = true;
      try {
        O.Auth = host::ParseAuthArgument(Value());
      } catch (const host::Exception& E) {
        throw TUsageError{E.Message()};
      }
    } else if (ParseChangeWatchArg(A, Value, O.Watch)) {
    } else if (A.size() > 1 && A[0] == '-') {
      throw TUsageError{"unknown option " + A};
    } else {
      Words.push_back(A);
    }
  }
  try {
    if (!AuthGiven) O.Auth = host::CredentialsFromEnvironment();
  } catch (const host::Exception& E) {
    throw TUsageError{E.Message()};
  }
  O.Stretch = Stretch;
  if (Stretch && O.Width == 0) throw TUsageError{"--stretch goes with --size"};
  if (AreaGiven && O.View != wvCustom) throw TUsageError{"--area goes with --view custom"};
  // Laying the page out at a screen it is not shown on would cost a second
  // layout for nothing.
  if (AreaGiven && !ScreenGiven) {
    O.ScreenWidth = O.AreaWidth;
    O.ScreenHeight = O.AreaHeight;
  }
  if (O.Count && !O.EveryMs) throw TUsageError{"--count goes with --every"};
  CheckChangeWatch(O);
  if (!O.Batch.empty()) {
    if (!Words.empty())
      throw TUsageError{"--batch takes its URLs from the list, not the command line"};
    if (O.OutDir.empty()) throw TUsageError{"--batch needs --out-dir"};
    if (O.EveryMs) throw TUsageError{"--every captures one page, not a list"};
    if (O.Resume && O.Report.empty())
      throw TUsageError{"--resume needs the --report of the runs before"};
    if ((O.Quality || O.Lossless) && !O.Given)
      throw TUsageError{"--quality and --lossless go with a list's --format"};
    if (std::string Why = O.Given ? EncodingProblem(*O.Given, {O.Quality, O.Lossless}) : "";
        !Why.empty())
      throw TUsageError{Why};
  } else {
    if (Words.size() != 2) throw TUsageError{"capture needs a URL and an output file"};
    if (!O.OutDir.empty() || !O.Report.empty() || O.Jobs != 1 || O.ShardCount != 1 ||
        !O.ShardSource.empty() || O.Resume)
      throw TUsageError{"--out-dir, --jobs, --report, --shard and --resume go with --batch"};
    O.Url = Words[0];
    O.Output = Words[1];
    std::string Why;
    std::optional<TPictureFormat> Format = OutputFormat(O.Output, O.Given, &Why);
    if (!Format) throw TUsageError{Why};
    if (std::string Why = EncodingProblem(*Format, {O.Quality, O.Lossless}); !Why.empty())
      throw TUsageError{Why};
    if (O.Output == "-" && O.EveryMs)
      throw TUsageError{"--every replaces a file; it cannot write to standard output"};
  }
  // The control's setters judge the page's options; no page is opened.
  host::TWebBrowser Check(nullptr);
  SetPageOptions(Check, O);
  return O;
}

namespace {

void Complain(const TCaptureResult& R) {
  std::fprintf(stderr, "snapkit: %s: %s\n", R.Url.c_str(), R.Error.c_str());
}

int CaptureOne(const TCaptureOptions& Options) {
  std::string Url = PageUrl(Options.Url, !Options.NoLocal);
  if (std::string Why = OutputFolderProblem(Options.Output); !Why.empty())
    throw TCaptureFailure{ceFailed, Options.Output + ": " + Why};
  StartBrowser(Options);
  host::TComponent Form(nullptr);
  bool Done = false;
  int Written = 0, Failed = 0;
  TCaptureExit Exit = ceOk;
  gint64 LastEnded = 0;
  std::unique_ptr<TCaptureJob> Job;
  Job = std::make_unique<TCaptureJob>(Form, Options, [&](const TCaptureResult& R) {
    LastEnded = g_get_monotonic_time();
    if (R.Code == ceOk) {
      ++Written;
      if (R.Clipped) ReportClipped(R);
    } else {
      ++Failed;
      Exit = R.Code;
      Complain(R);
    }
    // Again and again: the control's own timer takes over after the first
    // (and on a fresh control, after one that ran out of time).
    if (Options.EveryMs && R.Code == ceOk && !Job->Lens().TimedUpdate()) {
      Job->Lens().SetTimerInterval(unsigned(Options.EveryMs));
      Job->Lens().SetTimedUpdate(true);
    }
    // Again and again ends when the first capture fails or the count is
    // reached.
    Done = !Options.EveryMs || (R.Code != ceOk && Written == 0) ||
           (Options.Count && Written + Failed >= Options.Count);
  });
  // A refresh of the timer's that the browser refuses is reported here.
  host::Application->OnException = [&](host::TObject*, const std::exception& E) {
    std::fprintf(stderr, "snapkit: %s: %s\n", Url.c_str(), E.what());
  };
  Job->Start(Url, Options.Output);
  while (!Done) {
    host::Application->RunUntil([&] { return Done; }, 250);
    // The timer refreshes only after a capture has ended; one that never
    // ends (a page that hangs, a refused refresh) would stop it for good,
    // so it is counted as failed and the page is loaded afresh.
    gint64 Limit = gint64(Options.EveryMs + Options.TimeoutMs) * 1000;
    if (!Done && Written > 0 && !Job->Busy() && g_get_monotonic_time() - LastEnded > Limit) {
      ++Failed;
      std::fprintf(stderr, "snapkit: %s: no new capture within %g s\n", Url.c_str(),
                   double(Limit) / 1e6);
      Done = Options.Count && Written + Failed >= Options.Count;
      LastEnded = g_get_monotonic_time();
      if (!Done) Job->Start(Url, Options.Output);
    }
  }
  host::Application->OnException = nullptr;
  return Failed == 0 ? ceOk : Options.EveryMs && Written ? ceFailed : Exit;
}

}  // namespace

void StartBrowser(const TCaptureOptions& Options) {
  host::TChromiumBrowser& Browser = host::TChromiumBrowser::Shared();
  if (!Browser.Options().Sandbox)
    std::fputs("snapkit: running as root: Chromium's sandbox is off\n", stderr);
  host::Screen->SetSize(Options.ScreenWidth, Options.ScreenHeight);
}

int RunCapture(const TCaptureOptions& Options) {
  try {
    if (!Options.Batch.empty()) return CaptureBatch(Options);
    return CaptureOne(Options);
  } catch (const TCaptureFailure& F) {
    std::fprintf(stderr, "snapkit: %s\n", F.Message.c_str());
    return F.Code;
  }
}

}  // namespace snapkit::tools
