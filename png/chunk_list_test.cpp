// The container: framing, reading and writing rules, list and registry.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <random>

#include "host/graphics/picture.h"
#include "host/system/tempfiles.h"
#include "png/chunk_gama.h"
#include "png/chunk_idat.h"
#include "png/chunk_ihdr.h"
#include "png/chunk_plte.h"
#include "png/chunk_text.h"
#include "png/chunk_time.h"
#include "png/chunk_trns.h"
#include "png/crc.h"
#include "png/errors.h"
#include "png/png_image.h"
#include "png/testing/png_testing.h"

namespace snapkit {
namespace {

using testing::PNGErrorOf;

using testing::TBytes;
using Types = std::vector<std::string>;

std::string Framed(const char* Text) {
  return std::string("Portable Network Graphics format handler error\r\n\r\n") + Text;
}

// A valid 24-bit file of the given size, written by the codec itself.
TBytes SmallFile(int Width = 6, int Height = 4) {
  TPNGImage image;
  image.Assign(*testing::MakeRGBBitmap(host::pf24bit, Width, Height, 3));
  return testing::SaveToBytes(image);
}

// The chunks of a file with Extra inserted before the chunk at Position.
TBytes WithChunk(const TBytes& File, std::size_t Position, const TBytes& Extra) {
  std::vector<TBytes> framed;
  for (const testing::TRawChunk& c : testing::SplitChunks(File))
    framed.push_back(testing::FrameChunk(c.Type, c.Data));
  framed.insert(framed.begin() + Position, Extra);
  return testing::BuildFile(framed);
}

Types ListTypes(const TPNGImage& Image) {
  Types types;
  for (int i = 0; i < Image.Chunks().GetCount(); ++i)
    types.push_back(ChunkNameText(Image.Chunks().GetItem(i)->Name()));
  return types;
}

TEST(Crc, MatchesZlibAndTheEndChunk) {
  EXPECT_EQ(CRC32("IEND", 4), 0xAE426082u);
  std::mt19937 rng(1);
  for (std::size_t size : {0u, 1u, 7u, 1000u, 65537u}) {
    TBytes data(size);
    for (auto& b : data) b = std::uint8_t(rng());
    EXPECT_EQ(CRC32(data.data(), size), crc32(0, data.data(), uInt(size))) << size;
    // Fed in two parts it is the same.
    const std::size_t half = size / 2;
    EXPECT_EQ(~UpdateCRC(UpdateCRC(~0u, data.data(), half), data.data() + half, size - half),
              CRC32(data.data(), size));
  }
}

TEST(Errors, AreFramedWithTheCodecTitle) {
  EXPECT_EQ(PNGErrorMessage(_PNG_ERROR_NO_IDAT),
            "Portable Network Graphics format handler error\r\n\r\nThe current image being loaded "
            "has no data and could not be loaded.");
  EXPECT_THROW(RaisePNGError(_TIME_CORRUPTED), host::Exception);
}

TEST(Errors, TextsAreTheOnesUsersSee) {
  const std::pair<const char*, const char*> texts[] = {
      {_PNG_ERROR_INVALID_HEADER,
       "Invalid Portable Graphics Network image, it has an invalid file header."},
      {_PNG_ERROR_INVALID_CHUNK_INDEX, "The chunk index especified is out of the range."},
      {_PNG_ERROR_INVALID_CHUNK_CLASS_INDEX, "The chunk class index especified is  out of range."},
      {_PNG_ERROR_CHUNK_INVALID_CRC, "Can't read the PNG image, it has corrupted data. "},
      {_PNG_ERROR_IHDR_NOT_FIRST,
       "This PNG image is invalid, the IHDR chunk is either not present or it isn't the first "
       "chunk."},
      {_PNG_ERROR_NO_IDAT, "The current image being loaded has no data and could not be loaded."},
      {_PNG_ERROR_INVALID_PLTE, "The current image being loaded has an invalid palette!"},
      {_PNG_ERROR_INVALID_COLOR_TYPE,
       "Could not read the image because it has an unknown color type."},
      {_PNG_ERROR_INVALID_FILTER_TYPE,
       "The image could not be loaded because it uses an unknown set of filter types."},
      {_PNG_ERROR_INVALID_INTERLACE, "The image has an unknown interlace method."},
      {_PNG_ERROR_UNKOWN_CRITICAL_CHUNK,
       "The currently being loaded image contains critical(s) chunk(s) not reconized by the "
       "decoder."},
      {_PNG_ERROR_NO_PALETTE, "The current image requeries a palette but it is not avaliable."},
      {_PNG_INVALID_COLOR_TYPE,
       "Can not get transparency information because the current image color type is not RGB "
       "(value 3)"},
      {_CHUNK_NOT_CHILD,
       "The especified chunk is not inside the chunk list containing the method being used. The "
       "funcion could not be completed."},
      {_TIME_CORRUPTED, "Could not get informations on the tIME chunk because it is corrupted."},
  };
  for (const auto& [constant, text] : texts) EXPECT_STREQ(constant, text);
}

TEST(Saving, WritesEndChunkAndExactlyThreeChunksForATruecolourBitmap) {
  const TBytes file = SmallFile();
  EXPECT_EQ(testing::ChunkTypes(file), (Types{"IHDR", "IDAT", "IEND"}));
  const TBytes tail(file.end() - 12, file.end());
  EXPECT_EQ(tail, (TBytes{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
  for (const testing::TRawChunk& c : testing::SplitChunks(file)) {
    TBytes typed(c.Type.begin(), c.Type.end());
    typed.insert(typed.end(), c.Data.begin(), c.Data.end());
    EXPECT_EQ(c.CRC, CRC32(typed.data(), typed.size())) << c.Type;
  }
}

TEST(Saving, CompletesTheListInPlace) {
  TPNGImage image;
  image.Assign(*testing::MakeIndexedBitmap(host::pf8bit, 5, 5, 1));
  testing::SaveToBytes(image);
  EXPECT_EQ(ListTypes(image), (Types{"IHDR", "PLTE", "IDAT", "IEND"}));

  // An emptied list is rebuilt without losing the pixels.
  image.Chunks().Clear();
  const TBytes file = testing::SaveToBytes(image);
  EXPECT_EQ(testing::ChunkTypes(file), (Types{"IHDR", "PLTE", "IDAT", "IEND"}));
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(testing::DecodeWithLibpng(file).Width, 5u);

  // A list whose first chunk is not a header gets one in front.
  image.Chunks().Move(0, 3);
  testing::SaveToBytes(image);
  EXPECT_EQ(ListTypes(image), (Types{"IHDR", "PLTE", "IDAT", "IEND", "IHDR"}));
}

TEST(Saving, TransparencyChunkFollowsTheTransparentFlag) {
  TPNGImage image;
  image.Assign(*testing::MakeRGBBitmap(host::pf24bit, 8, 8, 1));
  image.SetTransparent(true);
  image.SetTransparentColor(host::RGB(0x10, 0x20, 0x30));
  for (int pass = 0; pass < 2; ++pass) {
    const std::vector<testing::TRawChunk> chunks =
        testing::SplitChunks(testing::SaveToBytes(image));
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[1].Type, "tRNS");
    EXPECT_EQ(chunks[1].Data, (TBytes{0x10, 0x20, 0x30}));
  }
  image.SetTransparent(false);
  EXPECT_EQ(testing::ChunkTypes(testing::SaveToBytes(image)), (Types{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(image.Chunks().IndexOfClass(&TChunkTRNS::ClassInfo), -1);
}

TEST(Saving, TransparentPaletteImageWritesNoTransparencyChunk) {
  TPNGImage image;
  image.Assign(*testing::MakeIndexedBitmap(host::pf4bit, 8, 8, 1));
  image.SetTransparent(true);
  EXPECT_EQ(testing::ChunkTypes(testing::SaveToBytes(image)),
            (Types{"IHDR", "PLTE", "IDAT", "IEND"}));
  // It stays in the list, ahead of the palette.
  EXPECT_EQ(ListTypes(image), (Types{"IHDR", "tRNS", "PLTE", "IDAT", "IEND"}));
}

TEST(Saving, LowerCaseFourthLetterIsNeverWritten) {
  TPNGImage image;
  image.Assign(*testing::MakeRGBBitmap(host::pf24bit, 4, 4, 1));
  auto* text = image.Chunks().Add<TChunkTEXT>();
  text->SetValue(0, "Title");
  image.Chunks().Add<TChunk>();  // no name at all
  auto* time = image.Chunks().Add<TChunkTIME>();
  image.Chunks().Move(image.Chunks().IndexOfChunk(time), 1);
  // Chunks after the end chunk are written after it.
  EXPECT_EQ(testing::ChunkTypes(testing::SaveToBytes(image)),
            (Types{"IHDR", "tIME", "IDAT", "IEND"}));
}

TEST(Loading, MergesImageDataChunksInFileOrder) {
  const std::vector<testing::TRawChunk> chunks = testing::SplitChunks(SmallFile(30, 20));
  const TBytes& idat = chunks[1].Data;
  ASSERT_GT(idat.size(), 6u);
  const std::size_t a = idat.size() / 3, b = 2 * idat.size() / 3;
  const TBytes file =
      testing::BuildFile({testing::FrameChunk("IHDR", chunks[0].Data),
                          testing::FrameChunk("IDAT", TBytes(idat.begin(), idat.begin() + a)),
                          testing::FrameChunk("IDAT", TBytes(idat.begin() + a, idat.begin() + b)),
                          testing::FrameChunk("IDAT", TBytes(idat.begin() + b, idat.end())),
                          testing::FrameChunk("IEND", {})});
  TPNGImage image;
  testing::LoadFromBytes(image, file);
  EXPECT_EQ(ListTypes(image), (Types{"IHDR", "IDAT", "IEND"}));
  const TChunk* merged = image.Chunks().GetItem(1);
  EXPECT_EQ(TBytes(merged->Data().Memory(), merged->Data().Memory() + merged->GetSize()), idat);
}

TEST(Loading, RejectsBadFilesWithTheirMessages) {
  const TBytes good = SmallFile();
  const std::vector<testing::TRawChunk> chunks = testing::SplitChunks(good);
  TPNGImage image;
  auto load = [&](const TBytes& file) {
    return PNGErrorOf([&] { testing::LoadFromBytes(image, file); });
  };
  EXPECT_EQ(load(good), "");

  TBytes badSignature = good;
  badSignature[1] = 'p';
  EXPECT_EQ(load(badSignature), Framed(_PNG_ERROR_INVALID_HEADER));
  EXPECT_EQ(load(TBytes(good.begin(), good.begin() + 5)), Framed(_PNG_ERROR_INVALID_HEADER));

  EXPECT_EQ(load(testing::BuildFile({testing::FrameChunk("IDAT", chunks[1].Data),
                                     testing::FrameChunk("IHDR", chunks[0].Data),
                                     testing::FrameChunk("IEND", {})})),
            Framed(_PNG_ERROR_IHDR_NOT_FIRST));
  EXPECT_EQ(load(testing::BuildFile({})), Framed(_PNG_ERROR_IHDR_NOT_FIRST));
  EXPECT_EQ(load(testing::BuildFile(
                {testing::FrameChunk("IHDR", chunks[0].Data), testing::FrameChunk("IEND", {})})),
            Framed(_PNG_ERROR_NO_IDAT));

  // A flipped byte in the data of the header and of the image data.
  for (std::size_t pos : {std::size_t(8 + 8), std::size_t(8 + 8 + 12), good.size() - 20}) {
    TBytes flipped = good;
    flipped[pos] ^= 0x01;
    EXPECT_EQ(load(flipped), Framed(_PNG_ERROR_CHUNK_INVALID_CRC)) << pos;
  }
  EXPECT_EQ(load(WithChunk(good, 1, testing::FrameChunk("ABCD", {1, 2}))),
            Framed(_PNG_ERROR_UNKOWN_CRITICAL_CHUNK));
}

// The stream's read error, saying where the file ends.
TEST(Loading, ShortStreamsFailWithTheStreamsReadError) {
  const TBytes good = SmallFile();
  ASSERT_EQ(testing::ChunkTypes(good)[1], "IDAT");
  const std::size_t idat = 8 + 25;  // after the signature and the header chunk
  struct TCase {
    std::size_t Keep;
    const char* Message;
  };
  for (TCase c : {TCase{20, "The PNG file is cut short inside its IHDR chunk"},
                  TCase{35, "The PNG file is cut short inside a chunk's length and type"},
                  TCase{idat + 9, "The PNG file is cut short inside its IDAT chunk"},
                  TCase{idat + 8 + testing::SplitChunks(good)[1].Data.size() + 2,
                        "The PNG file is cut short inside the CRC of its IDAT chunk"}}) {
    SCOPED_TRACE(c.Keep);
    TPNGImage image;
    try {
      testing::LoadFromBytes(image, TBytes(good.begin(), good.begin() + std::ptrdiff_t(c.Keep)));
      ADD_FAILURE() << "loaded";
    } catch (const host::EReadError& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
  TPNGImage image;
  // A length beyond what PNG allows is refused without allocating it.
  TBytes huge = good;
  huge[8] = 0xFF;
  EXPECT_EQ(PNGErrorOf([&] { testing::LoadFromBytes(image, huge); }),
            Framed(_PNG_ERROR_CHUNK_INVALID_CRC));
  huge[8] = 0x7F;
  EXPECT_THROW(testing::LoadFromBytes(image, huge), host::EReadError);
}

TEST(Loading, KeepsUnknownAncillaryChunksAndWritesBackOnlyUnsafeToCopyOnes) {
  const TBytes kept = testing::FrameChunk("aBCD", {9, 8, 7});
  TBytes file = WithChunk(SmallFile(), 1, kept);
  file = WithChunk(file, 1, testing::FrameChunk("abcd", {1}));
  file = WithChunk(file, 1, testing::FrameChunk("tEXt", {'k', 0, 'v'}));
  TPNGImage image;
  testing::LoadFromBytes(image, file);
  EXPECT_EQ(ListTypes(image), (Types{"IHDR", "tEXt", "abcd", "aBCD", "IDAT", "IEND"}));
  EXPECT_EQ(image.Chunks().GetItem(3)->ClassType(), &TChunk::ClassInfo);
  EXPECT_EQ(image.Chunks().GetItem(1)->ClassType(), &TChunkTEXT::ClassInfo);

  const TBytes saved = testing::SaveToBytes(image);
  EXPECT_EQ(testing::ChunkTypes(saved), (Types{"IHDR", "aBCD", "IDAT", "IEND"}));
  // Written back byte for byte.
  EXPECT_NE(std::search(saved.begin(), saved.end(), kept.begin(), kept.end()), saved.end());
}

TEST(Loading, StopsAtTheEndChunk) {
  TBytes file = SmallFile();
  const std::size_t end = file.size();
  file.insert(file.end(), {'t', 'r', 'a', 'i', 'l'});
  host::TMemoryStream stream;
  stream.WriteBuffer(file.data(), std::int64_t(file.size()));
  stream.SetPosition(0);
  TPNGImage image;
  image.LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), std::int64_t(end));
}

TEST(Loading, AppliesTransparencyOnlyToTruecolour) {
  TPNGImage source;
  source.Assign(*testing::MakeRGBBitmap(host::pf24bit, 4, 4, 1));
  source.SetTransparent(true);
  source.SetTransparentColor(host::RGB(1, 2, 3));
  TPNGImage image;
  testing::LoadFromBytes(image, testing::SaveToBytes(source));
  EXPECT_TRUE(image.Transparent());
  EXPECT_EQ(image.TransparentColor(), host::RGB(1, 2, 3));

  // An opaque file leaves the flag as it was.
  testing::LoadFromBytes(image, SmallFile());
  EXPECT_TRUE(image.Transparent());
}

TEST(Loading, FailureKeepsTheChunksReadSoFar) {
  const TBytes good = SmallFile();
  TBytes flipped = good;
  flipped[good.size() - 20] ^= 0x01;  // inside the image data
  TPNGImage image;
  EXPECT_THROW(testing::LoadFromBytes(image, flipped), EPNGImageException);
  EXPECT_EQ(ListTypes(image), (Types{"IHDR"}));
}

TEST(ChunkList, IndexErrorsAndMoves) {
  TPNGImage image;
  TChunkList& list = image.Chunks();
  EXPECT_EQ(PNGErrorOf([&] { list.GetItem(3); }), Framed(_PNG_ERROR_INVALID_CHUNK_INDEX));
  EXPECT_EQ(PNGErrorOf([&] { list.GetItem(-1); }), Framed(_PNG_ERROR_INVALID_CHUNK_INDEX));
  EXPECT_EQ(PNGErrorOf([&] { list.Move(3, 0); }), Framed(_PNG_ERROR_INVALID_CHUNK_INDEX));
  EXPECT_THROW(list.Move(0, 3), host::EListError);
  list.Move(2, 0);
  EXPECT_EQ(ListTypes(image), (Types{"IEND", "IHDR", "IDAT"}));
}

TEST(ChunkList, RemoveOnlyOwnChunks) {
  TPNGImage a, b;
  TChunk* foreign = b.Chunks().GetItem(1);
  EXPECT_EQ(PNGErrorOf([&] { a.Chunks().Remove(foreign); }), Framed(_CHUNK_NOT_CHILD));
  EXPECT_EQ(a.Chunks().GetCount(), 3);
  EXPECT_EQ(b.Chunks().GetCount(), 3);
  // Owned by the list but never added: not a child either.
  TChunk loose(&a.Chunks());
  EXPECT_EQ(PNGErrorOf([&] { a.Chunks().Remove(&loose); }), Framed(_CHUNK_NOT_CHILD));
  b.Chunks().Remove(foreign);
  EXPECT_EQ(ListTypes(b), (Types{"IHDR", "IEND"}));
}

class TCustomIDAT : public TChunkIDAT {
  SNAPKIT_DECLARE_CHUNK_CLASS
 public:
  explicit TCustomIDAT(TChunkList* Owner) : TChunkIDAT(Owner, &ClassInfo) {}
};
SNAPKIT_CHUNK_CLASS(TCustomIDAT, TChunkIDAT);

TEST(ChunkList, ClassLookupIsExactAndAddItemTakesAnything) {
  TPNGImage image;
  TChunkList& list = image.Chunks();
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0);
  TChunk* custom = list.AddItem(std::make_unique<TCustomIDAT>(&list));
  EXPECT_EQ(list.IndexOfClass(&TChunkIDAT::ClassInfo), -1);
  EXPECT_EQ(list.IndexOfClass(&TCustomIDAT::ClassInfo), 0);
  EXPECT_EQ(list.IndexOfChunk(custom), 0);
  EXPECT_EQ(custom->GetIndex(), 0);
  EXPECT_EQ(list.IndexOfChunk(nullptr), -1);
  EXPECT_EQ(custom->GetBitmap(), &image);
  // Not registered: a chunk of this class has no type name.
  EXPECT_EQ(custom->Name(), (TChunkName{0, 0, 0, 0}));
  // Header lookups need a header first.
  EXPECT_EQ(PNGErrorOf([&] { custom->GetIHDR(); }), Framed(_PNG_ERROR_IHDR_NOT_FIRST));
  list.Clear();
  EXPECT_EQ(PNGErrorOf([&] {
              custom = list.AddClass(&TChunkGAMA::ClassInfo);
              custom->GetIHDR();
            }),
            Framed(_PNG_ERROR_IHDR_NOT_FIRST));
}

TEST(ChunkList, ChunkHelpersFindHeaderAndFirstGamma) {
  TPNGImage image;
  TChunkList& list = image.Chunks();
  TChunk* end = list.GetItem(2);
  EXPECT_EQ(end->GetIHDR(), list.GetItem(0));
  EXPECT_EQ(end->GetGAMA(), nullptr);
  auto* first = list.Add<TChunkGAMA>();
  list.Add<TChunkGAMA>();
  EXPECT_EQ(end->GetGAMA(), first);
}

TEST(ChunkClasses, EntriesAndLookups) {
  TChunkClasses registry;
  EXPECT_EQ(registry.GetCount(), 0);
  EXPECT_EQ(registry.IndexOfType(ChunkName("IHDR")), -1);
  EXPECT_EQ(PNGErrorOf([&] { registry.GetItem(0); }), Framed(_PNG_ERROR_INVALID_CHUNK_CLASS_INDEX));
  EXPECT_EQ(registry.Add(ChunkName("gAMA"), &TChunkGAMA::ClassInfo), 0);
  EXPECT_EQ(registry.Add(ChunkName("IHDR"), &TChunkIHDR::ClassInfo), 1);
  EXPECT_EQ(registry.Add(ChunkName("IHDR"), &TChunkGAMA::ClassInfo), 2);
  EXPECT_EQ(registry.GetCount(), 3);
  EXPECT_EQ(registry.IndexOfType(ChunkName("IHDR")), 1);   // the first match
  EXPECT_EQ(registry.IndexOfType(ChunkName("GAMA")), -1);  // case matters
  EXPECT_EQ(registry.IndexOfClass(&TChunkGAMA::ClassInfo), 0);
  EXPECT_EQ(registry.GetItem(2).ChunkClass, &TChunkGAMA::ClassInfo);
  EXPECT_EQ(PNGErrorOf([&] { registry.GetItem(3); }), Framed(_PNG_ERROR_INVALID_CHUNK_CLASS_INDEX));
}

TEST(ChunkClasses, LibraryLoadRegistersTheChunkClassesAndThePictureFormat) {
  const TChunkClasses& registry = ChunkClasses();
  const Types names = {"IEND", "IHDR", "gAMA", "IDAT", "PLTE", "tEXt", "tRNS", "tIME"};
  ASSERT_GE(registry.GetCount(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ChunkNameText(registry.GetItem(i).Name), names[i]);
  EXPECT_EQ(registry.GetItem(3).ChunkClass, &TChunkIDAT::ClassInfo);
  EXPECT_EQ(registry.IndexOfType(ChunkName("zTXt")), -1);
  EXPECT_EQ(host::TPicture::GraphicClassForFile("shot.PNG"), &TPNGImage::ClassInfo);
  bool described = false;
  for (const host::TFileFormat& f : host::TPicture::FileFormats())
    described |=
        f.GraphicClass == &TPNGImage::ClassInfo && f.Description == "Portable Network Graphics";
  EXPECT_TRUE(described);
}

TEST(ChunkClasses, ALaterRegistrationOfAKnownNameChangesNothing) {
  TPNGImage::RegisterChunkClass(ChunkName("IHDR"), &TCustomIDAT::ClassInfo);
  TPNGImage image;
  testing::LoadFromBytes(image, SmallFile());
  EXPECT_EQ(image.Chunks().GetItem(0)->ClassType(), &TChunkIHDR::ClassInfo);
  EXPECT_EQ(image.Width(), 6);
}

TEST(Image, NewAndClearedImagesHoldHeaderDataAndEnd) {
  TPNGImage image;
  EXPECT_EQ(image.Filter(), DefaultFilterSet);
  EXPECT_FALSE(image.Interlacing());
  image.SetFilter(FilterBit(efUp));
  EXPECT_EQ(image.Filter(), FilterBit(efUp) | FilterBit(efNone));

  image.Assign(*testing::MakeIndexedBitmap(host::pf8bit, 9, 9, 1));
  testing::SaveToBytes(image);
  image.Clear();
  EXPECT_EQ(ListTypes(image), (Types{"IHDR", "IDAT", "IEND"}));
  const auto* header = static_cast<TChunkIHDR*>(image.Chunks().GetItem(0));
  EXPECT_EQ(TBytes(header->Data().Memory(), header->Data().Memory() + 13),
            (TBytes{0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 0, 0, 0}));
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(image.Palette(), nullptr);
}

TEST(Image, AssignCopiesChunksFromAnotherPNGImageOnly) {
  TPNGImage source;
  testing::LoadFromBytes(source, WithChunk(SmallFile(), 1, testing::FrameChunk("aBCD", {5})));
  auto* gamma = source.Chunks().Add<TChunkGAMA>();
  gamma->SetValue(100000);
  gamma->DoAction();
  source.SetFilter(FilterBit(efPaeth));
  source.SetInterlacing(true);

  TPNGImage copy;
  copy.Assign(source);
  EXPECT_EQ(ListTypes(copy), ListTypes(source));
  for (int i = 0; i < copy.Chunks().GetCount(); ++i) {
    const TChunk* a = source.Chunks().GetItem(i);
    const TChunk* b = copy.Chunks().GetItem(i);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->ClassType(), b->ClassType()) << i;
    EXPECT_EQ(b->Owner(), &copy.Chunks());
    EXPECT_EQ(TBytes(a->Data().Memory(), a->Data().Memory() + a->GetSize()),
              TBytes(b->Data().Memory(), b->Data().Memory() + b->GetSize()));
  }
  const auto* copiedGamma = static_cast<const TChunkGAMA*>(copy.Chunks().GetItem(4));
  EXPECT_EQ(TBytes(copiedGamma->GammaTable(), copiedGamma->GammaTable() + 256),
            TBytes(gamma->GammaTable(), gamma->GammaTable() + 256));
  EXPECT_EQ(copy.Filter(), FilterBit(efPaeth) | FilterBit(efNone));
  EXPECT_TRUE(copy.Interlacing());
  EXPECT_EQ(copy.Width(), 6);

  copy.Assign(copy);
  EXPECT_EQ(ListTypes(copy), ListTypes(source));

  // A plain bitmap brings pixels only.
  TPNGImage plain;
  plain.Chunks().Add<TChunkTIME>();
  plain.Assign(*testing::MakeRGBBitmap(host::pf24bit, 3, 2, 1));
  EXPECT_EQ(ListTypes(plain), (Types{"IHDR", "IDAT", "IEND", "tIME"}));
  EXPECT_EQ(plain.Width(), 3);
}

TEST(Image, RoundTripsThroughStreamsAndTheHostPicture) {
  TPNGImage image;
  image.Assign(*testing::MakeRGBBitmap(host::pf24bit, 17, 5, 2));
  const TBytes file = testing::SaveToBytes(image);
  TPNGImage loaded;
  testing::LoadFromBytes(loaded, file);
  ASSERT_EQ(loaded.Width(), 17);
  ASSERT_EQ(loaded.PixelFormat(), host::pf24bit);
  for (int y = 0; y < 5; ++y)
    EXPECT_EQ(TBytes(loaded.ScanLine(y), loaded.ScanLine(y) + 51),
              TBytes(image.ScanLine(y), image.ScanLine(y) + 51));
  EXPECT_EQ(testing::SaveToBytes(loaded), file);

  // Any picture of the host saves and opens ".png" files through the codec.
  const std::string name = host::GetTempFileName("", "pngtest") + ".png";
  host::TPicture picture;
  picture.Bitmap().Assign(image);
  picture.SaveToFile(name);
  host::TPicture opened;
  opened.LoadFromFile(name);
  std::remove(name.c_str());
  std::remove(name.substr(0, name.size() - 4).c_str());
  ASSERT_NE(dynamic_cast<TPNGImage*>(opened.Graphic()), nullptr);
  EXPECT_EQ(opened.Graphic()->Width(), 17);
  EXPECT_EQ(static_cast<TPNGImage*>(opened.Graphic())->GetPixel(3, 4), image.GetPixel(3, 4));
}

}  // namespace
}  // namespace snapkit
