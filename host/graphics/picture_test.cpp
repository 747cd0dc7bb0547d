// TPicture: the file-format registry and loading and saving by extension.

#include "host/graphics/picture.h"

#include <gtest/gtest.h>

#include "host/graphics/bitmap.h"
#include "host/graphics/jpeg.h"
#include "host/graphics/testing/images.h"
#include "host/system/exception.h"

namespace host {
namespace {

using testing::TScratchDir;

// A bitmap class of a "library", registered and withdrawn by the tests.
class TMyBitmap : public TBitmap {
 public:
  static const TGraphicClassRef ClassInfo;
  TGraphicClass ClassType() const override { return &ClassInfo; }
};
const TGraphicClassRef TMyBitmap::ClassInfo = {"TMyBitmap", &TBitmap::ClassInfo,
                                               &CreateInstance<TMyBitmap, TGraphic>};
class TMySubBitmap : public TMyBitmap {
 public:
  static const TGraphicClassRef ClassInfo;
  TGraphicClass ClassType() const override { return &ClassInfo; }
};
const TGraphicClassRef TMySubBitmap::ClassInfo = {"TMySubBitmap", &TMyBitmap::ClassInfo,
                                                  &CreateInstance<TMySubBitmap, TGraphic>};

TEST(PictureRegistry, BuiltInFormatsAreFoundByExtensionInAnyCase) {
  EXPECT_EQ(TPicture::GraphicClassForFile("a.bmp"), &TBitmap::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("/x.y/A.BMP"), &TBitmap::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("p.Jpg"), &TJPEGImage::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("p.jpeg"), &TJPEGImage::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("/dir.jpg/noext"), nullptr);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.xyz"), nullptr);
}

TEST(PictureRegistry, LaterRegistrationWinsAndUnregisterRemovesDescendants) {
  TPicture::RegisterFileFormat("MYB", "Mine", &TMyBitmap::ClassInfo);
  TPicture::RegisterFileFormat("sub", "Mine too", &TMySubBitmap::ClassInfo);
  TPicture::RegisterFileFormat("bmp", "Overrides", &TMyBitmap::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.myb"), &TMyBitmap::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.bmp"), &TMyBitmap::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.sub"), &TMySubBitmap::ClassInfo);

  TPicture::UnregisterGraphicClass(&TMyBitmap::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.myb"), nullptr);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.sub"), nullptr);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.bmp"), nullptr);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.jpg"), &TJPEGImage::ClassInfo);
  TPicture::RegisterFileFormat("bmp", "Bitmaps", &TBitmap::ClassInfo);
  EXPECT_EQ(TPicture::GraphicClassForFile("a.bmp"), &TBitmap::ClassInfo);
}

TEST(PictureFiles, LoadAndSaveChooseTheFormatByExtension) {
  TScratchDir dir;
  auto photo = testing::MakePhoto(30, 20);
  photo->SaveToFile(dir.File("in.bmp"));

  TPicture p;
  p.LoadFromFile(dir.File("in.bmp"));
  ASSERT_TRUE(p.Graphic());
  EXPECT_EQ(p.Graphic()->ClassType(), &TBitmap::ClassInfo);
  EXPECT_EQ(p.Width(), 30);
  p.SaveToFile(dir.File("out.JPG"));
  std::vector<std::uint8_t> jpg = testing::ReadFile(dir.File("out.JPG"));
  ASSERT_GE(jpg.size(), 2u);
  EXPECT_EQ(jpg[0], 0xFF);
  EXPECT_EQ(jpg[1], 0xD8);

  TPicture q;
  q.LoadFromFile(dir.File("out.JPG"));
  EXPECT_EQ(q.Graphic()->ClassType(), &TJPEGImage::ClassInfo);
  q.SaveToFile(dir.File("back.bmp"));
  TBitmap back;
  back.LoadFromFile(dir.File("back.bmp"));
  EXPECT_GT(testing::Psnr(back, *photo), 35.0);

  // Bitmap() turns the JPEG into a bitmap copy of it.
  EXPECT_EQ(q.Bitmap().Width(), 30);
  EXPECT_EQ(q.Graphic()->ClassType(), &TBitmap::ClassInfo);
}

TEST(PictureFiles, FailuresAreClearAndKeepThePicture) {
  TScratchDir dir;
  TPicture p;
  try {
    p.LoadFromFile(dir.File("x.Xyz"));
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "Unknown picture file extension (.xyz)");
  }
  EXPECT_THROW(p.SaveToFile(dir.File("x.bmp")), EInvalidGraphicOperation);  // nothing to save

  auto photo = testing::MakePhoto(5, 5);
  photo->SaveToFile(dir.File("ok.bmp"));
  p.LoadFromFile(dir.File("ok.bmp"));
  testing::WriteFile(dir.File("bad.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 4});
  EXPECT_THROW(p.LoadFromFile(dir.File("bad.jpg")), EInvalidGraphic);
  EXPECT_THROW(p.LoadFromFile(dir.File("missing.bmp")), EFOpenError);
  EXPECT_EQ(p.Width(), 5);
  EXPECT_THROW(p.SaveToFile(dir.File("no/such/folder.bmp")), EFCreateError);

  TPicture copy;
  copy.Assign(p);
  EXPECT_NE(copy.Graphic(), p.Graphic());
  EXPECT_EQ(copy.Width(), 5);
}

}  // namespace
}  // namespace host
