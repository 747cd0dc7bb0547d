// snapkit diff as a user runs it: its words, exit codes, JSON and pictures.

#include "tools/diff_command.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "host/graphics/picture.h"
#include "imaging/diff.h"
#include "imaging/phash.h"
#include "tools/testing/child_program.h"

namespace snapkit::tools {
namespace {

const std::string Data = std::string(SNAPKIT_SOURCE_DIR) + "/imaging/testing/data/";
const std::string Notes = Data + "notes.png", Changed = Data + "notes_words_changed.png",
                  Moved = Data + "notes_moved_1px.png";

class DiffCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = "/tmp/snapkit-diff-XXXXXX";
    ASSERT_TRUE(mkdtemp(templ.data()));
    Dir = templ;
    std::ofstream(Dir + "/text.png") << "not a picture";
    host::TPicture p;
    p.LoadFromFile(Notes);
    host::TBitmap b;
    b.Assign(p.Bitmap());
    b.SetHeight(150);
    b.SaveToFile(Dir + "/short.bmp");
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  int Run(const std::string& Args, std::string* Out) {
    return testing::RunShell(std::string(SNAPKIT_PROGRAM) + " diff " + Args + " 2>&1", Out);
  }
  static TDiffResult Compare(const std::string& A, const std::string& B, double Threshold,
                             host::TBitmap* Diff = nullptr) {
    host::TPicture a, b;
    a.LoadFromFile(A);
    b.LoadFromFile(B);
    TDiffOptions o;
    o.Threshold = Threshold;
    return ComparePictures(a.Bitmap(), b.Bitmap(), o, Diff);
  }
  std::string Dir;
};

std::string Line(const TDiffResult& R) {
  char text[128];
  std::snprintf(text, sizeof text, "%lld of %lld pixels differ (%.2f%%)\n",
                static_cast<long long>(R.Different), static_cast<long long>(R.Total),
                100 * R.Ratio);
  return text;
}

TEST_F(DiffCommand, ExitCodesAndWhatItPrints) {
  const TDiffResult changed = Compare(Notes, Changed, 0.1), strict = Compare(Notes, Changed, 0.05);
  ASSERT_GT(changed.Different, 0);
  EXPECT_GE(strict.Different, changed.Different);
  struct TCase {
    std::string Args;
    int Exit;
    std::string Prints;  // the whole output, or its start with Start
    bool Start = false;
  } cases[] = {
      {Notes + " " + Notes, 0, "0 of 80000 pixels differ (0.00%)\n"},
      {Notes + " " + Changed, 1, Line(changed)},
      {"--threshold 0.05 " + Notes + " " + Changed, 1, Line(strict)},
      {Notes + " " + Dir + "/short.bmp", 1,
       "sizes differ: 400x200 and 400x150\n80000 of 80000 pixels differ (100.00%)\n"},
      {"--hash " + Notes + " " + Notes, 0, "hash distance 0 (", true},
      {"--hash " + Notes + " " + Changed, 1, "hash distance ", true},
      {Notes + " " + Dir + "/missing.png", 3, "snapkit: ", true},
      {Notes + " " + Dir + "/text.png", 3, "snapkit: ", true},
      {Notes + " " + Notes + " --out " + Dir + "/no/such/folder/d.png", 3, "snapkit: ", true},
      {Notes, 2, "snapkit: diff needs two pictures\n", true},
      {Notes + " " + Notes + " --threshold much", 2, "snapkit: --threshold needs a number", true},
      {Notes + " " + Notes + " --threshold 1.5", 2, "snapkit: --threshold needs a number", true},
      {Notes + " " + Notes + " --colour", 2, "snapkit: unknown option --colour\n", true},
      {Notes + " " + Notes + " --out d.xyz", 2, "snapkit: d.xyz: the extension", true},
      {"--hash --include-aa " + Notes + " " + Notes, 2, "snapkit: --hash compares", true},
  };
  for (const TCase& c : cases) {
    std::string out;
    EXPECT_EQ(Run(c.Args, &out), c.Exit) << c.Args << "\n" << out;
    if (c.Start)
      EXPECT_EQ(out.substr(0, c.Prints.size()), c.Prints) << c.Args;
    else
      EXPECT_EQ(out, c.Prints) << c.Args;
  }
}

TEST_F(DiffCommand, JsonCarriesCountsBoxAndSizes) {
  std::string out;
  ASSERT_EQ(Run("--json " + Notes + " " + Moved, &out), 1) << out;
  const nlohmann::json j = nlohmann::json::parse(out);
  const TDiffResult r = Compare(Notes, Moved, 0.1);
  EXPECT_EQ(j["different"], r.Different);
  EXPECT_EQ(j["total"], 80000);
  EXPECT_DOUBLE_EQ(j["ratio"].get<double>(), r.Ratio);
  EXPECT_EQ(j["box"], nlohmann::json({{"left", r.Box.Left},
                                      {"top", r.Box.Top},
                                      {"width", r.Box.Width()},
                                      {"height", r.Box.Height()}}));
  EXPECT_EQ(j["a"], nlohmann::json({{"width", 400}, {"height", 200}}));
  ASSERT_EQ(Run("--json " + Notes + " " + Dir + "/short.bmp", &out), 1);
  const nlohmann::json sizes = nlohmann::json::parse(out);
  EXPECT_EQ(sizes["b"], nlohmann::json({{"width", 400}, {"height", 150}}));
  EXPECT_EQ(sizes["same_size"], false);
  ASSERT_EQ(Run("--json " + Notes + " " + Notes, &out), 0);
  EXPECT_TRUE(nlohmann::json::parse(out)["box"].is_null());

  ASSERT_EQ(Run("--json --hash " + Notes + " " + Changed, &out), 1);
  const nlohmann::json h = nlohmann::json::parse(out);
  host::TPicture a, b;
  a.LoadFromFile(Notes);
  b.LoadFromFile(Changed);
  EXPECT_EQ(h["a"]["phash"], HashToHex(PerceptualHash(a.Bitmap())));
  EXPECT_EQ(h["distance"], HashDistance(PerceptualHash(a.Bitmap()), PerceptualHash(b.Bitmap())));
}

// The diff picture, in each format, read back: the comparison's pixels.
TEST_F(DiffCommand, DiffPictureHoldsTheComparison) {
  host::TBitmap expected;
  Compare(Notes, Moved, 0.1, &expected);
  for (const char* name : {"d.png", "d.bmp"}) {
    std::string out;
    ASSERT_EQ(Run(Notes + " " + Moved + " --out " + Dir + "/" + name, &out), 1) << out;
    host::TPicture p;
    p.LoadFromFile(Dir + "/" + name);
    host::TBitmap& got = p.Bitmap();
    ASSERT_EQ(got.Width(), expected.Width());
    ASSERT_EQ(got.Height(), expected.Height());
    int wrong = 0;
    for (int y = 0; y < got.Height(); ++y)
      for (int x = 0; x < got.Width(); ++x) wrong += got.GetPixel(x, y) != expected.GetPixel(x, y);
    EXPECT_EQ(wrong, 0) << name;
  }
}

}  // namespace
}  // namespace snapkit::tools
