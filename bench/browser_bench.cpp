// A warm capture: navigate to a local page, wait for it to load and draw a
// 1024x768 picture of it. TWebBrowser (Navigate, OnDocumentComplete with the
// ready state complete, IViewObject::Draw into a 24-bit bitmap) against a
// plain DevTools client on a browser of its own doing the same steps
// (Page.navigate, wait for the load event, Page.captureScreenshot and base64
// decoding of the PNG), with and without optimizeForSpeed. Each iteration
// runs all three in rotating order; the counters are medians in ms of wall
// time (the work is in the browser's processes) and ours over the plain
// client's.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <glib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/plain_devtools_client.h"
#include "host/browser/web_browser.h"
#include "host/forms/application.h"
#include "host/graphics/bitmap.h"

extern char** environ;

namespace {

using json = nlohmann::json;

constexpr int kWidth = 1024, kHeight = 768;

std::string PageFile() {
  static std::string Path = [] {
    gchar* Dir = g_dir_make_tmp("snapkit-browser-bench-XXXXXX", nullptr);
    std::string P = std::string(Dir) + "/page.html";
    g_free(Dir);
    std::ofstream Out(P);
    Out << "<html><head><style>body{margin:0;font:16px sans-serif;"
           "background:linear-gradient(#fff,#dde)}"
           "h1{background:#246;color:#fff;margin:0;padding:20px}"
           "p{margin:16px 24px}div.box{display:inline-block;width:180px;height:90px;"
           "margin:12px;background:#c84;border-radius:8px}</style></head><body>"
           "<h1>A local page</h1>";
    for (int i = 0; i < 8; ++i)
      Out << "<p>Paragraph " << i
          << ": the quick brown fox jumps over the lazy dog, again and again, so that the "
             "line wraps at least once on a page of this width.</p>";
    for (int i = 0; i < 8; ++i) Out << "<div class=box></div>";
    Out << "</body></html>";
    return P;
  }();
  return Path;
}

std::string PageUrl(int N) { return "file://" + PageFile() + "?n=" + std::to_string(N); }

double NowMs() { return static_cast<double>(g_get_monotonic_time()) / 1000.0; }

// ---- ours --------------------------------------------------------------------

struct Ours {
  host::TWebBrowser Browser{nullptr};
  host::TBitmap Picture;
  bool Complete = false;
  Ours() {
    Browser.SetBounds(0, 0, kWidth, kHeight);
    Picture.SetPixelFormat(host::pf24bit);
    Picture.SetSize(kWidth, kHeight);
    Browser.OnDocumentComplete = [this](host::TObject*, host::IDispatch*, const host::OleVariant&) {
      if (Browser.ReadyState() == host::READYSTATE_COMPLETE) Complete = true;
    };
  }
  void Capture(const std::string& Url) {
    Complete = false;
    Browser.Navigate(Url);
    if (!host::Application->RunUntil([&] { return Complete; }, 30000))
      throw std::runtime_error("page did not complete");
    host::TRect R = host::Rect(0, 0, kWidth, kHeight);
    auto* View = dynamic_cast<host::IViewObject*>(Browser.GetControlInterface());
    if (View->Draw(host::DVASPECT_CONTENT, 1, nullptr, nullptr, nullptr, &Picture.Canvas(), &R,
                   nullptr, nullptr, 0) != 0)
      throw std::runtime_error("draw failed");
  }
};

double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  return V.empty() ? 0 : V[V.size() / 2];
}

void BM_WarmCapture(benchmark::State& State) {
  Ours Mine;
  snapkit::bench::TPlainClient Plain(
      "/usr/bin/chromium",
      {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
       "--disable-background-networking", "--disable-sync", "--mute-audio",
       "--disable-component-update", "--disable-back-forward-cache", "--disable-extensions"},
      kWidth, kHeight);
  int N = 0;
  for (int i = 0; i < 3; ++i) {  // warm both browsers up
    Mine.Capture(PageUrl(++N));
    Plain.Capture(PageUrl(++N), false);
    Plain.Capture(PageUrl(++N), true);
  }
  std::vector<double> TOurs, TPlain, TPlainFast;
  int Round = 0;
  for (auto _ : State) {
    for (int k = 0; k < 3; ++k) {
      int Which = (Round + k) % 3;
      double T0 = NowMs();
      if (Which == 0) {
        Mine.Capture(PageUrl(++N));
        TOurs.push_back(NowMs() - T0);
      } else if (Which == 1) {
        benchmark::DoNotOptimize(Plain.Capture(PageUrl(++N), false));
        TPlain.push_back(NowMs() - T0);
      } else {
        benchmark::DoNotOptimize(Plain.Capture(PageUrl(++N), true));
        TPlainFast.push_back(NowMs() - T0);
      }
    }
    ++Round;
  }
  double O = Median(TOurs), P = Median(TPlain), F = Median(TPlainFast);
  State.counters["ours_ms"] = O;
  State.counters["plain_ms"] = P;
  State.counters["plain_fast_ms"] = F;
  State.counters["ours_over_plain"] = O / P;
  State.counters["ours_over_plain_fast"] = O / F;
  std::remove(PageFile().c_str());
  rmdir(PageFile().substr(0, PageFile().rfind('/')).c_str());
}
BENCHMARK(BM_WarmCapture)->Iterations(30)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
