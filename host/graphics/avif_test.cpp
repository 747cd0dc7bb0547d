// TAVIFImage: round trips of real captures, files that libavif's own tools
// write and read, damaged and hostile input, and the settings.

#include "host/graphics/avif.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/graphics/bitmap.h"
#include "host/graphics/testing/coded_images.h"
#include "host/system/exception.h"

namespace host {
namespace {

using testing::LoadFromBytes;
using testing::Psnr;
using testing::RealCapture;
using testing::SamePixels;
using testing::SaveToBytes;
using testing::TScratchDir;

std::vector<std::uint8_t> EncodeAVIF(const TBitmap& B, int Quality = 90,
                                     int Speed = TAVIFImage::DefaultSpeed) {
  TAVIFImage a;
  a.SetCompressionQuality(Quality);
  a.SetSpeed(Speed);
  a.Assign(B);
  return SaveToBytes(a);
}

// The offset of box Type's payload in File (its first occurrence), or 0.
std::size_t FindBox(const std::vector<std::uint8_t>& File, const char* Type) {
  for (std::size_t i = 4; i + 4 <= File.size(); ++i)
    if (std::memcmp(&File[i], Type, 4) == 0) return i + 4;
  return 0;
}

TEST(AVIFRoundTrip, RealCapturesStayWithinTheirBounds) {
  struct TCase {
    const char* Name;
    int X, Y, W, H, ToW, ToH;
    double MinPsnr90;
  } cases[] = {
      {"page", 0, 0, 640, 400, 0, 0, 40},
      {"thumbnail", 0, 0, 1920, 1080, 320, 240, 40},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto capture = RealCapture(c.X, c.Y, c.W, c.H, c.ToW, c.ToH);
    ASSERT_TRUE(capture);
    std::vector<std::uint8_t> q90 = EncodeAVIF(*capture);
    ASSERT_GT(q90.size(), 12u);
    EXPECT_EQ(std::memcmp(q90.data() + 4, "ftypavif", 8), 0);
    TAVIFImage back;
    LoadFromBytes(back, q90);
    EXPECT_FALSE(back.HasAlpha());
    EXPECT_EQ(back.Bitmap().PixelFormat(), pf24bit);
    const double psnr90 = Psnr(back.Bitmap(), *capture);
    EXPECT_GT(psnr90, c.MinPsnr90);
    EXPECT_LT(psnr90, 99.0);
    RecordProperty(std::string(c.Name) + "_q90_psnr", std::to_string(psnr90));

    std::vector<std::uint8_t> q50 = EncodeAVIF(*capture, 50);
    LoadFromBytes(back, q50);
    EXPECT_LT(q50.size(), q90.size());
    EXPECT_LT(Psnr(back.Bitmap(), *capture), psnr90);
  }
}

// avifdec and avifenc are libavif's own front ends; Pillow reads what
// avifdec decodes to.
TEST(AVIFFiles, AvifdecReadsOursAndWeReadAvifencFiles) {
  for (const char* p : {"avifenc", "avifdec"})
    ASSERT_TRUE(testing::HaveProgram(p)) << p << " is missing: apt-get install libavif-bin";
  TScratchDir dir;
  auto capture = RealCapture(200, 100, 480, 320);
  ASSERT_TRUE(capture);

  const std::string ours = dir.File("ours.avif"), decoded = dir.File("ours.png");
  {
    TAVIFImage a;
    a.Assign(*capture);
    a.SaveToFile(ours);
  }
  std::string log;
  ASSERT_EQ(testing::RunProgram({"avifdec", ours, decoded}, &log), 0) << log;
  testing::TRgbImage seen;
  ASSERT_TRUE(testing::ReadWithPillow(decoded, seen));
  TAVIFImage mine;
  mine.LoadFromFile(ours);
  EXPECT_GE(Psnr(*testing::FromRgb(seen), *capture), 40);
  // Full-chroma files need no upsampling, so both decoders agree closely.
  EXPECT_GE(Psnr(*testing::FromRgb(seen), mine.Bitmap()), 50);

  const std::string source = dir.File("source.png");
  testing::WritePngWithPillow(*capture, source);
  struct TCase {
    const char* Name;
    std::vector<std::string> Options;
    double MinPsnr;
  } cases[] = {
      {"4:4:4 q90", {"-y", "444", "--min", "6", "--max", "6"}, 40},
      {"4:2:0", {"-y", "420", "--min", "10", "--max", "10"}, 33},
      {"10-bit", {"-d", "10", "--min", "6", "--max", "6"}, 40},
      {"lossless", {"-l"}, 99},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string theirs = dir.File("theirs.avif");
    std::vector<std::string> argv{"avifenc", "-s", "9"};
    argv.insert(argv.end(), c.Options.begin(), c.Options.end());
    argv.insert(argv.end(), {source, theirs});
    log.clear();
    ASSERT_EQ(testing::RunProgram(argv, &log), 0) << log;
    TAVIFImage a;
    a.LoadFromFile(theirs);
    EXPECT_EQ(a.Bitmap().PixelFormat(), pf24bit);
    EXPECT_GE(Psnr(a.Bitmap(), *capture), c.MinPsnr);
  }
}

TEST(AVIFFiles, AlphaFromAvifencIsKept) {
  ASSERT_TRUE(testing::HaveProgram("avifenc"));
  TScratchDir dir;
  TBitmap rgba;
  rgba.SetPixelFormat(pf32bit);
  rgba.SetSize(40, 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 40; ++x) {
      std::uint8_t* p = rgba.ScanLine(y) + x * 4;
      p[0] = 200, p[1] = 40, p[2] = 90, p[3] = std::uint8_t(x * 6);
    }
  testing::WritePngWithPillow(rgba, dir.File("a.png"), true);
  std::string log;
  ASSERT_EQ(testing::RunProgram({"avifenc", "-s", "9", "-l", dir.File("a.png"), dir.File("a.avif")},
                                &log),
            0)
      << log;
  TAVIFImage a;
  a.LoadFromFile(dir.File("a.avif"));
  ASSERT_TRUE(a.HasAlpha());
  ASSERT_EQ(a.Bitmap().PixelFormat(), pf32bit);
  for (int x = 0; x < 40; x += 7) EXPECT_EQ(a.Bitmap().ScanLine(5)[x * 4 + 3], x * 6) << x;
  // Saved again with another quality, the alpha survives (losslessly).
  a.SetCompressionQuality(70);
  const std::string again = dir.File("again.avif"), png = dir.File("again.png");
  a.SaveToFile(again);
  ASSERT_EQ(testing::RunProgram({"avifdec", again, png}, &log), 0) << log;
  std::string out;
  ASSERT_EQ(testing::RunPython("import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                               "print(im.mode, im.getpixel((13, 5))[3], end='')",
                               {png}, &out),
            0);
  EXPECT_EQ(out, "RGBA 78");
}

TEST(AVIFRead, RefusesDamagedAndHostileFilesAndKeepsThePicture) {
  auto capture = RealCapture(0, 0, 96, 64);
  ASSERT_TRUE(capture);
  const std::vector<std::uint8_t> good = EncodeAVIF(*capture);
  // The primary item's declared size, ispe, made 16384 x 16384.
  std::vector<std::uint8_t> huge = good;
  const std::size_t ispe = FindBox(huge, "ispe");
  ASSERT_NE(ispe, 0u);
  for (std::size_t i : {ispe + 4, ispe + 8}) {
    huge[i] = 0, huge[i + 1] = 0, huge[i + 2] = 0x40, huge[i + 3] = 0;
  }
  std::vector<std::uint8_t> noData = good;
  const std::size_t mdat = FindBox(noData, "mdat");
  ASSERT_NE(mdat, 0u);
  noData.resize(mdat + 4);
  std::vector<std::uint8_t> badCodec = good;
  for (std::size_t i = mdat + 8; i < badCodec.size(); ++i) badCodec[i] = 0xFF;
  struct TCase {
    const char* Name;
    std::vector<std::uint8_t> Data;
    bool OutOfMemory;
    const char* Message;
  } cases[] = {
      {"empty", {}, false, "AVIF image is not valid"},
      {"not AVIF", {0, 0, 0, 12, 'f', 't', 'y', 'p', 'm', 'p', '4', '1'}, false, "not valid"},
      {"cut short", noData, false, "not valid"},
      {"damaged coded data", badCodec, false, "not valid"},
      {"huge for its data", huge, true, "16384 x 16384 pixels in"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TAVIFImage a;
    LoadFromBytes(a, good);
    try {
      LoadFromBytes(a, c.Data);
      ADD_FAILURE() << "loaded";
    } catch (const EOutOfMemory& e) {
      EXPECT_TRUE(c.OutOfMemory) << e.Message();
      EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(c.OutOfMemory) << e.Message();
      EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
    }
    EXPECT_EQ(a.Width(), 96);
    EXPECT_EQ(SaveToBytes(a), good);
  }
}

TEST(AVIFImage, SettingsAssignAndSavesOfLoadedFiles) {
  auto capture = RealCapture(300, 300, 120, 90);
  ASSERT_TRUE(capture);
  TAVIFImage a;
  EXPECT_EQ(a.CompressionQuality(), 90);
  EXPECT_EQ(a.Speed(), TAVIFImage::DefaultSpeed);
  EXPECT_THROW(SaveToBytes(a), EInvalidGraphicOperation);
  EXPECT_THROW(a.SetSpeed(11), EInvalidGraphicOperation);
  EXPECT_THROW(a.SetSpeed(-1), EInvalidGraphicOperation);
  EXPECT_THROW(a.SetCompressionQuality(0), EInvalidGraphicOperation);
  EXPECT_THROW(a.SetHeight(10), EInvalidGraphicOperation);
  // The quality's scale: 100 is the finest quantizer, 1 the coarsest.
  const int quantizers[][2] = {{100, 0}, {90, 6}, {50, 32}, {1, 62}};
  for (auto [q, want] : quantizers) EXPECT_EQ(AVIFQuantizer(q), want) << q;

  a.SetSpeed(9);
  a.Assign(*capture);
  const std::vector<std::uint8_t> file = SaveToBytes(a);
  TAVIFImage loaded;
  LoadFromBytes(loaded, file);
  EXPECT_EQ(SaveToBytes(loaded), file);
  loaded.SetSpeed(10);
  EXPECT_NE(SaveToBytes(loaded), file);

  TAVIFImage copy;
  copy.Assign(a);
  EXPECT_EQ(copy.Speed(), 9);
  EXPECT_EQ(SaveToBytes(copy), file);
  TBitmap pixels;
  pixels.Assign(copy);
  EXPECT_GE(Psnr(pixels, *capture), 40);
}

}  // namespace
}  // namespace host
