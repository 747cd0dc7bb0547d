// TWebPImage: round trips of real captures, files that libwebp's own tools
// and Pillow write and read, damaged and hostile input, and the settings.

#include "host/graphics/webp.h"

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

std::vector<std::uint8_t> EncodeWebP(const TBitmap& B, bool Lossless, int Quality = 90) {
  TWebPImage w;
  w.SetLossless(Lossless);
  w.SetCompressionQuality(Quality);
  w.Assign(B);
  return SaveToBytes(w);
}

struct TCaptureCase {
  const char* Name;
  int X, Y, W, H, ToW, ToH;
};
// A part of a page at its own size, and a whole page made a thumbnail.
const TCaptureCase kCaptures[] = {
    {"page", 0, 0, 640, 400, 0, 0},
    {"thumbnail", 0, 0, 1920, 1080, 320, 240},
};

TEST(WebPRoundTrip, RealCapturesStayWithinTheirBounds) {
  for (const TCaptureCase& c : kCaptures) {
    SCOPED_TRACE(c.Name);
    auto capture = RealCapture(c.X, c.Y, c.W, c.H, c.ToW, c.ToH);
    ASSERT_TRUE(capture);

    std::vector<std::uint8_t> lossless = EncodeWebP(*capture, true);
    ASSERT_GT(lossless.size(), 12u);
    EXPECT_EQ(std::memcmp(lossless.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(lossless.data() + 8, "WEBPVP8L", 8), 0);
    TWebPImage back;
    LoadFromBytes(back, lossless);
    EXPECT_TRUE(back.Lossless());
    EXPECT_FALSE(back.HasAlpha());
    EXPECT_EQ(back.Bitmap().PixelFormat(), pf24bit);
    EXPECT_TRUE(SamePixels(back.Bitmap(), *capture));

    std::vector<std::uint8_t> q90 = EncodeWebP(*capture, false);
    EXPECT_EQ(std::memcmp(q90.data() + 8, "WEBPVP8 ", 8), 0);
    LoadFromBytes(back, q90);
    EXPECT_FALSE(back.Lossless());
    const double psnr90 = Psnr(back.Bitmap(), *capture);
    EXPECT_GT(psnr90, 40.0);
    EXPECT_LT(psnr90, 99.0);

    std::vector<std::uint8_t> q50 = EncodeWebP(*capture, false, 50);
    LoadFromBytes(back, q50);
    EXPECT_LT(q50.size(), q90.size());
    EXPECT_LT(Psnr(back.Bitmap(), *capture), psnr90);
    RecordProperty(std::string(c.Name) + "_q90_psnr", std::to_string(psnr90));
  }
}

// Pillow decodes with its own copy of libwebp's decoder, through its own
// code; cwebp encodes through libwebp's command-line front end.
TEST(WebPFiles, PillowReadsOursAndWeReadCwebpAndPillowFiles) {
  TScratchDir dir;
  auto capture = RealCapture(200, 100, 480, 320);
  ASSERT_TRUE(capture);
  const std::string source = dir.File("source.png");
  testing::WritePngWithPillow(*capture, source);

  struct TCase {
    const char* Name;
    bool Lossless;
    double MinPsnr;  // against the capture; 99 means exact
  } cases[] = {{"lossless", true, 99}, {"q90", false, 36}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    // Ours, read by Pillow.
    const std::string ours = dir.File(std::string("ours-") + c.Name + ".webp");
    {
      TWebPImage w;
      w.SetLossless(c.Lossless);
      w.Assign(*capture);
      w.SaveToFile(ours);
    }
    testing::TRgbImage seen;
    std::string mode;
    ASSERT_TRUE(testing::ReadWithPillow(ours, seen, &mode));
    EXPECT_EQ(mode, "RGB");
    EXPECT_GE(Psnr(*testing::FromRgb(seen), *capture), c.MinPsnr);

    // cwebp's, read by us.
    if (!testing::HaveProgram("cwebp")) {
      ADD_FAILURE() << "cwebp is missing: apt-get install webp";
      continue;
    }
    const std::string theirs = dir.File(std::string("cwebp-") + c.Name + ".webp");
    std::string log;
    ASSERT_EQ(
        testing::RunProgram(
            c.Lossless
                ? std::vector<std::string>{"cwebp", "-quiet", "-lossless", source, "-o", theirs}
                : std::vector<std::string>{"cwebp", "-quiet", "-q", "90", source, "-o", theirs},
            &log),
        0)
        << log;
    TWebPImage w;
    w.LoadFromFile(theirs);
    EXPECT_EQ(w.Lossless(), c.Lossless);
    EXPECT_GE(Psnr(w.Bitmap(), *capture), c.MinPsnr);
    // And Pillow decodes the same file to the same pixels as we do.
    ASSERT_TRUE(testing::ReadWithPillow(theirs, seen));
    EXPECT_GE(Psnr(*testing::FromRgb(seen), w.Bitmap()), c.Lossless ? 99 : 45);
  }
}

TEST(WebPFiles, AlphaFromPillowIsKeptThroughALoadAndASave) {
  TScratchDir dir;
  const std::string file = dir.File("alpha.webp");
  ASSERT_EQ(testing::RunPython("import sys\nfrom PIL import Image\n"
                               "im = Image.new('RGBA', (37, 21))\n"
                               "im.putdata([(x * 7 % 256, y * 12, (x ^ y) * 5 % 256, (x * y) % 256)"
                               " for y in range(21) for x in range(37)])\n"
                               "im.save(sys.argv[1], lossless=True, exact=True)\n",
                               {file}),
            0);
  TWebPImage w;
  w.LoadFromFile(file);
  ASSERT_TRUE(w.HasAlpha());
  ASSERT_EQ(w.Bitmap().PixelFormat(), pf32bit);
  ASSERT_EQ(w.Width(), 37);
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 37; ++x) {
      const std::uint8_t* p = w.Bitmap().ScanLine(y) + x * 4;
      const std::uint8_t want[4] = {std::uint8_t((x ^ y) * 5 % 256), std::uint8_t(y * 12),
                                    std::uint8_t(x * 7 % 256), std::uint8_t(x * y % 256)};
      ASSERT_EQ(std::memcmp(p, want, 4), 0) << x << "," << y;
    }
  // A new setting makes the save encode again, with the alpha.
  w.SetCompressionQuality(80);
  w.SetLossless(false);
  w.SetLossless(true);
  const std::string again = dir.File("again.webp");
  w.SaveToFile(again);
  std::string out;
  ASSERT_EQ(testing::RunPython("import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                               "print(im.mode, im.getpixel((5, 3)), end='')",
                               {again}, &out),
            0);
  EXPECT_EQ(out, "RGBA (35, 36, 30, 15)");
}

// A lossless header of 16384 x 16384 pixels in a 30-byte file.
std::vector<std::uint8_t> HugeLosslessHeader() {
  std::vector<std::uint8_t> f = {'R', 'I', 'F', 'F', 22,  0,  0, 0, 'W', 'E', 'B',
                                 'P', 'V', 'P', '8', 'L', 10, 0, 0, 0,   0x2F};
  const std::uint32_t bits = 16383u | (16383u << 14);
  for (int i = 0; i < 4; ++i) f.push_back(std::uint8_t(bits >> (8 * i)));
  f.insert(f.end(), {0, 0, 0, 0, 0});
  return f;
}

TEST(WebPRead, RefusesDamagedAndHostileFilesAndKeepsThePicture) {
  auto capture = RealCapture(0, 0, 96, 64);
  ASSERT_TRUE(capture);
  const std::vector<std::uint8_t> good = EncodeWebP(*capture, false);
  // The frame's start code; damage in the coded pixels is not detectable
  // in lossy data and gives other pixels, as in JPEG.
  std::vector<std::uint8_t> flipped = good;
  flipped[24] ^= 0x5A;
  std::string animated;
  {
    TScratchDir dir;
    ASSERT_EQ(
        testing::RunPython("import sys\nfrom PIL import Image\n"
                           "a, b = Image.new('RGB', (8, 8), 'red'), Image.new('RGB', (8, 8))\n"
                           "a.save(sys.argv[1], save_all=True, append_images=[b])\n",
                           {dir.File("anim.webp")}),
        0);
    auto bytes = testing::ReadFile(dir.File("anim.webp"));
    animated.assign(bytes.begin(), bytes.end());
  }
  struct TCase {
    const char* Name;
    std::vector<std::uint8_t> Data;
    bool OutOfMemory;
    const char* Message;
  } cases[] = {
      {"empty", {}, false, "WebP image is not valid"},
      {"not WebP", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, false, "not valid"},
      {"cut short", std::vector<std::uint8_t>(good.begin(), good.begin() + good.size() / 2), false,
       "not valid"},
      {"damaged", flipped, false, "not valid"},
      {"animated", std::vector<std::uint8_t>(animated.begin(), animated.end()), false, "animated"},
      {"huge for its data", HugeLosslessHeader(), true, "16384 x 16384 pixels in 30 bytes"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TWebPImage w;
    LoadFromBytes(w, good);
    try {
      LoadFromBytes(w, c.Data);
      ADD_FAILURE() << "loaded";
    } catch (const EOutOfMemory& e) {
      EXPECT_TRUE(c.OutOfMemory) << e.Message();
      EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(c.OutOfMemory) << e.Message();
      EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
    }
    EXPECT_EQ(w.Width(), 96);
    EXPECT_EQ(SaveToBytes(w), good);
  }
}

TEST(WebPImage, SettingsAssignAndSavesOfLoadedFiles) {
  auto capture = RealCapture(300, 300, 120, 90);
  ASSERT_TRUE(capture);
  TWebPImage w;
  EXPECT_EQ(w.CompressionQuality(), 90);
  EXPECT_FALSE(w.Lossless());
  EXPECT_THROW(SaveToBytes(w), EInvalidGraphicOperation);
  EXPECT_THROW(w.SetCompressionQuality(0), EInvalidGraphicOperation);
  EXPECT_THROW(w.SetCompressionQuality(101), EInvalidGraphicOperation);
  EXPECT_THROW(w.SetWidth(10), EInvalidGraphicOperation);

  // A capture in another pixel format is taken as 24 bits.
  TBitmap device;
  device.Assign(*capture);
  device.SetPixelFormat(pf32bit);
  w.SetLossless(true);
  w.Assign(device);
  const std::vector<std::uint8_t> file = SaveToBytes(w);
  // A loaded file saves as it came, byte for byte, until a setting changes.
  TWebPImage loaded;
  LoadFromBytes(loaded, file);
  EXPECT_EQ(SaveToBytes(loaded), file);
  loaded.SetLossless(false);
  EXPECT_NE(SaveToBytes(loaded), file);

  // Copies keep the settings; a bitmap takes the pixels.
  TWebPImage copy;
  copy.Assign(w);
  EXPECT_TRUE(copy.Lossless());
  EXPECT_EQ(SaveToBytes(copy), file);
  TBitmap pixels;
  pixels.Assign(copy);
  EXPECT_TRUE(SamePixels(pixels, *capture));
}

}  // namespace
}  // namespace host
