#include "zstream/one_shot.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "zstream/errors.h"
#include "zstream/testing/raised.h"
#include "zstream/testing/sample_data.h"
#include "zstream/testing/zlib_reference.h"

namespace snapkit {
namespace {

using testing::Bytes;
using testing::MessageOf;

struct Freed {
  void operator()(void* p) const { std::free(p); }
};

Bytes Compress(const Bytes& in, TZCompressionLevel level) {
  void* buf = nullptr;
  std::int32_t n = -1;
  ZCompress(in.data(), static_cast<std::int32_t>(in.size()), buf, n, level);
  std::unique_ptr<void, Freed> owned(buf);
  auto* p = static_cast<const std::uint8_t*>(buf);
  return Bytes(p, p + n);
}

Bytes Decompress(const Bytes& in, std::int32_t estimate = 0, std::int32_t limit = 0) {
  void* buf = nullptr;
  std::int32_t n = -1;
  ZDecompress(in.data(), static_cast<std::int32_t>(in.size()), buf, n, estimate, limit);
  std::unique_ptr<void, Freed> owned(buf);
  auto* p = static_cast<const std::uint8_t*>(buf);
  return Bytes(p, p + n);
}

std::string DecompressError(const Bytes& in, std::int32_t limit = 0) {
  return MessageOf<EZDecompressionError>([&] { Decompress(in, 0, limit); });
}

struct Case {
  TZCompressionLevel level;
  int zlevel;
};

class OneShotAtLevel : public ::testing::TestWithParam<Case> {};

TEST_P(OneShotAtLevel, InteroperatesWithZlibBothWays) {
  const Bytes inputs[] = {Bytes{}, Bytes{0x5A}, testing::ScreenshotLike(3 << 20),
                          testing::PhotoLike(1 << 20), testing::RandomBytes(300000)};
  for (const Bytes& in : inputs) {
    SCOPED_TRACE(in.size());
    const Bytes ours = Compress(in, GetParam().level);
    // Same zlib, same parameters, whole input at once: the same bytes.
    EXPECT_EQ(ours, testing::RefCompress(in, GetParam().zlevel));
    EXPECT_EQ(testing::RefUncompress(ours, in.size()), in);
    EXPECT_EQ(Decompress(testing::RefCompress(in, GetParam().zlevel)), in);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, OneShotAtLevel,
                         ::testing::Values(Case{zcNone, 0}, Case{zcFastest, 1},
                                           Case{zcDefault, Z_DEFAULT_COMPRESSION}, Case{zcMax, 9}));

TEST(ZCompress, LevelReachesZlibAsItsHeaderShows) {
  const Bytes in = testing::PhotoLike(4000);
  // FLEVEL in the second header byte: 0 fastest/stored, 2 default, 3 maximum.
  EXPECT_EQ(Compress(in, zcNone)[1] >> 6, 0);
  EXPECT_EQ(Compress(in, zcFastest)[1] >> 6, 0);
  EXPECT_EQ(Compress(in, zcDefault)[1] >> 6, 2);
  EXPECT_EQ(Compress(in, zcMax)[1] >> 6, 3);
  // Stored: a final stored block header follows the zlib header, then the bytes.
  const Bytes stored = Compress(in, zcNone);
  EXPECT_EQ(stored[2] & 7, 1);
  EXPECT_EQ(stored.size(), in.size() + 2 + 5 + 4);
  EXPECT_TRUE(std::equal(in.begin(), in.end(), stored.begin() + 7));
}

TEST(ZCompress, EmptyInputGivesACompleteStreamThatInflatesToNothing) {
  const Bytes empty = Compress({}, zcDefault);
  EXPECT_EQ(empty, (Bytes{0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_TRUE(Decompress(empty).empty());
  EXPECT_EQ(ZDecompressStr(ZCompressStr("")), "");
}

TEST(ZCompress, OutgrowsItsEstimateOnIncompressibleData) {
  // Stored blocks cost 5 bytes per 64 KiB; tiny inputs exceed 10 % + 12.
  for (std::size_t n : {1u, 20u, 300u, 70000u}) {
    const Bytes in = testing::RandomBytes(n, static_cast<std::uint32_t>(n));
    EXPECT_EQ(testing::RefUncompress(Compress(in, zcNone), n), in);
    EXPECT_EQ(testing::RefUncompress(Compress(in, zcMax), n), in);
  }
}

TEST(OneShot, RejectsBadArgumentsWithoutTouchingTheOutputs) {
  void* buf = reinterpret_cast<void*>(0x1);
  std::int32_t n = 77;
  EXPECT_EQ(MessageOf<EZCompressionError>([&] { ZCompress("x", -1, buf, n); }), "stream error");
  EXPECT_EQ(MessageOf<EZCompressionError>(
                [&] { ZCompress("x", 1, buf, n, static_cast<TZCompressionLevel>(9)); }),
            "stream error");
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { ZDecompress("x", -1, buf, n); }), "stream error");
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { ZDecompress("x", 1, buf, n, -5); }),
            "stream error");
  EXPECT_EQ(buf, reinterpret_cast<void*>(0x1));
  EXPECT_EQ(n, 77);
}

TEST(ZDecompress, ExactSizeWhateverTheEstimate) {
  // 2 MiB of zeros deflate to about 2 KiB: many growth steps without estimate.
  const Bytes zeros(2 << 20, 0);
  const Bytes packed = testing::RefCompress(zeros, 6);
  for (std::int32_t estimate : {0, 1, 1000, 2 << 20, (2 << 20) + 1, 64 << 20}) {
    SCOPED_TRACE(estimate);
    EXPECT_EQ(Decompress(packed, estimate), zeros);
  }
}

TEST(ZDecompress, CorruptAndTruncatedInputRaiseZlibTexts) {
  const Bytes in = testing::ScreenshotLike(200000);
  const Bytes good = testing::RefCompress(in, 6);

  Bytes header = good;
  header[0] = 0x77;
  EXPECT_EQ(DecompressError(header), "data error");

  Bytes checksum = good;
  checksum.back() ^= 1;
  EXPECT_EQ(DecompressError(checksum), "data error");

  Bytes body = good;
  for (std::size_t i = 10; i < body.size(); i += 97) body[i] ^= 0xA5;
  EXPECT_EQ(DecompressError(body), "data error");

  for (std::size_t keep : {std::size_t{0}, std::size_t{1}, std::size_t{2}, good.size() / 2,
                           good.size() - 4, good.size() - 1}) {
    SCOPED_TRACE(keep);
    EXPECT_EQ(DecompressError(Bytes(good.begin(), good.begin() + keep)), "buffer error");
  }
}

TEST(ZDecompress, PresetDictionaryIsReportedNotLoopedOn) {
  const Bytes in = testing::PhotoLike(5000);
  EXPECT_EQ(DecompressError(testing::RefCompressWithDictionary(in, "dictionary")),
            "need dictionary");
}

TEST(ZDecompress, OutputLimitBoundsInflation) {
  const Bytes zeros(8 << 20, 0);
  const Bytes bomb = testing::RefCompress(zeros, 9);
  ASSERT_LT(bomb.size(), 10000u);
  EXPECT_EQ(DecompressError(bomb, 1 << 20), "buffer error");
  EXPECT_EQ(DecompressError(bomb, (8 << 20) - 1), "buffer error");
  EXPECT_EQ(Decompress(bomb, 0, 8 << 20), zeros);
  // An estimate above the limit is cut down to it, not allocated.
  EXPECT_EQ(Decompress(bomb, 1 << 30, 8 << 20), zeros);
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { ZDecompressStr(ZCompressStr("abc"), 2); }),
            "buffer error");
  EXPECT_EQ(ZDecompressStr(ZCompressStr("abc"), 3), "abc");
}

TEST(ZStrings, RoundTripBinaryBytesAndMatchZlib) {
  std::string text("zero\0bytes\xff inside", 18);
  for (int i = 0; i < 12; ++i) text += text;
  for (TZCompressionLevel level : {zcNone, zcFastest, zcDefault, zcMax}) {
    const std::string packed = ZCompressStr(text, level);
    EXPECT_LT(packed.size(), level == zcNone ? text.size() + 100 : text.size() / 20);
    EXPECT_EQ(ZDecompressStr(packed), text);
    const Bytes ref = testing::RefUncompress(reinterpret_cast<const std::uint8_t*>(packed.data()),
                                             packed.size(), text.size());
    EXPECT_EQ(std::string(ref.begin(), ref.end()), text);
  }
  EXPECT_EQ(MessageOf<EZDecompressionError>([] { ZDecompressStr("not zlib data"); }), "data error");
}

}  // namespace
}  // namespace snapkit
