// examples/group_by_phash.py on reports as a batch writes them.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tools/testing/child_program.h"

namespace snapkit::tools {
namespace {

TEST(GroupByPHash, GroupsNearHashesThroughEachOther) {
  auto line = [](int N, const char* Hash) {
    return nlohmann::json{{"line", N}, {"url", "u" + std::to_string(N)}, {"phash", Hash}}.dump();
  };
  struct TCase {
    const char* What;
    std::vector<std::string> Report;
    int Distance;
    std::vector<std::vector<int>> Groups;  // list lines, largest group first
  } cases[] = {
      {"a chain: 1-2 and 2-3 are 4 bits apart, 1-3 eight",
       {line(1, "000000000000000f"), line(2, "00000000000000ff"), line(3, "0000000000000fff"),
        line(4, "ffffffffffffffff")},
       6,
       {{1, 2, 3}, {4}}},
      {"the same hashes at distance 0",
       {line(1, "00000000000000ff"), line(2, "00000000000000fe"), line(3, "00000000000000ff")},
       0,
       {{1, 3}, {2}}},
      {"a list line's last report line counts; no picture and a cut line are left out",
       {line(1, "ffffffffffffffff"), line(2, "0000000000000000"), line(1, "0000000000000001"),
        R"({"line": 3, "url": "u3", "phash": null})", "not json",
        line(4, "0000000000000000").substr(0, 20)},
       6,
       {{1, 2}}},
  };
  std::string templ = "/tmp/snapkit-group-XXXXXX";
  ASSERT_TRUE(mkdtemp(templ.data()));
  const std::string report = templ + "/report.json";
  for (const TCase& c : cases) {
    {
      std::ofstream out(report);
      for (std::size_t i = 0; i < c.Report.size(); ++i)
        out << c.Report[i] << (i + 1 < c.Report.size() || c.Report[i].back() == '}' ? "\n" : "");
    }
    std::string out;
    ASSERT_EQ(testing::RunShell("python3 " + std::string(SNAPKIT_SOURCE_DIR) +
                                    "/examples/group_by_phash.py --json --distance " +
                                    std::to_string(c.Distance) + " " + report,
                                &out),
              0)
        << out;
    std::vector<std::vector<int>> groups;
    for (const nlohmann::json& g : nlohmann::json::parse(out)) {
      groups.emplace_back();
      for (const nlohmann::json& p : g) groups.back().push_back(p["line"]);
    }
    EXPECT_EQ(groups, c.Groups) << c.What;
  }
  std::filesystem::remove_all(templ);
}

}  // namespace
}  // namespace snapkit::tools
