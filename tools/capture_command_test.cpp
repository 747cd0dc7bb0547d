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
      {"http://a/", "a.webp"},
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
      {"http://a/", "a.png", "--header", "X-No-Colon"},
      {"http://a/", "a.png", "--header", "Bad Name: v"},
      {"http://a/", "a.png", "--header", ": v"},
      {"http://a/", "a.png", "--color-scheme", "blue"},
      {"http://a/", "a.png", "--user-agent", ""},
      {"http://a/", "a.png", "--wait-for", "js:"},
      {"http://a/", "a.png", "--css", "/"},  // a folder
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
    FILE* P = popen(Command.c_str(), "r");
    std::string Out;
    char Buf[4096];
    for (std::size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;) Out.append(Buf, N);
    int Status = pclose(P);
    EXPECT_EQ(WIFEXITED(Status) ? WEXITSTATUS(Status) : -1, C.Exit) << Out;
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

// ---- the program -------------------------------------------------------------

using testing::CaptureProgram;

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
      {"--screen 300x200 --format png", "i.webp", "PNG 300x200 0f0"},
      {"--screen 300x200 --format jpg", "-", "JPEG 300x200 0f0"},
      {"--screen 300x200 --size 30x20 --format png", "-", "PNG 30x20 0f0"},
      // The custom area is the screen the page is laid out for, unless one is given.
      {"--view custom --area 1024x768", "j.png", "PNG 1024x768 00f", "/wide.html"},
      {"--view custom --area 1024x768 --screen 1920x1080", "k.png", "PNG 1024x768 0f0",
       "/wide.html"},
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
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"a.png", "b.jpg", "c.bmp", "d.png", "e", "f.jpeg", "g.JPE",
                                      "h.Bmp", "i.webp", "j.png", "k.png", "stdout"}));
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
       "--quality is JPEG's, and " + Dir.File("out.png") + " is PNG"},
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

// ---- batches that are killed, stopped and resumed ----------------------------

// Starts the program with Args, TMPDIR set to Tmp and both outputs in Log.
pid_t Spawn(const std::vector<std::string>& Args, const std::string& Tmp, const std::string& Log) {
  pid_t Child = fork();
  if (Child == 0) {
    setenv("TMPDIR", Tmp.c_str(), 1);
    int Fd = ::open(Log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(Fd, 1);
    dup2(Fd, 2);
    std::vector<char*> Argv{const_cast<char*>(SNAPKIT_PROGRAM), const_cast<char*>("capture")};
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    execv(SNAPKIT_PROGRAM, Argv.data());
    _exit(127);
  }
  return Child;
}

// Waits up to TimeoutMs for Child; false (Child still running) if it did not end.
bool Reap(pid_t Child, int TimeoutMs, int& Status) {
  for (gint64 End = g_get_monotonic_time() + TimeoutMs * 1000LL; g_get_monotonic_time() < End;
       g_usleep(10 * 1000))
    if (waitpid(Child, &Status, WNOHANG) == Child) return true;
  return false;
}

std::string ReadFile(const std::string& File) {
  std::ifstream In(File, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
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

int ProfilesUnder(const std::string& Tmp) {
  int N = 0;
  for (const auto& E : std::filesystem::recursive_directory_iterator(Tmp))
    N += E.path().filename().string().rfind("snapkit-chromium-", 0) == 0;
  return N;
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
