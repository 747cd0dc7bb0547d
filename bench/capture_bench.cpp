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
//   Batch         100 pages: `snapkit capture --batch --jobs 2` against
//                 Playwright with two pages at once, whole processes, with the
//                 PSS of each side's Chromium processes sampled every 100 ms.
//
// Counters are medians in ms (wall time: the work is in the browsers'
// processes) and ratios ours over theirs. scripts/capture-bench.sh runs it
// all and prints a table.
//
// Options after Google Benchmark's own: --base=URL (a running serve.py; by
// default one is started), --snapkit=PATH, --warm-rounds=N, --cold-rounds=N,
// --batch-rounds=N, --batch-pages=N.

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

#include "bench/plain_devtools_client.h"
#include "capture/sitelens.h"
#include "host/browser/chromium_browser.h"
#include "host/browser/web_browser.h"
#include "host/forms/application.h"
#include "host/graphics/bitmap.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

constexpr int kAreaW = 1024, kAreaH = 768, kThumbW = 320, kThumbH = 240;
const char* const kPages[] = {"text", "gradients", "table", "tall"};

struct {
  std::string Base;
  std::string Snapkit;
  std::string Scripts;  // bench/capture
  std::string Tmp;
  int WarmRounds = 15, ColdRounds = 8, BatchRounds = 3, BatchPages = 100;
} Cfg;

double NowMs() { return static_cast<double>(g_get_monotonic_time()) / 1000.0; }

double Median(std::vector<double> V) {
  if (V.empty()) return 0;
  std::sort(V.begin(), V.end());
  std::size_t N = V.size();
  return N % 2 ? V[N / 2] : (V[N / 2 - 1] + V[N / 2]) / 2;
}

std::string PageUrl(const std::string& Page, long N) {
  return Cfg.Base + "/" + Page + ".html?n=" + std::to_string(N);
}

long NextN() {
  static long N = 0;
  return ++N;
}

// ---- processes -----------------------------------------------------------------

// Starts Argv with standard output to OutFd (or /dev/null) and standard
// error to a log in the temporary folder.
pid_t Spawn(const std::vector<std::string>& Argv, int InFd = -1, int OutFd = -1) {
  std::vector<char*> C;
  for (const auto& A : Argv) C.push_back(const_cast<char*>(A.c_str()));
  C.push_back(nullptr);
  std::string Log = Cfg.Tmp + "/stderr.log";
  pid_t Pid = fork();
  if (Pid < 0) throw std::runtime_error("fork");
  if (Pid == 0) {
    int Null = open("/dev/null", O_RDWR);
    dup2(InFd >= 0 ? InFd : Null, 0);
    dup2(OutFd >= 0 ? OutFd : Null, 1);
    int L = open(Log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    dup2(L >= 0 ? L : Null, 2);
    setpgid(0, 0);  // so that a stuck one goes with all it started
    execvp(C[0], C.data());
    _exit(127);
  }
  setpgid(Pid, Pid);
  return Pid;
}

// Waits for Pid at most TimeoutMs, calling Tick every ~100 ms; returns the
// exit status, or -1 after killing a process that ran out of time.
template <class F>
int WaitFor(pid_t Pid, int TimeoutMs, F Tick) {
  double End = NowMs() + TimeoutMs;
  for (;;) {
    int Status;
    pid_t R = waitpid(Pid, &Status, WNOHANG);
    if (R == Pid) return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
    if (NowMs() > End) {
      kill(-Pid, SIGKILL);
      waitpid(Pid, &Status, 0);
      return -1;
    }
    Tick();
    g_usleep(R == 0 ? 100000 : 0);
  }
}
int WaitFor(pid_t Pid, int TimeoutMs) {
  // Short polls: the time of a process of under a second is measured.
  double End = NowMs() + TimeoutMs;
  for (;;) {
    int Status;
    if (waitpid(Pid, &Status, WNOHANG) == Pid)
      return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
    if (NowMs() > End) {
      kill(-Pid, SIGKILL);
      waitpid(Pid, &Status, 0);
      return -1;
    }
    g_usleep(2000);
  }
}

std::string Slurp(const std::string& Path) {
  std::ifstream In(Path);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// Every process below Root, Root not included.
std::vector<pid_t> Descendants(pid_t Root) {
  std::multimap<pid_t, pid_t> Children;
  if (DIR* D = opendir("/proc")) {
    while (dirent* E = readdir(D)) {
      pid_t Pid = static_cast<pid_t>(std::atol(E->d_name));
      if (Pid <= 0) continue;
      std::string Stat = Slurp("/proc/" + std::string(E->d_name) + "/stat");
      std::size_t Paren = Stat.rfind(')');
      if (Paren == std::string::npos) continue;
      char State;
      int Parent;
      if (std::sscanf(Stat.c_str() + Paren + 1, " %c %d", &State, &Parent) == 2)
        Children.emplace(Parent, Pid);
    }
    closedir(D);
  }
  std::vector<pid_t> Out, Todo{Root};
  while (!Todo.empty()) {
    pid_t P = Todo.back();
    Todo.pop_back();
    auto [A, B] = Children.equal_range(P);
    for (auto It = A; It != B; ++It) {
      Out.push_back(It->second);
      Todo.push_back(It->second);
    }
  }
  return Out;
}

// A line of /proc/PID/smaps_rollup in KiB ("Pss:", "Rss:"), 0 when gone.
long RollupKiB(pid_t Pid, const char* Key) {
  std::ifstream In("/proc/" + std::to_string(Pid) + "/smaps_rollup");
  std::string Line;
  std::size_t K = std::strlen(Key);
  while (std::getline(In, Line))
    if (Line.compare(0, K, Key) == 0) return std::atol(Line.c_str() + K);
  return 0;
}

// The PSS of the Chromium processes below Root, in MiB.
double ChromiumPssMiB(pid_t Root) {
  long KiB = 0;
  for (pid_t P : Descendants(Root)) {
    std::error_code Ec;
    std::string Exe = fs::read_symlink("/proc/" + std::to_string(P) + "/exe", Ec).string();
    if (Exe.find("chromium") != std::string::npos) KiB += RollupKiB(P, "Pss:");
  }
  return KiB / 1024.0;
}

std::string MakeTempDir(const std::string& Prefix) {
  std::string T = Cfg.Tmp + "/" + Prefix + "XXXXXX";
  if (!mkdtemp(T.data())) throw std::runtime_error("mkdtemp");
  return T;
}

bool NonEmptyFile(const std::string& Path) {
  struct stat St;
  return stat(Path.c_str(), &St) == 0 && St.st_size > 0;
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

// ---- batch ----------------------------------------------------------------------------

struct Run {
  double Ms = 0;           // the whole process
  double InnerMs = 0;      // Playwright: from the script's start, node's own start-up not included
  double PeakPss = 0;      // MiB, Chromium's processes
  double PeakSelfRss = 0;  // MiB, the driving process
  int Failed = 0;
};

Run RunSampled(const std::vector<std::string>& Argv, int OutFd = -1) {
  Run R;
  double T0 = NowMs();
  pid_t Pid = Spawn(Argv, -1, OutFd);
  int Status = WaitFor(Pid, 600000, [&] {
    R.PeakPss = std::max(R.PeakPss, ChromiumPssMiB(Pid));
    R.PeakSelfRss = std::max(R.PeakSelfRss, RollupKiB(Pid, "Rss:") / 1024.0);
  });
  R.Ms = NowMs() - T0;
  if (Status < 0) throw std::runtime_error(Argv[0] + " ran out of time");
  if (Status > 1) throw std::runtime_error(Argv[0] + " exited with " + std::to_string(Status));
  return R;
}

void BM_Batch(benchmark::State& State) {
  std::vector<double> Ours, OursPss, OursRss, Theirs, TheirsInner, TheirsPss;
  int OursFailed = 0, TheirsFailed = 0;
  try {
    int Round = 0;
    for (auto _ : State) {
      std::string List = Cfg.Tmp + "/batch.txt";
      {
        std::ofstream L(List);
        for (int i = 0; i < Cfg.BatchPages; ++i) L << PageUrl(kPages[i % 4], NextN()) << '\n';
      }
      for (int k = 0; k < 2; ++k) {
        std::string Dir = MakeTempDir("batch-");
        if ((Round + k) % 2 == 0) {
          std::string Report = Dir + "/report.jsonl";
          Run R = RunSampled({Cfg.Snapkit, "capture", "--batch", List, "--out-dir", Dir, "--jobs",
                              "2", "--report", Report, "--view", "custom", "--area", "1024x768",
                              "--size", "320x240"});
          std::ifstream Rep(Report);
          std::string Line;
          int Lines = 0;
          while (std::getline(Rep, Line)) {
            ++Lines;
            if (!json::parse(Line)["error"].is_null()) ++OursFailed;
          }
          OursFailed += Cfg.BatchPages - Lines;
          Ours.push_back(R.Ms);
          OursPss.push_back(R.PeakPss);
          OursRss.push_back(R.PeakSelfRss);
        } else {
          std::string Result = Dir + "/result.json";
          int Fd = open(Result.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
          Run R =
              RunSampled({"node", Cfg.Scripts + "/playwright.mjs", "batch", List, Dir, "2"}, Fd);
          close(Fd);
          json J = json::parse(Slurp(Result));
          TheirsFailed += J.at("failed").get<int>();
          Theirs.push_back(R.Ms);
          TheirsInner.push_back(J.at("ms").get<double>());
          TheirsPss.push_back(R.PeakPss);
        }
        fs::remove_all(Dir);
      }
      ++Round;
    }
  } catch (const std::exception& E) {
    State.SkipWithError(E.what());
    return;
  }
  double N = Cfg.BatchPages;
  double O = N * 1000 / Median(Ours), W = N * 1000 / Median(Theirs),
         WI = N * 1000 / Median(TheirsInner);
  State.counters["pages"] = N;
  State.counters["ours_pages_per_s"] = O;
  State.counters["playwright_pages_per_s"] = W;
  State.counters["playwright_pages_per_s_after_node_start"] = WI;
  State.counters["ours_over_playwright"] = O / W;
  State.counters["ours_over_playwright_after_node_start"] = O / WI;
  State.counters["ours_chromium_pss_peak_mib"] = *std::max_element(OursPss.begin(), OursPss.end());
  State.counters["ours_chromium_pss_peak_median_mib"] = Median(OursPss);
  State.counters["ours_process_rss_peak_mib"] = *std::max_element(OursRss.begin(), OursRss.end());
  State.counters["playwright_chromium_pss_peak_mib"] =
      *std::max_element(TheirsPss.begin(), TheirsPss.end());
  State.counters["ours_failed"] = OursFailed;
  State.counters["playwright_failed"] = TheirsFailed;
}

// ---- set-up ----------------------------------------------------------------------

pid_t ServerPid = -1;

void StartServer() {
  int Out[2];
  if (pipe(Out) != 0) throw std::runtime_error("pipe");
  fcntl(Out[0], F_SETFD, FD_CLOEXEC);
  ServerPid = Spawn({"python3", Cfg.Scripts + "/serve.py"}, -1, Out[1]);
  close(Out[1]);
  FILE* F = fdopen(Out[0], "r");
  char Line[64];
  if (!std::fgets(Line, sizeof Line, F)) throw std::runtime_error("the page server did not start");
  fclose(F);
  Cfg.Base = "http://127.0.0.1:" + std::string(Line, std::strcspn(Line, "\n"));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  fs::path Self = fs::read_symlink("/proc/self/exe");
  Cfg.Snapkit = (Self.parent_path().parent_path() / "tools" / "snapkit").string();
  Cfg.Scripts = (fs::path(__FILE__).parent_path() / "capture").string();
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
    else {
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
    if (Cfg.Base.empty()) StartServer();
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
    benchmark::RegisterBenchmark("Batch", BM_Batch)
        ->Iterations(Cfg.BatchRounds)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& E) {
    std::fprintf(stderr, "capture_bench: %s\n", E.what());
    Status = 1;
  }
  TheSides.reset();
  benchmark::Shutdown();
  if (ServerPid > 0) {
    kill(ServerPid, SIGTERM);
    waitpid(ServerPid, nullptr, 0);
  }
  return Status;
}
