// The package libraries opened and closed at run time, as the designer does:
// loading installs the PNG, WebP and AVIF formats and PNG's chunk classes, Register puts
// TSitelens alone on "Corvane" with its palette picture, unloading takes all
// of it away again, and loading again works. This program links only the
// host library, so everything of the package comes through dlopen.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "host/forms/palette.h"
#include "host/forms/published.h"
#include "host/graphics/bitmap.h"
#include "host/graphics/picture.h"
#include "host/graphics/testing/images.h"

namespace {

using host::testing::TScratchDir;

struct TLibrary {
  const char* Path;
  const char* Runtime;  // what its description says it is built for
};

class PackageLoad : public ::testing::TestWithParam<TLibrary> {};

std::vector<host::TPaletteItem> OnPage(const std::string& Page) {
  std::vector<host::TPaletteItem> R;
  for (const host::TPaletteItem& I : host::PaletteItems())
    if (I.Page == Page) R.push_back(I);
  return R;
}

TEST_P(PackageLoad, LoadRegisterUnloadAndLoadAgain) {
  const TLibrary& Lib = GetParam();
  TScratchDir Dir;
  const std::string Png = Dir.File("pixels.png");
  // Pillow writes the file: a 3x2 picture with a colour of its own per pixel.
  ASSERT_EQ(host::testing::RunPython(
                "import sys\nfrom PIL import Image\n"
                "im = Image.new('RGB', (3, 2))\n"
                "im.putdata([(18,52,86),(255,0,0),(0,255,0),(0,0,255),(1,2,3),(250,251,252)])\n"
                "im.save(sys.argv[1])\n",
                {Png}),
            0);
  host::testing::TRgbImage Expected;
  ASSERT_TRUE(host::testing::ReadWithPillow(Png, Expected));

  ASSERT_EQ(host::TPicture::GraphicClassForFile(Png), nullptr);
  ASSERT_EQ(host::TPicture::GraphicClassForFile("a.webp"), nullptr);
  for (int Round = 0; Round < 2; ++Round) {
    SCOPED_TRACE("round " + std::to_string(Round));
    void* Handle = dlopen(Lib.Path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(Handle, nullptr) << dlerror();
    {
      ASSERT_NE(host::TPicture::GraphicClassForFile(Png), nullptr);
      for (const char* Name : {"a.webp", "a.WEBP", "a.avif", "a.Avif"})
        EXPECT_NE(host::TPicture::GraphicClassForFile(Name), nullptr) << Name;
      host::TPicture Picture;
      Picture.LoadFromFile(Png);
      host::testing::TRgbImage Got = host::testing::ToRgb(Picture.Bitmap());
      EXPECT_EQ(Got.Width, 3);
      EXPECT_EQ(Got.Height, 2);
      EXPECT_EQ(Got.Rgb, Expected.Rgb);
    }
    EXPECT_NE(host::FindPublishedClass("TSitelens"), nullptr);
    EXPECT_NE(host::FindPublishedClass("TDropURL"), nullptr);

    auto Register = reinterpret_cast<void (*)()>(dlsym(Handle, "Register"));
    auto Description = reinterpret_cast<const char* (*)()>(dlsym(Handle, "PackageDescription"));
    ASSERT_NE(Register, nullptr);
    ASSERT_NE(Description, nullptr);
    EXPECT_TRUE(OnPage("Corvane").empty());
    Register();
    std::vector<host::TPaletteItem> Items = OnPage("Corvane");
    ASSERT_EQ(Items.size(), 1u);
    EXPECT_EQ(Items[0].ComponentClass->ClassName, "TSitelens");
    EXPECT_EQ(host::PaletteItems().size(), 1u);
    const std::string Text = Description();
    EXPECT_NE(Text.find("TSitelens"), std::string::npos) << Text;
    EXPECT_NE(Text.find(Lib.Runtime), std::string::npos) << Text;

    host::TBitmap Icon;
    ASSERT_TRUE(host::LoadBitmapResource("TSITELENS", Icon));
    EXPECT_EQ(Icon.Width(), 24);
    EXPECT_EQ(Icon.Height(), 24);
    EXPECT_EQ(Icon.PixelFormat(), host::pf4bit);

    ASSERT_EQ(dlclose(Handle), 0) << dlerror();
    // Really gone, not merely released.
    EXPECT_EQ(dlopen(Lib.Path, RTLD_NOW | RTLD_NOLOAD), nullptr);
    EXPECT_EQ(host::TPicture::GraphicClassForFile(Png), nullptr);
    for (const host::TFileFormat& F : host::TPicture::FileFormats())
      for (const char* Gone : {"png", "webp", "avif"}) EXPECT_NE(F.Extension, Gone);
    EXPECT_TRUE(host::PaletteItems().empty());
    EXPECT_FALSE(host::LoadBitmapResource("TSITELENS", Icon));
    EXPECT_EQ(host::FindPublishedClass("TSitelens"), nullptr);
    EXPECT_EQ(host::FindPublishedClass("TDropURL"), nullptr);
    EXPECT_NE(host::FindPublishedClass("TTimer"), nullptr);  // the host's stay
  }
}

const TLibrary Libraries[] = {
    {SNAPKIT_D5_LIBRARY, "runtime 5 (C++20)"},
#ifdef SNAPKIT_D4_LIBRARY
    {SNAPKIT_D4_LIBRARY, "runtime 4 (C++17)"},
#endif
};

INSTANTIATE_TEST_SUITE_P(Packages, PackageLoad, ::testing::ValuesIn(Libraries),
                         [](const ::testing::TestParamInfo<TLibrary>& I) {
                           return std::string(I.param.Runtime).find('5') != std::string::npos
                                      ? "D5"
                                      : "D4";
                         });

}  // namespace
