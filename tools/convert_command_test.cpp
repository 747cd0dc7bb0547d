// The convert command, through its functions and as the installed program.

#include "tools/convert_command.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "host/graphics/bitmap.h"
#include "host/graphics/jpeg.h"
#include "host/graphics/picture.h"
#include "host/graphics/testing/coded_images.h"
#include "host/system/exception.h"
#include "imaging/filters.h"
#include "imaging/resample.h"
#include "png/png_image.h"
#include "tools/testing/child_program.h"

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

  // Runs the program; returns its exit code and what it printed (only on
  // standard error with ErrorsOnly).
  int Run(const std::string& Args, std::string* Output = nullptr, bool ErrorsOnly = false) {
    std::string cmd =
        std::string(SNAPKIT_PROGRAM) + " " + Args + (ErrorsOnly ? " 2>&1 >/dev/null" : " 2>&1");
    std::string out;
    const int code = testing::RunShell(cmd, &out);
    if (Output) Output->append(out);
    return code;
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
  RunConvert({sample, File("s.JPG"), {}});
  host::TJPEGImage j;
  j.LoadFromFile(File("s.JPG"));
  host::TBitmap original;
  original.LoadFromFile(sample);
  EXPECT_EQ(j.Width(), original.Width());
  EXPECT_EQ(j.Height(), original.Height());

  RunConvert({File("s.JPG"), File("s.bmp"), {}});
  host::TBitmap back;
  back.LoadFromFile(File("s.bmp"));
  EXPECT_EQ(back.PixelFormat(), host::pf24bit);
  // The sky's top-left corner keeps its colour within JPEG's error.
  host::TColor a = original.GetPixel(1, 1), b = back.GetPixel(1, 1);
  EXPECT_NEAR(host::GetBValue(a), host::GetBValue(b), 12);
  EXPECT_NEAR(host::GetRValue(a), host::GetRValue(b), 12);
}

// Pillow's reading of a file: "FORMAT WxH".
std::string PillowSees(const std::string& File) {
  std::string cmd =
      "/usr/bin/python3 -c 'import sys; from PIL import Image; im = "
      "Image.open(sys.argv[1]); print(im.format, \"%dx%d\" % im.size, end=\"\")' '" +
      File + "' 2>&1";
  std::string out;
  testing::RunShell(cmd, &out);
  return out;
}

TEST_F(Convert, TheFormatIsOutsExtensionsOrFormatsAndDashIsStandardOutput) {
  const std::string sample = std::string(SNAPKIT_SOURCE_DIR) + "/examples/sample.bmp";
  host::TBitmap original;
  original.LoadFromFile(sample);
  const std::string size =
      std::to_string(original.Width()) + "x" + std::to_string(original.Height());
  struct TCase {
    std::string Out, More, Format;
  };
  const TCase cases[] = {
      {"a.JPEG", "", "JPEG"},
      {"b.jpe", "", "JPEG"},
      {"c.Png", "", "PNG"},
      {"d.BMP", "", "BMP"},
      {"e.gif", "--format png", "PNG"},
      {"f", "--format JPG", "JPEG"},
      {"-", "--format jpeg", "JPEG"},
      {"-", "--format bmp", "BMP"},
      {"g.WebP", "", "WEBP"},
      {"h", "--format webp --lossless", "WEBP"},
      {"-", "--format webp --quality 20", "WEBP"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Out + " " + c.More);
    const std::string file = File(c.Out == "-" ? "stdout" : c.Out);
    std::string err;
    EXPECT_EQ(
        Run("convert " + sample + " " + (c.Out == "-" ? "- >" : "") + file + " " + c.More, &err), 0)
        << err;
    EXPECT_EQ(PillowSees(file), c.Format + " " + size);
  }
  // Only the pictures: no file was left under its temporary name.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FDir),
                          std::filesystem::directory_iterator()),
            9);
}

// Every command answers a wrong command line with its one line and where
// its help is, and exit code 2; --help prints that help.
TEST_F(Convert, WrongCommandLinesExitWithTwoAndPointToTheirHelp) {
  const std::string sample = std::string(SNAPKIT_SOURCE_DIR) + "/examples/sample.bmp";
  struct TCase {
    std::string Args, Says, Command;
  };
  const TCase cases[] = {
      {"frobnicate", "unknown command frobnicate", ""},
      {"convert " + sample, "convert needs an input and an output file", "convert "},
      {"convert " + sample + " " + File("x.gif"), "x.gif: the extension names no picture format",
       "convert "},
      {"convert " + sample + " -", "standard output needs --format", "convert "},
      {"convert " + sample + " " + File("x.png") + " --format jpg",
       "x.png is named as PNG but --format says JPEG", "convert "},
      {"convert " + sample + " " + File("x.png") + " --quality 80",
       "--quality is for JPEG, WebP and AVIF, and the output is PNG", "convert "},
      {"convert " + sample + " " + File("x.avif") + " --lossless",
       "--lossless is WebP's, and the output is AVIF", "convert "},
      {"convert " + sample + " " + File("x.webp") + " --lossless --quality 9",
       "--lossless makes none", "convert "},
      {"convert " + sample + " " + File("x.webp") + " --quality 101",
       "--quality must be a whole number from 1 to 100", "convert "},
      {"info", "info needs exactly one file", "info "},
      {"palette --bogus", "unknown option --bogus", "palette "},
      {"capture http://127.0.0.1/", "capture needs a URL and an output file", "capture "},
      {"view", "view needs a URL", "view "},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args);
    std::string out;
    EXPECT_EQ(Run(c.Args, &out, true), 2);
    const std::size_t line = out.find('\n');
    ASSERT_NE(line, std::string::npos) << out;
    EXPECT_NE(out.substr(0, line).find(c.Says), std::string::npos) << out;
    EXPECT_EQ(out.substr(line + 1), "Try 'snapkit " + c.Command + "--help'\n");
  }
  EXPECT_FALSE(std::filesystem::exists(File("x.gif")));
  EXPECT_FALSE(std::filesystem::exists(File("x.png")));
  EXPECT_FALSE(std::filesystem::exists(File("x.webp")));
  for (const char* command : {"capture", "convert", "info", "palette", "view"}) {
    std::string out;
    EXPECT_EQ(Run(std::string(command) + " --help", &out), 0);
    EXPECT_EQ(out.rfind(std::string("snapkit ") + command, 0), 0u) << out;
  }
  std::string out;
  EXPECT_EQ(Run("", &out), 2);
  EXPECT_NE(out.find("usage: snapkit COMMAND"), std::string::npos);
}

// As a new user meets them: each failure exits with 1 and one line on
// standard error naming the file and what is wrong with it.
TEST_F(Convert, EveryFailureExitsNonZeroNamingTheFileAndTheProblem) {
  const std::string sample = std::string(SNAPKIT_SOURCE_DIR) + "/examples/sample.bmp";
  ASSERT_EQ(Run("convert " + sample + " " + File("good.png")), 0);
  std::string png;
  {
    std::ifstream in(File("good.png"), std::ios::binary);
    png.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::size_t idat = png.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  auto write = [&](const std::string& Name, const std::string& Bytes) {
    std::ofstream(File(Name), std::ios::binary) << Bytes;
    return File(Name);
  };
  const std::string notPng = write("notes.png", "These are notes, not a picture.\n");
  const std::string cutInData = write("cut-in-data.png", png.substr(0, idat + 100));
  const std::string cutLast = write("cut-last.png", png.substr(0, png.size() - 3));
  std::string badCrc = png;
  badCrc[idat + 20] ^= 0x40;
  write("bad-crc.png", badCrc);

  struct TCase {
    std::string Args, File, Problem;
  };
  const TCase cases[] = {
      {"info " + notPng, notPng, "not a PNG file"},
      {"info " + cutLast, cutLast, "chunk IEND is truncated"},
      {"info " + File("bad-crc.png"), File("bad-crc.png"), "chunk IDAT has a wrong CRC"},
      {"info " + File("missing.png"), File("missing.png"), "No such file"},
      {"convert " + cutInData + " " + File("x.bmp"), cutInData,
       "The PNG file is cut short inside its IDAT chunk"},
      {"convert " + notPng + " " + File("x.bmp"), notPng, "it has an invalid file header."},
      {"convert " + File("bad-crc.png") + " " + File("x.bmp"), File("bad-crc.png"),
       "it has corrupted data."},
      {"convert " + sample + " " + FDir + "/no/such/dir/x.bmp", FDir + "/no/such/dir/x.bmp",
       "the folder " + FDir + "/no/such/dir does not exist"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args);
    std::string out;
    EXPECT_EQ(Run(c.Args, &out, true), 1);
    EXPECT_NE(out.find(c.File), std::string::npos) << out;
    EXPECT_NE(out.find(c.Problem), std::string::npos) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos) << "one line, no CR";
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  }
  EXPECT_FALSE(std::filesystem::exists(File("x.bmp")));
  EXPECT_EQ(Run("info " + File("good.png") + " >/dev/null"), 0);
}

// The program's peak memory (resident KiB) running Args.
long PeakKiB(const std::vector<std::string>& Args) {
  const pid_t child = testing::StartProgram(Args, {.Stdout = "/dev/null"});
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << "the program failed";
    return 0;
  }
  return usage.ru_maxrss;
}

// A PNG picture converted to BMP is held once, not copied on its way: the
// peak beyond what the program needs anyway stays within 1.5 times the
// pixels. (The sanitizers' own bookkeeping would blur the figure.)
TEST_F(Convert, PngToBmpHoldsThePictureOnce) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "memory figures mean nothing under AddressSanitizer";
#endif
  constexpr int kSide = 3000;
  {
    // Gradients with a little texture: compresses as photos and pages do.
    TPNGImage png;
    png.SetPixelFormat(host::pf24bit);
    png.SetSize(kSide, kSide);
    for (int y = 0; y < kSide; ++y) {
      std::uint8_t* row = png.ScanLine(y);
      for (int x = 0; x < kSide; ++x) {
        row[3 * x] = std::uint8_t(x / 12 + (x * y % 7 == 0 ? 9 : 0));
        row[3 * x + 1] = std::uint8_t(y / 12);
        row[3 * x + 2] = std::uint8_t((x + y) / 24);
      }
    }
    png.SaveToFile(File("big.png"));
  }
  const double pixelKiB = double(kSide) * kSide * 3 / 1024;
  const long base = PeakKiB({"--version"});
  const long peak = PeakKiB({"convert", File("big.png"), File("big.bmp")});
  EXPECT_LE(double(peak - base), 1.5 * pixelKiB)
      << "peak " << peak << " KiB, " << base << " KiB to start, pixels " << pixelKiB << " KiB";
  EXPECT_EQ(std::filesystem::file_size(File("big.bmp")), 54u + 9000u * 3000u);
}

TEST_F(Convert, VersionIsTheProjectsVersion) {
  std::string cmake;
  {
    std::ifstream in(std::string(SNAPKIT_SOURCE_DIR) + "/CMakeLists.txt");
    cmake.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string key = "project(snapkit VERSION ";
  const std::size_t at = cmake.find(key);
  ASSERT_NE(at, std::string::npos);
  const std::string version =
      cmake.substr(at + key.size(), cmake.find_first_of(" )", at + key.size()) - at - key.size());
  std::string out;
  EXPECT_EQ(Run("--version", &out), 0);
  EXPECT_EQ(out, "snapkit " + version + "\n");
}

TEST_F(Convert, SizeAndFilterOptions) {
  TConvertOptions o = ParseConvertArgs({"--size", "320x180", "a.png", "b.png"});
  EXPECT_EQ(o.Width, 320);
  EXPECT_EQ(o.Height, 180);
  EXPECT_EQ(o.Filter, "mitchell");
  o = ParseConvertArgs(
      {"a.png", "b.png", "--size", "7X9", "--filter", "Lanczos3", "--filter-width", "2.5"});
  EXPECT_EQ(o.Width, 7);
  EXPECT_EQ(o.Height, 9);
  EXPECT_EQ(o.Filter, "lanczos3");
  EXPECT_FLOAT_EQ(o.FilterWidth, 2.5f);
  for (std::vector<std::string> bad : {std::vector<std::string>{"--size", "320", "a", "b"},
                                       {"--size", "0x10", "a", "b"},
                                       {"--size", "10x-1", "a", "b"},
                                       {"--size", "10x10x", "a", "b"},
                                       {"a", "b", "--size"},
                                       {"--size", "10x10", "--filter", "gauss", "a", "b"},
                                       {"--size", "10x10", "--filter-width", "0", "a", "b"},
                                       {"--filter", "box", "a", "b"}})
    EXPECT_THROW(ParseConvertArgs(bad), TUsageError) << bad[0] << " " << bad[1];
}

TEST_F(Convert, ResizingUsesTheChosenKernelAndItsDefaultWidth) {
  const std::string sample = std::string(SNAPKIT_SOURCE_DIR) + "/examples/sample.bmp";
  // Mitchell at 3.0 unless told otherwise; box at its own support.
  struct TCase {
    const char* Name;
    float Width;
  };
  for (TCase c : {TCase{"mitchell", 3.0f}, TCase{"box", 0.5f}}) {
    SCOPED_TRACE(c.Name);
    TConvertOptions o =
        ParseConvertArgs({sample, File("small.bmp"), "--size", "21x13", "--filter", c.Name});
    RunConvert(o);
    host::TBitmap got, source, expected;
    got.LoadFromFile(File("small.bmp"));
    source.LoadFromFile(sample);
    Resample(source, expected, 21, 13, FindResampleFilter(c.Name)->Filter, c.Width);
    ASSERT_EQ(got.Width(), 21);
    ASSERT_EQ(got.Height(), 13);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 21; ++x) ASSERT_EQ(got.GetPixel(x, y), expected.GetPixel(x, y));
  }
}

}  // namespace
}  // namespace snapkit::tools

namespace snapkit::tools {
namespace {

// WebP and AVIF pictures of a real capture: lossless is exact, a lower
// quality is a smaller file, a JPEG re-encodes at the quality asked for,
// and each file reads back in the format's own tools (Pillow for WebP,
// avifdec for AVIF).
TEST_F(Convert, QualityAndLosslessReachWebPAvifAndJpeg) {
  const std::string capture = std::string(SNAPKIT_SOURCE_DIR) + "/bench/data/screenshot.png";
  const std::string page = File("page.png");
  // 480x300 of the page, so that the encoders' times stay small.
  RunConvert({capture, page, {}, {}, 480, 270});
  host::TPicture source;
  source.LoadFromFile(page);
  struct TCase {
    std::string In, Out, Options;
    bool Exact;
  } cases[] = {
      {"page.png", "lossless.webp", "--lossless", true},
      {"page.png", "q90.webp", "", false},
      {"page.png", "q30.webp", "--quality 30", false},
      {"page.png", "q90.avif", "", false},
      {"page.png", "q30.avif", "--quality 30", false},
      {"page.png", "q90.jpg", "", false},
      {"page.png", "q30.jpg", "--quality 30", false},
      // A JPEG of quality 90 made one of 30; WebP and AVIF files read.
      {"q90.jpg", "again-q30.jpg", "--quality 30", false},
      {"lossless.webp", "from-webp.png", "", true},
      {"q90.avif", "from-avif.png", "", false},
  };
  std::map<std::string, std::uintmax_t> bytes;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Out);
    std::string err;
    ASSERT_EQ(Run("convert " + File(c.In) + " " + File(c.Out) + " " + c.Options, &err), 0) << err;
    bytes[c.Out] = std::filesystem::file_size(File(c.Out));
    std::string readable = File(c.Out);
    if (c.Out.find(".avif") != std::string::npos) {
      readable += ".png";
      ASSERT_EQ(testing::RunShell("avifdec " + File(c.Out) + " " + readable + " 2>&1", &err), 0)
          << err;
    }
    host::testing::TRgbImage seen;
    ASSERT_TRUE(host::testing::ReadWithPillow(readable, seen));
    const double psnr = host::testing::Psnr(*host::testing::FromRgb(seen), source.Bitmap());
    if (c.Exact)
      EXPECT_EQ(psnr, 99.0);
    else
      EXPECT_LT(psnr, 99.0);
    EXPECT_GT(psnr, 28.0);
  }
  for (const char* kind : {"webp", "avif", "jpg"})
    EXPECT_LT(bytes[std::string("q30.") + kind], bytes[std::string("q90.") + kind]) << kind;
  EXPECT_LT(bytes["again-q30.jpg"], bytes["q90.jpg"]);
  EXPECT_GT(bytes["lossless.webp"], bytes["q90.webp"]);
}

}  // namespace
}  // namespace snapkit::tools
