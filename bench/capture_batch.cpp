// The batch comparisons of the capture benchmark: whole processes, `snapkit
// capture --batch --jobs 2` against Playwright with two pages
// (bench/capture/playwright.mjs batch) on the same Chromium executable.
//
//   Batch        the synthetic pages of serve.py, mixed.
//   Site/<name>  real pages: a documentation site that a Debian package
//                ships as HTML, served by serve.py --root from 127.0.0.1, a
//                fixed selection of its pages. Ours twice, both a 1024x768
//                custom view to 320x240: the control's way (a full-size
//                capture, resampled), and rasterised at a device scale of
//                0.3125 (--scale), which gives 320x240 at once.
//
// Each side is run in turn within a round, the order rotating by round.
// Counted for each: pages per second (pages written, so a failed page is
// never a fast one), CPU seconds per page of its whole process tree, split
// by process type (bench/process_tree_usage.h), and the peak PSS of its
// Chromium processes, sampled every 100 ms.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "bench/capture_common.h"
#include "bench/process_tree_usage.h"

namespace snapkit::bench::capture {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const char* CpuMethod = "";

struct TRun {
  double Ms = 0;       // the whole process
  double InnerMs = 0;  // Playwright: from the script's start, node's own start-up not included
  double PeakPss = 0;  // MiB, Chromium's processes
  double PeakRss = 0;  // MiB, the driving process
  int Pages = 0, Failed = 0;
  double CpuSeconds = 0;
  double ReapedCpuSeconds = 0;  // wait4's view of the same, as a check
  std::map<std::string, double> CpuByKind;
};

TRun RunSampled(const std::vector<std::string>& Argv, int OutFd = -1) {
  TRun R;
  TProcessTreeUsage Usage;
  double T0 = NowMs();
  pid_t Pid = Spawn(Argv, -1, OutFd, Usage.CgroupProcs());
  struct rusage RootUsage {};
  int Status = WaitFor(
      Pid, 600000,
      [&] {
        std::vector<pid_t> Tree = Descendants(Pid);
        Usage.Sample(Pid, Tree);
        R.PeakPss = std::max(R.PeakPss, ChromiumPssMiB(Tree));
        R.PeakRss = std::max(R.PeakRss, RollupKiB(Pid, "Rss:") / 1024.0);
      },
      100, &RootUsage);
  R.Ms = NowMs() - T0;
  if (Status < 0) throw std::runtime_error(Argv[0] + " ran out of time");
  if (Status == 126) throw std::runtime_error(Argv[0] + ": could not enter its cgroup");
  if (Status > 1) throw std::runtime_error(Argv[0] + " exited with " + std::to_string(Status));
  Usage.Finish(RootUsage);
  R.CpuSeconds = Usage.TotalSeconds;
  R.ReapedCpuSeconds = Usage.ReapedSeconds;
  CpuMethod = Usage.Method();
  R.CpuByKind = Usage.SecondsByKind;
  return R;
}

int CountLines(const std::string& List) {
  std::ifstream In(List);
  std::string Line;
  int N = 0;
  while (std::getline(In, Line))
    if (!Line.empty() && Line[0] != '#') ++N;
  return N;
}

// A page counts as failed when the report says so, has no line for it, or
// the file it names is missing or empty.
TRun RunOurs(const std::string& List, const std::vector<std::string>& Options) {
  std::string Dir = MakeTempDir("batch-");
  std::string Report = Dir + "/report.jsonl";
  std::vector<std::string> Argv{Cfg.Snapkit, "capture", "--batch", List,       "--out-dir",
                                Dir,         "--jobs",  "2",       "--report", Report};
  Argv.insert(Argv.end(), Options.begin(), Options.end());
  TRun R = RunSampled(Argv);
  R.Pages = CountLines(List);
  std::ifstream Rep(Report);
  std::string Line;
  int Good = 0;
  while (std::getline(Rep, Line)) {
    json J = json::parse(Line);
    if (J["error"].is_null() && J["file"].is_string() &&
        NonEmptyFile(fs::path(J["file"].get<std::string>()).is_absolute()
                         ? J["file"].get<std::string>()
                         : Dir + "/" + J["file"].get<std::string>()))
      ++Good;
  }
  R.Failed = R.Pages - Good;
  fs::remove_all(Dir);
  return R;
}

TRun RunPlaywright(const std::string& List) {
  std::string Dir = MakeTempDir("batch-");
  std::string Result = Dir + "/result.json";
  int Fd = open(Result.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  TRun R = RunSampled({"node", Cfg.Scripts + "/playwright.mjs", "batch", List, Dir, "2"}, Fd);
  close(Fd);
  json J = json::parse(Slurp(Result));
  R.Pages = J.at("pages").get<int>();
  int Written = 0;
  for (int i = 1; i <= R.Pages; ++i) {
    char Name[16];
    std::snprintf(Name, sizeof Name, "/%04d.png", i);
    Written += NonEmptyFile(Dir + Name);
  }
  R.Failed = std::max(J.at("failed").get<int>(), R.Pages - Written);
  R.InnerMs = J.at("ms").get<double>();
  fs::remove_all(Dir);
  return R;
}

// One side's runs, summed up into counters named Prefix_...
struct TSide {
  std::string Prefix;
  std::vector<TRun> Runs;

  double PagesPerSecond() const {
    std::vector<double> V;
    for (const auto& R : Runs) V.push_back((R.Pages - R.Failed) * 1000.0 / R.Ms);
    return Median(V);
  }
  double CpuPerPage(const std::string& Kind = "") const {
    double Cpu = 0, Pages = 0;
    for (const auto& R : Runs) {
      Cpu += Kind.empty()      ? R.CpuSeconds
             : Kind == "wait4" ? R.ReapedCpuSeconds
                               : R.CpuByKind.at(Kind);
      Pages += R.Pages - R.Failed;
    }
    return Pages > 0 ? Cpu / Pages : 0;
  }
  double PeakPss() const {
    double M = 0;
    for (const auto& R : Runs) M = std::max(M, R.PeakPss);
    return M;
  }
  void Report(benchmark::State& State) const {
    int Failed = 0;
    for (const auto& R : Runs) Failed += R.Failed;
    State.counters[Prefix + "_pages_per_s"] = PagesPerSecond();
    State.counters[Prefix + "_cpu_s_per_page"] = CpuPerPage();
    State.counters[Prefix + "_cpu_wait4_s_per_page"] = CpuPerPage("wait4");
    for (const auto& K : TProcessTreeUsage::Kinds())
      State.counters[Prefix + "_cpu_" + K + "_s_per_page"] = CpuPerPage(K);
    State.counters[Prefix + "_chromium_pss_peak_mib"] = PeakPss();
    State.counters[Prefix + "_failed"] = Failed;
  }
};

void Ratios(benchmark::State& State, const TSide& Ours, const TSide& Theirs,
            const std::string& Prefix) {
  auto Ratio = [](double A, double B) { return B > 0 ? A / B : 0; };
  State.counters[Prefix + "_pages_per_s_ratio"] =
      Ratio(Ours.PagesPerSecond(), Theirs.PagesPerSecond());
  State.counters[Prefix + "_cpu_per_page_ratio"] = Ratio(Ours.CpuPerPage(), Theirs.CpuPerPage());
  State.counters[Prefix + "_pss_peak_ratio"] = Ratio(Ours.PeakPss(), Theirs.PeakPss());
}

const std::vector<std::string> kCustom{"--view",   "custom", "--area",
                                       "1024x768", "--size", "320x240"};
const std::vector<std::string> kSmallRaster{"--view",   "custom",  "--area",
                                            "1024x768", "--scale", "0.3125"};

void BM_Batch(benchmark::State& State) {
  const char* const Pages[] = {"text", "gradients", "table", "tall"};
  static long N = 0;
  TSide Ours{"ours", {}}, Theirs{"playwright", {}};
  std::vector<double> TheirsInner;
  try {
    int Round = 0;
    for (auto _ : State) {
      std::string List = Cfg.Tmp + "/batch.txt";
      {
        std::ofstream L(List);
        for (int i = 0; i < Cfg.BatchPages; ++i)
          L << Cfg.Base << "/" << Pages[i % 4] << ".html?b=" << ++N << '\n';
      }
      for (int k = 0; k < 2; ++k) {
        if ((Round + k) % 2 == 0) {
          Ours.Runs.push_back(RunOurs(List, kCustom));
        } else {
          Theirs.Runs.push_back(RunPlaywright(List));
          TheirsInner.push_back(Cfg.BatchPages * 1000.0 / Theirs.Runs.back().InnerMs);
        }
      }
      ++Round;
    }
  } catch (const std::exception& E) {
    State.SkipWithError(E.what());
    return;
  }
  State.counters["pages"] = Cfg.BatchPages;
  Ours.Report(State);
  Theirs.Report(State);
  Ratios(State, Ours, Theirs, "ours");
  double WI = Median(TheirsInner);
  State.counters["playwright_pages_per_s_after_node_start"] = WI;
  State.counters["ours_pages_per_s_ratio_after_node_start"] = Ours.PagesPerSecond() / WI;
  std::vector<double> Pss, Rss;
  for (const auto& R : Ours.Runs) Pss.push_back(R.PeakPss), Rss.push_back(R.PeakRss);
  State.counters["ours_chromium_pss_peak_median_mib"] = Median(Pss);
  State.counters["ours_process_rss_peak_mib"] = Max(Rss);
  State.SetLabel(std::string("CPU total by ") + CpuMethod);
}

// A fixed selection of a site's pages: of its HTML files, those of middling
// size (between the 20th and 90th percentile, so neither stubs nor the
// biggest indexes), sorted by path and taken at even steps.
std::vector<std::string> SelectPages(const std::string& Root, int Count) {
  std::vector<std::pair<std::uintmax_t, std::string>> All;
  for (const auto& E : fs::recursive_directory_iterator(Root)) {
    if (!E.is_regular_file() || E.path().extension() != ".html") continue;
    All.emplace_back(E.file_size(), fs::relative(E.path(), Root).string());
  }
  if (All.empty()) throw std::runtime_error("no HTML pages in " + Root);
  std::sort(All.begin(), All.end());
  std::vector<std::string> Middle;
  for (std::size_t i = All.size() / 5; i < All.size() * 9 / 10; ++i)
    Middle.push_back(All[i].second);
  std::sort(Middle.begin(), Middle.end());
  std::vector<std::string> Out;
  double Step = std::max(1.0, static_cast<double>(Middle.size()) / Count);
  for (int i = 0; i < Count && static_cast<std::size_t>(i * Step) < Middle.size(); ++i)
    Out.push_back(Middle[static_cast<std::size_t>(i * Step)]);
  return Out;
}

void BM_Site(benchmark::State& State, const std::string& Name, const std::string& Root) {
  TSide Custom{"ours", {}}, Small{"ours_small_raster", {}}, Theirs{"playwright", {}};
  std::string List = Cfg.Tmp + "/site-" + Name + ".txt";
  try {
    std::string Base = StartServer({"--root", Root});
    std::vector<std::string> Pages = SelectPages(Root, Cfg.SitePages);
    {
      std::ofstream L(List);
      for (const auto& P : Pages) L << Base << "/" << P << '\n';
    }
    int Round = 0;
    for (auto _ : State) {
      for (int k = 0; k < 3; ++k) {
        int Which = (Round + k) % 3;
        if (Which == 0)
          Custom.Runs.push_back(RunOurs(List, kCustom));
        else if (Which == 1)
          Theirs.Runs.push_back(RunPlaywright(List));
        else
          Small.Runs.push_back(RunOurs(List, kSmallRaster));
      }
      ++Round;
    }
    State.counters["pages"] = static_cast<double>(Pages.size());
  } catch (const std::exception& E) {
    State.SkipWithError(E.what());
    return;
  }
  Custom.Report(State);
  Small.Report(State);
  Theirs.Report(State);
  Ratios(State, Custom, Theirs, "ours");
  Ratios(State, Small, Theirs, "ours_small_raster");
  State.SetLabel(Root + ", list " + List + ", CPU total by " + CpuMethod);
}

}  // namespace

void RegisterBatchBenchmarks() {
  benchmark::RegisterBenchmark("Batch", BM_Batch)
      ->Iterations(Cfg.BatchRounds)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  for (const auto& [Name, Root] : Cfg.Sites)
    benchmark::RegisterBenchmark(("Site/" + Name).c_str(), BM_Site, Name, Root)
        ->Iterations(Cfg.SiteRounds)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

}  // namespace snapkit::bench::capture
