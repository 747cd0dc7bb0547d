#pragma once
// Small pictures for the imaging tests: plain packed BGR pixels, and their
// round trip through host bitmaps.

#include <cstdint>
#include <random>
#include <vector>

#include "host/graphics/bitmap.h"

namespace snapkit::testing {

// Rows of Width pixels, three bytes each (blue, green, red), no padding.
struct TPlainImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;

  std::uint8_t* Pixel(int X, int Y) { return Pixels.data() + 3 * (std::size_t(Y) * Width + X); }
  const std::uint8_t* Pixel(int X, int Y) const {
    return Pixels.data() + 3 * (std::size_t(Y) * Width + X);
  }
  bool operator==(const TPlainImage& O) const {
    return Width == O.Width && Height == O.Height && Pixels == O.Pixels;
  }
};

TPlainImage MakeImage(int Width, int Height, std::uint8_t Fill = 0);
// Noise mixed with flat patches and hard edges, so that sums reach both
// clamps and every rounding regime.
TPlainImage RandomImage(int Width, int Height, std::mt19937& Rng);
// Every byte is Grey.
TPlainImage GreyImage(int Width, int Height, const std::vector<std::uint8_t>& Grey);

void ToBitmap(const TPlainImage& Image, host::TBitmap& Bitmap);
// Any pixel format, read as 24 bits per pixel.
TPlainImage FromBitmap(const host::TBitmap& Bitmap);

}  // namespace snapkit::testing
