// Saving a real capture: the format by extension and the sizes, each file
// read back by Pillow (the PNGs also by libpng, the AVIFs by avifdec), and
// saving that fails.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "capture/sitelens.h"
#include "capture/testing/capture_testing.h"
#include "host/browser/testing/http_server.h"
#include "host/forms/screen.h"
#include "host/graphics/testing/images.h"
#include "host/system/exception.h"
#include "host/system/shell.h"
#include "imaging/filters.h"
#include "imaging/resample.h"
#include "png/testing/libpng_writer.h"

namespace snapkit {
namespace {

using host::testing::ReadWithPillow;
using host::testing::RunPython;
using host::testing::TScratchDir;
using testing::TLens;

// Pillow's name for the file's format and its size, "PNG 200x150".
std::string PillowSees(const std::string& File) {
  std::string Out;
  RunPython(
      "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
      "print(im.format, '%dx%d' % im.size, end='')",
      {File}, &Out);
  return Out;
}

std::unique_ptr<host::TBitmap> ToBitmap(const host::testing::TRgbImage& Image) {
  auto B = std::make_unique<host::TBitmap>();
  B->SetPixelFormat(host::pf24bit);
  B->SetSize(Image.Width, Image.Height);
  for (int y = 0; y < Image.Height; ++y)
    for (int x = 0; x < Image.Width; ++x) {
      const std::uint8_t* P = &Image.Rgb[(std::size_t(y) * Image.Width + x) * 3];
      B->SetPixel(x, y, host::RGB(P[0], P[1], P[2]));
    }
  return B;
}

class SaveCaptureTest : public ::testing::Test {
 protected:
  // One 1024x768 capture of a colourful page serves every test.
  static void SetUpTestSuite() {
    Server = new host::testing::TTestServer;
    Server->Route("/page.html",
                  host::testing::Page(
                      "<html><body style='margin:0;background:linear-gradient(90deg,#f00,#00f)'>"
                      "<div style='margin:40px;width:300px;height:200px;background:#0a0'></div>"
                      "<p style='font:40px sans-serif'>snapkit</p></body></html>"));
    Lens = new TLens;
    (*Lens)->SetWebPageView(wvCustom);
    (*Lens)->SetViewWidth(1024);
    (*Lens)->SetViewHeight(768);
    (*Lens)->setUrl(Server->Url("/page.html"));
    Ready = Lens->WaitReady();
  }
  static void TearDownTestSuite() {
    delete Lens;
    delete Server;
  }
  void SetUp() override {
    ASSERT_TRUE(Ready);
    (*Lens)->SetProportional(true);  // no refresh: it is already
  }

  // The capture resampled as a save of that size must be.
  host::testing::TRgbImage Expected(int W, int H) {
    host::TBitmap Copy, Out;
    Copy.Assign((*Lens)->Capture());
    Resample(Copy, Out, W, H, MitchellFilter, 3.0f);
    return host::testing::ToRgb(Out);
  }

  static host::testing::TTestServer* Server;
  static TLens* Lens;
  static bool Ready;
  TScratchDir Dir;
};

host::testing::TTestServer* SaveCaptureTest::Server = nullptr;
TLens* SaveCaptureTest::Lens = nullptr;
bool SaveCaptureTest::Ready = false;

TEST_F(SaveCaptureTest, TheExtensionChoosesTheFormat) {
  struct TCase {
    const char* Name;
    const char* Format;
  };
  const TCase Cases[] = {
      {"a.png", "PNG"},
      {"b.PNG", "PNG"},
      {"c.jpg", "JPEG"},
      {"d.JPG", "JPEG"},
      {"e.Jpg", "JPEG"},
      {"f.jpeg", "BMP"},
      {"g.bmp", "BMP"},
      {"noext", "BMP"},
      {"h.gif", "BMP"},
      // Registered formats beyond the three: written as what they say.
      {"i.webp", "WEBP"},
      {"j.WebP", "WEBP"},
  };
  host::testing::TRgbImage Full = host::testing::ToRgb((*Lens)->Capture());
  for (const TCase& C : Cases) {
    std::string File = Dir.File(C.Name);
    ASSERT_EQ((*Lens)->SaveToFile(File, 0, 0), 0) << C.Name;
    EXPECT_EQ(PillowSees(File), std::string(C.Format) + " 1024x768") << C.Name;
    host::testing::TRgbImage Read;
    ASSERT_TRUE(ReadWithPillow(File, Read)) << C.Name;
    if (std::string(C.Format) == "JPEG" || std::string(C.Format) == "WEBP") {
      EXPECT_GT(host::testing::Psnr(*ToBitmap(Read), (*Lens)->Capture()), 30.0) << C.Name;
    } else {
      EXPECT_TRUE(Read.Rgb == Full.Rgb) << C.Name;
    }
  }
  // A dot in a folder's name is no extension.
  ASSERT_EQ(::mkdir(Dir.File("pictures.png").c_str(), 0700), 0);
  ASSERT_EQ((*Lens)->SaveToFile(Dir.File("pictures.png/shot"), 0, 0), 0);
  EXPECT_EQ(PillowSees(Dir.File("pictures.png/shot")), "BMP 1024x768");
}

// The control's quality reaches WebP and AVIF files as it does JPEG files,
// and its lossless switch WebP's; avifdec reads the AVIF files.
TEST_F(SaveCaptureTest, WebPAndAvifTakeTheQualityAndLossless) {
  struct TCase {
    const char* Name;
    int Quality;
    bool Lossless;
    double MinPsnr;  // 99: exact
  } Cases[] = {
      {"q90.webp", 90, false, 38}, {"q30.webp", 30, false, 28}, {"lossless.webp", 90, true, 99},
      {"q90.avif", 90, false, 40}, {"q30.AVIF", 30, false, 28},
  };
  std::vector<std::int64_t> Sizes;
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    (*Lens)->SetJPEGQuality(C.Quality);
    (*Lens)->SetWebPLossless(C.Lossless);
    const std::string File = Dir.File(C.Name);
    ASSERT_EQ((*Lens)->SaveToFile(File, 0, 0), 0);
    std::string Readable = File;
    if (std::string(C.Name).find(".webp") == std::string::npos) {
      Readable += ".png";
      std::string Log;
      ASSERT_EQ(host::testing::RunPython("import subprocess, sys\n"
                                         "sys.exit(subprocess.call(['avifdec'] + sys.argv[1:]))\n",
                                         {File, Readable}, &Log),
                0)
          << Log;
    }
    host::testing::TRgbImage Read;
    ASSERT_TRUE(ReadWithPillow(Readable, Read));
    EXPECT_GE(host::testing::Psnr(*ToBitmap(Read), (*Lens)->Capture()), C.MinPsnr);
    struct stat St;
    ASSERT_EQ(::stat(File.c_str(), &St), 0);
    Sizes.push_back(St.st_size);
  }
  (*Lens)->SetJPEGQuality(90);
  (*Lens)->SetWebPLossless(false);
  EXPECT_LT(Sizes[1], Sizes[0]);
  EXPECT_LT(Sizes[4], Sizes[3]);
}

TEST_F(SaveCaptureTest, RequestedSizesAreFittedWhenProportionalAndExactOtherwise) {
  struct TCase {
    bool Proportional;
    int Width, Height;
    int SavedW, SavedH;
  };
  const TCase Cases[] = {
      {true, 200, 200, 200, 150},  {true, 2000, 2000, 1024, 768}, {true, 320, 0, 1024, 768},
      {false, 200, 100, 200, 100}, {false, 0, 50, 1024, 768},     {true, -5, 10, 1024, 768},
  };
  for (const TCase& C : Cases) {
    (*Lens)->SetProportional(C.Proportional);
    if (!C.Proportional) {
      ASSERT_TRUE(Lens->WaitReady());  // the change refreshes
    }
    std::string File = Dir.File("sized.png");
    ASSERT_EQ((*Lens)->SaveToFile(File, C.Width, C.Height), 0);
    std::vector<std::uint8_t> Bytes = host::testing::ReadFile(File);
    snapkit::testing::TLibpngImage Png = snapkit::testing::ReadWithLibpng(Bytes);
    ASSERT_EQ(int(Png.Width), C.SavedW) << C.Width << "x" << C.Height;
    ASSERT_EQ(int(Png.Height), C.SavedH) << C.Width << "x" << C.Height;
    // No width asked for: the capture itself, not a resample of it.
    host::testing::TRgbImage Want =
        C.Width > 0 ? Expected(C.SavedW, C.SavedH) : host::testing::ToRgb((*Lens)->Capture());
    std::vector<std::uint8_t> Got;
    for (const auto& Row : Png.Rows) Got.insert(Got.end(), Row.begin(), Row.end());
    EXPECT_TRUE(Got == Want.Rgb) << C.Width << "x" << C.Height;
    (*Lens)->SetProportional(true);
    if (!C.Proportional) {
      ASSERT_TRUE(Lens->WaitReady());
    }
  }
}

TEST_F(SaveCaptureTest, AnUnwritablePathRaises) {
  for (const char* Name :
       {"missing/a.png", "missing/a.jpg", "missing/a.bmp", "missing/a.webp", "missing/a.avif"}) {
    EXPECT_THROW((*Lens)->SaveToFile(Dir.File(Name), 100, 100), host::Exception) << Name;
    EXPECT_THROW((*Lens)->SaveToFile(Dir.File(Name), 0, 0), host::Exception) << Name;
  }
}

TEST_F(SaveCaptureTest, ViewFullImageWritesTheWholeCaptureAsBMPForTheViewer) {
  std::vector<std::string> Opened;
  host::TShellLauncher Old = host::SetShellLauncher([&](const std::vector<std::string>& Argv) {
    Opened.push_back(Argv.back());
    return true;
  });
  host::TPopupHook OldHook =
      host::SetPopupHook([](host::TPopupMenu& Menu, int, int) { Menu.Items().Items(1)->Click(); });
  (*Lens)->Perform(host::WM_RBUTTONDOWN, 0, host::MakeLParam(10, 10));
  (*Lens)->Perform(host::WM_RBUTTONDOWN, 0, host::MakeLParam(20, 20));
  host::SetPopupHook(OldHook);
  host::SetShellLauncher(Old);
  ASSERT_EQ(Opened, std::vector<std::string>(2, (*Lens)->ViewFile()));
  EXPECT_EQ(PillowSees(Opened[0]), "BMP 1024x768");
  host::testing::TRgbImage Read;
  ASSERT_TRUE(ReadWithPillow(Opened[0], Read));
  EXPECT_TRUE(Read.Rgb == host::testing::ToRgb((*Lens)->Capture()).Rgb);
  ::unlink(Opened[0].c_str());
}

}  // namespace
}  // namespace snapkit
