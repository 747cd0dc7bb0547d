#pragma once
// A small reader for the pictures the browser sends: 8-bit RGB or RGBA PNG,
// not interlaced. The host does not depend on the package's PNG codec.

#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct TRgbImage {
  int Width = 0;
  int Height = 0;
  int Bpp = 3;  // 3 for red, green, blue; 4 with alpha after them
  // Row y starts at Row(y); rows are kept where they were decoded, so there
  // are gaps between them.
  const std::uint8_t* Row(int Y) const { return Data.data() + std::size_t(Y) * Stride + 1; }
  std::size_t Stride = 0;
  std::vector<std::uint8_t> Data;
};

// Raises EOleException for anything it cannot read (other formats included).
TRgbImage ReadBrowserPng(const std::uint8_t* Data, std::size_t Size);

// Decodes base64 text, as the browser sends binary data; raises
// EOleException for characters outside the alphabet.
std::vector<std::uint8_t> DecodeBase64(const std::string& Text);

}  // namespace host
