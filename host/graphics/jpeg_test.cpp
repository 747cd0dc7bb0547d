// TJPEGImage: quality of a round trip, files of an independent codec
// (Pillow), and damaged input.

#include "host/graphics/jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "host/graphics/bitmap.h"
#include "host/graphics/testing/images.h"
#include "host/system/exception.h"
#include "host/system/stream.h"

namespace host {
namespace {

using testing::TScratchDir;

std::vector<std::uint8_t> Encode(const TBitmap& B, int Quality = 90) {
  TJPEGImage j;
  if (Quality != 90) j.SetCompressionQuality(Quality);
  j.Assign(B);
  TMemoryStream m;
  j.SaveToStream(m);
  return std::vector<std::uint8_t>(m.Memory(), m.Memory() + m.Size());
}

void Decode(TJPEGImage& J, const std::vector<std::uint8_t>& Data) {
  TMemoryStream m;
  m.WriteBuffer(Data.data(), static_cast<std::int64_t>(Data.size()));
  m.SetPosition(0);
  J.LoadFromStream(m);
}

TEST(JpegRoundTrip, PhotoKeepsAboveThirtyFiveDecibelsAtTheDefaultQuality) {
  auto photo = testing::MakePhoto(320, 240);
  TJPEGImage j;
  EXPECT_EQ(j.CompressionQuality(), 90);
  std::vector<std::uint8_t> file = Encode(*photo);
  ASSERT_GT(file.size(), 2u);
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_EQ(file[1], 0xD8);
  Decode(j, file);
  EXPECT_EQ(j.Width(), 320);
  EXPECT_EQ(j.Height(), 240);
  EXPECT_FALSE(j.Grayscale());
  EXPECT_EQ(j.Bitmap().PixelFormat(), pf24bit);
  double psnr = testing::Psnr(j.Bitmap(), *photo);
  EXPECT_GT(psnr, 35.0);
  EXPECT_LT(psnr, 99.0);  // lossy, so something was really encoded

  // A lower quality gives a smaller file and a worse picture.
  std::vector<std::uint8_t> rough = Encode(*photo, 30);
  TJPEGImage r;
  Decode(r, rough);
  EXPECT_LT(rough.size(), file.size());
  EXPECT_LT(testing::Psnr(r.Bitmap(), *photo), psnr);
}

TEST(JpegRoundTrip, PillowDecodesOurFilesToTheSamePicture) {
  TScratchDir dir;
  auto photo = testing::MakePhoto(97, 61);  // not a multiple of the block size
  TJPEGImage j;
  j.Assign(*photo);
  j.SaveToFile(dir.File("a.jpg"));
  testing::TRgbImage p;
  ASSERT_TRUE(testing::ReadWithPillow(dir.File("a.jpg"), p));
  ASSERT_EQ(p.Width, 97);
  ASSERT_EQ(p.Height, 61);
  testing::TRgbImage ours = testing::ToRgb(*photo);
  double sum = 0;
  for (std::size_t i = 0; i < p.Rgb.size(); ++i) {
    double d = double(p.Rgb[i]) - double(ours.Rgb[i]);
    sum += d * d;
  }
  EXPECT_GT(10 * std::log10(255.0 * 255.0 * p.Rgb.size() / sum), 35.0);
}

TEST(JpegRoundTrip, FilesWrittenByPillowDecodeLikePillowDecodesThem) {
  TScratchDir dir;
  int rc = testing::RunPython(
      "import sys, math\n"
      "from PIL import Image\n"
      "w, h = 45, 30\n"
      "px = bytes(int(127 + 120 * math.sin((x + 3 * c) * 0.2 + y * 0.1))\n"
      "           for y in range(h) for x in range(w) for c in range(3))\n"
      "im = Image.frombytes('RGB', (w, h), px)\n"
      "im.save(sys.argv[1] + '/rgb.jpg', quality=85)\n"
      "im.save(sys.argv[1] + '/rgb444.jpg', quality=95, subsampling=0)\n"
      "im.convert('L').save(sys.argv[1] + '/grey.jpg')\n"
      "im.save(sys.argv[1] + '/progressive.jpg', progressive=True)\n"
      "im.convert('CMYK').save(sys.argv[1] + '/cmyk.jpg', quality=95)\n",
      {dir.Path()});
  ASSERT_EQ(rc, 0);
  for (const char* name : {"rgb.jpg", "rgb444.jpg", "grey.jpg", "progressive.jpg", "cmyk.jpg"}) {
    SCOPED_TRACE(name);
    TJPEGImage j;
    j.LoadFromFile(dir.File(name));
    EXPECT_EQ(j.Bitmap().PixelFormat(), pf24bit);
    EXPECT_EQ(j.Grayscale(), std::strcmp(name, "grey.jpg") == 0);
    testing::TRgbImage p;
    ASSERT_TRUE(testing::ReadWithPillow(dir.File(name), p));
    testing::TRgbImage ours = testing::ToRgb(j.Bitmap());
    ASSERT_EQ(ours.Width, p.Width);
    ASSERT_EQ(ours.Height, p.Height);
    int worst = 0;
    for (std::size_t i = 0; i < p.Rgb.size(); ++i)
      worst = std::max(worst, std::abs(int(p.Rgb[i]) - int(ours.Rgb[i])));
    // Both decode with libjpeg; CMYK goes through different colour formulas.
    EXPECT_LE(worst, std::strcmp(name, "cmyk.jpg") == 0 ? 3 : 1);
  }
}

TEST(JpegImage, SavingALoadedFileIsLosslessUntilTheQualityChanges) {
  auto photo = testing::MakePhoto(40, 30);
  std::vector<std::uint8_t> file = Encode(*photo, 75);
  TJPEGImage j;
  Decode(j, file);
  TMemoryStream again;
  j.SaveToStream(again);
  EXPECT_TRUE(std::vector<std::uint8_t>(again.Memory(), again.Memory() + again.Size()) == file);
  j.SetCompressionQuality(20);
  TMemoryStream smaller;
  j.SaveToStream(smaller);
  EXPECT_LT(smaller.Size(), static_cast<std::int64_t>(file.size()));
  EXPECT_THROW(j.SetCompressionQuality(0), EInvalidGraphicOperation);
  EXPECT_THROW(j.SetCompressionQuality(101), EInvalidGraphicOperation);
}

TEST(JpegImage, AssignConvertsBitmapsOfAnyFormatAndDecodesIntoBitmaps) {
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) mono.SetPixel(x, y, x < 8 ? clBlack : clWhite);
  TJPEGImage j;
  j.Assign(mono);
  EXPECT_EQ(mono.PixelFormat(), pf1bit);  // the source is not changed
  TMemoryStream m;
  j.SaveToStream(m);
  m.SetPosition(0);
  TJPEGImage k;
  k.LoadFromStream(m);
  TBitmap back;
  back.Assign(k);
  EXPECT_EQ(back.PixelFormat(), pf24bit);
  EXPECT_LE(GetRValue(back.GetPixel(2, 5)), 8);
  EXPECT_GE(GetRValue(back.GetPixel(13, 5)), 247);

  TJPEGImage copy;
  copy.Assign(k);
  EXPECT_EQ(copy.Width(), 16);
  EXPECT_THROW(copy.SetWidth(3), EInvalidGraphicOperation);
  TJPEGImage empty;
  TMemoryStream none;
  EXPECT_THROW(empty.SaveToStream(none), EInvalidGraphicOperation);
}

// --- damaged and hostile input ----------------------------------------------

// The offset of the SOF0 marker's height field in our own files.
std::size_t SofSize(const std::vector<std::uint8_t>& F) {
  for (std::size_t i = 2; i + 9 < F.size(); ++i)
    if (F[i] == 0xFF && F[i + 1] == 0xC0) return i + 5;
  return 0;
}

TEST(JpegRead, RefusesDamagedFilesAndKeepsThePicture) {
  auto photo = testing::MakePhoto(64, 48);
  const std::vector<std::uint8_t> good = Encode(*photo);
  const std::size_t sof = SofSize(good);
  ASSERT_GT(sof, 0u);

  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> bad;
  bad.push_back({"empty", {}});
  bad.push_back({"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0}});
  for (std::size_t n : {std::size_t(2), std::size_t(20), sof + 2, good.size() / 3, good.size() / 2,
                        good.size() - 40})
    bad.push_back({"cut at " + std::to_string(n),
                   std::vector<std::uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(n))});
  auto zero = good;
  zero[sof] = zero[sof + 1] = 0;
  bad.push_back({"zero height", zero});
  auto huge = good;
  huge[sof] = huge[sof + 1] = huge[sof + 2] = huge[sof + 3] = 0xFF;
  bad.push_back({"65535 by 65535", huge});
  auto large = good;  // 20000 x 20000 within the limits, but far too little data
  large[sof] = large[sof + 2] = 0x4E;
  large[sof + 1] = large[sof + 3] = 0x20;
  bad.push_back({"20000 by 20000 in a small file", large});
  auto garbage = good;
  for (std::size_t i = good.size() / 2; i < good.size() / 2 + 64; ++i) garbage[i] = 0xFF;
  bad.push_back({"entropy data overwritten", garbage});

  TJPEGImage j;
  Decode(j, good);
  for (const auto& [what, data] : bad) {
    SCOPED_TRACE(what);
    EXPECT_THROW(Decode(j, data), EInvalidGraphic);
    EXPECT_EQ(j.Width(), 64);
  }
  // Refused from the header, before a bitmap of 1.2 GB is made.
  try {
    Decode(j, large);
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message().find("too large for its data"), std::string::npos) << e.Message();
  }
}

TEST(JpegRead, ProgressiveSizeIsBoundedByItsData) {
  // A genuine progressive picture above the 4 M pixels always allowed, and
  // a small one whose header claims 20000 x 20000.
  TScratchDir dir;
  int rc = testing::RunPython(
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.linear_gradient('L').resize((2600, 2000)).convert('RGB')\n"
      "im.save(sys.argv[1] + '/large.jpg', progressive=True, quality=75)\n"
      "im.resize((40, 30)).save(sys.argv[1] + '/small.jpg', progressive=True)\n",
      {dir.Path()});
  ASSERT_EQ(rc, 0);
  TJPEGImage j;
  j.LoadFromFile(dir.File("large.jpg"));
  EXPECT_EQ(j.Width(), 2600);

  std::vector<std::uint8_t> small = testing::ReadFile(dir.File("small.jpg"));
  std::size_t sof = 0;
  for (std::size_t i = 2; i + 9 < small.size() && !sof; ++i)
    if (small[i] == 0xFF && small[i + 1] == 0xC2) sof = i + 5;
  ASSERT_GT(sof, 0u);
  Decode(j, small);
  EXPECT_EQ(j.Width(), 40);
  small[sof] = small[sof + 2] = 0x4E;  // 20000
  small[sof + 1] = small[sof + 3] = 0x20;
  try {
    Decode(j, small);
    ADD_FAILURE() << "a 20000 x 20000 progressive header in a small file was accepted";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message().find("too large for its data"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(j.Width(), 40);
}

TEST(JpegRead, RandomDamageNeverCrashes) {
  auto photo = testing::MakePhoto(24, 16);
  const std::vector<std::uint8_t> good = Encode(*photo);
  std::uint32_t seed = 5;
  int refused = 0;
  for (int i = 0; i < 400; ++i) {
    std::vector<std::uint8_t> f = good;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1103515245u + 12345u;
      f[(seed >> 8) % f.size()] = static_cast<std::uint8_t>(seed >> 24);
    }
    TJPEGImage j;
    try {
      Decode(j, f);
      EXPECT_FALSE(j.Empty());
    } catch (const Exception&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace host
