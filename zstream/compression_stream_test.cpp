#include "zstream/compression_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>

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

// Writes Data in pieces whose sizes cycle through Pieces.
void WriteUneven(host::TStream& s, const Bytes& Data, std::initializer_list<std::int32_t> Pieces) {
  std::size_t at = 0;
  for (auto it = Pieces.begin(); at < Data.size(); ++it) {
    if (it == Pieces.end()) it = Pieces.begin();
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(*it, Data.size() - at));
    ASSERT_EQ(s.Write(Data.data() + at, n), n);
    at += static_cast<std::size_t>(n);
  }
}

Bytes Contents(TMemoryStream& m, std::int64_t from = 0) {
  return Bytes(m.Memory() + from, m.Memory() + m.Size());
}

TEST(CompressionStream, UnevenWritesInflateWithZlibAtEveryLevel) {
  const Bytes shot = testing::ScreenshotLike(3 << 20);
  const Bytes photo = testing::PhotoLike(1 << 20);
  for (TZCompressionLevel level : {zcNone, zcFastest, zcDefault, zcMax}) {
    for (const Bytes* in : {&shot, &photo}) {
      SCOPED_TRACE(testing::Bytes::size_type(level) * 10 + (in == &shot));
      TMemoryStream dest;
      {
        TZCompressionStream z(dest, level);
        WriteUneven(z, *in, {1, 7, 65536, 100003, 3, 4096, 300000});
        EXPECT_EQ(z.Position(), static_cast<std::int64_t>(in->size()));
      }
      EXPECT_EQ(testing::RefUncompress(Contents(dest), in->size()), *in);
    }
  }
}

TEST(CompressionStream, SmallAndEmptyInputsMakeCompleteStreams) {
  for (const Bytes& in : {Bytes{}, Bytes{0x42}, Bytes(1000, 7)}) {
    TMemoryStream dest;
    {
      TZCompressionStream z(dest, zcDefault);
      if (!in.empty()) z.WriteBuffer(in.data(), in.size());
    }
    EXPECT_EQ(testing::RefUncompress(Contents(dest), in.size()), in);
    // Whole input at once: what zlib's compress makes.
    EXPECT_EQ(Contents(dest), testing::RefCompress(in, Z_DEFAULT_COMPRESSION));
  }
}

TEST(CompressionStream, AppendsAtTheDestinationsPositionAndKeepsItAcrossCallerMoves) {
  const Bytes in = testing::RandomBytes(300000);
  TMemoryStream dest;
  dest.WriteBuffer("PREFIX", 6);
  {
    TZCompressionStream z(dest);
    z.WriteBuffer(in.data(), 100000);
    // The caller may move the destination while the stream is alive.
    dest.SetPosition(2);
    z.WriteBuffer(in.data() + 100000, 100000);
    dest.SetPosition(0);
    z.WriteBuffer(in.data() + 200000, 100000);
    dest.SetPosition(1);
  }
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dest.Memory()), 6), "PREFIX");
  EXPECT_EQ(testing::RefUncompress(Contents(dest, 6), in.size()), in);
}

TEST(CompressionStream, OutputReachesTheDestinationInWholeBlocksWithProgress) {
  const Bytes in = testing::RandomBytes(5 * kBlock / 2);
  TMemoryStream dest;
  std::vector<std::int64_t> seen;
  auto z = std::make_unique<TZCompressionStream>(dest, zcNone);
  z->OnStreamProgress = [&](TCustomZStream& Sender) {
    EXPECT_EQ(&Sender, z.get());
    seen.push_back(dest.Size());
  };
  EXPECT_EQ(z->Write(in.data(), 1000), 1000);
  EXPECT_EQ(dest.Size(), 0);
  z->WriteBuffer(in.data() + 1000, in.size() - 1000);
  // Incompressible: input plus overhead exceeds two blocks but not three.
  EXPECT_EQ(seen, (std::vector<std::int64_t>{kBlock, 2 * kBlock}));
  EXPECT_EQ(dest.Size(), 2 * kBlock);
  z.reset();
  EXPECT_EQ(seen.size(), 2u) << "finishing fires no progress";
  EXPECT_GT(dest.Size(), 2 * kBlock);
  EXPECT_EQ(testing::RefUncompress(Contents(dest), in.size()), in);
}

TEST(CompressionStream, OnlyThePositionQueryIsAllowed) {
  TMemoryStream dest;
  TZCompressionStream z(dest);
  EXPECT_EQ(z.Seek(0, host::soCurrent), 0);
  z.WriteBuffer("0123456789", 10);
  EXPECT_EQ(z.Seek(0, host::soCurrent), 10);
  EXPECT_EQ(z.Position(), 10);
  const auto invalid = [&](std::int64_t offset, host::TSeekOrigin origin) {
    return MessageOf<EZCompressionError>([&] { z.Seek(offset, origin); });
  };
  EXPECT_EQ(invalid(1, host::soCurrent), "Invalid ZStream operation!");
  EXPECT_EQ(invalid(0, host::soBeginning), "Invalid ZStream operation!");
  EXPECT_EQ(invalid(10, host::soBeginning), "Invalid ZStream operation!");
  EXPECT_EQ(invalid(0, host::soEnd), "Invalid ZStream operation!");
  char buf[4];
  EXPECT_EQ(MessageOf<EZCompressionError>([&] { z.Read(buf, 4); }), "Invalid ZStream operation!");
  EXPECT_THROW(z.Size(), EZCompressionError);
  EXPECT_THROW(z.SetSize(0), host::EStreamError);
}

TEST(CompressionStream, CompressionRateFollowsConsumedAndProducedBytes) {
  TMemoryStream dest;
  TZCompressionStream z(dest, zcDefault);
  EXPECT_EQ(z.GetCompressionRate(), 0.0f);
  const Bytes zeros(400000, 0);
  z.WriteBuffer(zeros.data(), zeros.size());
  z.Finish();
  const double produced = static_cast<double>(dest.Size());
  EXPECT_FLOAT_EQ(z.GetCompressionRate(), static_cast<float>(100.0 * (1.0 - produced / 400000)));
  EXPECT_GT(z.GetCompressionRate(), 99.0f);

  TMemoryStream dest2;
  TZCompressionStream noise(dest2, zcNone);
  const Bytes random = testing::RandomBytes(1000);
  noise.WriteBuffer(random.data(), random.size());
  noise.Finish();
  EXPECT_LT(noise.GetCompressionRate(), 0.0f) << "stored data grows";
}

TEST(CompressionStream, FinishReportsWhatTheDestructorCannot) {
  const Bytes in = testing::RandomBytes(200000);
  {
    testing::TCappedStream dest(100);
    TZCompressionStream z(dest);
    // Blocks are written whole, so the first full block already fails.
    EXPECT_EQ(MessageOf<host::EWriteError>([&] { z.WriteBuffer(in.data(), in.size()); }),
              "Stream write error");
  }
  {
    testing::TCappedStream dest(100);
    TZCompressionStream z(dest);
    z.WriteBuffer(in.data(), 1000);
    EXPECT_THROW(z.Finish(), host::EWriteError);
    z.Finish();  // once only: nothing is written twice
    EXPECT_EQ(MessageOf<EZCompressionError>([&] { z.Write("x", 1); }),
              "Invalid ZStream operation!");
  }
  {
    // Destroyed without Finish on a failing destination: no exception escapes.
    testing::TCappedStream dest(10);
    auto z = std::make_unique<TZCompressionStream>(dest);
    z->WriteBuffer(in.data(), 1000);
    EXPECT_NO_THROW(z.reset());
  }
}

TEST(CompressionStream, FinishAndDestructorWriteTheSameBytes) {
  const Bytes in = testing::PhotoLike(150000);
  TMemoryStream a, b;
  {
    TZCompressionStream z(a);
    z.WriteBuffer(in.data(), in.size());
    z.Finish();
    EXPECT_EQ(z.Position(), static_cast<std::int64_t>(in.size()));
  }
  {
    TZCompressionStream z(b);
    z.WriteBuffer(in.data(), in.size());
  }
  EXPECT_EQ(Contents(a), Contents(b));
}

}  // namespace
}  // namespace snapkit
