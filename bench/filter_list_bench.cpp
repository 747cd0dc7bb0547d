// The filter lists' cost: parsing EasyList and EasyPrivacy (at most 50 ms a
// process), a request's check and a page's style sheet.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/browser/filter_list.h"

namespace {

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return std::move(text).str();
}

struct TLists {
  std::string EasyList, EasyPrivacy;
  bool Found = false;
};

const TLists& Lists() {
  static const TLists lists = [] {
    TLists l;
    std::string a = host::DefaultFilterListPath("easylist");
    std::string b = host::DefaultFilterListPath("easyprivacy");
    if (a.empty() || b.empty()) return l;
    l.EasyList = ReadFile(a);
    l.EasyPrivacy = ReadFile(b);
    l.Found = true;
    return l;
  }();
  return lists;
}

host::TFilterSet MakeSet() {
  host::TFilterSet set;
  set.AddList(Lists().EasyList);
  set.AddList(Lists().EasyPrivacy);
  return set;
}

// Parsing and indexing both lists, as a process does once; the texts are
// already in memory.
void BM_ParseEasyListAndEasyPrivacy(benchmark::State& State) {
  if (!Lists().Found) return State.SkipWithError("lists not found");
  for (auto _ : State) {
    auto set = std::make_unique<host::TFilterSet>(MakeSet());
    // The index is built on the first question.
    benchmark::DoNotOptimize(set->Blocks("https://a.test/", "", host::rtOther));
    // A process frees its set at exit, if at all.
    State.PauseTiming();
    set.reset();
    State.ResumeTiming();
  }
  State.SetBytesProcessed(std::int64_t(State.iterations()) *
                          std::int64_t(Lists().EasyList.size() + Lists().EasyPrivacy.size()));
}
// The least is the cost on a quiet machine; the mean shows what sharing
// the cores with other work adds.
BENCHMARK(BM_ParseEasyListAndEasyPrivacy)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ComputeStatistics("min", [](const std::vector<double>& V) {
      return *std::min_element(V.begin(), V.end());
    });

// What a process pays on its first page with --block-ads --block-trackers:
// both files read, parsed and indexed, as SharedFilterSet does once.
void BM_LoadListFiles(benchmark::State& State) {
  if (!Lists().Found) return State.SkipWithError("lists not found");
  const std::string a = host::DefaultFilterListPath("easylist");
  const std::string b = host::DefaultFilterListPath("easyprivacy");
  for (auto _ : State) {
    auto set = std::make_unique<host::TFilterSet>();
    set->AddListFile(a);
    set->AddListFile(b);
    benchmark::DoNotOptimize(set->Blocks("https://a.test/", "", host::rtOther));
    State.PauseTiming();
    set.reset();
    State.ResumeTiming();
  }
}
BENCHMARK(BM_LoadListFiles)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ComputeStatistics("min", [](const std::vector<double>& V) {
      return *std::min_element(V.begin(), V.end());
    });

// A page's requests, a mix of ads, trackers and ordinary resources.
void BM_Blocks(benchmark::State& State) {
  if (!Lists().Found) return State.SkipWithError("lists not found");
  static const host::TFilterSet set = MakeSet();
  struct TRequest {
    const char* Url;
    host::TResourceType Type;
  };
  static const TRequest kRequests[] = {
      {"https://securepubads.g.doubleclick.net/tag/js/gpt.js", host::rtScript},
      {"https://www.google-analytics.com/analytics.js", host::rtScript},
      {"https://www.news-site.example/css/site.css?v=123", host::rtStylesheet},
      {"https://www.news-site.example/images/2024/05/photo-large.jpg", host::rtImage},
      {"https://cdn.jsdelivr.net/npm/jquery@3.7.1/dist/jquery.min.js", host::rtScript},
      {"https://fonts.gstatic.com/s/roboto/v30/KFOmCnqEu92Fr1Mu4mxK.woff2", host::rtFont},
      {"https://api.news-site.example/v2/comments?article=12345&page=2", host::rtXmlHttpRequest},
      {"https://static.criteo.net/js/ld/publishertag.js", host::rtScript},
  };
  std::size_t blocked = 0, n = 0;
  for (auto _ : State) {
    const TRequest& r = kRequests[n++ % std::size(kRequests)];
    blocked += set.Blocks(r.Url, "https://www.news-site.example/story.html", r.Type);
  }
  benchmark::DoNotOptimize(blocked);
  State.counters["blocked"] = double(blocked) / double(n);
}
BENCHMARK(BM_Blocks);

void BM_HidingCss(benchmark::State& State) {
  if (!Lists().Found) return State.SkipWithError("lists not found");
  static const host::TFilterSet set = MakeSet();
  std::size_t bytes = 0;
  for (auto _ : State) bytes = set.HidingCss("https://www.theguardian.com/world").size();
  State.counters["css_bytes"] = double(bytes);
}
BENCHMARK(BM_HidingCss)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
