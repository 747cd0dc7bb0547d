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

// ---- the plain client --------------------------------------------------------

class PlainClient {
 public:
  PlainClient() {
    int In[2], Out[2];
    if (pipe(In) != 0 || pipe(Out) != 0) throw std::runtime_error("pipe");
    // Above 10 first: the child's 3 and 4 must not be our own ends.
    int ChildIn = fcntl(In[0], F_DUPFD_CLOEXEC, 10), ChildOut = fcntl(Out[1], F_DUPFD_CLOEXEC, 10);
    close(In[0]);
    close(Out[1]);
    gchar* Dir = g_dir_make_tmp("snapkit-plain-XXXXXX", nullptr);
    Profile = Dir;
    g_free(Dir);
    std::vector<std::string> Args = {"/usr/bin/chromium",
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-sync",
                                     "--mute-audio",
                                     "--disable-component-update",
                                     "--disable-back-forward-cache",
                                     "--disable-extensions",
                                     "--remote-debugging-pipe",
                                     "--user-data-dir=" + Profile};
    std::vector<char*> Argv;
    for (auto& A : Args) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, ChildIn, 3);
    posix_spawn_file_actions_adddup2(&Actions, ChildOut, 4);
    posix_spawn_file_actions_addopen(&Actions, 2, (Profile + "/log").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ) != 0)
      throw std::runtime_error("spawn");
    posix_spawn_file_actions_destroy(&Actions);
    close(ChildIn);
    close(ChildOut);
    WriteFd = In[1];
    ReadFd = Out[0];
    std::string Target = Call("Target.createTarget", {{"url", "about:blank"}})["targetId"];
    Session = Call("Target.attachToTarget", {{"targetId", Target}, {"flatten", true}})["sessionId"];
    Call("Page.enable", json::object(), Session);
    Call("Emulation.setDeviceMetricsOverride",
         {{"width", kWidth}, {"height", kHeight}, {"deviceScaleFactor", 1}, {"mobile", false}},
         Session);
  }
  ~PlainClient() {
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    close(WriteFd);
    close(ReadFd);
    std::string Cmd = "rm -rf '" + Profile + "'";
    if (system(Cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", Profile.c_str());
  }

  // Navigate, wait for the load event, capture; returns the PNG's size.
  std::size_t Capture(const std::string& Url, bool Fast) {
    Loaded = false;
    Call("Page.navigate", {{"url", Url}}, Session);
    while (!Loaded) Handle(Next());
    json Params = {{"format", "png"}};
    if (Fast) Params["optimizeForSpeed"] = true;
    std::string Data = Call("Page.captureScreenshot", Params, Session)["data"];
    gsize Size = 0;
    guchar* Png = g_base64_decode(Data.c_str(), &Size);
    g_free(Png);
    return Size;
  }

 private:
  json Call(const std::string& Method, const json& Params, const std::string& Sid = {}) {
    json M = {{"id", ++LastId}, {"method", Method}, {"params", Params}};
    if (!Sid.empty()) M["sessionId"] = Sid;
    std::string Text = M.dump();
    Text.push_back('\0');
    if (write(WriteFd, Text.data(), Text.size()) != static_cast<ssize_t>(Text.size()))
      throw std::runtime_error("write");
    for (;;) {
      json R = Next();
      if (R.contains("id") && R["id"] == LastId) {
        if (R.contains("error")) throw std::runtime_error(R["error"].dump());
        return R["result"];
      }
      Handle(R);
    }
  }
  void Handle(const json& Event) {
    if (Event.value("method", "") == "Page.loadEventFired") Loaded = true;
  }
  json Next() {
    for (;;) {
      std::size_t End = Buffer.find('\0');
      if (End != std::string::npos) {
        json M = json::parse(Buffer.begin(), Buffer.begin() + static_cast<long>(End));
        Buffer.erase(0, End + 1);
        return M;
      }
      char Chunk[65536];
      ssize_t N = read(ReadFd, Chunk, sizeof Chunk);
      if (N <= 0) throw std::runtime_error("browser gone");
      Buffer.append(Chunk, static_cast<std::size_t>(N));
    }
  }

  pid_t Pid = -1;
  int WriteFd = -1, ReadFd = -1;
  int LastId = 0;
  bool Loaded = false;
  std::string Buffer, Session, Profile;
};

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
  PlainClient Plain;
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
