#include "png/decode_pixels.h"

#include <gtest/gtest.h>

#include <vector>

namespace snapkit {
namespace {

using TBytes = std::vector<std::uint8_t>;

TEST(CopyPackedSamples, TwoBitSamplesBecomeFourBitIndexesFiveTimesTheValue) {
  // Samples 0 1 2 3 3 2 1 0 1 (nine columns).
  const TBytes src = {0x1B, 0xE4, 0x40};
  for (std::uint8_t fill : {0x00, 0xFF}) {
    TBytes dest(5, fill);
    CopyPackedSamples(src.data(), dest.data(), 9, 0xFF, 2, 4);
    // Column 9 (low nibble of the last byte) is not ours and keeps its bits.
    EXPECT_EQ(dest, (TBytes{0x05, 0xAF, 0xFA, 0x50, std::uint8_t(0x50 | (fill & 0x0F))}));
  }
}

TEST(CopyPackedSamples, MaskedColumnsTakeTheNextSampleAndOthersStay) {
  // Mask 0x55 (columns 1, 3, 5, 7 of each eight): samples 0, 1, 0, 0, 1 go to
  // columns 1, 3, 5, 7 and 9.
  const TBytes src = {0b01001000};
  TBytes dest = {0b11101111, 0b10111111};
  CopyPackedSamples(src.data(), dest.data(), 10, 0x55, 1, 1);
  EXPECT_EQ(dest, (TBytes{0b10111010, 0b11111111}));

  // 4-bit samples at columns 2 and 6 (mask 0x22) of eight.
  const TBytes nibbles = {0x9C};
  TBytes row(4, 0x11);
  CopyPackedSamples(nibbles.data(), row.data(), 8, 0x22, 4, 4);
  EXPECT_EQ(row, (TBytes{0x11, 0x91, 0x11, 0xC1}));
}

TEST(PlaceRow, ColourRowsBecomeBlueGreenRedThroughTheGammaTable) {
  static std::uint8_t gamma[256];
  for (int i = 0; i < 256; ++i) gamma[i] = std::uint8_t(255 - i);
  // Widths around the four-pixel vector steps.
  for (int width = 1; width <= 19; ++width) {
    TBytes rgb(3 * width), rgba(4 * width), rgb16(6 * width);
    for (int i = 0; i < 3 * width; ++i) rgb[i] = std::uint8_t(7 * i + 1);
    for (int i = 0; i < 4 * width; ++i) rgba[i] = std::uint8_t(11 * i + 3);
    for (int i = 0; i < 6 * width; ++i) rgb16[i] = std::uint8_t(13 * i + 5);
    for (const std::uint8_t* g :
         {static_cast<const std::uint8_t*>(nullptr), static_cast<const std::uint8_t*>(gamma)}) {
      auto map = [&](std::uint8_t v) { return g ? g[v] : v; };
      TBytes want(3 * width), got(3 * width + 1, 0xEE);
      for (int x = 0; x < width; ++x)
        for (int k = 0; k < 3; ++k) want[3 * x + k] = map(rgb[3 * x + 2 - k]);
      PlaceRow({2, 8, g}, got.data(), rgb.data(), 3 * width, width);
      EXPECT_EQ(TBytes(got.begin(), got.end() - 1), want) << "RGB width " << width;
      EXPECT_EQ(got.back(), 0xEE) << "wrote past the row";

      for (int x = 0; x < width; ++x)
        for (int k = 0; k < 3; ++k) want[3 * x + k] = map(rgba[4 * x + 2 - k]);
      PlaceRow({6, 8, g}, got.data(), rgba.data(), 4 * width, width);
      EXPECT_EQ(TBytes(got.begin(), got.end() - 1), want) << "RGBA width " << width;

      for (int x = 0; x < width; ++x)
        for (int k = 0; k < 3; ++k) want[3 * x + k] = map(rgb16[6 * x + 4 - 2 * k]);
      PlaceRow({2, 16, g}, got.data(), rgb16.data(), 6 * width, width);
      EXPECT_EQ(TBytes(got.begin(), got.end() - 1), want) << "RGB16 width " << width;
    }
  }
}

TEST(PlaceRow, FormatsPngDoesNotAllowWriteNothing) {
  const TBytes src(64, 0xAB);
  for (auto [type, depth] : {std::pair{2, 4}, {0, 3}, {3, 16}, {4, 4}, {1, 8}, {0, 0}}) {
    TBytes dest(64, 0);
    PlaceRow({std::uint8_t(type), std::uint8_t(depth), nullptr}, dest.data(), src.data(), 16, 8);
    PlaceInterlacedRow({std::uint8_t(type), std::uint8_t(depth), nullptr}, dest.data(), src.data(),
                       0, 1, 16, 0xFF, 8);
    EXPECT_EQ(dest, TBytes(64, 0)) << "type " << type << " depth " << depth;
  }
}

}  // namespace
}  // namespace snapkit
