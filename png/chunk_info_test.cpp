#include "png/chunk_info.h"

#include <gtest/gtest.h>

#include "png/png_image.h"
#include "png/testing/png_testing.h"

namespace snapkit {
namespace {

using testing::TBytes;

TPNGFileInfo InfoOf(const TBytes& File) {
  host::TMemoryStream stream;
  stream.WriteBuffer(File.data(), std::int64_t(File.size()));
  stream.SetPosition(0);
  return ReadPNGInfo(stream);
}

TBytes SavedFile() {
  TPNGImage image;
  image.Assign(*testing::MakeIndexedBitmap(host::pf4bit, 33, 7, 1));
  return testing::SaveToBytes(image);
}

TEST(ChunkInfo, ListsHeaderAndChunks) {
  const TBytes file = SavedFile();
  const TPNGFileInfo info = InfoOf(file);
  ASSERT_TRUE(info.SignatureValid);
  ASSERT_TRUE(info.HasHeader);
  EXPECT_EQ(info.Header.Width, 33u);
  EXPECT_EQ(info.Header.Height, 7u);
  EXPECT_EQ(info.Header.BitDepth, 4);
  EXPECT_EQ(info.Header.ColorType, 3);
  ASSERT_EQ(info.Chunks.size(), 4u);
  const std::vector<testing::TRawChunk> raw = testing::SplitChunks(file);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(info.Chunks[i].Type, raw[i].Type);
    EXPECT_EQ(info.Chunks[i].Length, raw[i].Data.size());
    EXPECT_EQ(info.Chunks[i].StoredCRC, raw[i].CRC);
    EXPECT_TRUE(info.Chunks[i].CRCValid());
  }
  EXPECT_TRUE(info.Problem.empty());
  const std::string text = FormatPNGInfo(info);
  EXPECT_NE(text.find("size 33x7, bit depth 4, colour type 3 (palette)"), std::string::npos)
      << text;
  EXPECT_NE(text.find("PLTE           48  crc "), std::string::npos) << text;
  EXPECT_EQ(text.find("MISMATCH"), std::string::npos);
}

TEST(ChunkInfo, ReportsDamage) {
  TBytes file = SavedFile();
  file[file.size() - 20] ^= 0x40;  // inside the image data
  TPNGFileInfo info = InfoOf(file);
  ASSERT_EQ(info.Chunks.size(), 4u);
  EXPECT_FALSE(info.Chunks[2].CRCValid());
  EXPECT_NE(FormatPNGInfo(info).find("IDAT"), std::string::npos);
  EXPECT_NE(FormatPNGInfo(info).find("MISMATCH"), std::string::npos);

  info = InfoOf(TBytes(file.begin(), file.end() - 30));
  EXPECT_TRUE(info.Chunks.back().Truncated);
  EXPECT_NE(FormatPNGInfo(info).find("error: chunk IDAT is truncated"), std::string::npos);

  info = InfoOf(TBytes(file.begin(), file.end() - 12));
  EXPECT_EQ(info.Problem, "the file ends without an IEND chunk");

  info = InfoOf(TBytes{'G', 'I', 'F', '8', '9', 'a', 0, 0});
  EXPECT_FALSE(info.SignatureValid);
  EXPECT_TRUE(info.Chunks.empty());
  EXPECT_EQ(FormatPNGInfo(info), "error: not a PNG file (bad signature)\n");
}

}  // namespace
}  // namespace snapkit
