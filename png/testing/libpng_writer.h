#pragma once
// PNG files of any colour type, bit depth, interlacing and filter, written and
// read by libpng, so that the decoder is checked against files it did not
// make and against a decoder that is not ours.

#include <array>
#include <cstdint>
#include <vector>

namespace snapkit::testing {

struct TLibpngImage {
  std::uint32_t Width = 0, Height = 0;
  int ColorType = 0, BitDepth = 8;
  bool Interlaced = false;
  // One of 0..4 forces that filter on every row; -1 lets libpng choose per row.
  int Filter = -1;
  // Written as a gAMA chunk when not 0.
  std::uint32_t Gamma = 0;
  std::vector<std::array<std::uint8_t, 3>> Palette;  // red, green, blue
  // Rows in PNG layout: packed samples, 16-bit ones big-endian.
  std::vector<std::vector<std::uint8_t>> Rows;
};

// Bytes of one row of Width pixels in PNG layout.
std::size_t PngRowBytes(std::uint32_t Width, int ColorType, int BitDepth);

// Random samples (palette indexes below the palette size) and, for colour
// type 3, a random palette of 2^depth entries (at most 200).
TLibpngImage RandomImage(std::uint32_t Width, std::uint32_t Height, int ColorType, int BitDepth,
                         unsigned Seed);

std::vector<std::uint8_t> WriteWithLibpng(const TLibpngImage& Image);

// libpng's reading of a file, without transformations but with interlaced
// images put together (Filter, and Gamma unless the file has a gAMA chunk,
// stay unset). Throws std::runtime_error when libpng refuses the file.
TLibpngImage ReadWithLibpng(const std::vector<std::uint8_t>& File);

}  // namespace snapkit::testing
