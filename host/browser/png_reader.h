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
  std::vector<std::uint8_t> Pixels;  // rows top down, 3 bytes red, green, blue
};

// Raises EOleException for anything it cannot read (other formats included).
TRgbImage ReadBrowserPng(const std::uint8_t* Data, std::size_t Size);

// Decodes base64 text, as the browser sends binary data; raises
// EOleException for characters outside the alphabet.
std::vector<std::uint8_t> DecodeBase64(const std::string& Text);

}  // namespace host
