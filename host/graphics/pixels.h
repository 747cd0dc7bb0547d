#pragma once
// Reading and writing single pixels of any stored format; shared by the
// bitmap, its canvas and the file codecs. Not part of the public API.

#include <array>
#include <cstdint>
#include <vector>

#include "host/graphics/bitmap.h"
#include "host/graphics/types.h"

namespace host::pixels {

inline bool IsPaletteFormat(TPixelFormat F) { return F == pf1bit || F == pf4bit || F == pf8bit; }
inline bool IsDirect32(TPixelFormat F) { return F == pf32bit || F == pfDevice; }

// Nearest palette entry by squared RGB distance (lowest index on ties).
// The colour cube is cut into 8x8x8 cells; each cell keeps, once it is
// first needed, the few entries that can be nearest to any colour in it, so
// a search looks at those only. A small direct-mapped cache helps pictures
// with few colours.
class TNearestColor {
 public:
  explicit TNearestColor(const HPALETTE& Palette);
  std::uint8_t Index(TColor Color);

 private:
  struct TEntry {
    int R, G, B;
  };
  const std::vector<std::uint8_t>& Candidates(int Cell);

  std::vector<TEntry> FEntries;
  std::vector<std::vector<std::uint8_t>> FCells;  // 512, filled lazily
  std::vector<bool> FCellReady;
  std::array<std::uint32_t, 4096> FKeys{};
  std::array<std::uint8_t, 4096> FValues{};
};

// Colour of pixel X of a stored row; palette indices beyond the palette
// read as black.
TColor ReadPixel(const std::uint8_t* Row, int X, TPixelFormat Format,
                 const std::vector<PALETTEENTRY>* Palette);
// Stores Color at pixel X; palette formats need Nearest.
void WritePixel(std::uint8_t* Row, int X, TPixelFormat Format, TColor Color,
                TNearestColor* Nearest);
// Stores a palette index at pixel X of a palette-format row.
void WriteIndex(std::uint8_t* Row, int X, TPixelFormat Format, unsigned Index);

// The palette a palette format gets when converted to without one.
HPALETTE DefaultPalette(TPixelFormat Format);

}  // namespace host::pixels
