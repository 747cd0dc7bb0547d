#include "host/browser/png_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "host/system/exception.h"

namespace host {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& B, std::uint32_t V) {
  for (int Shift = 24; Shift >= 0; Shift -= 8) B.push_back(std::uint8_t(V >> Shift));
}

void Chunk(Bytes& File, const char* Type, const Bytes& Body) {
  Put32(File, static_cast<std::uint32_t>(Body.size()));
  Bytes Typed(Type, Type + 4);
  Typed.insert(Typed.end(), Body.begin(), Body.end());
  File.insert(File.end(), Typed.begin(), Typed.end());
  Put32(File, static_cast<std::uint32_t>(crc32(0, Typed.data(), static_cast<uInt>(Typed.size()))));
}

// A PNG file of the given filtered rows (each starting with its filter byte).
Bytes MakePng(int Width, int Height, int Colour, const Bytes& Filtered, int Interlace = 0) {
  Bytes File = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes Header;
  Put32(Header, static_cast<std::uint32_t>(Width));
  Put32(Header, static_cast<std::uint32_t>(Height));
  Header.insert(Header.end(), {8, std::uint8_t(Colour), 0, 0, std::uint8_t(Interlace)});
  Chunk(File, "IHDR", Header);
  Chunk(File, "tEXt", Bytes{'a', 0, 'b'});  // ancillary: skipped
  uLongf Size = compressBound(static_cast<uLong>(Filtered.size()));
  Bytes Packed(Size);
  compress(Packed.data(), &Size, Filtered.data(), static_cast<uLong>(Filtered.size()));
  Packed.resize(Size);
  // Split over two data chunks, as encoders may.
  std::size_t Half = Packed.size() / 2;
  Chunk(File, "IDAT", Bytes(Packed.begin(), Packed.begin() + static_cast<long>(Half)));
  Chunk(File, "IDAT", Bytes(Packed.begin() + static_cast<long>(Half), Packed.end()));
  Chunk(File, "IEND", {});
  return File;
}

// Two pixels a row; the expected values are worked out by hand from the
// predictors' definitions, one branch of Paeth per channel.
const Bytes FilteredRows = {
    0, 30, 60, 15,  30,  90, 20,   // none
    4, 7,  0,  251, 3,   1,  2,    // Paeth: a, b and c each win once
    3, 4,  4,  4,   0,   0,  0,    // average
    1, 1,  2,  3,   250, 0,  10,   // sub
    2, 1,  1,  1,   10,  10, 250,  // up
};
const Bytes ExpectedRgb = {
    30, 60, 15, 30,  90, 20,  //
    37, 60, 10, 40,  91, 17,  //
    22, 34, 9,  31,  62, 13,  //
    1,  2,  3,  251, 2,  13,  //
    2,  3,  4,  5,   12, 7,   //
};

TEST(PngReaderTest, UndoesEveryRowFilter) {
  Bytes File = MakePng(2, 5, 2, FilteredRows);
  TRgbImage Image = ReadBrowserPng(File.data(), File.size());
  EXPECT_EQ(Image.Width, 2);
  EXPECT_EQ(Image.Height, 5);
  Bytes Pixels;
  for (int y = 0; y < Image.Height; ++y)
    Pixels.insert(Pixels.end(), Image.Row(y), Image.Row(y) + 6);
  EXPECT_EQ(Image.Bpp, 3);
  EXPECT_EQ(Pixels, ExpectedRgb);

  // Data with a row to spare takes the other inflater; the rows are the same.
  File = MakePng(2, 4, 2, FilteredRows);
  Image = ReadBrowserPng(File.data(), File.size());
  Pixels.clear();
  for (int y = 0; y < Image.Height; ++y)
    Pixels.insert(Pixels.end(), Image.Row(y), Image.Row(y) + 6);
  EXPECT_EQ(Pixels, Bytes(ExpectedRgb.begin(), ExpectedRgb.end() - 6));
}

TEST(PngReaderTest, KeepsAlphaAfterTheColours) {
  Bytes File = MakePng(2, 1, 6, {1, 9, 8, 7, 0, 1, 1, 1, 255});
  TRgbImage Image = ReadBrowserPng(File.data(), File.size());
  EXPECT_EQ(Image.Bpp, 4);
  EXPECT_EQ(Bytes(Image.Row(0), Image.Row(0) + 8), (Bytes{9, 8, 7, 0, 10, 9, 8, 255}));
}

TEST(PngReaderTest, RefusesWhatItCannotRead) {
  Bytes Good = MakePng(2, 5, 2, FilteredRows);
  auto Refused = [](const Bytes& File) {
    EXPECT_THROW(ReadBrowserPng(File.data(), File.size()), EOleException);
  };
  Bytes BadSignature = Good;
  BadSignature[1] = 'Q';
  Refused(BadSignature);
  Bytes BadCrc = Good;
  BadCrc[8 + 8 + 13] ^= 1;  // the header's checksum
  Refused(BadCrc);
  Refused(Bytes(Good.begin(), Good.begin() + 40));
  Refused(MakePng(2, 5, 3, FilteredRows));     // palette
  Refused(MakePng(2, 5, 2, FilteredRows, 1));  // interlaced
  Bytes Short(FilteredRows.begin(), FilteredRows.end() - 7);
  Refused(MakePng(2, 5, 2, Short));
  Bytes BadFilter = FilteredRows;
  BadFilter[7] = 5;
  Refused(MakePng(2, 5, 2, BadFilter));
  Refused(Bytes{});
}

TEST(PngReaderTest, Base64) {
  auto Text = [](const std::string& S) {
    Bytes B = DecodeBase64(S);
    return std::string(B.begin(), B.end());
  };
  EXPECT_EQ(Text(""), "");
  EXPECT_EQ(Text("Zg=="), "f");
  EXPECT_EQ(Text("Zm8="), "fo");
  EXPECT_EQ(Text("Zm9v"), "foo");
  EXPECT_EQ(Text("Zm9vYmFy"), "foobar");
  EXPECT_EQ(DecodeBase64("//79"), (Bytes{0xFF, 0xFE, 0xFD}));
  EXPECT_THROW(DecodeBase64("Zm9v!"), EOleException);
  EXPECT_THROW(DecodeBase64("Z"), EOleException);
}

}  // namespace
}  // namespace host
