// The info command, and PNG files through the convert command.

#include "tools/info_command.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/graphics/bitmap.h"
#include "host/system/exception.h"
#include "tools/convert_command.h"

namespace snapkit::tools {
namespace {

class Info : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = "/tmp/snapkit-info-XXXXXX";
    ASSERT_TRUE(mkdtemp(templ.data()));
    FDir = templ;
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string File(const std::string& Name) const { return FDir + "/" + Name; }
  std::string FDir;
  const std::string FSample = std::string(SNAPKIT_SOURCE_DIR) + "/examples/sample.bmp";
};

TEST_F(Info, ConvertToPngAndBackKeepsEveryPixel) {
  RunConvert({FSample, File("s.png")});
  RunConvert({File("s.png"), File("back.bmp")});
  host::TBitmap a, b;
  a.LoadFromFile(FSample);
  b.LoadFromFile(File("back.bmp"));
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << x << "," << y;
}

TEST_F(Info, ListsTheHeaderAndEveryChunkAndShowsDamage) {
  RunConvert({FSample, File("s.png")});
  TInfoResult info = RunInfo({File("s.png")});
  std::string text = info.Listing;
  EXPECT_EQ(info.Problem, "");
  EXPECT_NE(text.find("size 64x48, bit depth 8, colour type 2"), std::string::npos) << text;
  EXPECT_NE(text.find("IHDR"), std::string::npos);
  EXPECT_NE(text.find("IEND"), std::string::npos);
  EXPECT_EQ(text.find("MISMATCH"), std::string::npos);

  // Flip one byte inside the image data: the listing names the bad CRC,
  // and so does the problem the program reports.
  std::string bytes;
  {
    std::ifstream in(File("s.png"), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t idat = bytes.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  bytes[idat + 10] ^= 0x55;
  {
    std::ofstream out(File("bad.png"), std::ios::binary);
    out << bytes;
  }
  info = RunInfo({File("bad.png")});
  EXPECT_NE(info.Listing.find("IDAT"), std::string::npos);
  EXPECT_NE(info.Listing.find("MISMATCH"), std::string::npos) << info.Listing;
  EXPECT_EQ(info.Problem, "chunk IDAT has a wrong CRC");
}

// WebP and AVIF files: the header's facts and the chunks or boxes, and a
// file cut short named as such.
TEST_F(Info, DescribesWebPAndAvifFilesAndWhereTheyAreCut) {
  RunConvert({FSample, File("lossy.webp")});
  TConvertOptions lossless{FSample, File("lossless.webp")};
  lossless.Encoding.Lossless = true;
  RunConvert(lossless);
  RunConvert({FSample, File("a.avif")});
  struct TCase {
    std::string Name;
    std::vector<std::string> Says;
  } cases[] = {
      {"lossy.webp", {"WebP, size 64x48, lossy, no alpha\n", "  VP8   at 12, "}},
      {"lossless.webp", {"WebP, size 64x48, lossless, no alpha\n", "  VP8L  at 12, "}},
      {"a.avif",
       {"AVIF, size 64x48, 8-bit YUV444, no alpha\n", "  ftyp  at 0, ", "  meta  at ",
        "  mdat  at "}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TInfoResult info = RunInfo({File(c.Name)});
    EXPECT_EQ(info.Problem, "");
    for (const std::string& s : c.Says)
      EXPECT_NE(info.Listing.find(s), std::string::npos) << info.Listing;
    EXPECT_EQ(info.Listing.find("CUT SHORT"), std::string::npos) << info.Listing;

    std::string bytes;
    {
      std::ifstream in(File(c.Name), std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::ofstream(File("cut-" + c.Name), std::ios::binary) << bytes.substr(0, bytes.size() - 10);
    info = RunInfo({File("cut-" + c.Name)});
    EXPECT_NE(info.Problem.find("cut short"), std::string::npos) << info.Problem;
    EXPECT_NE(info.Listing.find("(CUT SHORT)"), std::string::npos) << info.Listing;
  }
}

TEST_F(Info, WrongArgumentsAndMissingFiles) {
  EXPECT_THROW(RunInfo({}), TUsageError);
  EXPECT_THROW(RunInfo({"a.png", "b.png"}), TUsageError);
  try {
    RunInfo({File("missing.png")});
    ADD_FAILURE() << "no error";
  } catch (const TFileError& e) {
    EXPECT_EQ(e.File, File("missing.png"));
    EXPECT_NE(e.Problem.find("No such file"), std::string::npos) << e.Problem;
  }
}

}  // namespace
}  // namespace snapkit::tools
