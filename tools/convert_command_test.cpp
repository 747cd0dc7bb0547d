// The convert command, through its functions and as the installed program.

#include "tools/convert_command.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "host/graphics/bitmap.h"
#include "host/graphics/jpeg.h"
#include "host/system/exception.h"

namespace snapkit::tools {
namespace {

class Convert : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = "/tmp/snapkit-convert-XXXXXX";
    ASSERT_TRUE(mkdtemp(templ.data()));
    FDir = templ;
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string File(const std::string& Name) const { return FDir + "/" + Name; }

  // Runs the program; returns its exit code and what it printed.
  int Run(const std::string& Args, std::string* Output = nullptr) {
    std::string cmd = std::string(SNAPKIT_PROGRAM) + " " + Args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
      if (Output) Output->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string FDir;
};

TEST_F(Convert, ArgumentsAreTwoFilesAndNoUnknownOptions) {
  TConvertOptions o = ParseConvertArgs({"a.bmp", "b.jpg"});
  EXPECT_EQ(o.Input, "a.bmp");
  EXPECT_EQ(o.Output, "b.jpg");
  o = ParseConvertArgs({"--", "-in.bmp", "out.jpg"});
  EXPECT_EQ(o.Input, "-in.bmp");
  EXPECT_THROW(ParseConvertArgs({"a.bmp"}), TUsageError);
  EXPECT_THROW(ParseConvertArgs({"a.bmp", "b.bmp", "c.bmp"}), TUsageError);
  EXPECT_THROW(ParseConvertArgs({"--fast", "a.bmp", "b.jpg"}), TUsageError);
}

TEST_F(Convert, TheBundledExampleBecomesAJpegAndBack) {
  const std::string sample = std::string(SNAPKIT_SOURCE_DIR) + "/examples/sample.bmp";
  RunConvert({sample, File("s.JPG")});
  host::TJPEGImage j;
  j.LoadFromFile(File("s.JPG"));
  host::TBitmap original;
  original.LoadFromFile(sample);
  EXPECT_EQ(j.Width(), original.Width());
  EXPECT_EQ(j.Height(), original.Height());

  RunConvert({File("s.JPG"), File("s.bmp")});
  host::TBitmap back;
  back.LoadFromFile(File("s.bmp"));
  EXPECT_EQ(back.PixelFormat(), host::pf24bit);
  // The sky's top-left corner keeps its colour within JPEG's error.
  host::TColor a = original.GetPixel(1, 1), b = back.GetPixel(1, 1);
  EXPECT_NEAR(host::GetBValue(a), host::GetBValue(b), 12);
  EXPECT_NEAR(host::GetRValue(a), host::GetRValue(b), 12);
}

TEST_F(Convert, ProgramReportsFailuresWithExitCodeOne) {
  std::string out;
  EXPECT_EQ(Run("--help", &out), 0);
  EXPECT_NE(out.find("snapkit convert IN OUT"), std::string::npos);
  out.clear();
  EXPECT_EQ(Run("", &out), 1);
  EXPECT_NE(out.find("usage"), std::string::npos);
  out.clear();
  EXPECT_EQ(Run("frobnicate", &out), 1);
  EXPECT_NE(out.find("unknown command frobnicate"), std::string::npos);

  out.clear();
  EXPECT_EQ(Run("convert " + File("missing.bmp") + " " + File("x.jpg"), &out), 1);
  EXPECT_NE(out.find("missing.bmp"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(File("x.jpg")));

  const std::string sample = std::string(SNAPKIT_SOURCE_DIR) + "/examples/sample.bmp";
  out.clear();
  EXPECT_EQ(Run("convert " + sample + " " + File("x.gif"), &out), 1);
  EXPECT_NE(out.find("Unknown picture file extension (.gif)"), std::string::npos) << out;

  std::ofstream(File("broken.bmp")) << "BM not really";
  out.clear();
  EXPECT_EQ(Run("convert " + File("broken.bmp") + " " + File("x.jpg"), &out), 1);
  EXPECT_NE(out.find("Bitmap image is not valid"), std::string::npos) << out;

  EXPECT_EQ(Run("convert " + sample + " " + File("ok.jpeg")), 0);
  EXPECT_TRUE(std::filesystem::exists(File("ok.jpeg")));
}

}  // namespace
}  // namespace snapkit::tools
