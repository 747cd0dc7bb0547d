// capture --every --changed: a picture, and a report line, only when the
// page's picture changed; against a loopback page whose server changes a
// word while the command runs.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "host/graphics/picture.h"
#include "tools/capture_command.h"
#include "tools/convert_command.h"
#include "tools/testing/capture_program.h"

namespace snapkit::tools {
namespace {

using testing::CaptureProgram;

TEST(ChangeWatchArgs, OptionsAndMistakes) {
  const std::vector<std::vector<std::string>> bad = {
      {"http://a/", "a.png", "--changed"},  // not again and again
      {"--batch", "l.txt", "--out-dir", "d", "--every", "1", "--changed"},
      {"http://a/", "a.png", "--every", "1", "--threshold", "0.2"},  // without --changed
      {"http://a/", "a.png", "--every", "1", "--min-change", "0.2"},
      {"http://a/", "a.png", "--every", "1", "--diff-out", "d.png"},
      {"http://a/", "a.png", "--every", "1", "--changed", "--threshold", "1.5"},
      {"http://a/", "a.png", "--every", "1", "--changed", "--min-change", "-0.1"},
      {"http://a/", "a.png", "--every", "1", "--changed", "--min-change", "some"},
      {"http://a/", "a.png", "--every", "1", "--changed", "--diff-out", "d.gif"},
      {"http://a/", "a.png", "--every", "1", "--report", "r.json"},  // only a watch reports
  };
  for (const auto& args : bad) EXPECT_THROW(ParseCaptureArgs(args), TUsageError) << args.back();
  const TCaptureOptions o =
      ParseCaptureArgs({"http://a/", "a.png", "--every", "1", "--changed", "--threshold", "0.05",
                        "--min-change", "0.01", "--diff-out", "d.bmp", "--report", "r.json"});
  EXPECT_TRUE(o.Watch.Changed);
  EXPECT_EQ(o.Watch.Threshold, 0.05);
  EXPECT_EQ(o.Watch.MinChange, 0.01);
  EXPECT_EQ(o.Watch.DiffOut, "d.bmp");
  EXPECT_EQ(o.Watch.Report, "r.json");
  EXPECT_TRUE(o.Report.empty());
}

std::string WordPage(const std::string& Word) {
  return "<html><body style='margin:0;background:#fff;font:30px sans-serif'>"
         "<p style='position:absolute;left:40px;top:30px;margin:0'>" +
         Word + "</p></body></html>";
}

std::vector<nlohmann::json> Lines(const std::string& File) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(File);
  for (std::string text; std::getline(in, text);) lines.push_back(nlohmann::json::parse(text));
  return lines;
}

TEST_F(CaptureProgram, AWatchWritesOnlyTheCapturesAfterAChange) {
  struct TCase {
    const char* What;
    std::vector<std::string> Words;  // one every ChangeMs
    int ChangeMs;
    std::string Count, MinChange;
  } cases[] = {
      {"a word changed every second", {"alpha", "bravo", "charlie", "delta"}, 1000, "10", "0"},
      {"the same page throughout", {"alpha"}, 0, "5", "0"},
      // A word is about half a per cent of 400x200 pixels.
      {"changes below --min-change", {"alpha", "bravo", "charlie", "delta"}, 500, "5", "0.05"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const std::string out = Dir.File("w.png"), report = Dir.File("r.json"),
                      diff = Dir.File("d.png");
    std::filesystem::remove(report);
    std::filesystem::remove(diff);
    Server->Route("/watch.html", testing::Page(WordPage(c.Words[0])));
    const pid_t child =
        testing::StartProgram({"capture", Server->Url("/watch.html"), out, "--screen", "400x200",
                               "--every", "0.4", "--count", "14", "--changed", "--min-change",
                               c.MinChange, "--report", report, "--diff-out", diff},
                              {"", Dir.File("stdout"), Dir.File("stderr")});
    ASSERT_GT(child, 0);
    int status = 0;
    std::size_t served = 1;
    const auto start = std::chrono::steady_clock::now();
    while (!testing::Reap(child, 100, status)) {
      const auto since = std::chrono::steady_clock::now() - start;
      if (since > std::chrono::seconds(40)) {
        kill(child, SIGKILL);
        FAIL() << "the watch did not end";
      }
      if (served < c.Words.size() && since > std::chrono::milliseconds(c.ChangeMs) * served)
        Server->Route("/watch.html", testing::Page(WordPage(c.Words[served++])));
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << status << testing::ReadFile(Dir.File("stderr"));
    const std::vector<nlohmann::json> lines = Lines(report);
    ASSERT_GE(lines.size(), 1u);
    EXPECT_TRUE(lines[0]["different"].is_null()) << lines[0];
    EXPECT_TRUE(lines[0]["box"].is_null());
    if (c.MinChange != "0" || c.Words.size() == 1) {
      EXPECT_EQ(lines.size(), 1u) << lines.back();
      EXPECT_FALSE(std::filesystem::exists(diff));
      continue;
    }
    // Each change at most once, and at least two of the three seen.
    EXPECT_GE(lines.size(), 3u);
    EXPECT_LE(lines.size(), served);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const nlohmann::json& l = lines[i];
      ASSERT_TRUE(l["box"].is_object()) << l;
      EXPECT_GT(l["different"].get<int>(), 20) << l;
      EXPECT_DOUBLE_EQ(l["ratio"].get<double>(), l["different"].get<double>() / (400 * 200));
      // Where the word is: from (40, 30), one line of 30-pixel type.
      EXPECT_GE(l["box"]["left"].get<int>(), 38) << l;
      EXPECT_GE(l["box"]["top"].get<int>(), 28) << l;
      EXPECT_LE(l["box"]["left"].get<int>() + l["box"]["width"].get<int>(), 250) << l;
      EXPECT_LE(l["box"]["top"].get<int>() + l["box"]["height"].get<int>(), 75) << l;
      EXPECT_EQ(l["file"], out);
    }
    // The last change's diff picture: red in its box and nowhere else.
    host::TPicture picture;
    picture.LoadFromFile(diff);
    const host::TBitmap& d = picture.Bitmap();
    ASSERT_EQ(d.Width(), 400);
    const nlohmann::json& box = lines.back()["box"];
    int inside = 0, outside = 0;
    for (int y = 0; y < d.Height(); ++y)
      for (int x = 0; x < d.Width(); ++x) {
        if (d.GetPixel(x, y) != 0x0000FF) continue;  // TColor red
        const bool in = x >= box["left"].get<int>() && y >= box["top"].get<int>() &&
                        x < box["left"].get<int>() + box["width"].get<int>() &&
                        y < box["top"].get<int>() + box["height"].get<int>();
        (in ? inside : outside)++;
      }
    EXPECT_EQ(inside, lines.back()["different"].get<int>());
    EXPECT_EQ(outside, 0);
  }
}

}  // namespace
}  // namespace snapkit::tools
