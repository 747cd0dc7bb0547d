#pragma once
// Colours, rectangles and palette objects.

#include <cstdint>
#include <memory>
#include <vector>

namespace host {

// 0x00BBGGRR, as the framework stores colours.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clBtnFace = static_cast<TColor>(0xF0F0F0);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor RGB(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  return static_cast<TColor>(R | (G << 8) | (B << 16));
}
constexpr std::uint8_t GetRValue(TColor C) { return static_cast<std::uint8_t>(C); }
constexpr std::uint8_t GetGValue(TColor C) { return static_cast<std::uint8_t>(C >> 8); }
constexpr std::uint8_t GetBValue(TColor C) { return static_cast<std::uint8_t>(C >> 16); }

struct TPoint {
  int X = 0, Y = 0;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};
constexpr TRect Rect(int Left, int Top, int Right, int Bottom) {
  return {Left, Top, Right, Bottom};
}

struct RGBTRIPLE {
  std::uint8_t rgbtBlue, rgbtGreen, rgbtRed;
};

struct PALETTEENTRY {
  std::uint8_t peRed, peGreen, peBlue, peFlags;
};

struct LOGPALETTE {
  std::uint16_t palVersion = 0x300;
  std::vector<PALETTEENTRY> palPalEntry;  // palNumEntries is its size
};

// A palette handle: a shared, immutable palette object. Null is "no palette".
struct TPaletteObject {
  std::vector<PALETTEENTRY> Entries;
};
using HPALETTE = std::shared_ptr<const TPaletteObject>;

// Raises EOutOfMemory... never; returns null for an empty or over-long
// (more than 65535 entries) palette, as the platform call fails.
HPALETTE CreatePalette(const LOGPALETTE& Palette);
// Copies up to Count entries from Start; returns how many were copied.
unsigned GetPaletteEntries(const HPALETTE& Palette, unsigned Start, unsigned Count,
                           PALETTEENTRY* Entries);
// For a palette, GetObject writes the entry count as a 16-bit value; returns
// the bytes written (2) or 0 for a null handle or a buffer under 2 bytes.
int GetObject(const HPALETTE& Palette, int BufferSize, void* Buffer);
// Releases this handle's reference; true when there was one.
bool DeleteObject(HPALETTE& Palette);

}  // namespace host
