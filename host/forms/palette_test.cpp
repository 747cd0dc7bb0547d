#include "host/forms/palette.h"

#include <gtest/gtest.h>

#include "host/graphics/bitmap.h"
#include "host/system/stream.h"

namespace host {
namespace {

class TPaletteA : public TComponent {
 public:
  using TComponent::TComponent;
  static const TComponentClassRef ClassInfo;
};
const TComponentClassRef TPaletteA::ClassInfo{"TPaletteA", nullptr,
                                              &CreateInstance<TPaletteA, TComponent, TComponent*>};
const TComponentClassRef PaletteB{"TPaletteB", nullptr,
                                  &CreateInstance<TPaletteA, TComponent, TComponent*>};

TEST(PaletteTest, RegisteredClassesAppearOnTheirPageOnceEach) {
  RegisterComponents("Corvane", {&TPaletteA::ClassInfo, nullptr});
  RegisterComponents("Other", {&PaletteB});
  RegisterComponents("Other", {&TPaletteA::ClassInfo});  // moves
  std::vector<TPaletteItem> Items = PaletteItems();
  auto CountOf = [&](TComponentClass C) {
    return std::count_if(Items.begin(), Items.end(),
                         [&](const TPaletteItem& I) { return I.ComponentClass == C; });
  };
  EXPECT_EQ(CountOf(&TPaletteA::ClassInfo), 1);
  EXPECT_EQ(Items.back().Page, "Other");
  EXPECT_EQ(Items.back().ComponentClass, &TPaletteA::ClassInfo);
  EXPECT_EQ(FindComponentClass("tpalettea"), &TPaletteA::ClassInfo);
  EXPECT_EQ(FindComponentClass("TNowhere"), nullptr);
  TComponent Owner(nullptr);
  std::unique_ptr<TComponent> Made = FindComponentClass("TPaletteB")->Create(&Owner);
  EXPECT_EQ(Made->Owner(), &Owner);
}

TEST(PaletteTest, BitmapResourcesLoadByNameInAnyCase) {
  TBitmap Source;
  Source.SetPixelFormat(pf4bit);
  Source.SetSize(24, 24);
  Source.SetPixel(3, 4, clRed);
  TMemoryStream Stream;
  Source.SaveToStream(Stream);
  std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(Stream.Size()));
  Stream.SetPosition(0);
  Stream.ReadBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
  RegisterBitmapResource("TPaletteA", Bytes.data(), Bytes.size());

  TBitmap Loaded;
  ASSERT_TRUE(LoadBitmapResource("TPALETTEA", Loaded));
  EXPECT_EQ(Loaded.Width(), 24);
  EXPECT_EQ(Loaded.Height(), 24);
  EXPECT_EQ(Loaded.PixelFormat(), pf4bit);
  EXPECT_EQ(Loaded.GetPixel(3, 4), Source.GetPixel(3, 4));
  EXPECT_FALSE(LoadBitmapResource("TMISSING", Loaded));
}

}  // namespace
}  // namespace host
