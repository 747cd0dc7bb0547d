// snapkit capture: its arguments as functions, and the program itself
// against pages served on the loopback address, its files read back by
// Pillow. Batches are tested in capture_batch_*_test.cpp.

#include "tools/capture_command.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "host/browser/chromium_browser.h"
#include "host/browser/testing/http_server.h"
#include "host/forms/application.h"
#include "host/graphics/testing/images.h"
#include "tools/batch_report.h"
#include "tools/capture_batch.h"
#include "tools/convert_command.h"
#include "tools/scheduler_shard.h"
#include "tools/testing/capture_program.h"

namespace snapkit::tools {
namespace {

using host::testing::Page;
using host::testing::TTestServer;

TEST(CaptureArgs, MistakesAreUsageErrors) {
  const std::vector<std::vector<std::string>> Bad = {
      {"http://a/"},
      {"http://a/", "a.png", "b.png"},
      {"http://a/", "a.png", "--size", "320"},
      {"http://a/", "a.png", "--stretch"},
      {"http://a/", "a.png", "--view", "page"},
      {"http://a/", "a.png", "--area", "100x100"},
      {"http://a/", "a.png", "--timeout", "0"},
      {"http://a/", "a.png", "--count", "3"},
      {"http://a/", "a.png", "--jobs", "2"},
      {"--batch", "list.txt"},
      {"--batch", "list.txt", "--out-dir", "d", "--shard", "3/2"},
      {"--batch", "list.txt", "--out-dir", "d", "--format", "gif"},
      {"--batch", "list.txt", "--out-dir", "d", "http://a/"},
      {"--batch", "list.txt", "--out-dir", "d", "--shard", "2"},
      {"--batch", "list.txt", "--out-dir", "d", "--shard", "auto/0"},
      {"--batch", "list.txt", "--out-dir", "d", "--shard", "auto/x"},
      {"--batch", "list.txt", "--out-dir", "d", "--shard", "automatic"},
      // --resume reads what the runs before reported.
      {"--batch", "list.txt", "--out-dir", "d", "--resume"},
      {"http://a/", "a.png", "--resume"},
      {"http://a/", "a.png", "--report", "r.json"},
      // Formats: by extension, else --format; never a guess.
      {"http://a/", "a.gif"},
      {"http://a/", "a.tif"},
      {"http://a/", "a"},
      {"http://a/", "-"},
      {"http://a/", "a.png", "--format", "jpg"},
      {"http://a/", "-", "--format", "jpe"},
      {"http://a/", "-", "--format", "png", "--every", "1"},
      // The page's options.
      {"http://a/", "a.png", "--scale", "0"},
      {"http://a/", "a.png", "--scale", "9"},
      {"http://a/", "a.png", "--scale", "2x"},
      {"http://a/", "a.png", "--quality", "80"},
      {"http://a/", "a.jpg", "--quality", "0"},
      {"--batch", "list.txt", "--out-dir", "d", "--quality", "80"},
      {"--batch", "list.txt", "--out-dir", "d", "--lossless"},
      {"--batch", "list.txt", "--out-dir", "d", "--format", "avif", "--lossless"},
      {"http://a/", "a.png", "--lossless"},
      {"http://a/", "a.avif", "--lossless"},
      {"http://a/", "a.webp", "--lossless", "--quality", "80"},
      {"http://a/", "a.png", "--format", "webp"},
      {"http://a/", "a.png", "--header", "X-No-Colon"},
      {"http://a/", "a.png", "--header", "Bad Name: v"},
      {"http://a/", "a.png", "--header", ": v"},
      {"http://a/", "a.png", "--color-scheme", "blue"},
      {"http://a/", "a.png", "--user-agent", ""},
      {"http://a/", "a.png", "--wait-for", "js:"},
      {"http://a/", "a.png", "--css", "/"},  // a folder
      {"http://a/", "a.png", "--wait-until", "idle"},
      {"http://a/", "a.png", "--wait-until"},
      // Cookies, proxy.
      {"http://a/", "a.png", "--cookie", "novalue"},
      {"http://a/", "a.png", "--cookies", "/nonexistent/cookies.txt"},
      {"http://a/", "a.png", "--cookie"},
      {"http://a/", "a.png", "--proxy", "ftp://h:21"},
      {"http://a/", "a.png", "--proxy", "http://user:pw@h:3128"},
      // Ads, trackers and logins.
      {"http://a/", "a.png", "--filter-list", "/nonexistent/list.txt"},
      {"http://a/", "a.png", "--block-ads", "--filter-list"},
      {"http://a/", "a.png", "--auth", "nobody"},
      {"http://a/", "a.png", "--auth", "@/nonexistent/login"},
      {"http://a/", "a.png", "--auth"},
  };
  for (const auto& Args : Bad) EXPECT_THROW(ParseCaptureArgs(Args), TUsageError) << Args.back();
  // What the control's setters refuse is named by its option.
  for (const auto& [Option, Value] :
       std::vector<std::pair<std::string, std::string>>{{"--scale", "9"},
                                                        {"--header", "Bad Name: v"},
                                                        {"--header", "X-A: one\ntwo"},
                                                        {"--color-scheme", "blue"},
                                                        {"--user-agent", "one\ntwo"}}) {
    try {
      ParseCaptureArgs({"http://a/", "a.png", Option, Value});
      ADD_FAILURE() << Option << " " << Value;
    } catch (const TUsageError& E) {
      EXPECT_EQ(E.Message.rfind(Option + ": ", 0), 0u) << E.Message;
    }
  }

  TCaptureOptions O = ParseCaptureArgs({"http://a/", "a.png", "--size", "320x240", "--stretch",
                                        "--view", "custom", "--area", "1024x768", "--timeout",
                                        "2.5", "--delay", "500", "--screen", "800x600"});
  EXPECT_EQ(O.Width, 320);
  EXPECT_EQ(O.Height, 240);
  EXPECT_TRUE(O.Stretch);
  EXPECT_EQ(O.View, wvCustom);
  EXPECT_EQ(O.AreaWidth, 1024);
  EXPECT_EQ(O.TimeoutMs, 2500);
  EXPECT_EQ(O.DelayMs, 500);
  EXPECT_EQ(O.ScreenWidth, 800);
  host::testing::TScratchDir Dir;
  std::ofstream(Dir.File("a.css")) << "p { color: red }";
  O = ParseCaptureArgs({"http://a/", "a.jpg", "--scale", "1.5", "--quality", "40", "--header",
                        "X-A:  one two ", "--header", "X-B:", "--color-scheme", "dark",
                        "--no-local", "--css", Dir.File("a.css")});
  EXPECT_EQ(O.Scale, 1.5);
  EXPECT_EQ(O.Quality, 40);
  EXPECT_EQ(O.Headers,
            (std::vector<std::pair<std::string, std::string>>{{"X-A", "one two"}, {"X-B", ""}}));
  EXPECT_EQ(O.ColorScheme, "dark");
  EXPECT_TRUE(O.NoLocal);
  EXPECT_EQ(O.StyleSheet, "p { color: red }");
  // A file that cannot be read is named at once.
  try {
    ParseCaptureArgs({"http://a/", "a.png", "--javascript", Dir.File("none.js")});
    ADD_FAILURE();
  } catch (const TUsageError& E) {
    EXPECT_NE(E.Message.find("--javascript: cannot read " + Dir.File("none.js")), std::string::npos)
        << E.Message;
  }
  for (const std::vector<std::string>& Good :
       {std::vector<std::string>{"http://a/", "a.JPEG"},
        {"--batch", "l", "--out-dir", "d", "--quality", "80", "--format", "jpg"},
        {"http://a/", "a.gif", "--format", "png"},
        {"http://a/", "a.webp", "--lossless"},
        {"http://a/", "a.AVIF", "--quality", "50"},
        {"http://a/", "-", "--format", "webp", "--quality", "70"},
        {"--batch", "l", "--out-dir", "d", "--format", "avif", "--quality", "60"},
        {"http://a/", "a.Jpe", "--format", "jpg"},
        {"http://a/", "-", "--format", "BMP"}})
    EXPECT_NO_THROW(ParseCaptureArgs(Good)) << Good[1];
}

TEST(CaptureArgs, PageURLs) {
  char Cwd[4096];
  ASSERT_TRUE(getcwd(Cwd, sizeof Cwd));
  std::string File = std::string(Cwd) + "/page with space.html";
  std::ofstream(File) << "<p>x</p>";
  EXPECT_EQ(PageUrl("page with space.html"),
            "file://" + std::string(Cwd) + "/page%20with%20space.html");
  std::remove(File.c_str());
  for (const char* Good : {"http://127.0.0.1:8080/a?b=c#d", "https://example.org/", "about:blank",
                           "file:///tmp/x.html", "data:text/html,hi"})
    EXPECT_EQ(PageUrl(Good), Good);
  for (const std::string& Bad :
       {std::string("http://exa mple.com/"), std::string("http:///nohost"),
        std::string("ftp://example.org/"), std::string("javascript:alert(1)"),
        std::string("no-such-file.html"), std::string("http://[::1/"), std::string("/\0x", 3)}) {
    try {
      PageUrl(Bad);
      ADD_FAILURE() << Bad;
    } catch (const TCaptureFailure& F) {
      EXPECT_EQ(F.Code, ceMalformedUrl) << Bad;
    }
  }
}

// ---- the program -------------------------------------------------------------

using testing::CaptureProgram;
using testing::ProfilesUnder;
using testing::StartProgram;

TEST_F(CaptureProgram, ViewsSizesAndFormats) {
  struct TCase {
    std::string Args;
    std::string File;
    std::string Seen;
    std::string Path = "/page.html";
  };
  const TCase Cases[] = {
      {"--size 320x240", "a.png", "PNG 320x180 0f0"},
      {"--screen 800x600", "b.jpg", "JPEG 800x600 0f0"},
      {"--screen 800x600 --view full", "c.bmp", "BMP 800x2000 0f0"},
      {"--view custom --area 1024x768 --size 320x240", "d.png", "PNG 320x240 0f0"},
      {"--view custom --area 400x300 --size 100x100 --stretch --format bmp", "e",
       "BMP 100x100 0f0"},
      {"--screen 300x200", "f.jpeg", "JPEG 300x200 0f0"},
      {"--screen 300x200", "g.JPE", "JPEG 300x200 0f0"},
      {"--screen 300x200", "h.Bmp", "BMP 300x200 0f0"},
      {"--screen 300x200 --format png", "i.tif", "PNG 300x200 0f0"},
      {"--screen 300x200 --lossless", "m.WebP", "WEBP 300x200 0f0"},
      {"--screen 300x200 --format webp --quality 50", "-", "WEBP 300x200 0f0"},
      {"--screen 300x200 --format jpg", "-", "JPEG 300x200 0f0"},
      {"--screen 300x200 --size 30x20 --format png", "-", "PNG 30x20 0f0"},
      // The custom area is the screen the page is laid out for, unless one is given.
      {"--view custom --area 1024x768", "j.png", "PNG 1024x768 00f", "/wide.html"},
      {"--view custom --area 1024x768 --screen 1920x1080", "k.png", "PNG 1024x768 0f0",
       "/wide.html"},
      // A thumbnail drawn at its own size.
      {"--view custom --area 1024x768 --scale 0.3125", "l.png", "PNG 320x240 0f0"},
  };
  for (const TCase& C : Cases) {
    std::string Out;
    const bool ToStdout = C.File == "-";
    const std::string File = Dir.File(ToStdout ? "stdout" : C.File);
    EXPECT_EQ(Run(Server->Url(C.Path) + " " + (ToStdout ? "-" : File) + " " + C.Args, &Out,
                  ToStdout ? File : std::string()),
              0)
        << C.Args << Out;
    EXPECT_EQ(Sees(File), C.Seen) << C.Args;
  }
  // Nothing but the pictures was left in the folder.
  EXPECT_EQ(Files(), (std::vector<std::string>{"a.png", "b.jpg", "c.bmp", "d.png", "e", "f.jpeg",
                                               "g.JPE", "h.Bmp", "i.tif", "j.png", "k.png", "l.png",
                                               "m.WebP", "stdout"}));
}

TEST_F(CaptureProgram, EachFailureHasItsMessageAndExitCodeAndWritesNothing) {
  struct TCase {
    std::string Url;
    std::string More;
    int Exit;
    std::string Says;
    std::string Out = "out.png";
    double Seconds = 0;  // > 0: it ends after this long and not much later
  };
  ASSERT_EQ(::mkdir(Dir.File("taken.png").c_str(), 0777), 0);
  host::testing::TScratchDir Aside;
  std::ofstream(Aside.File("throws.js")) << "document.title = 'x';\nthrow new Error('boom');\n";
  std::ofstream(Aside.File("local.html")) << "<p>here</p>";
  const TCase Cases[] = {
      {"http://127.0.0.1:" + std::to_string(host::testing::ClosedPort()) + "/", "", ceUnreachable,
       "ERR_CONNECTION_REFUSED"},
      {Server->Url("/missing.html"), "", ceHttpError, "HTTP status 404"},
      {Server->Url("/login"), "", ceHttpError, "asks for a login (HTTP 401)"},
      {Server->Url("/endless"), "--timeout 1", ceTimedOut, "no complete page within 1 s"},
      {"http://exa mple.org/", "", ceMalformedUrl, "malformed URL"},
      {"nowhere.html", "", ceMalformedUrl, "neither a URL nor an existing file"},
      {Server->Url("/page.html"), "--size 10", ceUsage, "--size wants WxH"},
      {Server->Url("/page.html"), "", ceUsage, "out.gif: the extension names no", "out.gif"},
      {Server->Url("/page.html"), "", ceUsage, "standard output needs --format", "-"},
      // The folder is checked first: the endless page would time out.
      {Server->Url("/endless"), "--timeout 5", ceFailed,
       "the folder " + Dir.File("none") + " does not exist", "none/out.png"},
      {Server->Url("/page.html"), "", ceFailed, "Cannot create file \"" + Dir.File("taken.png"),
       "taken.png"},
      // What the page's options cannot do.
      {Server->Url("/box.html"), "--selector '#none'", ceFailed,
       "No element matches the selector #none"},
      {Server->Url("/box.html"), "--selector 'p:bad('", ceFailed, "Not a CSS selector: p:bad("},
      {Server->Url("/later.html"), "--wait-for '#never' --timeout 2", ceTimedOut,
       "no complete page within 2 s (still waiting for the selector #never to match)", "out.png",
       2},
      {Server->Url("/box.html"), "--wait-for 'js:window.app.ready' --timeout 1.5", ceTimedOut,
       "(still waiting for window.app.ready to be true)", "out.png", 1.5},
      {Server->Url("/box.html"), "--wait-for ')('", ceFailed,
       "Neither a CSS selector nor a JavaScript expression: )("},
      {Server->Url("/box.html"), "--javascript " + Aside.File("throws.js"), ceFailed,
       "The script failed: Error: boom"},
      {Server->Url("/box.html"), "--hide 'p:bad('", ceFailed, "Not a CSS selector: p:bad("},
      {Server->Url("/box.html"), "--css " + Aside.File("none.css"), ceUsage,
       "--css: cannot read " + Aside.File("none.css")},
      {Server->Url("/box.html"), "--quality 50", ceUsage,
       "--quality is for JPEG, WebP and AVIF, and the output is PNG"},
      {Aside.File("local.html"), "--no-local", ceMalformedUrl,
       "local files are refused (--no-local): " + Aside.File("local.html")},
      {"FILE://" + Aside.File("local.html"), "--no-local", ceMalformedUrl,
       "local files are refused (--no-local): FILE://"},
  };
  for (const TCase& C : Cases) {
    std::string Out;
    const std::string File = C.Out == "-" ? C.Out : Dir.File(C.Out);
    const gint64 Start = g_get_monotonic_time();
    EXPECT_EQ(Run("'" + C.Url + "' " + File + " " + C.More, &Out), C.Exit) << Out;
    const double Took = double(g_get_monotonic_time() - Start) / 1e6;
    if (C.Seconds > 0) {
      EXPECT_GE(Took, C.Seconds) << Out;
      EXPECT_LE(Took, C.Seconds + 1.5) << Out;
    }
    EXPECT_NE(Out.find(C.Says), std::string::npos) << Out;
    // The messages name OUT, never the hidden name it is written under.
    EXPECT_EQ(Out.find(".part-"), std::string::npos) << Out;
    // A wrong command line is one line and where the help is, not the help.
    if (C.Exit == ceUsage) {
      EXPECT_EQ(Out.substr(Out.find('\n') + 1), "Try 'snapkit capture --help'\n") << Out;
    }
  }
  EXPECT_EQ(Files(), std::vector<std::string>{"taken.png"});
}

TEST_F(CaptureProgram, LatePaintingNeedsADelayAndAPageCannotReadLocalFiles) {
  EXPECT_EQ(Run(Server->Url("/late.html") + " " + Dir.File("soon.png") + " --screen 400x300"), 0);
  EXPECT_EQ(Sees(Dir.File("soon.png")), "PNG 400x300 fff");
  EXPECT_EQ(
      Run(Server->Url("/late.html") + " " + Dir.File("late.png") + " --screen 400x300 --delay 500"),
      0);
  EXPECT_EQ(Sees(Dir.File("late.png")), "PNG 400x300 f00");
  // Blue: the page's attempt to read a file failed, and it still was captured.
  EXPECT_EQ(
      Run(Server->Url("/peek.html") + " " + Dir.File("peek.png") + " --screen 400x300 --delay 300"),
      0);
  EXPECT_EQ(Sees(Dir.File("peek.png")), "PNG 400x300 00f");
}

TEST_F(CaptureProgram, AgainAndAgainReplacesTheFileWholeEachTime) {
  std::string File = Dir.File("live.png");
  std::atomic<bool> Stop{false};
  // A version is a file of its own: inode and time (a freed inode number
  // may come back for a later version).
  std::set<std::pair<ino_t, long long>> Versions;
  int Partial = 0;
  std::thread Reader([&] {
    while (!Stop) {
      int Fd = ::open(File.c_str(), O_RDONLY);
      if (Fd >= 0) {
        struct stat St;
        std::string Bytes;
        char Buf[65536];
        ssize_t N;
        while ((N = ::read(Fd, Buf, sizeof Buf)) > 0) Bytes.append(Buf, std::size_t(N));
        if (::fstat(Fd, &St) == 0)
          Versions.insert({St.st_ino, St.st_mtim.tv_sec * 1000000000LL + St.st_mtim.tv_nsec});
        ::close(Fd);
        bool Whole = Bytes.size() > 20 && Bytes.compare(1, 3, "PNG") == 0 &&
                     Bytes.compare(Bytes.size() - 8, 4, "IEND") == 0;
        if (!Whole) ++Partial;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::string Out;
  int Exit =
      Run(Server->Url("/page.html") + " " + File + " --screen 400x300 --every 0.4 --count 3", &Out);
  Stop = true;
  Reader.join();
  EXPECT_EQ(Exit, 0) << Out;
  EXPECT_EQ(Partial, 0);
  EXPECT_EQ(Versions.size(), 3u);
  EXPECT_EQ(Files(), std::vector<std::string>{"live.png"});
}

TEST_F(CaptureProgram, AgainAndAgainGoesOnWhenThePageStopsAnswering) {
  Server->Route("/flaky.html", Page("<html><body style='background:#00ff00'></body></html>"));
  std::string File = Dir.File("flaky.png");
  std::string Out;
  int Exit = -1;
  std::thread Program([&] {
    Exit = Run(Server->Url("/flaky.html") + " " + File +
                   " --screen 200x150 --every 0.3 --count 3 --timeout 3",
               &Out);
  });
  for (int i = 0; i < 1000 && ::access(File.c_str(), F_OK) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  Server->Route("/flaky.html", host::testing::Unfinished("<html><body>"));
  Program.join();
  EXPECT_EQ(Exit, ceFailed) << Out;
  EXPECT_NE(Out.find("no new capture within"), std::string::npos) << Out;
  EXPECT_EQ(Sees(File), "PNG 200x150 0f0");
}

// The browser is driven over its pipe: none of its processes listens on a
// TCP port while a page is being captured.
TEST_F(CaptureProgram, NoBrowserProcessListensOnAPort) {
  host::TComponent Form(nullptr);
  auto* Lens = new TSitelens(&Form);
  Lens->setUrl(Server->Url("/endless"));
  // The browser starts from the loop, and the page loads meanwhile.
  host::Application->RunUntil([] { return false; }, 500);
  pid_t Browser = host::TChromiumBrowser::Shared().Pid();
  ASSERT_GT(Browser, 0);

  // The browser and every process below it.
  std::map<pid_t, pid_t> Parents;
  for (const auto& E : std::filesystem::directory_iterator("/proc")) {
    std::ifstream Stat(E.path() / "stat");
    std::string Line;
    if (!std::getline(Stat, Line) || Line.rfind(')') == std::string::npos) continue;
    std::istringstream Rest(Line.substr(Line.rfind(')') + 2));
    char State;
    pid_t Parent;
    Rest >> State >> Parent;
    Parents[std::atoi(E.path().filename().c_str())] = Parent;
  }
  std::set<pid_t> Tree{Browser};
  for (bool Grew = true; Grew;) {
    Grew = false;
    for (auto [Pid, Parent] : Parents)
      if (Tree.count(Parent) && Tree.insert(Pid).second) Grew = true;
  }
  EXPECT_GT(Tree.size(), 1u);  // renderers and helpers too

  std::set<std::string> Sockets;
  for (pid_t Pid : Tree) {
    std::error_code Ignored;
    for (const auto& Fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(Pid) + "/fd", Ignored)) {
      std::string Target = std::filesystem::read_symlink(Fd.path(), Ignored);
      if (Target.rfind("socket:[", 0) == 0) Sockets.insert(Target.substr(8, Target.size() - 9));
    }
  }
  EXPECT_FALSE(Sockets.empty());
  for (const char* Table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream In(Table);
    std::string Line;
    std::getline(In, Line);
    while (std::getline(In, Line)) {
      std::istringstream Fields(Line);
      std::string Slot, Local, Remote, State, Queues, Timer, Retransmits, Uid, Timeout, Inode;
      Fields >> Slot >> Local >> Remote >> State >> Queues >> Timer >> Retransmits >> Uid >>
          Timeout >> Inode;
      if (State == "0A") {
        EXPECT_EQ(Sockets.count(Inode), 0u) << Table << ": " << Local;
      }
    }
  }
}

// A capture ended by the signals a terminal or a scheduler sends leaves no
// browser profile behind, and ends as the signal says.
TEST_F(CaptureProgram, ASignalEndsTheCaptureAndRemovesTheBrowsersProfile) {
  for (int Signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(Signal);
    std::string Tmp = Dir.File("signal" + std::to_string(Signal));
    std::filesystem::create_directories(Tmp);
    pid_t Child = StartProgram(
        {"capture", Server->Url("/endless"), Tmp + "/out.png", "--timeout", "60"}, {.TmpDir = Tmp});
    for (int i = 0; i < 500 && ProfilesUnder(Tmp) == 0; ++i) g_usleep(10 * 1000);
    ASSERT_EQ(ProfilesUnder(Tmp), 1);
    g_usleep(300 * 1000);  // loading by now
    ASSERT_EQ(kill(Child, Signal), 0);
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << Status;
    EXPECT_EQ(ProfilesUnder(Tmp), 0);
  }
}

}  // namespace
}  // namespace snapkit::tools
