// Schedulers kill and stop batches at moments of their own choosing: the
// batch must resume with nothing lost or written twice, and leave no browser
// behind.

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/browser/testing/http_server.h"
#include "host/graphics/testing/images.h"
#include "tools/testing/capture_program.h"

namespace snapkit::tools {
namespace {

using host::testing::Page;
using testing::CaptureProgram;
using testing::ProfilesUnder;
using testing::ReadFile;
using testing::Reap;
using testing::ReportByLine;

// The capture command with Args, TMPDIR set to Tmp and both outputs in Log.
pid_t Spawn(std::vector<std::string> Args, const std::string& Tmp, const std::string& Log) {
  Args.insert(Args.begin(), "capture");
  return testing::StartProgram(Args, {Tmp, Log, Log});
}

// Every picture in Folder as Pillow sees it after checking it whole:
// name, format, size and top-left colour, one a line.
std::map<std::string, std::string> SeenByPillow(const std::string& Folder) {
  std::string Out;
  host::testing::RunPython(
      "import os, sys\nfrom PIL import Image\n"
      "for n in sorted(os.listdir(sys.argv[1])):\n"
      "  p = os.path.join(sys.argv[1], n)\n"
      "  try:\n"
      "    Image.open(p).verify()\n"
      "    im = Image.open(p); im.load()\n"
      "    print(n, im.format, '%dx%d' % im.size, ''.join("
      "'f' if c >= 128 else '0' for c in im.convert('RGB').getpixel((2, 2))))\n"
      "  except Exception as e:\n"
      "    print(n, 'broken', type(e).__name__)\n",
      {Folder}, &Out);
  std::map<std::string, std::string> Seen;
  std::istringstream Lines(Out);
  std::string Line;
  while (std::getline(Lines, Line))
    Seen[Line.substr(0, Line.find(' '))] = Line.substr(Line.find(' ') + 1);
  return Seen;
}

// Killed at random moments, by a signal that cannot be caught, and resumed
// until it says it is done: every page is written once, whole and the right
// one, and reported once, whatever the moments were. Now and then the
// report's last line is cut in half, as a run of an older program could
// have left it: that page is captured again.
TEST_F(CaptureProgram, ABatchKilledAtAnyMomentResumesWithNothingLostOrTwice) {
  const char* Colours[] = {"#00ff00", "#ff0000", "#0000ff"};
  const char* Seen[] = {"0f0", "f00", "00f"};
  constexpr int Pages = 18;
  std::string List;
  for (int i = 0; i < Pages; ++i) {
    std::string Path = "/kill" + std::to_string(i) + ".html";
    host::testing::TResponse P = Page(std::string("<html><body style='margin:0;background:") +
                                      Colours[i % 3] + "'></body></html>");
    Server->Route(Path, i % 4 == 1 ? host::testing::Slow(P, 200) : P);
    List += Server->Url(Path) + " k" + std::to_string(i) + (i % 2 ? ".png\n" : ".bmp\n");
  }
  for (unsigned Seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(Seed));
    std::mt19937 Random(Seed);
    const std::string Round = Dir.File("round" + std::to_string(Seed));
    std::filesystem::create_directories(Round + "/tmp");
    std::ofstream(Round + "/list.txt") << List;
    const std::string Report = Round + "/report.jsonl", Out = Round + "/out";
    int Kills = 0, Cuts = 0, Status = 0;
    bool Done = false;
    for (int Attempt = 0; Attempt < 30 && !Done; ++Attempt) {
      std::vector<std::string> Args = {"--batch",   Round + "/list.txt",
                                       "--out-dir", Out,
                                       "--report",  Report,
                                       "--jobs",    "2",
                                       "--size",    "64x36"};
      if (Attempt > 0) Args.push_back("--resume");
      pid_t Child = Spawn(Args, Round + "/tmp", Round + "/log");
      // Later tries live longer: the browser's start takes the first second.
      int Ms = std::uniform_int_distribution<int>(100, 1500)(Random) + Attempt * 350;
      if (Reap(Child, Ms, Status)) {
        Done = WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
        ASSERT_TRUE(Done) << ReadFile(Round + "/log");
        break;
      }
      ASSERT_EQ(kill(Child, SIGKILL), 0);
      ASSERT_TRUE(Reap(Child, 10000, Status));
      ++Kills;
      std::string Text = ReadFile(Report);
      if ((Cuts == 0 || Attempt % 3 == 1) && Text.size() > 1) {
        std::size_t Last = Text.rfind('\n', Text.size() - 2);
        Last = Last == std::string::npos ? 0 : Last + 1;
        std::filesystem::resize_file(Report, Last + (Text.size() - Last) / 2);
        ++Cuts;
      }
    }
    ASSERT_TRUE(Done);
    std::printf("seed %u: killed %d times, %d lines cut\n", Seed, Kills, Cuts);
    EXPECT_GE(Kills, 1);
    EXPECT_GE(Cuts, 1);

    // The report: whole lines only, one for each page, each written.
    const std::string Text = ReadFile(Report);
    ASSERT_FALSE(Text.empty());
    EXPECT_EQ(Text.back(), '\n');
    std::map<int, int> Lines;
    std::istringstream In(Text);
    std::string Line;
    while (std::getline(In, Line)) {
      nlohmann::json Entry = nlohmann::json::parse(Line, nullptr, false);
      ASSERT_TRUE(Entry.is_object()) << Line;
      EXPECT_TRUE(Entry["error"].is_null()) << Line;
      ++Lines[Entry["line"].get<int>()];
    }
    EXPECT_EQ(Lines.size(), std::size_t(Pages));
    for (auto [Number, Count] : Lines) EXPECT_EQ(Count, 1) << "line " << Number;

    // The folder: every picture whole and of its own page, nothing else.
    std::map<std::string, std::string> Expected;
    for (int i = 0; i < Pages; ++i)
      Expected["k" + std::to_string(i) + (i % 2 ? ".png" : ".bmp")] =
          std::string(i % 2 ? "PNG" : "BMP") + " 64x36 " + Seen[i % 3];
    EXPECT_EQ(SeenByPillow(Out), Expected) << Kills << " kills";
  }
}

// The scheduler's SIGTERM: nothing more is started, the page under way
// that can finish does, the one that cannot is left, and the program ends
// by the signal within 5 s without a trace of its browser. A second signal
// ends it at once. --resume then captures exactly what was left.
TEST_F(CaptureProgram, ABatchStoppedBySigtermEndsSoonAndResumes) {
  struct TCase {
    std::string Name;
    int Signals;
    std::size_t Reported;  // the quick pages, and the slow one if it finished
    std::string Says;
    double MaxSeconds;
  };
  const TCase Cases[] = {
      {"once", 1, 7, "stopped by SIGTERM: 7 written, 0 failed, 1 abandoned, 8 not started", 5.0},
      {"twice", 2, 6, "", 1.0},
  };
  const std::string Green = "<html><body style='margin:0;background:#00ff00'></body></html>";
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string Folder = Dir.File(C.Name), Report = Folder + "/report.jsonl";
    auto Path = [&](int i) { return "/" + C.Name + std::to_string(i) + ".html"; };
    std::string List;
    for (int i = 0; i < 16; ++i) {
      host::testing::TResponse P = i == 6 ? host::testing::Slow(Page(Green), 1500) : Page(Green);
      Server->Route(Path(i), i == 7 ? host::testing::Unfinished("<html><body>") : P);
      List += Server->Url(Path(i)) + "\n";
    }
    std::filesystem::create_directories(Folder + "/tmp");
    std::ofstream(Folder + "/list.txt") << List;
    std::vector<std::string> Args = {"--batch",   Folder + "/list.txt",
                                     "--out-dir", Folder + "/out",
                                     "--report",  Report,
                                     "--jobs",    "2",
                                     "--size",    "64x36",
                                     "--timeout", "60"};
    pid_t Child = Spawn(Args, Folder + "/tmp", Folder + "/log");
    auto Asked = [&](const std::string& Path) {
      std::vector<std::string> R = Server->Requests();
      return int(std::count(R.begin(), R.end(), Path));
    };
    for (int i = 0; i < 3000 && !(Asked(Path(6)) && Asked(Path(7))); ++i) g_usleep(10 * 1000);
    ASSERT_TRUE(Asked(Path(7))) << ReadFile(Folder + "/log");
    ASSERT_EQ(ProfilesUnder(Folder + "/tmp"), 1);
    const gint64 Sent = g_get_monotonic_time();
    for (int i = 0; i < C.Signals; ++i, g_usleep(50 * 1000)) ASSERT_EQ(kill(Child, SIGTERM), 0);
    int Status = 0;
    bool Ended = Reap(Child, 5000, Status);
    const double Seconds = double(g_get_monotonic_time() - Sent) / 1e6;
    if (!Ended) kill(Child, SIGKILL), waitpid(Child, &Status, 0);
    ASSERT_TRUE(Ended) << ReadFile(Folder + "/log");
    EXPECT_LT(Seconds, C.MaxSeconds);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGTERM) << Status;
    EXPECT_EQ(ProfilesUnder(Folder + "/tmp"), 0);
    const std::string Log = ReadFile(Folder + "/log");
    if (C.Says.empty())
      EXPECT_EQ(Log.find("stopped by"), std::string::npos) << Log;
    else
      EXPECT_NE(Log.find(C.Says), std::string::npos) << Log;
    for (int i = 8; i < 16; ++i) EXPECT_EQ(Asked(Path(i)), 0) << i;
    // What it finished is reported and there.
    std::map<int, nlohmann::json> Lines = ReportByLine(Report);
    EXPECT_EQ(Lines.size(), C.Reported);
    for (int Line = 1; Line <= int(C.Reported); ++Line) {
      ASSERT_TRUE(Lines[Line]["file"].is_string()) << Line;
      EXPECT_EQ(Sees(Lines[Line]["file"]), "PNG 64x36 0f0") << Line;
    }
    if (C.Signals > 1) continue;

    Server->Route(Path(7), Page(Green));
    Args.push_back("--resume");
    Child = Spawn(Args, Folder + "/tmp", Folder + "/log2");
    ASSERT_TRUE(Reap(Child, 60000, Status));
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << ReadFile(Folder + "/log2");
    EXPECT_NE(ReadFile(Folder + "/log2").find("--resume: 7 of 16 lines already written, 9 to go"),
              std::string::npos);
    std::map<int, int> Count;
    std::ifstream In(Report);
    std::string Line;
    while (std::getline(In, Line)) ++Count[nlohmann::json::parse(Line)["line"].get<int>()];
    EXPECT_EQ(Count.size(), 16u);
    for (auto [Number, N] : Count) EXPECT_EQ(N, 1) << Number;
    // The pages it had finished were not asked for again.
    EXPECT_EQ(Asked(Path(3)), 1);
    EXPECT_EQ(Asked(Path(6)), 1);
    EXPECT_EQ(Asked(Path(7)), 2);
  }
}

}  // namespace
}  // namespace snapkit::tools
