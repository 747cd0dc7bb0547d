// A batch's list is judged whole before any page loads, so a bad line or
// two lines naming one file cost no browser time, and the report tells what
// became of every line.

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/browser/testing/http_server.h"
#include "host/graphics/picture.h"
#include "host/graphics/testing/images.h"
#include "imaging/phash.h"
#include "tools/capture_batch.h"
#include "tools/testing/capture_program.h"

namespace snapkit::tools {
namespace {

using testing::CaptureProgram;
using testing::ReportByLine;

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
      {"http://a/ pic.gif\nhttp://b/ pic.tiff\nhttp://c/ - \n",
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
      EXPECT_TRUE(Entry["phash"].is_null()) << Entry;
      EXPECT_NE(Entry["error"].get<std::string>().find(L.Error), std::string::npos) << Entry;
    } else {
      EXPECT_EQ(Entry["file"], Dir.File("out/" + L.File));
      EXPECT_TRUE(Entry["error"].is_null()) << Entry;
      EXPECT_EQ(Entry["fonts"], "loaded") << Entry;
      // The capture's hash; the thumbnail written has (nearly) the same.
      std::uint64_t Hash = 0;
      ASSERT_TRUE(Entry["phash"].is_string() && HashFromHex(Entry["phash"], Hash)) << Entry;
      host::TPicture Written;
      Written.LoadFromFile(Dir.File("out/" + L.File));
      EXPECT_LE(HashDistance(Hash, PerceptualHash(Written.Bitmap())), 4) << Entry;
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

}  // namespace
}  // namespace snapkit::tools
