// The capture command against the tools people use for the same job, on
// four pages served from 127.0.0.1 (bench/capture/serve.py), with the same
// Chromium executable on every side:
//
//   Warm/<page>   a TSitelens with a 1024x768 custom view navigating and
//                 writing a 320x240 PNG thumbnail, against Playwright's goto +
//                 screenshot of a 1024x768 viewport (bench/capture/playwright.mjs
//                 in a node process of its own) and a plain DevTools client
//                 (navigate, load event, screenshot, base64 decoding); also the
//                 control's TWebBrowser alone (navigate, complete, draw into a
//                 bitmap), to show where the control's time goes. Rotating
//                 order within each iteration.
//   Cold/<page>   whole processes: `snapkit capture URL out.png --view custom
//                 --area 1024x768 --size 320x240` against the same executable's
//                 one-shot --screenshot and full Chromium's.
//   Batch, Site/<name>  whole batches, on these pages and on real ones
//                 (bench/capture_batch.cpp).
//
// Counters are medians in ms (wall time: the work is in the browsers'
// processes) and ratios ours over theirs. scripts/capture-bench.sh runs it
// all and prints a table.
//
// Options after Google Benchmark's own: --base=URL (a running serve.py; by
// default one is started), --snapkit=PATH, --warm-rounds=N, --cold-rounds=N,
// --batch-rounds=N, --batch-pages=N, --site=NAME=DIR (repeatable: a folder
// of HTML pages), --site-rounds=N, --site-pages=N.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/capture_common.h"
#include "bench/plain_devtools_client.h"
#include "capture/sitelens.h"
#include "host/browser/chromium_browser.h"
#include "host/browser/web_browser.h"
#include "host/forms/application.h"
#include "host/forms/screen.h"
#include "host/graphics/bitmap.h"

namespace {

using namespace snapkit::bench::capture;
namespace fs = std::filesystem;
using json = nlohmann::json;

const char* const kPages[] = {"text", "gradients", "table", "tall"};

std::string PageUrl(const std::string& Page, long N) {
  return Cfg.Base + "/" + Page + ".html?n=" + std::to_string(N);
}

long NextN() {
  static long N = 0;
  return ++N;
}

// ---- ours ----------------------------------------------------------------------

struct Ours {
  host::TComponent Form{nullptr};
  snapkit::TSitelens* Lens = new snapkit::TSitelens(&Form);
  bool Ready = false;
  std::string Error;
  double ReadyMs = 0, SaveMs = 0;
  std::string Out = Cfg.Tmp + "/ours.png";

  Ours() {
    // As `snapkit capture --area` sets it up: the area is the screen the
    // page is laid out for, so it is laid out once, at the area's size.
    host::Screen->SetSize(kAreaW, kAreaH);
    Lens->SetWebPageView(snapkit::wvCustom);
    Lens->SetViewWidth(kAreaW);
    Lens->SetViewHeight(kAreaH);
    Lens->OnWebImageReady = [this](host::TObject*, const std::string&) { Ready = true; };
    Lens->OnCaptureError = [this](host::TObject*, const std::string&, const std::string& M) {
      Error = M.empty() ? "capture failed" : M;
    };
  }
  void Capture(const std::string& Url) {
    double T0 = NowMs();
    Ready = false;
    Error.clear();
    Lens->setUrl(Url);
    if (!host::Application->RunUntil([&] { return Ready || !Error.empty(); }, 30000))
      throw std::runtime_error("no picture of " + Url + " within 30 s");
    if (!Error.empty()) throw std::runtime_error(Url + ": " + Error);
    double T1 = NowMs();
    if (Lens->SaveToFile(Out, kThumbW, kThumbH) != 0) throw std::runtime_error("SaveToFile");
    double T2 = NowMs();
    ReadyMs = T1 - T0;
    SaveMs = T2 - T1;
  }
};

// The control's browser alone, as bench/browser_bench.cpp drives it: where
// the control's time goes.
struct BareBrowser {
  host::TWebBrowser Browser{nullptr};
  host::TBitmap Picture;
  bool Complete = false;
  BareBrowser() {
    Browser.SetBounds(0, 0, kAreaW, kAreaH);
    Picture.SetPixelFormat(host::pf24bit);
    Picture.SetSize(kAreaW, kAreaH);
    Browser.OnDocumentComplete = [this](host::TObject*, host::IDispatch*, const host::OleVariant&) {
      if (Browser.ReadyState() == host::READYSTATE_COMPLETE) Complete = true;
    };
  }
  void Capture(const std::string& Url) {
    Complete = false;
    Browser.Navigate(Url);
    if (!host::Application->RunUntil([&] { return Complete; }, 30000))
      throw std::runtime_error("TWebBrowser: " + Url + " did not complete");
    host::TRect R = host::Rect(0, 0, kAreaW, kAreaH);
    auto* View = dynamic_cast<host::IViewObject*>(Browser.GetControlInterface());
    if (!View || View->Draw(host::DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &Picture.Canvas(),
                            &R, nullptr, nullptr, 0) != 0)
      throw std::runtime_error("TWebBrowser: draw failed");
  }
};

// The plain client runs the engine and flags our browser runs.
std::string PlainExecutable() { return host::TBrowserOptions().Executable; }
std::vector<std::string> PlainArguments() {
  host::TBrowserOptions Options;
  std::vector<std::string> Args = Options.Arguments;
  if (!Options.Sandbox) Args.push_back("--no-sandbox");
  return Args;
}

// ---- Playwright, in a node process of its own ----------------------------------

class Playwright {
 public:
  Playwright() {
    int In[2], Out[2];
    if (pipe(In) != 0 || pipe(Out) != 0) throw std::runtime_error("pipe");
    fcntl(In[1], F_SETFD, FD_CLOEXEC);
    fcntl(Out[0], F_SETFD, FD_CLOEXEC);
    Pid = Spawn({"node", Cfg.Scripts + "/playwright.mjs", "warm"}, In[0], Out[1]);
    close(In[0]);
    close(Out[1]);
    ToNode = fdopen(In[1], "w");
    FromNode = fdopen(Out[0], "r");
    json Hello = ReadLine();
    if (!Hello.value("ready", false)) throw std::runtime_error("playwright: " + Hello.dump());
    Version = Hello.value("version", "");
  }
  ~Playwright() {
    fclose(ToNode);  // end of input: the script closes its browser
    if (WaitFor(Pid, 5000) < 0) std::fprintf(stderr, "playwright did not end by itself\n");
    fclose(FromNode);
  }
  // goto + screenshot; the time is the script's own, without this pipe.
  double Capture(const std::string& Url) {
    std::fprintf(ToNode, "%s\n", Url.c_str());
    std::fflush(ToNode);
    json R = ReadLine();
    if (R.contains("error")) throw std::runtime_error("playwright: " + R["error"].dump());
    return R.at("ms").get<double>();
  }
  std::string Version;

 private:
  json ReadLine() {
    char Line[4096];
    if (!std::fgets(Line, sizeof Line, FromNode))
      throw std::runtime_error("playwright ended; see " + Cfg.Tmp + "/stderr.log");
    return json::parse(Line);
  }
  pid_t Pid;
  FILE* ToNode = nullptr;
  FILE* FromNode = nullptr;
};

// ---- warm --------------------------------------------------------------------------

struct WarmSides {
  Ours Mine;
  BareBrowser Bare;
  snapkit::bench::TPlainClient Plain{PlainExecutable(), PlainArguments(), kAreaW, kAreaH};
  Playwright Theirs;
};

std::unique_ptr<WarmSides> TheSides;

WarmSides& Sides() {
  if (!TheSides) TheSides = std::make_unique<WarmSides>();
  return *TheSides;
}

void BM_Warm(benchmark::State& State, const std::string& Page) {
  WarmSides& S = Sides();
  std::vector<double> TOurs, TReady, TSave, TBare, TPlain, TTheirs;
  constexpr int kSides = 4;
  try {
    for (int i = 0; i < 3; ++i) {  // each side loads this page's kind first
      S.Mine.Capture(PageUrl(Page, NextN()));
      S.Bare.Capture(PageUrl(Page, NextN()));
      S.Plain.Capture(PageUrl(Page, NextN()));
      S.Theirs.Capture(PageUrl(Page, NextN()));
    }
    int Round = 0;
    for (auto _ : State) {
      for (int k = 0; k < kSides; ++k) {
        int Which = (Round + k) % kSides;
        std::string Url = PageUrl(Page, NextN());
        double T0 = NowMs();
        if (Which == 0) {
          S.Mine.Capture(Url);
          TOurs.push_back(NowMs() - T0);
          TReady.push_back(S.Mine.ReadyMs);
          TSave.push_back(S.Mine.SaveMs);
        } else if (Which == 1) {
          S.Bare.Capture(Url);
          TBare.push_back(NowMs() - T0);
        } else if (Which == 2) {
          benchmark::DoNotOptimize(S.Plain.Capture(Url));
          TPlain.push_back(NowMs() - T0);
        } else {
          TTheirs.push_back(S.Theirs.Capture(Url));
        }
      }
      ++Round;
    }
  } catch (const std::exception& E) {
    State.SkipWithError(E.what());
    return;
  }
  double O = Median(TOurs), P = Median(TPlain), W = Median(TTheirs);
  State.counters["ours_ms"] = O;
  State.counters["ours_load_render_ms"] = Median(TReady);
  State.counters["ours_save_ms"] = Median(TSave);
  State.counters["twebbrowser_ms"] = Median(TBare);
  State.counters["plain_ms"] = P;
  State.counters["playwright_ms"] = W;
  State.counters["ours_over_playwright"] = O / W;
  State.counters["ours_over_plain"] = O / P;
  State.SetLabel("playwright on Chromium " + S.Theirs.Version);
}

// ---- cold ----------------------------------------------------------------------------

double TimeProcess(const std::vector<std::string>& Argv, const std::string& Out) {
  std::remove(Out.c_str());
  double T0 = NowMs();
  int Status = WaitFor(Spawn(Argv), 60000);
  double T = NowMs() - T0;
  if (Status != 0 || !NonEmptyFile(Out))
    throw std::runtime_error(Argv[0] + " failed (status " + std::to_string(Status) + ", output " +
                             (NonEmptyFile(Out) ? "written" : "missing") + "); see " + Cfg.Tmp +
                             "/stderr.log");
  return T;
}

std::vector<std::string> OneShot(const std::string& Executable, const std::string& Profile,
                                 const std::string& Out, const std::string& Url) {
  host::TBrowserOptions Options;  // the flags snapkit's browser gets
  std::vector<std::string> A{Executable};
  A.insert(A.end(), Options.Arguments.begin(), Options.Arguments.end());
  if (!Options.Sandbox) A.push_back("--no-sandbox");
  A.push_back("--hide-scrollbars");
  A.push_back("--user-data-dir=" + Profile);
  A.push_back("--screenshot=" + Out);
  A.push_back("--window-size=" + std::to_string(kAreaW) + "," + std::to_string(kAreaH));
  A.push_back(Url);
  return A;
}

void BM_Cold(benchmark::State& State, const std::string& Page) {
  const std::string Shell = host::DefaultBrowserExecutable();
  const std::string Full = "/usr/lib/chromium/chromium";
  const std::string Out = Cfg.Tmp + "/cold.png";
  std::vector<double> TOurs, TShell, TFull;
  try {
    int Round = 0;
    for (auto _ : State) {
      for (int k = 0; k < 3; ++k) {
        int Which = (Round + k) % 3;
        std::string Url = PageUrl(Page, NextN());
        if (Which == 0) {
          TOurs.push_back(TimeProcess({Cfg.Snapkit, "capture", Url, Out, "--view", "custom",
                                       "--area", "1024x768", "--size", "320x240"},
                                      Out));
        } else {
          // A fresh profile each time, as snapkit makes one for itself.
          std::string Profile = MakeTempDir("oneshot-");
          (Which == 1 ? TShell : TFull)
              .push_back(TimeProcess(OneShot(Which == 1 ? Shell : Full, Profile, Out, Url), Out));
          fs::remove_all(Profile);
        }
      }
      ++Round;
    }
  } catch (const std::exception& E) {
    State.SkipWithError(E.what());
    return;
  }
  double O = Median(TOurs), S = Median(TShell), F = Median(TFull);
  State.counters["ours_ms"] = O;
  State.counters["same_engine_oneshot_ms"] = S;
  State.counters["full_chromium_oneshot_ms"] = F;
  State.counters["ours_over_same_engine"] = O / S;
  State.counters["ours_over_full_chromium"] = O / F;
  State.SetLabel(Shell);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  fs::path Self = fs::read_symlink("/proc/self/exe");
  Cfg.Snapkit = (Self.parent_path().parent_path() / "tools" / "snapkit").string();
  // A compiler cache with a base folder makes __FILE__ relative to the
  // folder it compiled in, which is the one the program is built into.
  fs::path Source = fs::path(__FILE__).parent_path();
  if (Source.is_relative()) Source = Self.parent_path() / Source;
  Cfg.Scripts = fs::weakly_canonical(Source / "capture").string();
  for (int i = 1; i < argc; ++i) {
    std::string A = argv[i];
    auto Value = [&](const char* Name) -> const char* {
      std::size_t L = std::strlen(Name);
      return A.compare(0, L, Name) == 0 ? A.c_str() + L : nullptr;
    };
    if (const char* V = Value("--base="))
      Cfg.Base = V;
    else if (const char* V = Value("--snapkit="))
      Cfg.Snapkit = V;
    else if (const char* V = Value("--warm-rounds="))
      Cfg.WarmRounds = std::atoi(V);
    else if (const char* V = Value("--cold-rounds="))
      Cfg.ColdRounds = std::atoi(V);
    else if (const char* V = Value("--batch-rounds="))
      Cfg.BatchRounds = std::atoi(V);
    else if (const char* V = Value("--batch-pages="))
      Cfg.BatchPages = std::atoi(V);
    else if (const char* V = Value("--site-rounds="))
      Cfg.SiteRounds = std::atoi(V);
    else if (const char* V = Value("--site-pages="))
      Cfg.SitePages = std::atoi(V);
    else if (const char* V = Value("--site=")) {
      const char* Eq = std::strchr(V, '=');
      if (!Eq) {
        std::fprintf(stderr, "capture_bench: --site=NAME=DIR\n");
        return 2;
      }
      Cfg.Sites.emplace_back(std::string(V, Eq), Eq + 1);
    } else {
      std::fprintf(stderr, "capture_bench: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  gchar* Tmp = g_dir_make_tmp("snapkit-capture-bench-XXXXXX", nullptr);
  Cfg.Tmp = Tmp;
  g_free(Tmp);
  signal(SIGPIPE, SIG_IGN);
  int Status = 0;
  try {
    if (Cfg.Base.empty()) Cfg.Base = StartServer();
    std::fprintf(stderr, "pages from %s, snapkit %s, logs in %s\n", Cfg.Base.c_str(),
                 Cfg.Snapkit.c_str(), Cfg.Tmp.c_str());
    for (const char* Page : kPages)
      benchmark::RegisterBenchmark(("Warm/" + std::string(Page)).c_str(), BM_Warm, Page)
          ->Iterations(Cfg.WarmRounds)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    for (const char* Page : kPages)
      benchmark::RegisterBenchmark(("Cold/" + std::string(Page)).c_str(), BM_Cold, Page)
          ->Iterations(Cfg.ColdRounds)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    RegisterBatchBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& E) {
    std::fprintf(stderr, "capture_bench: %s\n", E.what());
    Status = 1;
  }
  TheSides.reset();
  benchmark::Shutdown();
  StopServers();
  return Status;
}
