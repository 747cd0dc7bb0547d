// TBitmap: sizes, pixel formats and their conversion, palettes, copies.

#include "host/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/graphics/canvas.h"
#include "host/graphics/testing/images.h"
#include "host/system/exception.h"

namespace host {
namespace {

HPALETTE MakePalette(std::vector<PALETTEENTRY> Entries) {
  LOGPALETTE lp;
  lp.palPalEntry = std::move(Entries);
  return CreatePalette(lp);
}

TEST(BitmapGeometry, RowBytesArePaddedToFourBytes) {
  EXPECT_EQ(BytesPerScanLine(1, 1), 4);
  EXPECT_EQ(BytesPerScanLine(33, 1), 8);
  EXPECT_EQ(BytesPerScanLine(9, 4), 8);
  EXPECT_EQ(BytesPerScanLine(5, 8), 8);
  EXPECT_EQ(BytesPerScanLine(3, 16), 8);
  EXPECT_EQ(BytesPerScanLine(5, 24), 16);
  EXPECT_EQ(BytesPerScanLine(3, 32), 12);
  EXPECT_EQ(BytesPerScanLine(0, 24), 0);
}

TEST(BitmapGeometry, NewBitmapIsEmptyDevicePixels) {
  TBitmap b;
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.PixelFormat(), pfDevice);
  b.SetWidth(3);
  EXPECT_TRUE(b.Empty());  // no height yet
  b.SetHeight(2);
  EXPECT_FALSE(b.Empty());
  EXPECT_EQ(b.RowBytes(), 12);
  EXPECT_EQ(b.GetPixel(2, 1), clBlack);
  EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
  EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
  TBitmap c;  // height before width
  c.SetHeight(4);
  c.SetWidth(2);
  EXPECT_EQ(c.GetPixel(1, 3), clBlack);
}

TEST(BitmapGeometry, ResizeKeepsTopLeftPixelsInEveryFormat) {
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    SCOPED_TRACE(BitsPerPixel(f));
    auto a = testing::MakePattern(11, 6, f);
    TBitmap b;
    b.Assign(*a);
    b.SetSize(7, 9);  // narrower and taller
    // New pixels hold zero bytes: index 0 of the palette, or black.
    const TColor zero = b.GetPixel(0, 8);
    EXPECT_EQ(zero, f == pf1bit || f == pf4bit || f == pf8bit
                        ? RGB(b.Palette()->Entries[0].peRed, b.Palette()->Entries[0].peGreen,
                              b.Palette()->Entries[0].peBlue)
                        : clBlack);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 7; ++x)
        ASSERT_EQ(b.GetPixel(x, y), y < 6 ? a->GetPixel(x, y) : zero) << x << "," << y;
    // Growing back brings none of the cut pixels back.
    b.SetSize(11, 6);
    for (int y = 0; y < 6; ++y)
      for (int x = 7; x < 11; ++x) ASSERT_EQ(b.GetPixel(x, y), zero) << x << "," << y;
  }
}

// Pixel memory comes zeroed, small blocks from the heap and large ones as
// fresh pages: each new block reads as zero though the last one was
// written all over, and growing into a large one keeps what the small one
// held.
TEST(BitmapGeometry, NewPixelsAreZeroEvenWhereMemoryIsReused) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  for (int round = 0; round < 4; ++round) {
    b.SetSize(40, 30);
    for (int y = 0; y < 30; ++y) EXPECT_EQ(b.ScanLine(y)[3 * (y % 40)], 0) << round;
    b.Canvas().Brush.Color = RGB(9, 8, 7);
    b.Canvas().FillRect(Rect(0, 0, 40, 30));
    b.SetSize(2000, 1500 + round);  // 9 MB
    EXPECT_EQ(b.GetPixel(39, 29), RGB(9, 8, 7));
    std::size_t nonzero = 0;
    for (int y = 0; y < b.Height(); ++y) {
      const std::uint8_t* row = b.ScanLine(y);
      for (int x = y < 30 ? 120 : 0; x < 3 * b.Width(); ++x) nonzero += row[x] != 0;
    }
    EXPECT_EQ(nonzero, 0u) << "round " << round;
    for (int y = 0; y < b.Height(); ++y) std::memset(b.ScanLine(y), 0xAB, 3 * b.Width());
    b.FreeImage();
  }
}

TEST(BitmapGeometry, RefusesNegativeAndHugeSizesBeforeAllocating) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 2);
  EXPECT_THROW(b.SetSize(-1, 5), EInvalidGraphicOperation);
  EXPECT_THROW(b.SetSize(TBitmap::MaxDimension + 1, 1), EOutOfMemory);
  EXPECT_THROW(b.SetSize(TBitmap::MaxDimension, TBitmap::MaxDimension), EOutOfMemory);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Height(), 2);
}

// Each format with hand-made stored bytes and the colours they must give.
TEST(BitmapFormats, EveryFormatConvertsTo24BitsThroughItsPalette) {
  struct Case {
    TPixelFormat Format;
    std::vector<std::uint8_t> Row;
    std::vector<TColor> Colours;
  };
  const HPALETTE pal = MakePalette({{10, 20, 30, 0},
                                    {200, 100, 50, 0},
                                    {0, 0, 255, 0},
                                    {1, 2, 3, 0},
                                    {9, 9, 9, 0},
                                    {255, 255, 255, 0},
                                    {0, 255, 0, 0},
                                    {7, 7, 7, 0},
                                    {8, 8, 8, 0},
                                    {77, 88, 99, 0}});
  const Case cases[] = {
      {pf1bit, {0xA0}, {RGB(200, 100, 50), RGB(10, 20, 30), RGB(200, 100, 50), RGB(10, 20, 30)}},
      {pf4bit,
       {0x29, 0x51},
       {RGB(0, 0, 255), RGB(77, 88, 99), RGB(255, 255, 255), RGB(200, 100, 50)}},
      // Index 12 lies beyond the palette and reads black.
      {pf8bit, {3, 6, 12, 9}, {RGB(1, 2, 3), RGB(0, 255, 0), clBlack, RGB(77, 88, 99)}},
      {pf15bit,
       {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x10, 0x42},
       {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(132, 132, 132)}},
      {pf16bit,
       {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x20, 0x00},
       {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(0, 4, 0)}},
      {pf32bit,
       {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 0, 0, 0, 0},
       {RGB(3, 2, 1), RGB(6, 5, 4), RGB(9, 8, 7), clBlack}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(BitsPerPixel(c.Format));
    TBitmap b;
    b.SetPixelFormat(c.Format);
    b.SetPalette(pal);
    b.SetSize(4, 2);
    std::memcpy(b.ScanLine(1), c.Row.data(), c.Row.size());
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_FALSE(b.Palette());
    for (int x = 0; x < 4; ++x) {
      const std::uint8_t* p = b.ScanLine(1) + 3 * x;
      EXPECT_EQ(RGB(p[2], p[1], p[0]), c.Colours[static_cast<std::size_t>(x)]) << "pixel " << x;
    }
  }
}

TEST(BitmapFormats, NearestEntryMatchesAFullSearchWithTiesToTheLowestIndex) {
  std::uint32_t seed = 3;
  auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 24; };
  std::vector<PALETTEENTRY> entries;
  for (int i = 0; i < 256; ++i)  // coarse values, so that duplicates and ties occur
    entries.push_back({static_cast<std::uint8_t>(next() & 0xF0),
                       static_cast<std::uint8_t>(next() & 0xF0),
                       static_cast<std::uint8_t>(next() & 0xF0), 0});
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(100, 60);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x)
      b.SetPixel(x, y,
                 RGB(static_cast<std::uint8_t>(next()), static_cast<std::uint8_t>(next()),
                     static_cast<std::uint8_t>(next())));
  TBitmap original;
  original.Assign(b);
  b.SetPalette(MakePalette(entries));
  b.SetPixelFormat(pf8bit);
  ASSERT_EQ(b.Palette()->Entries.size(), 256u);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x) {
      TColor c = original.GetPixel(x, y);
      int best = 1 << 30, index = -1;
      for (int i = 0; i < 256; ++i) {
        int dr = GetRValue(c) - entries[i].peRed, dg = GetGValue(c) - entries[i].peGreen,
            db = GetBValue(c) - entries[i].peBlue;
        if (dr * dr + dg * dg + db * db < best) best = dr * dr + dg * dg + db * db, index = i;
      }
      ASSERT_EQ(b.ScanLine(y)[x], index) << x << "," << y;
    }
}

TEST(BitmapFormats, WithoutAPaletteTheDefaultsKeepBlackWhiteAndPrimaries) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(4, 1);
  b.SetPixel(0, 0, clWhite);
  b.SetPixel(1, 0, clRed);
  b.SetPixel(2, 0, clBlue);
  b.SetPixel(3, 0, clBlack);
  for (TPixelFormat f : {pf4bit, pf8bit}) {
    TBitmap c;
    c.Assign(b);
    c.SetPixelFormat(f);
    ASSERT_TRUE(c.Palette());
    EXPECT_EQ(c.Palette()->Entries.size(), f == pf4bit ? 16u : 256u);
    EXPECT_EQ(c.GetPixel(0, 0), clWhite);
    EXPECT_EQ(c.GetPixel(1, 0), clRed);
    EXPECT_EQ(c.GetPixel(2, 0), clBlue);
    EXPECT_EQ(c.GetPixel(3, 0), clBlack);
  }
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.GetPixel(0, 0), clWhite);
  EXPECT_EQ(b.GetPixel(3, 0), clBlack);
}

TEST(BitmapFormats, TrueColourFormatsConvertAmongThemselvesLosslessly) {
  auto photo = testing::MakePhoto(9, 5);
  for (TPixelFormat f : {pf32bit, pfDevice}) {
    TBitmap b;
    b.Assign(*photo);
    b.SetPixelFormat(f);
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(testing::Psnr(b, *photo), 99.0);
  }
  TBitmap b;
  b.Assign(*photo);
  b.SetPixelFormat(pf16bit);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      TColor a = photo->GetPixel(x, y), c = b.GetPixel(x, y);
      ASSERT_LE(std::abs(GetRValue(a) - GetRValue(c)), 7);
      ASSERT_LE(std::abs(GetGValue(a) - GetGValue(c)), 3);
    }
  EXPECT_THROW(b.SetPixelFormat(pfCustom), EInvalidGraphicOperation);
}

TEST(BitmapCopies, AssignCopiesEverythingDeeply) {
  TBitmap a;
  a.SetPixelFormat(pf8bit);
  a.SetPalette(MakePalette({{1, 2, 3, 0}, {4, 5, 6, 0}}));
  a.SetSize(3, 2);
  a.ScanLine(1)[2] = 1;
  a.SetTransparentColor(RGB(4, 5, 6));
  a.SetTransparent(true);
  TBitmap b;
  b.Assign(a);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(b.Palette(), a.Palette());
  EXPECT_EQ(b.GetPixel(2, 1), RGB(4, 5, 6));
  EXPECT_TRUE(b.Transparent());
  EXPECT_EQ(b.TransparentColor(), RGB(4, 5, 6));
  b.ScanLine(1)[2] = 0;
  EXPECT_EQ(a.GetPixel(2, 1), RGB(4, 5, 6));
  a.FreeImage();
  EXPECT_TRUE(a.Empty());
  EXPECT_EQ(a.PixelFormat(), pf8bit);
  EXPECT_EQ(b.Width(), 3);
}

TEST(BitmapCopies, TransparentColourDefaultsToTheBottomLeftPixel) {
  TBitmap b;
  EXPECT_EQ(b.TransparentColor(), clDefault);
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 3);
  b.SetPixel(0, 2, RGB(9, 8, 7));
  EXPECT_EQ(b.TransparentColor(), RGB(9, 8, 7));
  b.SetTransparentColor(clLime);
  EXPECT_EQ(b.TransparentColor(), clLime);
}

TEST(BitmapPixels, OutsideTheBitmapReadsNoColourAndWritesNothing) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 2);
  EXPECT_EQ(b.GetPixel(2, 0), clNone);
  EXPECT_EQ(b.GetPixel(0, -1), clNone);
  b.SetPixel(-1, 0, clWhite);
  b.SetPixel(0, 2, clWhite);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(b.GetPixel(x, y), clBlack);
}

TEST(PaletteObjects, BehaveLikeThePlatformCalls) {
  EXPECT_FALSE(CreatePalette(LOGPALETTE{}));
  LOGPALETTE big;
  big.palPalEntry.resize(65536);
  EXPECT_FALSE(CreatePalette(big));

  HPALETTE p = MakePalette({{1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}});
  std::uint16_t count = 0;
  EXPECT_EQ(GetObject(p, sizeof count, &count), 2);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(GetObject(p, 1, &count), 0);
  EXPECT_EQ(GetObject(nullptr, 2, &count), 0);

  PALETTEENTRY e[4] = {};
  EXPECT_EQ(GetPaletteEntries(p, 1, 4, e), 2u);
  EXPECT_EQ(e[0].peRed, 2);
  EXPECT_EQ(e[1].peRed, 3);
  EXPECT_EQ(GetPaletteEntries(p, 3, 1, e), 0u);
  EXPECT_EQ(GetPaletteEntries(p, 0, 0, nullptr), 3u);

  HPALETTE q = p;
  EXPECT_TRUE(DeleteObject(p));
  EXPECT_FALSE(p);
  EXPECT_FALSE(DeleteObject(p));
  EXPECT_EQ(q->Entries.size(), 3u);  // other holders keep theirs
}

}  // namespace
}  // namespace host
