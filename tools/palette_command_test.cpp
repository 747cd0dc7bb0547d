// The palette command: the package's description and its one component on
// "Corvane", the palette picture checked with Pillow, and libraries that are
// no package.

#include "tools/palette_command.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/graphics/bitmap.h"
#include "host/system/exception.h"
#include "tools/convert_command.h"
#include "tools/testing/child_program.h"

namespace snapkit::tools {
namespace {

class Palette : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string Templ = "/tmp/snapkit-palette-XXXXXX";
    ASSERT_TRUE(mkdtemp(Templ.data()));
    FDir = Templ;
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }

  std::string FDir;
};

TEST_F(Palette, ListsThePackageAndItsOneComponentOnCorvane) {
  const std::string Text = RunPalette({});
  EXPECT_NE(Text.find("libsnapkitD5.so"), std::string::npos) << Text;
  EXPECT_NE(Text.find(": snapkit: TSitelens, a live web-page thumbnail control, for the snapkit "
                      "host framework runtime 5 (C++20)\n"),
            std::string::npos)
      << Text;
  EXPECT_NE(Text.find("Palette:\n  Corvane: TSitelens\n"), std::string::npos) << Text;

  std::string Program;
  EXPECT_EQ(testing::RunShell(std::string(SNAPKIT_PROGRAM) + " palette 2>&1", &Program), 0)
      << Program;
  EXPECT_NE(Program.find("Palette:\n  Corvane: TSitelens\n"), std::string::npos) << Program;
}

// Pillow, an independent reader, sees a 24x24 16-colour picture with the
// pixels our own reader sees, and the page and the lens where they are drawn.
TEST_F(Palette, IconsAre24By24At4BitsAndReadElsewhereAlike) {
  // The folder is made, with its parents.
  const std::string Text = RunPalette({"--icons", FDir + "/new/icons"});
  const std::string File = FDir + "/new/icons/TSITELENS.bmp";
  EXPECT_NE(Text.find("Wrote " + File + " (24x24)"), std::string::npos) << Text;

  const char* Script =
      "import sys\n"
      "from PIL import Image\n"
      "raw = open(sys.argv[1], 'rb').read()\n"
      "im = Image.open(sys.argv[1])\n"
      "print(im.size[0], im.size[1], im.mode, raw[28] | raw[29] << 8, len(im.getcolors(256)))\n"
      "rgb = im.convert('RGB')\n"
      "print(' '.join('%02x%02x%02x' % rgb.getpixel((x, y)) for y in range(24) for x in "
      "range(24)))\n";
  const std::string ScriptFile = FDir + "/read_icon.py";
  std::ofstream(ScriptFile) << Script;
  std::string Out;
  testing::RunShell("/usr/bin/python3 " + ScriptFile + " " + File + " 2>&1", &Out);
  std::istringstream In(Out);
  int W = 0, H = 0, Bits = 0, Colours = 0;
  std::string Mode;
  In >> W >> H >> Mode >> Bits >> Colours;
  EXPECT_EQ(W, 24) << Out;
  EXPECT_EQ(H, 24);
  EXPECT_EQ(Mode, "P");
  EXPECT_EQ(Bits, 4);
  EXPECT_LE(Colours, 16);
  EXPECT_GE(Colours, 5);  // a picture, not a blank

  host::TBitmap Ours;
  Ours.LoadFromFile(File);
  std::vector<std::string> Pillow(24 * 24);
  for (std::string& P : Pillow) In >> P;
  auto Hex = [&](int X, int Y) {
    host::TColor C = Ours.GetPixel(X, Y);  // 0x00BBGGRR
    char S[8];
    std::snprintf(S, sizeof S, "%02x%02x%02x", C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
    return std::string(S);
  };
  for (int Y = 0; Y < 24; ++Y)
    for (int X = 0; X < 24; ++X) ASSERT_EQ(Pillow[Y * 24 + X], Hex(X, Y)) << X << "," << Y;
  const struct {
    int X, Y;
    const char* Colour;
    const char* What;
  } Points[] = {
      {0, 23, "c0c0c0", "background, the lower-left pixel"},
      {2, 1, "000000", "page outline"},
      {5, 6, "ffffff", "paper"},
      {5, 7, "808080", "a line of text"},
      {15, 13, "00ffff", "lens glass"},
      {16, 7, "000080", "lens rim"},
      {19, 17, "800000", "handle"},
  };
  for (const auto& P : Points) EXPECT_EQ(Pillow[P.Y * 24 + P.X], P.Colour) << P.What;
}

TEST_F(Palette, LibrariesThatAreNoPackageAreRefused) {
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  };
  const TCase Cases[] = {
      {{FDir + "/missing.so"}, "Cannot load package"},
      {{"libz.so.1"}, "libz.so.1 is not a package: it exports no Register"},
  };
  for (const TCase& C : Cases) {
    try {
      RunPalette(C.Args);
      ADD_FAILURE() << C.Message;
    } catch (const host::Exception& E) {
      EXPECT_NE(E.Message().find(C.Message), std::string::npos) << E.Message();
    }
  }
  EXPECT_THROW(RunPalette({"--icons"}), TUsageError);
  EXPECT_THROW(RunPalette({"--colour"}), TUsageError);
}

}  // namespace
}  // namespace snapkit::tools
