// snapkit capture: its arguments and lists as functions, and the program
// itself against pages served on the loopback address, its files read back
// by Pillow.

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
#include <set>
#include <sstream>
#include <thread>

#include "host/browser/chromium_browser.h"
#include "host/browser/testing/http_server.h"
#include "host/forms/application.h"
#include "host/graphics/testing/images.h"
#include "tools/capture_batch.h"
#include "tools/convert_command.h"

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
  };
  for (const auto& Args : Bad) EXPECT_THROW(ParseCaptureArgs(Args), TUsageError) << Args.back();

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
  for (const char* Bad : {"http://exa mple.com/", "http:///nohost", "ftp://example.org/",
                          "javascript:alert(1)", "no-such-file.html", "http://[::1/"}) {
    try {
      PageUrl(Bad);
      ADD_FAILURE() << Bad;
    } catch (const TCaptureFailure& F) {
      EXPECT_EQ(F.Code, ceMalformedUrl) << Bad;
    }
  }
}

TEST(CaptureBatchList, ShardsSplitTheURLLinesWithNoneLostOrTakenTwice) {
  std::string List = "# pages\n";
  for (int i = 0; i < 23; ++i)
    List += "http://127.0.0.1/p" + std::to_string(i) + (i % 5 ? "\n" : "\n\n");
  List += "http://127.0.0.1/named  front.png\n";
  std::multiset<std::string> Seen;
  for (int N : {1, 2, 3, 7, 30}) {
    Seen.clear();
    for (int K = 1; K <= N; ++K) {
      std::istringstream In(List);
      for (const TBatchEntry& E : ReadBatchList(In, "jpg", K, N)) Seen.insert(E.Url + " " + E.Name);
    }
    EXPECT_EQ(Seen.size(), 24u) << N;
    EXPECT_EQ(std::set<std::string>(Seen.begin(), Seen.end()).size(), 24u) << N;
  }
  EXPECT_EQ(Seen.count("http://127.0.0.1/named front.png"), 1u);
  EXPECT_EQ(Seen.count("http://127.0.0.1/p0 0002-127.0.0.1_p0.jpg"), 1u);
  std::istringstream Evil("http://a/ ../escape.png\n");
  EXPECT_THROW(ReadBatchList(Evil, "png"), TCaptureFailure);
}

// ---- the program -------------------------------------------------------------

class CaptureProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Server = new TTestServer;
    Server->Route("/page.html",
                  Page("<html><body style='margin:0;background:#00ff00'>"
                       "<div style='width:100px;height:2000px'></div></body></html>"));
    Server->Route("/late.html",
                  Page("<html><body style='margin:0;background:#ffffff'><script>onload = () => "
                       "setTimeout(() => document.body.style.background = '#ff0000', 300);"
                       "</script></body></html>"));
    Server->Route("/endless", host::testing::Unfinished("<html><body>still loading"));
    // Colours itself by whether a file of this machine could be read.
    Server->Route("/peek.html", Page("<html><body style='margin:0;background:#ffffff'><script>"
                                     "fetch('file:///etc/hostname').then(r => r.text())"
                                     ".then(() => document.body.style.background = '#ff0000',"
                                     "      () => document.body.style.background = '#0000ff');"
                                     "</script></body></html>"));
  }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }

  int Run(const std::string& Args, std::string* Output = nullptr) {
    std::string Cmd = std::string(SNAPKIT_PROGRAM) + " capture " + Args + " 2>&1";
    FILE* P = popen(Cmd.c_str(), "r");
    char Buf[4096];
    std::size_t N;
    std::string Out;
    while ((N = std::fread(Buf, 1, sizeof Buf, P)) > 0) Out.append(Buf, N);
    int Status = pclose(P);
    if (Output) *Output = Out;
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
  // Pillow's reading of the file: format, size and the colour near the
  // top-left corner, each channel as 0 or f (JPEG and resampling shift them).
  std::string Sees(const std::string& File) {
    std::string Out;
    host::testing::RunPython(
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
        "print(im.format, '%dx%d' % im.size, ''.join("
        "'f' if c >= 128 else '0' for c in im.convert('RGB').getpixel((2, 2))),"
        " end='')",
        {File}, &Out);
    return Out;
  }
  std::vector<std::string> Files() {
    std::vector<std::string> Names;
    for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
      Names.push_back(E.path().filename());
    std::sort(Names.begin(), Names.end());
    return Names;
  }

  static TTestServer* Server;
  host::testing::TScratchDir Dir;
};

TTestServer* CaptureProgram::Server = nullptr;

TEST_F(CaptureProgram, ViewsSizesAndFormats) {
  struct TCase {
    std::string Args;
    std::string File;
    std::string Seen;
  };
  const std::string Url = Server->Url("/page.html");
  const TCase Cases[] = {
      {"--size 320x240", "a.png", "PNG 320x180 0f0"},
      {"--screen 800x600", "b.jpg", "JPEG 800x600 0f0"},
      {"--screen 800x600 --view full", "c.bmp", "BMP 800x2000 0f0"},
      {"--view custom --area 1024x768 --size 320x240", "d.png", "PNG 320x240 0f0"},
      {"--view custom --area 400x300 --size 100x100 --stretch", "e", "BMP 100x100 0f0"},
  };
  for (const TCase& C : Cases) {
    std::string Out;
    EXPECT_EQ(Run(Url + " " + Dir.File(C.File) + " " + C.Args, &Out), 0) << C.Args << Out;
    EXPECT_EQ(Sees(Dir.File(C.File)), C.Seen) << C.Args;
  }
  // Nothing but the pictures was left in the folder.
  EXPECT_EQ(Files(), (std::vector<std::string>{"a.png", "b.jpg", "c.bmp", "d.png", "e"}));
}

TEST_F(CaptureProgram, EachFailureHasItsMessageAndExitCodeAndWritesNothing) {
  struct TCase {
    std::string Url;
    std::string More;
    int Exit;
    std::string Says;
  };
  const TCase Cases[] = {
      {"http://127.0.0.1:" + std::to_string(host::testing::ClosedPort()) + "/", "", ceUnreachable,
       "ERR_CONNECTION_REFUSED"},
      {Server->Url("/missing.html"), "", ceHttpError, "HTTP status 404"},
      {Server->Url("/endless"), "--timeout 1", ceTimedOut, "no complete page within 1 s"},
      {"http://exa mple.org/", "", ceMalformedUrl, "malformed URL"},
      {"nowhere.html", "", ceMalformedUrl, "neither a URL nor an existing file"},
      {Server->Url("/page.html"), "--size 10", ceUsage, "--size wants WxH"},
  };
  for (const TCase& C : Cases) {
    std::string Out;
    EXPECT_EQ(Run("'" + C.Url + "' " + Dir.File("out.png") + " " + C.More, &Out), C.Exit) << Out;
    EXPECT_NE(Out.find(C.Says), std::string::npos) << Out;
  }
  EXPECT_TRUE(Files().empty());
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

TEST_F(CaptureProgram, ABatchWritesTheGoodPagesAndReportsTheBadOnes) {
  std::string List = Dir.File("list.txt");
  std::ofstream(List) << "# good and bad\n"
                      << Server->Url("/page.html") << "\n"
                      << Server->Url("/missing.html") << " missing.png\n"
                      << "\n"
                      << Server->Url("/page.html") << " again.png\n"
                      << "http://127.0.0.1:" << host::testing::ClosedPort() << "/ closed.png\n";
  std::string Out;
  gint64 Before = g_get_real_time();
  EXPECT_EQ(Run("--batch " + List + " --out-dir " + Dir.File("out") + " --jobs 2 --size 64x64 " +
                    "--report " + Dir.File("report.json"),
                &Out),
            ceFailed)
      << Out;
  std::vector<std::string> Written;
  for (const auto& E : std::filesystem::directory_iterator(Dir.File("out")))
    Written.push_back(E.path().filename());
  std::sort(Written.begin(), Written.end());
  EXPECT_EQ(Written, (std::vector<std::string>{
                         "0002-127.0.0.1_" + std::to_string(Server->Port()) + "_page.html.png",
                         "again.png"}));
  EXPECT_EQ(Sees(Dir.File("out/again.png")), "PNG 64x36 0f0");
  std::ifstream Report(Dir.File("report.json"));
  std::string Line;
  int Lines = 0, Errors = 0;
  while (std::getline(Report, Line)) {
    ++Lines;
    Errors += Line.find("\"error\":null") == std::string::npos;
    // When each page was started, in UTC, to the millisecond.
    auto Entry = nlohmann::json::parse(Line);
    GDateTime* Started =
        g_date_time_new_from_iso8601(Entry["started"].get<std::string>().c_str(), nullptr);
    ASSERT_NE(Started, nullptr) << Line;
    gint64 Us =
        g_date_time_to_unix(Started) * G_USEC_PER_SEC + g_date_time_get_microsecond(Started);
    g_date_time_unref(Started);
    EXPECT_GE(Us, Before / 1000 * 1000) << Line;
    EXPECT_LE(Us, g_get_real_time()) << Line;
  }
  EXPECT_EQ(Lines, 4);
  EXPECT_EQ(Errors, 2);
  EXPECT_NE(Out.find("HTTP status 404"), std::string::npos) << Out;
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
    pid_t Child = fork();
    if (Child == 0) {
      setenv("TMPDIR", Tmp.c_str(), 1);
      std::string Out = Tmp + "/out.png";
      std::string Url = Server->Url("/endless");
      execl(SNAPKIT_PROGRAM, SNAPKIT_PROGRAM, "capture", Url.c_str(), Out.c_str(), "--timeout",
            "60", static_cast<char*>(nullptr));
      _exit(127);
    }
    auto Profiles = [&] {
      int N = 0;
      for (const auto& E : std::filesystem::recursive_directory_iterator(Tmp))
        N += E.path().filename().string().rfind("snapkit-chromium-", 0) == 0;
      return N;
    };
    for (int i = 0; i < 500 && Profiles() == 0; ++i) g_usleep(10 * 1000);
    ASSERT_EQ(Profiles(), 1);
    g_usleep(300 * 1000);  // loading by now
    ASSERT_EQ(kill(Child, Signal), 0);
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << Status;
    EXPECT_EQ(Profiles(), 0);
  }
}

}  // namespace
}  // namespace snapkit::tools
