// Header, palette, gamma, transparency, text and time chunks.

#include <gtest/gtest.h>
#include <zlib.h>

#include "host/system/dialogs.h"
#include "png/chunk_gama.h"
#include "png/chunk_ihdr.h"
#include "png/chunk_plte.h"
#include "png/chunk_text.h"
#include "png/chunk_time.h"
#include "png/chunk_trns.h"
#include "png/errors.h"
#include "png/png_image.h"
#include "png/testing/png_testing.h"

namespace snapkit {
namespace {

using testing::PNGErrorOf;

using testing::TBytes;

TBytes DataOf(const TChunk& Chunk) {
  return TBytes(Chunk.Data().Memory(), Chunk.Data().Memory() + Chunk.GetSize());
}

void SetBytes(TChunk& Chunk, const TBytes& Bytes) {
  Chunk.Data().Clear();
  Chunk.Data().WriteBuffer(Bytes.data(), std::int64_t(Bytes.size()));
}

std::string ErrorText(const char* Text) { return PNGErrorMessage(Text); }

TChunkIHDR& Header(TPNGImage& Image) {
  return *static_cast<TChunkIHDR*>(Image.Chunks().GetItem(0));
}

TEST(HeaderChunk, SavingFixesFieldsFromTheBitmap) {
  struct {
    host::TPixelFormat Format;
    std::uint8_t Depth, Colour;
  } cases[] = {{host::pf24bit, 8, 2}, {host::pf8bit, 8, 3},  {host::pf4bit, 4, 3},
               {host::pf1bit, 1, 3},  {host::pf32bit, 8, 2}, {host::pf16bit, 8, 2}};
  for (const auto& c : cases) {
    TPNGImage image;
    if (c.Format == host::pf1bit || c.Format == host::pf4bit || c.Format == host::pf8bit)
      image.Assign(*testing::MakeIndexedBitmap(c.Format, 300, 2, 1));
    else
      image.Assign(
          *testing::MakeRGBBitmap(c.Format == host::pf16bit ? host::pf24bit : c.Format, 300, 2, 1));
    if (c.Format == host::pf16bit) image.SetPixelFormat(host::pf16bit);
    const TBytes file = testing::SaveToBytes(image);
    EXPECT_EQ(testing::SplitChunks(file)[0].Data,
              (TBytes{0, 0, 1, 44, 0, 0, 0, 2, c.Depth, c.Colour, 0, 0, 0}))
        << "format " << int(c.Format);
    if (c.Colour == 2) {
      EXPECT_EQ(image.PixelFormat(), host::pf24bit);
    }
  }
}

TEST(HeaderChunk, FieldsAndSetters) {
  TPNGImage image;
  TChunkIHDR& header = Header(image);
  EXPECT_EQ(header.GetSize(), 13u);
  header.SetValue(4, 1);
  header.SetValue(5, 9);
  header.SetValue(-1, 9);
  EXPECT_EQ(header.GetValue(5), 0);
  EXPECT_EQ(header.GetValue(4), 1);
  EXPECT_EQ(DataOf(header), (TBytes{0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 0, 0, 1}));

  header.SetWidth(0x01020304u & 0xFFF);
  EXPECT_EQ(image.Width(), 0x304);
  const TBytes data = DataOf(header);
  EXPECT_EQ(TBytes(data.begin(), data.begin() + 4), (TBytes{0, 0, 3, 4}));
  // The same size leaves the bitmap alone: its pixels survive.
  image.SetHeight(2);
  image.ScanLine(1)[5] = 99;
  header.SetHeight(2);
  header.SetWidth(0x304);
  EXPECT_EQ(image.ScanLine(1)[5], 99);
  header.SetHeight(7);
  EXPECT_EQ(image.Height(), 7);
  EXPECT_EQ(header.GetHeight(), 7u);
}

TEST(HeaderChunk, ShortDataReadsAsZero) {
  TPNGImage image;
  TChunkIHDR& header = Header(image);
  SetBytes(header, {0, 0, 0, 9});
  EXPECT_EQ(header.GetWidth(), 9u);
  EXPECT_EQ(header.GetHeight(), 0u);
  EXPECT_EQ(header.GetValue(1), 0);
  header.SetValue(1, 2);
  EXPECT_EQ(header.GetSize(), 13u);
}

// A list with a header of the given bit depth and a palette chunk holding Bytes.
struct TPaletteSetup {
  TPNGImage Image;
  TChunkPLTE* Palette;
  TPaletteSetup(std::uint8_t Depth, const TBytes& Bytes) {
    Header(Image).SetValue(0, Depth);
    Palette = Image.Chunks().Add<TChunkPLTE>();
    SetBytes(*Palette, Bytes);
  }
};

TEST(PaletteChunk, BuildsPalettesFromItsData) {
  const TBytes four = {1, 2, 3, 10, 20, 30, 100, 110, 120, 250, 251, 252};
  {
    TPaletteSetup s(2, four);
    const host::HPALETTE pal = s.Palette->GetPalette();
    ASSERT_TRUE(pal);
    ASSERT_EQ(pal->Entries.size(), 16u);
    for (int v = 0; v < 4; ++v) {
      const host::PALETTEENTRY& e = pal->Entries[5 * v];
      EXPECT_EQ(TBytes({e.peRed, e.peGreen, e.peBlue, e.peFlags}),
                TBytes({four[3 * v], four[3 * v + 1], four[3 * v + 2], 0}));
    }
  }
  {
    TPaletteSetup s(8, four);
    EXPECT_EQ(s.Palette->GetPalette()->Entries.size(), 4u);
  }
  {
    TPaletteSetup s(8, TBytes(10, 1));
    EXPECT_EQ(PNGErrorOf([&] { s.Palette->GetPalette(); }), ErrorText(_PNG_ERROR_INVALID_PLTE));
    EXPECT_EQ(s.Palette->Palette(), nullptr);
  }
  {
    // Entries beyond 256 do not fit a palette and are ignored.
    TPaletteSetup s(8, TBytes(3 * 300, 7));
    EXPECT_EQ(s.Palette->GetPalette()->Entries.size(), 256u);
  }
}

TEST(PaletteChunk, GammaAppliesBothWays) {
  TPaletteSetup s(8, {0, 128, 255});
  auto* gamma = s.Image.Chunks().Add<TChunkGAMA>();
  gamma->SetValue(100000);
  gamma->DoAction();
  const host::PALETTEENTRY e = s.Palette->GetPalette()->Entries[0];
  EXPECT_EQ(e.peRed, gamma->GammaTable()[0]);
  EXPECT_EQ(e.peGreen, gamma->GammaTable()[128]);
  EXPECT_NE(e.peGreen, 128);

  // Saving maps the bitmap's entries back through the inverse table.
  s.Image.SetPixelFormat(host::pf8bit);
  s.Image.SetSize(2, 2);
  host::LOGPALETTE log;
  log.palPalEntry = {{10, 128, 250, 0}};
  s.Image.SetPalette(host::CreatePalette(log));
  host::TMemoryStream out;
  s.Palette->SaveToStream(out);
  EXPECT_EQ(DataOf(*s.Palette), (TBytes{gamma->InverseTable()[10], gamma->InverseTable()[128],
                                        gamma->InverseTable()[250]}));
}

TEST(PaletteChunk, GivesItsPaletteBackWhenFreed) {
  TPaletteSetup s(8, {1, 2, 3});
  s.Image.SetPalette(s.Palette->GetPalette());
  ASSERT_TRUE(s.Image.Palette());
  s.Image.Chunks().Remove(s.Palette);
  EXPECT_EQ(s.Image.Palette(), nullptr);
}

TEST(PaletteChunk, WritesNothingWithoutABitmapPalette) {
  TPaletteSetup s(8, {1, 2, 3});
  host::TMemoryStream out;
  s.Palette->SaveToStream(out);
  EXPECT_EQ(out.Size(), 0);
  EXPECT_EQ(s.Palette->GetSize(), 0u);
}

TEST(GammaChunk, TablesFromTheValue) {
  TPNGImage image;
  auto* gamma = image.Chunks().Add<TChunkGAMA>();
  EXPECT_EQ(gamma->GetValue(), 1u);
  EXPECT_EQ(DataOf(*gamma), (TBytes{0, 0, 0, 1}));
  gamma->SetValue(45455);
  EXPECT_EQ(gamma->GammaTable()[200], 0);  // stale until DoAction
  gamma->DoAction();
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(gamma->GammaTable()[i], i);
    EXPECT_EQ(gamma->InverseTable()[i], i);
  }

  // 1.0: display = 255 (v/255)^(1/2.2), brightening; the inverse undoes it.
  gamma->SetValue(100000);
  gamma->DoAction();
  EXPECT_EQ(gamma->GammaTable()[0], 0);
  EXPECT_EQ(gamma->GammaTable()[255], 255);
  EXPECT_EQ(gamma->GammaTable()[64], 136);  // 255 * (64/255)^(1/2.2) = 136.0
  for (int i = 1; i < 256; ++i) {
    EXPECT_GE(gamma->GammaTable()[i], gamma->GammaTable()[i - 1]);
    EXPECT_EQ(gamma->GammaTable()[gamma->InverseTable()[gamma->GammaTable()[i]]],
              gamma->GammaTable()[i]);
  }
  // Of several file values with the same display value the largest stays.
  EXPECT_EQ(gamma->InverseTable()[gamma->GammaTable()[1]], 1);
  EXPECT_GE(gamma->InverseTable()[255], 254);

  // 0 would divide by zero: everything below full scale goes to black.
  gamma->SetValue(0);
  gamma->DoAction();
  EXPECT_EQ(gamma->GammaTable()[254], 0);
  EXPECT_EQ(gamma->GammaTable()[255], 255);
}

TEST(TransparencyChunk, ColourOfTruecolourImagesOnly) {
  TPNGImage image;
  auto* trns = image.Chunks().Add<TChunkTRNS>();
  SetBytes(*trns, {0x10, 0x20, 0x30});
  EXPECT_EQ(PNGErrorOf([&] { trns->GetRGBColor(); }), ErrorText(_PNG_INVALID_COLOR_TYPE));
  Header(image).SetValue(1, 2);
  EXPECT_EQ(trns->GetRGBColor(), 0x10 + 0x20 * 256 + 0x30 * 65536);
  // Another writer's three 16-bit samples: the first three bytes count.
  SetBytes(*trns, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60});
  EXPECT_EQ(trns->GetRGBColor(), host::RGB(0x10, 0x20, 0x30));
  SetBytes(*trns, {0x10});
  EXPECT_EQ(trns->GetRGBColor(), host::RGB(0x10, 0, 0));
}

TEST(TextChunk, KeywordAndText) {
  TPNGImage image;
  auto* text = image.Chunks().Add<TChunkTEXT>();
  EXPECT_EQ(ChunkNameText(text->Name()), "tEXt");
  EXPECT_EQ(text->GetValue(0), "");
  EXPECT_EQ(text->GetValue(1), "");
  text->SetValue(0, "Title");
  text->SetValue(7, "Shot");
  EXPECT_EQ(DataOf(*text), (TBytes{'T', 'i', 't', 'l', 'e', 0, 'S', 'h', 'o', 't', 0}));
  text->SetValue(0, std::string("Au\0thor", 7));
  EXPECT_EQ(text->GetValue(0), "Au");
  EXPECT_EQ(text->GetValue(1), "Shot");
  // As other writers store it: no zero after the text; or no zero at all.
  SetBytes(*text, {'k', 0, 'a', 'b'});
  EXPECT_EQ(text->GetValue(1), "ab");
  SetBytes(*text, {'k', 'e', 'y'});
  EXPECT_EQ(text->GetValue(0), "key");
  EXPECT_EQ(text->GetValue(1), "");
}

TEST(CompressedTextChunk, HoldsADeflatedText) {
  TPNGImage image;
  auto* text = static_cast<TChunkZTXT*>(image.Chunks().AddClass(&TChunkZTXT::ClassInfo));
  EXPECT_EQ(text->Name(), (TChunkName{0, 0, 0, 0}));
  EXPECT_EQ(text->GetValue(1), "");
  std::string long_text;
  for (int i = 0; i < 2000; ++i) long_text += "capture ";
  text->SetValue(0, "Comment");
  text->SetValue(1, long_text);
  EXPECT_EQ(text->GetValue(0), "Comment");
  EXPECT_EQ(text->GetValue(1), long_text);
  EXPECT_LT(text->GetSize(), long_text.size());

  const TBytes data = DataOf(*text);
  EXPECT_EQ(TBytes(data.begin(), data.begin() + 9),
            (TBytes{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0}));
  const TBytes plain = testing::Inflate(TBytes(data.begin() + 9, data.end()));
  EXPECT_EQ(std::string(plain.begin(), plain.end()), long_text);

  // A new keyword keeps the text.
  text->SetValue(0, "Note");
  EXPECT_EQ(text->GetValue(1), long_text);
}

// A file whose zTXt chunk was cut short (by a writer that stopped early, the
// chunk's CRC taken over what is there) loads, and the chunk reads as the
// part of the text its data holds: what zlib makes of it.
TEST(CompressedTextChunk, ACutShortChunkGivesTheTextThatCouldBeRead) {
  std::string text;
  for (int i = 0; text.size() < 30000; ++i)
    text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  const TBytes packed = testing::Deflate(TBytes(text.begin(), text.end()));
  for (std::size_t keep : {packed.size() / 2, packed.size() - 4, packed.size() - 1}) {
    SCOPED_TRACE(keep);
    TBytes data = {'N', 'o', 't', 'e', 0, 0};
    data.insert(data.end(), packed.begin(), packed.begin() + std::ptrdiff_t(keep));
    TPNGImage image;
    testing::LoadFromBytes(
        image, testing::BuildFile({testing::FrameChunk("IHDR", testing::HeaderData(1, 1, 8, 0)),
                                   testing::FrameChunk("zTXt", data),
                                   testing::FrameChunk("IDAT", testing::Deflate({0, 9})),
                                   testing::FrameChunk("IEND", {})}));
    ASSERT_EQ(ChunkNameText(image.Chunks().GetItem(1)->Name()), "zTXt");
    TChunkZTXT chunk(&image.Chunks());
    chunk.Assign(*image.Chunks().GetItem(1));
    EXPECT_EQ(chunk.GetValue(0), "Note");

    z_stream z{};
    ASSERT_EQ(inflateInit(&z), Z_OK);
    std::string readable(text.size(), '\0');
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = uInt(keep);
    z.next_out = reinterpret_cast<Bytef*>(readable.data());
    z.avail_out = uInt(readable.size());
    inflate(&z, Z_SYNC_FLUSH);
    readable.resize(z.total_out);
    inflateEnd(&z);
    ASSERT_GT(readable.size(), 0u);
    EXPECT_EQ(chunk.GetValue(1), readable);
    EXPECT_EQ(text.compare(0, readable.size(), readable), 0);
  }
}

TEST(TimeChunk, StoresAndReadsDateAndTime) {
  TPNGImage image;
  auto* time = image.Chunks().Add<TChunkTIME>();
  EXPECT_EQ(time->GetSize(), 7u);
  const double now = host::Now();
  EXPECT_NEAR(time->GetDateTime(), now, 2.0 / 86400);

  const host::TDateTime when = host::EncodeDate(2005, 3, 1) + host::EncodeTime(14, 5, 9, 500);
  time->SetDateTime(when);
  EXPECT_EQ(DataOf(*time), (TBytes{0x07, 0xD5, 3, 1, 14, 5, 9}));
  EXPECT_NEAR(time->GetDateTime(), when - 0.5 / 86400, 1e-9);

  SetBytes(*time, {0, 0, 6, 30, 0, 0, 0});
  EXPECT_DOUBLE_EQ(time->GetDateTime(), host::EncodeDate(2000, 6, 30));
}

TEST(TimeChunk, CorruptTimesShowABoxAndFail) {
  TPNGImage image;
  auto* time = image.Chunks().Add<TChunkTIME>();
  std::vector<std::string> shown;
  const host::TMessageBoxHook previous =
      host::SetMessageBoxHook([&](const std::string& Text, const std::string&, unsigned) {
        shown.push_back(Text);
        return host::mrOk;
      });
  SetBytes(*time, {0x07, 0xD5, 13, 1, 14, 5, 9});
  EXPECT_EQ(PNGErrorOf([&] { time->GetDateTime(); }), ErrorText(_TIME_CORRUPTED));
  SetBytes(*time, {0, 0, 2, 30, 24, 5, 9});
  EXPECT_EQ(PNGErrorOf([&] { time->GetDateTime(); }), ErrorText(_TIME_CORRUPTED));
  SetBytes(*time, {0x07, 0xD5, 3, 1, 14, 5});
  EXPECT_EQ(PNGErrorOf([&] { time->GetDateTime(); }), ErrorText(_TIME_CORRUPTED));
  host::SetMessageBoxHook(previous);
  EXPECT_EQ(shown,
            (std::vector<std::string>{"Year: 2005, Month: 13, Day: 1, Hour: 14, Min: 5,Sec: 9",
                                      "Year: 2000, Month: 2, Day: 30, Hour: 24, Min: 5,Sec: 9"}));
}

TEST(ChunkAssign, CopiesDataAndName) {
  TPNGImage image;
  auto* a = image.Chunks().Add<TChunkTEXT>();
  a->SetValue(0, "k");
  TChunk b(&image.Chunks());
  SetBytes(b, {1, 2, 3, 4, 5});
  b.Assign(*a);
  EXPECT_EQ(DataOf(b), DataOf(*a));
  EXPECT_EQ(b.Name(), a->Name());
}

}  // namespace
}  // namespace snapkit
