// snapkit capture's batches: the list, its shards, the report that --resume
// reads, and whole batches killed, stopped and resumed against pages served
// on the loopback address, their files read back by Pillow.

#include "tools/capture_batch.h"

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
#include "tools/capture_command.h"
#include "tools/convert_command.h"
#include "tools/scheduler_shard.h"
#include "tools/testing/capture_program.h"

namespace snapkit::tools {
namespace {

using host::testing::Page;
using host::testing::TTestServer;
using testing::CaptureProgram;
using testing::ProfilesUnder;
using testing::ReadFile;
using testing::Reap;
using testing::RunShell;

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
      for (const TBatchEntry& E : ReadBatchList(In, TPictureFormat::Jpeg, K, N).Entries)
        Seen.insert(E.Url + " " + E.Name);
    }
    EXPECT_EQ(Seen.size(), 24u) << N;
    EXPECT_EQ(std::set<std::string>(Seen.begin(), Seen.end()).size(), 24u) << N;
  }
  EXPECT_EQ(Seen.count("http://127.0.0.1/named front.png"), 1u);
  EXPECT_EQ(Seen.count("http://127.0.0.1/p0 0002-127.0.0.1_p0.jpg"), 1u);
}

// --shard auto as each scheduler sets its variables: for a task, its share
// and which variables said so, or the usage error.
TEST(CaptureShardAuto, SchedulersVariablesGiveTheShardOrAUsageError) {
  struct TCase {
    std::map<std::string, std::string> Env;
    int Given;         // N of --shard auto/N, 0 for none
    int K, N;          // 0 when it is a usage error
    std::string Says;  // part of the source, or of the error
  };
  const std::string Id = "SLURM_ARRAY_TASK_ID", Min = "SLURM_ARRAY_TASK_MIN",
                    Max = "SLURM_ARRAY_TASK_MAX", Tasks = "SLURM_ARRAY_TASK_COUNT",
                    Index = "JOB_COMPLETION_INDEX", Ours = "SNAPKIT_SHARD_COUNT";
  const TCase Cases[] = {
      // Slurm: the array numbered from 0 takes the shards in order.
      {{{Id, "0"}, {Min, "0"}, {Max, "3"}, {Tasks, "4"}}, 0, 1, 4, "SLURM_ARRAY_TASK_ID=0"},
      {{{Id, "3"}, {Min, "0"}, {Max, "3"}}, 0, 4, 4, "SLURM_ARRAY_TASK_MAX=3"},
      {{{Id, "2"}, {Tasks, "4"}}, 0, 3, 4, "SLURM_ARRAY_TASK_COUNT=4"},
      // Numbered from 1, the last task takes the first shard.
      {{{Id, "4"}, {Min, "1"}, {Max, "4"}, {Tasks, "4"}}, 0, 1, 4, "Slurm"},
      // Submitted again alone, with N given: the same share as before.
      {{{Id, "2"}, {Min, "2"}, {Max, "2"}, {Tasks, "1"}}, 4, 3, 4, "--shard auto/4"},
      {{{Id, "2"}, {Min, "2"}, {Max, "2"}, {Tasks, "1"}, {Ours, "4"}},
       0,
       3,
       4,
       "SNAPKIT_SHARD_COUNT=4"},
      {{{Id, "6"}, {Min, "4"}, {Max, "7"}, {Ours, "4"}}, 4, 3, 4, "SLURM_ARRAY_TASK_MIN=4"},
      {{{Id, ""}, {Index, "1"}}, 2, 2, 2, "Kubernetes"},
      {{{Id, "1"}}, 0, 0, 0, "does not tell its array's size"},
      {{{Id, "4"}, {Min, "0"}, {Max, "12"}, {Tasks, "4"}}, 0, 0, 0, "not numbered one by one"},
      {{{Id, "5"}, {Min, "0"}, {Max, "3"}}, 0, 0, 0, "outside the array's bounds"},
      {{{Id, "0"}, {Min, "0"}}, 0, 0, 0, "come together"},
      {{{Id, "0"}, {Min, "0"}, {Max, "7"}},
       4,
       0,
       0,
       "the array has 8 tasks but the list is split in 4"},
      {{{Id, "x"}, {Tasks, "4"}}, 0, 0, 0, "SLURM_ARRAY_TASK_ID=x is not a whole number"},
      {{{Id, "-1"}, {Tasks, "4"}}, 0, 0, 0, "is not a whole number from 0"},
      {{{Id, "1"}, {Tasks, "4"}, {Ours, "5"}}, 4, 0, 0, "disagree"},
      {{{Id, "1"}, {Tasks, "4"}, {Ours, "0"}}, 0, 0, 0, "SNAPKIT_SHARD_COUNT must be from 1"},
      // Kubernetes: the index counts from 0, the count is ours to give.
      {{{Index, "0"}}, 3, 1, 3, "JOB_COMPLETION_INDEX=0"},
      {{{Index, "2"}, {Ours, "3"}}, 0, 3, 3, "SNAPKIT_SHARD_COUNT=3"},
      {{{Index, "3"}}, 3, 0, 0, "JOB_COMPLETION_INDEX=3 is not below the count 3"},
      {{{Index, "0"}}, 0, 0, 0, "does not tell its completions"},
      // Neither, or both.
      {{}, 0, 0, 0, "found no scheduler's task"},
      {{{Ours, "4"}}, 4, 0, 0, "found no scheduler's task"},
      {{{Id, "0"}, {Min, "0"}, {Max, "1"}, {Index, "0"}}, 2, 0, 0, "both a Slurm array task"},
  };
  for (const TCase& C : Cases) {
    std::string Trace;
    for (const auto& [Name, Value] : C.Env) Trace += Name + "=" + Value + " ";
    SCOPED_TRACE(Trace + "/" + std::to_string(C.Given));
    auto Env = [&](const char* Name) -> const char* {
      auto It = C.Env.find(Name);
      return It == C.Env.end() ? nullptr : It->second.c_str();
    };
    try {
      TSchedulerShard S = ShardFromScheduler(Env, C.Given);
      EXPECT_EQ(S.Index, C.K);
      EXPECT_EQ(S.Count, C.N);
      EXPECT_NE(S.Source.find(C.Says), std::string::npos) << S.Source;
    } catch (const TUsageError& E) {
      EXPECT_EQ(C.K, 0) << E.Message;
      EXPECT_NE(E.Message.find(C.Says), std::string::npos) << E.Message;
    }
  }
}

// Whatever IDs an array of N tasks has, its tasks take every shard once,
// and a task submitted again alone takes the one it had.
TEST(CaptureShardAuto, AnArraysTasksTakeEveryShardOnce) {
  for (int First : {0, 1, 5}) {
    std::set<int> Shards;
    for (int Id = First; Id < First + 4; ++Id) {
      std::map<std::string, std::string> Env = {
          {"SLURM_ARRAY_TASK_ID", std::to_string(Id)},
          {"SLURM_ARRAY_TASK_MIN", std::to_string(First)},
          {"SLURM_ARRAY_TASK_MAX", std::to_string(First + 3)}};
      auto Get = [&](const char* Name) -> const char* {
        return Env.count(Name) ? Env[Name].c_str() : nullptr;
      };
      TSchedulerShard S = ShardFromScheduler(Get, 0);
      Shards.insert(S.Index);
      Env["SLURM_ARRAY_TASK_MIN"] = Env["SLURM_ARRAY_TASK_MAX"] = std::to_string(Id);
      EXPECT_EQ(ShardFromScheduler(Get, 4).Index, S.Index) << Id;
    }
    EXPECT_EQ(Shards, (std::set<int>{1, 2, 3, 4})) << First;
  }
  // And through the command line, from the process's environment.
  setenv("JOB_COMPLETION_INDEX", "1", 1);
  TCaptureOptions O = ParseCaptureArgs({"--batch", "l", "--out-dir", "d", "--shard", "auto/3"});
  EXPECT_EQ(O.ShardIndex, 2);
  EXPECT_EQ(O.ShardCount, 3);
  EXPECT_THROW(ParseCaptureArgs({"--batch", "l", "--out-dir", "d", "--shard", "auto"}),
               TUsageError);
  unsetenv("JOB_COMPLETION_INDEX");
  EXPECT_THROW(ParseCaptureArgs({"--batch", "l", "--out-dir", "d", "--shard", "auto/3"}),
               TUsageError);
}

// What --resume reads back: the last line for a list line is final, a line
// cut short is no line, and a picture counts when its file is there whole.
TEST(CaptureResume, ReportLinesAndWholePictures) {
  struct TCase {
    std::string Report;
    std::map<int, std::string> Final;  // line: its "file"
    std::size_t WholeBytes;
    int Unreadable;
  };
  const std::string A = R"({"line":2,"file":"a.png"})", B = R"({"line":2,"file":"b.png"})",
                    C = R"({"line":7,"file":"c.png"})";
  const TCase Cases[] = {
      {"", {}, 0, 0},
      {A + "\n" + C + "\n" + B + "\n", {{2, "b.png"}, {7, "c.png"}}, 3 * A.size() + 3, 0},
      // Cut short: the line before stays final.
      {A + "\n" + B.substr(0, 11), {{2, "a.png"}}, A.size() + 1, 0},
      {A + "\n" + B, {{2, "a.png"}}, A.size() + 1, 0},
      {"junk\n{\"line\":\"2\"}\n[1]\n" + C + "\n", {{7, "c.png"}}, 23 + C.size(), 3},
  };
  for (const TCase& Case : Cases) {
    std::istringstream In(Case.Report);
    TReportLines R = ReadReportLines(In);
    std::map<int, std::string> Final;
    for (const auto& [Line, Entry] : R.Final) Final[Line] = Entry["file"];
    EXPECT_EQ(Final, Case.Final) << Case.Report;
    EXPECT_EQ(R.WholeBytes, Case.WholeBytes) << Case.Report;
    EXPECT_EQ(R.Unreadable, Case.Unreadable) << Case.Report;
  }

  host::testing::TScratchDir Dir;
  std::ofstream(Dir.File("a.png")) << "12345";
  std::ofstream(Dir.File("empty.png"));
  const TBatchEntry E{3, "http://127.0.0.1/a", "a.png", ""};
  const nlohmann::json Good = {{"line", 3},
                               {"url", "http://127.0.0.1/a"},
                               {"file", "x/a.png"},
                               {"size", 5},
                               {"error", nullptr}};
  EXPECT_TRUE(WrittenWhole(Good, E, Dir.Path()));
  struct TWrong {
    const char* Why;
    std::function<void(nlohmann::json&, TBatchEntry&)> Change;
  };
  const TWrong Wrong[] = {
      {"failed", [](auto& J, auto&) { J["error"] = "HTTP status 404"; }},
      {"no file", [](auto& J, auto&) { J["file"] = nullptr; }},
      {"another size", [](auto& J, auto&) { J["size"] = 4; }},
      {"no size", [](auto& J, auto&) { J.erase("size"); }},
      {"another name", [](auto& J, auto&) { J["file"] = "x/ba.png"; }},
      {"another URL", [](auto& J, auto&) { J["url"] = "http://127.0.0.1/b"; }},
      {"missing file", [](auto& J, auto& E) { J["file"] = "b.png", E.Name = "b.png"; }},
      {"empty file",
       [](auto& J, auto& E) { J["file"] = "empty.png", J["size"] = 0, E.Name = "empty.png"; }},
      {"a bad line", [](auto&, auto& E) { E.Problem = "malformed URL"; }},
  };
  for (const TWrong& W : Wrong) {
    nlohmann::json J = Good;
    TBatchEntry Changed = E;
    W.Change(J, Changed);
    EXPECT_FALSE(WrittenWhole(J, Changed, Dir.Path())) << W.Why;
  }
}

// The merge of examples/slurm: of the reports in a folder, each list line's
// last whole line, in list order; missing lines and failures make it fail.
TEST(CaptureResume, TheMergeKeepsEachListLinesLastWholeLine) {
  struct TCase {
    std::map<std::string, std::string> Reports;
    std::string List;
    std::vector<std::string> Merged;  // "line:file" in order
    int Exit;
    std::string Says;
  };
  const std::string F2 = R"({"line":2,"file":null,"error":"HTTP status 503"})",
                    W2 = R"({"line":2,"file":"d/b.png","error":null})",
                    W3 = R"({"line":3,"file":"d/c.png","error":null})",
                    W5 = R"({"line":5,"file":"d/e.png","error":null})";
  const std::string List = "# list\nhttp://127.0.0.1/b\nhttp://127.0.0.1/c\n\nhttp://127.0.0.1/e\n";
  const TCase Cases[] = {
      // Failed, then written on resume; the other shard's line; in order.
      {{{"report-1.jsonl", F2 + "\n" + W2 + "\n"}, {"report-0.jsonl", W5 + "\n" + W3 + "\n"}},
       List,
       {"2:d/b.png", "3:d/c.png", "5:d/e.png"},
       0,
       "3 lines, 3 written, 0 failed, 0 missing"},
      // Written, then failed: the failure is final. A cut line is no line.
      {{{"report-0.jsonl", W2 + "\n" + F2 + "\n" + W3.substr(0, 20)},
        {"report-1.jsonl", W5 + "\n"}},
       List,
       {"2:null", "5:d/e.png"},
       1,
       "2 lines, 1 written, 1 failed, 1 missing"},
      {{{"report-0.jsonl", W2 + "\n" + W3 + "\n" + W5 + "\n"}, {"other.jsonl", F2 + "\n"}},
       "",
       {"2:d/b.png", "3:d/c.png", "5:d/e.png"},
       0,
       "1 reports, 3 lines"},
  };
  for (const TCase& C : Cases) {
    host::testing::TScratchDir Dir;
    for (const auto& [Name, Text] : C.Reports) std::ofstream(Dir.File(Name)) << Text;
    std::ofstream(Dir.File("list.txt")) << C.List;
    std::string Command = "/usr/bin/python3 " + std::string(SNAPKIT_SOURCE_DIR) +
                          "/examples/slurm/merge-reports.py " + Dir.Path() +
                          (C.List.empty() ? "" : " --list " + Dir.File("list.txt")) + " 2>&1";
    std::string Out;
    EXPECT_EQ(RunShell(Command, &Out), C.Exit) << Out;
    EXPECT_NE(Out.find(C.Says), std::string::npos) << Out;
    std::vector<std::string> Merged;
    std::ifstream In(Dir.File("report.jsonl"));
    for (std::string Line; std::getline(In, Line);) {
      nlohmann::json J = nlohmann::json::parse(Line);
      Merged.push_back(std::to_string(J["line"].get<int>()) + ":" +
                       (J["file"].is_null() ? "null" : J["file"].get<std::string>()));
    }
    EXPECT_EQ(Merged, C.Merged) << Out;
  }
}

// Every line is judged before anything is loaded: the bad ones by number,
// and lines of the whole list (not only this shard) that name one file.
TEST(CaptureBatchList, BadLinesAndClashesAreFoundByLine) {
  struct TCase {
    std::string List;
    std::optional<TPictureFormat> Given;
    std::map<int, std::string> Bad;  // line: part of what is wrong with it
    std::string Clashes;
  };
  const TCase Cases[] = {
      {"http://a/ ../x.png\nhttp://a/ ok.png\ndata:text/html,<p>hi there</p>\n",
       std::nullopt,
       {{1, "plain file name: ../x.png"}, {3, "plain file name: there</p>"}},
       ""},
      {"http://a/ pic.gif\nhttp://b/ pic.webp\nhttp://c/ - \n",
       std::nullopt,
       {{1, "pic.gif: the extension names no"}, {2, "names no"}, {3, "plain file name: -"}},
       ""},
      {"http://a/ pic.gif\nhttp://a/ pic.JPG\n",
       TPictureFormat::Png,
       {{2, "pic.JPG is named as JPEG but --format says PNG"}},
       ""},
      {"ftp://a/\nhttp://exa mple/ x.png\nno-such-file.html\n",
       std::nullopt,
       {{1, "not a web page's URL"}, {2, "plain file name"}, {3, "neither a URL"}},
       ""},
      {"http://a/ a.png\n# a.png again\n\nhttp://b/ b.png\nhttp://c/ a.png\n",
       std::nullopt,
       {},
       "lines 1 and 5 both name a.png"},
      {"http://a/\nhttp://b/ 0001-a.png\nhttp://c/ x.bmp\nhttp://d/ x.bmp\n",
       std::nullopt,
       {},
       "lines 1 and 2 both name 0001-a.png; lines 3 and 4 both name x.bmp"},
  };
  for (const TCase& C : Cases) {
    std::map<int, std::string> Bad;
    for (int K = 1; K <= 2; ++K) {
      std::istringstream In(C.List);
      TBatchList L = ReadBatchList(In, C.Given, K, 2);
      EXPECT_EQ(L.Clashes, C.Clashes) << C.List;
      for (const TBatchEntry& E : L.Entries)
        if (!E.Problem.empty()) Bad[E.Line] = E.Problem;
    }
    EXPECT_EQ(Bad.size(), C.Bad.size()) << C.List;
    for (const auto& [Line, Part] : C.Bad)
      EXPECT_NE(Bad[Line].find(Part), std::string::npos)
          << C.List << " line " << Line << ": " << Bad[Line];
  }
}

// The report's lines by list line: its file (or null), error and start.
std::map<int, nlohmann::json> ReportByLine(const std::string& File) {
  std::map<int, nlohmann::json> Lines;
  std::ifstream Report(File);
  std::string Line;
  while (std::getline(Report, Line)) {
    auto Entry = nlohmann::json::parse(Line);
    Lines[Entry["line"].get<int>()] = Entry;
  }
  return Lines;
}

TEST_F(CaptureProgram, ABatchWritesTheGoodPagesAndReportsTheBadOnes) {
  const std::string Port = std::to_string(Server->Port());
  std::string List = Dir.File("list.txt");
  std::ofstream(List) << "# good and bad\n"
                      << Server->Url("/page.html") << "\n"
                      << Server->Url("/missing.html") << " missing.png\n"
                      << "\n"
                      << Server->Url("/page.html") << " again.png\n"
                      << "http://127.0.0.1:" << host::testing::ClosedPort() << "/ closed.png\n"
                      << "data:text/html,<p>hi there</p>\n"
                      << Server->Url("/page.html") << " ../x.png\n"
                      << Server->Url("/page.html") << " pic.gif\n"
                      << "ftp://127.0.0.1/ f.png\n"
                      << Server->Url("/page.html") << " last.JPEG\n";
  struct TLine {
    int Line;
    std::string File;   // written, or empty
    std::string Error;  // part of the error, or empty
    bool Started;
  };
  const TLine Expected[] = {
      {2, "0002-127.0.0.1_" + Port + "_page.html.png", "", true},
      {3, "", "HTTP status 404", true},
      {5, "again.png", "", true},
      {6, "", "ERR_CONNECTION_REFUSED", true},
      {7, "", "line 7: the output name must be a plain file name: there</p>", false},
      {8, "", "line 8: the output name must be a plain file name: ../x.png", false},
      {9, "", "line 9: pic.gif: the extension names no picture format", false},
      {10, "", "line 10: not a web page's URL", false},
      {11, "last.JPEG", "", true},
  };
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
  std::vector<std::string> Wanted;
  for (const TLine& L : Expected)
    if (!L.File.empty()) Wanted.push_back(L.File);
  std::sort(Wanted.begin(), Wanted.end());
  EXPECT_EQ(Written, Wanted);
  EXPECT_EQ(Sees(Dir.File("out/again.png")), "PNG 64x36 0f0");
  EXPECT_EQ(Sees(Dir.File("out/last.JPEG")), "JPEG 64x36 0f0");

  std::map<int, nlohmann::json> Report = ReportByLine(Dir.File("report.json"));
  EXPECT_EQ(Report.size(), std::size(Expected));
  for (const TLine& L : Expected) {
    SCOPED_TRACE(L.Line);
    const nlohmann::json& Entry = Report[L.Line];
    ASSERT_TRUE(Entry.is_object());
    if (L.File.empty()) {
      EXPECT_TRUE(Entry["file"].is_null());
      EXPECT_NE(Entry["error"].get<std::string>().find(L.Error), std::string::npos) << Entry;
    } else {
      EXPECT_EQ(Entry["file"], Dir.File("out/" + L.File));
      EXPECT_TRUE(Entry["error"].is_null()) << Entry;
    }
    // Bad lines are also named on standard error by their line.
    if (!L.Started) {
      EXPECT_NE(Out.find("list.txt, " + L.Error), std::string::npos) << Out;
    }
    ASSERT_EQ(Entry["started"].is_null(), !L.Started) << Entry;
    if (!L.Started) continue;
    // When each page was started, in UTC, to the millisecond.
    GDateTime* Started =
        g_date_time_new_from_iso8601(Entry["started"].get<std::string>().c_str(), nullptr);
    ASSERT_NE(Started, nullptr) << Entry;
    gint64 Us =
        g_date_time_to_unix(Started) * G_USEC_PER_SEC + g_date_time_get_microsecond(Started);
    g_date_time_unref(Started);
    EXPECT_GE(Us, Before / 1000 * 1000) << Entry;
    EXPECT_LE(Us, g_get_real_time()) << Entry;
  }
}

// Two lines naming one file are refused whole, naming both, before any
// page is loaded; a full page past the bounds is written cut, and says so.
TEST_F(CaptureProgram, ABatchRefusesClashingNamesAndReportsCutPages) {
  std::string List = Dir.File("clash.txt");
  std::ofstream(List) << Server->Url("/page.html") << " a.png\n"
                      << Server->Url("/tall.html") << " b.png\n"
                      << Server->Url("/page.html") << "?again a.png\n";
  std::string Out;
  EXPECT_EQ(Run("--batch " + List + " --out-dir " + Dir.File("clash"), &Out), ceUsage) << Out;
  EXPECT_NE(Out.find("clash.txt: lines 1 and 3 both name a.png"), std::string::npos) << Out;
  EXPECT_FALSE(std::filesystem::exists(Dir.File("clash")));

  List = Dir.File("full.txt");
  std::ofstream(List) << Server->Url("/page.html") << " page.png\n"
                      << Server->Url("/tall.html") << " tall.png\n";
  EXPECT_EQ(Run("--batch " + List + " --out-dir " + Dir.File("full") +
                    " --view full --screen 400x300 --report " + Dir.File("full.json"),
                &Out),
            ceOk)
      << Out;
  std::map<int, nlohmann::json> Report = ReportByLine(Dir.File("full.json"));
  EXPECT_EQ(Report[1]["clipped"], false);
  EXPECT_EQ(Report[2]["clipped"], true);
  EXPECT_EQ(Sees(Dir.File("full/page.png")), "PNG 400x2000 0f0");
  EXPECT_EQ(Sees(Dir.File("full/tall.png")), "PNG 400x16384 0f0");
  EXPECT_NE(Out.find("tall.html: the page is 400x20000, the capture was cut at 400x16384"),
            std::string::npos)
      << Out;
}

// ---- batches that are killed, stopped and resumed ----------------------------

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
