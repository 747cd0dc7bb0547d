#include "zstream/decompression_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>

#include "zstream/compression_stream.h"
#include "zstream/errors.h"
#include "zstream/testing/raised.h"
#include "zstream/testing/sample_data.h"
#include "zstream/testing/test_streams.h"
#include "zstream/testing/zlib_reference.h"

namespace snapkit {
namespace {

using host::TMemoryStream;
using testing::Bytes;
using testing::MessageOf;

constexpr std::int64_t kBlock = TCustomZStream::kBufferSize;

void Fill(host::TStream& s, const Bytes& b) {
  if (!b.empty()) s.WriteBuffer(b.data(), static_cast<std::int64_t>(b.size()));
}

// Reads until a short read, in pieces whose sizes cycle through Pieces.
Bytes ReadUneven(host::TStream& s, std::initializer_list<std::int32_t> Pieces) {
  Bytes out;
  for (auto it = Pieces.begin();; ++it) {
    if (it == Pieces.end()) it = Pieces.begin();
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(*it));
    const std::int32_t got = s.Read(out.data() + at, *it);
    out.resize(at + static_cast<std::size_t>(got));
    if (got < *it) return out;
  }
}

std::string ReadError(const Bytes& Compressed) {
  TMemoryStream src;
  Fill(src, Compressed);
  src.SetPosition(0);
  TZDecompressionStream z(src);
  return MessageOf<EZDecompressionError>([&] { ReadUneven(z, {70000}); });
}

TEST(DecompressionStream, ReadsZlibOutputOfEveryLevelInUnevenPieces) {
  const Bytes shot = testing::ScreenshotLike(3 << 20);
  const Bytes photo = testing::PhotoLike(1 << 20);
  const Bytes none, one{0x99};
  for (int level : {0, 1, Z_DEFAULT_COMPRESSION, 9}) {
    for (const Bytes* in : {&shot, &photo, &none, &one}) {
      SCOPED_TRACE(level);
      TMemoryStream src;
      Fill(src, testing::RefCompress(*in, level));
      src.SetPosition(0);
      TZDecompressionStream z(src);
      EXPECT_EQ(ReadUneven(z, {1, 13, 65536, 200001, 4095, 999999}), *in);
      EXPECT_EQ(z.Position(), static_cast<std::int64_t>(in->size()));
      char c;
      EXPECT_EQ(z.Read(&c, 1), 0) << "the end stays the end";
    }
  }
}

TEST(DecompressionStream, RoundTripsTheCompressionStreamThroughATrickle) {
  const Bytes in = testing::ScreenshotLike(2 << 20, 9);
  testing::TTrickleStream pipe(777);
  {
    TZCompressionStream z(pipe, zcFastest);
    Fill(z, in);
  }
  pipe.SetPosition(0);
  TZDecompressionStream z(pipe);
  Bytes out(in.size());
  z.ReadBuffer(out.data(), static_cast<std::int64_t>(out.size()));
  EXPECT_EQ(out, in);
}

TEST(DecompressionStream, StartsAtTheSourcePositionAndIgnoresTrailingBytes) {
  const Bytes in = testing::PhotoLike(100000);
  TMemoryStream src;
  src.WriteBuffer("HEAD", 4);
  Fill(src, testing::RefCompress(in, 6));
  src.WriteBuffer("TRAILER", 7);
  src.SetPosition(4);
  TZDecompressionStream z(src);
  EXPECT_EQ(ReadUneven(z, {30000}), in);
}

TEST(DecompressionStream, ReadsAheadOneBufferAndKeepsItsPlaceAcrossCallerMoves) {
  const Bytes in = testing::RandomBytes(3 * kBlock);
  const Bytes packed = testing::RefCompress(in, 6);
  TMemoryStream src;
  Fill(src, packed);
  src.SetPosition(0);
  std::vector<std::int64_t> seen;
  auto z = std::make_unique<TZDecompressionStream>(src);
  z->OnStreamProgress = [&](TCustomZStream& Sender) {
    EXPECT_EQ(&Sender, z.get());
    seen.push_back(src.Position());
  };
  Bytes out(in.size());
  z->ReadBuffer(out.data(), 10);
  EXPECT_EQ(src.Position(), kBlock);
  src.SetPosition(5);  // the caller uses the source in between
  z->ReadBuffer(out.data() + 10, static_cast<std::int64_t>(in.size()) - 10);
  EXPECT_EQ(out, in);
  const auto total = static_cast<std::int64_t>(packed.size());
  EXPECT_EQ(seen, (std::vector<std::int64_t>{kBlock, 2 * kBlock, 3 * kBlock, total}));
}

TEST(DecompressionStream, SeekRulesAfterOneHundredBytes) {
  const Bytes in = testing::ScreenshotLike(50000);
  TMemoryStream src;
  Fill(src, testing::RefCompress(in, 6));
  src.SetPosition(0);
  TZDecompressionStream z(src);
  std::uint8_t buf[100];
  z.ReadBuffer(buf, 100);
  const auto invalid = [&](std::int64_t offset, host::TSeekOrigin origin) {
    return MessageOf<EZDecompressionError>([&] { z.Seek(offset, origin); });
  };
  EXPECT_EQ(invalid(100, host::soBeginning), "Invalid ZStream operation!");
  EXPECT_EQ(invalid(99, host::soBeginning), "Invalid ZStream operation!");
  EXPECT_EQ(invalid(-1, host::soCurrent), "Invalid ZStream operation!");
  EXPECT_EQ(invalid(0, host::soEnd), "Invalid ZStream operation!");
  EXPECT_EQ(z.Seek(0, host::soCurrent), 100);

  EXPECT_EQ(z.Seek(150, host::soBeginning), 150);
  z.ReadBuffer(buf, 1);
  EXPECT_EQ(buf[0], in[150]);
  // Skips longer than the 4 KiB scratch area, with a remainder.
  EXPECT_EQ(z.Seek(3 * 4096 + 5, host::soCurrent), 151 + 3 * 4096 + 5);
  z.ReadBuffer(buf, 1);
  EXPECT_EQ(buf[0], in[151 + 3 * 4096 + 5]);

  EXPECT_EQ(z.Seek(0, host::soBeginning), 0);
  z.ReadBuffer(buf, 100);
  EXPECT_EQ(Bytes(buf, buf + 100), Bytes(in.begin(), in.begin() + 100));

  EXPECT_EQ(MessageOf<host::EReadError>([&] { z.Seek(60000, host::soBeginning); }),
            "Stream read error");
  EXPECT_THROW(z.Size(), EZDecompressionError);
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { z.Write(buf, 1); }),
            "Invalid ZStream operation!");
}

TEST(DecompressionStream, RewindGoesToTheStartOfTheSourceEvenAfterTheEnd) {
  const Bytes in = testing::PhotoLike(20000);
  TMemoryStream src;
  Fill(src, testing::RefCompress(in, 1));
  // Created at the end, as a chunk reader that has just filled its stream.
  TZDecompressionStream z(src);
  z.SetPosition(0);
  EXPECT_EQ(ReadUneven(z, {5000}), in);
  z.SetPosition(0);
  EXPECT_EQ(ReadUneven(z, {7}), in);
}

TEST(DecompressionStream, CorruptAndDictionaryStreamsRaise) {
  const Bytes in = testing::ScreenshotLike(300000);
  const Bytes good = testing::RefCompress(in, 6);
  Bytes header = good;
  header[1] ^= 0xFF;
  EXPECT_EQ(ReadError(header), "data error");
  Bytes body = good;
  for (std::size_t i = 20; i < body.size(); i += 131) body[i] ^= 0x3C;
  EXPECT_EQ(ReadError(body), "data error");
  Bytes checksum = good;
  checksum[checksum.size() - 2] ^= 1;
  EXPECT_EQ(ReadError(checksum), "data error");
  EXPECT_EQ(ReadError(testing::RefCompressWithDictionary(in, "abc")), "need dictionary");
}

// A source that runs dry is not an error: Read hands over what zlib could
// make of the bytes there were, and State() tells that from a clean end.
TEST(DecompressionStream, ASourceThatRunsDryEndsReadingWithoutAnError) {
  const Bytes in = testing::PhotoLike(300000);
  const Bytes good = testing::RefCompress(in, 6);
  struct TCase {
    std::size_t Keep;
    TZDecompressState State;
  };
  for (TCase c : {TCase{0, zsSourceDry}, TCase{1, zsSourceDry}, TCase{good.size() / 3, zsSourceDry},
                  TCase{good.size() - 4, zsSourceDry}, TCase{good.size() - 1, zsSourceDry},
                  TCase{good.size(), zsStreamEnd}}) {
    SCOPED_TRACE(c.Keep);
    const Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(c.Keep));
    testing::TTrickleStream src(1000);
    Fill(src, cut);
    src.SetPosition(0);
    TZDecompressionStream z(src);
    EXPECT_EQ(z.State(), zsReading);
    EXPECT_EQ(ReadUneven(z, {4097, 70000}), testing::RefInflatePrefix(cut, in.size()));
    EXPECT_EQ(z.State(), c.State);
    char one;
    EXPECT_EQ(z.Read(&one, 1), 0) << "nothing more after the end";
    EXPECT_EQ(z.State(), c.State);
  }
}

TEST(DecompressionStream, ASourceThatGrowsAfterRunningDryIsReadOnToTheEnd) {
  const Bytes in = testing::ScreenshotLike(200000);
  const Bytes good = testing::RefCompress(in, 6);
  const std::size_t half = good.size() / 2;
  TMemoryStream src;
  Fill(src, Bytes(good.begin(), good.begin() + std::ptrdiff_t(half)));
  src.SetPosition(0);
  TZDecompressionStream z(src);
  Bytes out = ReadUneven(z, {5000});
  EXPECT_EQ(z.State(), zsSourceDry);
  EXPECT_LT(out.size(), in.size());
  src.SetPosition(src.Size());
  Fill(src, Bytes(good.begin() + std::ptrdiff_t(half), good.end()));
  const Bytes rest = ReadUneven(z, {5000});
  out.insert(out.end(), rest.begin(), rest.end());
  EXPECT_EQ(out, in);
  EXPECT_EQ(z.State(), zsStreamEnd);
}

TEST(DecompressionStream, ErrorsRepeatAndRewindRecovers) {
  const Bytes in = testing::PhotoLike(10000);
  Bytes bad = testing::RefCompress(in, 6);
  bad[0] = 0x00;
  TMemoryStream src;
  Fill(src, bad);
  src.SetPosition(0);
  TZDecompressionStream z(src);
  std::uint8_t buf[16];
  EXPECT_THROW(z.Read(buf, 16), EZDecompressionError);
  EXPECT_THROW(z.Read(buf, 16), EZDecompressionError);
  // Mend the source and start again.
  src.SetPosition(0);
  src.WriteBuffer("\x78", 1);
  EXPECT_EQ(z.Seek(0, host::soBeginning), 0);
  EXPECT_EQ(ReadUneven(z, {999}), in);
}

}  // namespace
}  // namespace snapkit
