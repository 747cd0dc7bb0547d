#include "png/decode_filter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace snapkit {
namespace {

using TBytes = std::vector<std::uint8_t>;

// The predictor as the PNG standard writes it, kept apart from the codec's.
int Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Filters Row (raw bytes) against Prior the way an encoder does.
TBytes Filter(int Type, const TBytes& Row, const TBytes& Prior, int Offset) {
  TBytes out(Row.size());
  for (std::size_t i = 0; i < Row.size(); ++i) {
    const int a = i >= std::size_t(Offset) ? Row[i - Offset] : 0;
    const int b = Prior[i];
    const int c = i >= std::size_t(Offset) ? Prior[i - Offset] : 0;
    const int pred[5] = {0, a, b, (a + b) / 2, Paeth(a, b, c)};
    out[i] = std::uint8_t(Row[i] - pred[Type]);
  }
  return out;
}

TBytes Random(std::size_t Count, std::mt19937& Rng) {
  TBytes v(Count);
  // Plenty of equal neighbours: that is where the Paeth ties are.
  for (auto& b : v) b = Rng() % 3 == 0 ? std::uint8_t(Rng() % 4) : std::uint8_t(Rng());
  return v;
}

TEST(UnfilterRow, RecoversRowsOfEveryFilterPixelSizeAndLength) {
  std::mt19937 rng(7);
  for (int offset : {1, 2, 3, 4, 6, 8})
    for (int type = 0; type <= 4; ++type)
      for (int length : {0, 1, 2, 3, 5, 7, 8, 9, 12, 15, 16, 17, 24, 33, 47, 64, 100, 301}) {
        SCOPED_TRACE(testing::Message()
                     << "offset " << offset << " filter " << type << " length " << length);
        const TBytes prior = Random(length, rng), raw = Random(length, rng);
        TBytes row = Filter(type, raw, prior, offset);
        TBytes scalar = row;
        ASSERT_TRUE(UnfilterRow(std::uint8_t(type), row.data(), prior.data(), offset, length));
        ASSERT_TRUE(
            UnfilterRowScalar(std::uint8_t(type), scalar.data(), prior.data(), offset, length));
        EXPECT_EQ(row, raw);
        EXPECT_EQ(scalar, raw);
      }
}

// Every (left, above, upper-left) triple through the vector Paeth and
// Average code: pixel 2k sets upper-left and left, pixel 2k + 1 the above;
// each of the four channels carries a different triple.
TEST(UnfilterRow, PaethAndAverageAgreeWithTheStandardForEveryByteTriple) {
  const std::size_t pixels = 1 << 16;
  TBytes raw(pixels * 4), prior(pixels * 4);
  for (int type : {3, 4}) {
    std::size_t mismatches = 0;
    for (std::uint32_t first = 0; first < (1u << 24); first += pixels * 2) {
      for (std::size_t px = 0; px < pixels; px += 2)
        for (int ch = 0; ch < 4; ++ch) {
          const std::uint32_t t = (first + std::uint32_t(px / 2) * 4 + ch) & 0xFFFFFF;
          prior[px * 4 + ch] = std::uint8_t(t >> 16);       // upper-left of the next
          raw[px * 4 + ch] = std::uint8_t(t);               // left of the next
          prior[(px + 1) * 4 + ch] = std::uint8_t(t >> 8);  // above
          raw[(px + 1) * 4 + ch] = std::uint8_t(t * 2654435761u >> 24);
        }
      TBytes row = Filter(type, raw, prior, 4);
      UnfilterRow(std::uint8_t(type), row.data(), prior.data(), 4, int(row.size()));
      mismatches += row != raw;
    }
    EXPECT_EQ(mismatches, 0u) << "filter " << type;
  }
}

TEST(UnfilterRowPair, TwoRowsAtOnceGiveWhatTheyGiveOneByOne) {
  std::mt19937 rng(11);
  for (int offset : {3, 4})
    for (int type : {3, 4})
      for (int pixels = 2; pixels <= 41; ++pixels) {
        SCOPED_TRACE(testing::Message()
                     << "offset " << offset << " filter " << type << ", " << pixels << " pixels");
        const int length = pixels * offset;
        const TBytes prior = Random(length, rng), first = Random(length, rng),
                     second = Random(length, rng);
        TBytes row = Filter(type, first, prior, offset), next = Filter(type, second, first, offset);
        ASSERT_TRUE(UnfilterRowPair(std::uint8_t(type), row.data(), next.data(), prior.data(),
                                    offset, length));
        EXPECT_EQ(row, first);
        EXPECT_EQ(next, second);
      }
  // Cases it leaves to the one-row code.
  TBytes a(12, 1), b(12, 2);
  const TBytes prior(12, 3);
  EXPECT_FALSE(UnfilterRowPair(1, a.data(), b.data(), prior.data(), 3, 12));
  EXPECT_FALSE(UnfilterRowPair(4, a.data(), b.data(), prior.data(), 2, 12));
  EXPECT_FALSE(UnfilterRowPair(4, a.data(), b.data(), prior.data(), 3, 11));
  EXPECT_FALSE(UnfilterRowPair(3, a.data(), b.data(), prior.data(), 4, 4));
  EXPECT_EQ(a, TBytes(12, 1));
  EXPECT_EQ(b, TBytes(12, 2));
}

TEST(UnfilterRow, FirstBytesSeeZeroOnTheLeft) {
  // Offset beyond the row: every byte is a first byte.
  TBytes row = {10, 20}, prior = {7, 9};
  ASSERT_TRUE(UnfilterRow(1, row.data(), prior.data(), 4, 2));
  EXPECT_EQ(row, (TBytes{10, 20}));
  ASSERT_TRUE(UnfilterRow(3, row.data(), prior.data(), 4, 2));
  EXPECT_EQ(row, (TBytes{13, 24}));
  ASSERT_TRUE(UnfilterRow(4, row.data(), prior.data(), 4, 2));
  EXPECT_EQ(row, (TBytes{20, 33}));
}

TEST(UnfilterRow, UnknownTypesAreRefusedAndLeaveTheRow) {
  for (int type : {5, 6, 127, 255}) {
    TBytes row = {1, 2, 3, 4, 5, 6}, prior = {9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(UnfilterRow(std::uint8_t(type), row.data(), prior.data(), 3, 6));
    EXPECT_FALSE(UnfilterRowScalar(std::uint8_t(type), row.data(), prior.data(), 3, 6));
    EXPECT_EQ(row, (TBytes{1, 2, 3, 4, 5, 6}));
  }
}

}  // namespace
}  // namespace snapkit
