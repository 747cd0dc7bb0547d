// --resume trusts a page only when the report and the folder both show it
// whole, so a run cut short anywhere loses nothing and writes nothing twice;
// the shards' reports merge by the same rule.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "host/graphics/testing/images.h"
#include "tools/batch_report.h"
#include "tools/capture_batch.h"
#include "tools/testing/child_program.h"

namespace snapkit::tools {
namespace {

using testing::RunShell;

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

}  // namespace
}  // namespace snapkit::tools
