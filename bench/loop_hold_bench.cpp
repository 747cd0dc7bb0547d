// How long one capture holds the message loop at a time: a 1 ms timer runs
// beside a TSitelens while it captures a local page, and the longest gap
// between two of its ticks (less the 1 ms) is the longest the loop was
// held. The views: the screen at 1920x1080, the same with the browser
// started for every capture (a program's first capture), a custom 1024x768
// area, a 1500x6000 page captured whole, whose images load lazily, and a
// page whose iframe navigates every 60 ms. Counters are in ms: the median
// and the worst of the captures' longest holds, and the median capture
// time.

#include <benchmark/benchmark.h>
#include <glib.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "capture/sitelens.h"
#include "host/browser/chromium_browser.h"
#include "host/forms/application.h"
#include "host/forms/screen.h"
#include "host/graphics/bitmap.h"

namespace {

std::string Folder() {
  static std::string Dir = [] {
    gchar* D = g_dir_make_tmp("snapkit-loop-bench-XXXXXX", nullptr);
    std::string S = D;
    g_free(D);
    host::TBitmap Tile;
    Tile.SetPixelFormat(host::pf24bit);
    Tile.SetSize(300, 200);
    Tile.Canvas().Brush.Color = host::RGB(40, 120, 200);
    Tile.Canvas().FillRect(host::Rect(0, 0, 300, 200));
    Tile.SaveToFile(S + "/tile.bmp");
    std::ofstream Page(S + "/page.html");
    Page << "<html><head><style>body{margin:0;font:16px sans-serif;"
            "background:linear-gradient(#fff,#dde)}h1{background:#246;color:#fff;margin:0;"
            "padding:20px}p{margin:16px 24px}</style></head><body><h1>A local page</h1>";
    for (int i = 0; i < 12; ++i)
      Page << "<p>Paragraph " << i << ": the quick brown fox jumps over the lazy dog.</p>";
    Page << "</body></html>";
    std::ofstream Long(S + "/long.html");
    Long << "<html><body style='margin:0;width:1500px;height:6000px;"
            "background:linear-gradient(#fff,#468)'>";
    for (int i = 0; i < 24; ++i)
      Long << "<img loading=lazy src='tile.bmp?" << i
           << "' style='position:absolute;left:" << (i % 4) * 360
           << "px;top:" << 300 + (i / 4) * 950 << "px'>";
    Long << "</body></html>";
    std::ofstream Busy(S + "/busy.html");
    Busy << "<html><body style='margin:0'><iframe id=f src='page.html'></iframe><script>"
            "let n = 0; setInterval(() => { document.getElementById('f').src ="
            " 'page.html?' + ++n; }, 60);</script></body></html>";
    return S;
  }();
  return Dir;
}

void Hold(benchmark::State& State, snapkit::TWebPageView View, const char* Page,
          bool ColdBrowser = false) {
  host::Screen->SetSize(1920, 1080);
  host::TComponent Form(nullptr);
  auto* Lens = new snapkit::TSitelens(&Form);
  Lens->SetBounds(0, 0, 320, 240);
  Lens->SetWebPageView(View);
  Lens->SetViewWidth(1024);
  Lens->SetViewHeight(768);
  bool Ready = false;
  std::string Error;
  Lens->OnWebImageReady = [&](host::TObject*, const std::string&) { Ready = true; };
  Lens->OnCaptureError = [&](host::TObject*, const std::string&, const std::string& Why) {
    Error = Why;
  };
  const std::string Url = "file://" + Folder() + "/" + Page;
  struct TTicks {
    gint64 Last = 0, Longest = 0;
  } Ticks;
  guint Timer = g_timeout_add(
      1,
      [](gpointer Data) -> gboolean {
        auto* T = static_cast<TTicks*>(Data);
        gint64 Now = g_get_monotonic_time();
        if (T->Last) T->Longest = std::max(T->Longest, Now - T->Last);
        T->Last = Now;
        return G_SOURCE_CONTINUE;
      },
      &Ticks);
  std::vector<double> Holds, Times;
  for (auto _ : State) {
    Ready = false;
    Lens->setUrl(std::string());
    if (ColdBrowser) host::TChromiumBrowser::Shared().Shutdown();
    host::Application->RunUntil([] { return false; }, 20);
    Ticks = TTicks{};
    gint64 Start = g_get_monotonic_time();
    Lens->setUrl(Url);
    if (!host::Application->RunUntil([&] { return Ready || !Error.empty(); }, 30000) || !Ready) {
      State.SkipWithError(Error.empty() ? "no capture within 30 s" : Error.c_str());
      break;
    }
    Times.push_back((g_get_monotonic_time() - Start) / 1000.0);
    Holds.push_back(std::max<gint64>(Ticks.Longest - 1000, 0) / 1000.0);
  }
  g_source_remove(Timer);
  if (Holds.empty()) return;
  std::sort(Holds.begin(), Holds.end());
  std::sort(Times.begin(), Times.end());
  State.counters["hold_median_ms"] = Holds[Holds.size() / 2];
  State.counters["hold_worst_ms"] = Holds.back();
  State.counters["capture_ms"] = Times[Times.size() / 2];
}

void BM_ScreenView(benchmark::State& State) { Hold(State, snapkit::wvScreen, "page.html"); }
void BM_FirstCapture(benchmark::State& State) { Hold(State, snapkit::wvScreen, "page.html", true); }
void BM_BusyFrame(benchmark::State& State) { Hold(State, snapkit::wvScreen, "busy.html"); }
void BM_CustomView(benchmark::State& State) { Hold(State, snapkit::wvCustom, "page.html"); }
void BM_FullPageLazyImages(benchmark::State& State) { Hold(State, snapkit::wvFull, "long.html"); }

}  // namespace

BENCHMARK(BM_ScreenView)->Iterations(15)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstCapture)->Iterations(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BusyFrame)->Iterations(15)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CustomView)->Iterations(15)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullPageLazyImages)->Iterations(8)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
