#include "host/graphics/pixels.h"

#include <algorithm>
#include <cstdlib>

namespace host::pixels {

namespace {

constexpr std::uint8_t Expand5(unsigned V) {
  return static_cast<std::uint8_t>((V << 3) | (V >> 2));
}
constexpr std::uint8_t Expand6(unsigned V) {
  return static_cast<std::uint8_t>((V << 2) | (V >> 4));
}

HPALETTE MakePalette(std::vector<PALETTEENTRY> Entries) {
  LOGPALETTE lp;
  lp.palPalEntry = std::move(Entries);
  return CreatePalette(lp);
}

}  // namespace

TNearestColor::TNearestColor(const HPALETTE& Palette) : FCells(512), FCellReady(512, false) {
  if (Palette) {
    std::size_t n = std::min<std::size_t>(Palette->Entries.size(), 256);
    for (std::size_t i = 0; i < n; ++i) {
      const PALETTEENTRY& e = Palette->Entries[i];
      FEntries.push_back({e.peRed, e.peGreen, e.peBlue});
    }
  }
  // A key with bit 31 set never matches a colour, so the cache starts empty.
  FKeys.fill(0x80000000u);
}

const std::vector<std::uint8_t>& TNearestColor::Candidates(int Cell) {
  std::vector<std::uint8_t>& list = FCells[static_cast<std::size_t>(Cell)];
  if (FCellReady[static_cast<std::size_t>(Cell)]) return list;
  const int lo[3] = {(Cell >> 6) * 32, ((Cell >> 3) & 7) * 32, (Cell & 7) * 32};
  // Squared distance from an entry to the nearest and the farthest colour of the cell.
  auto span = [&](const TEntry& e, bool Far) {
    const int v[3] = {e.R, e.G, e.B};
    int d = 0;
    for (int k = 0; k < 3; ++k) {
      int a = lo[k], b = lo[k] + 31, t;
      if (Far)
        t = std::max(std::abs(v[k] - a), std::abs(v[k] - b));
      else
        t = v[k] < a ? a - v[k] : v[k] > b ? v[k] - b : 0;
      d += t * t;
    }
    return d;
  };
  int bound = 1 << 30;
  for (const TEntry& e : FEntries) bound = std::min(bound, span(e, true));
  // An entry whose nearest point is beyond some entry's farthest one never wins.
  for (std::size_t i = 0; i < FEntries.size(); ++i)
    if (span(FEntries[i], false) <= bound) list.push_back(static_cast<std::uint8_t>(i));
  FCellReady[static_cast<std::size_t>(Cell)] = true;
  return list;
}

std::uint8_t TNearestColor::Index(TColor Color) {
  std::uint32_t c = static_cast<std::uint32_t>(Color) & 0xFFFFFF;
  std::uint32_t slot = (c ^ (c >> 12)) & 0xFFF;
  if (FKeys[slot] == c) return FValues[slot];
  const int r = static_cast<int>(c & 0xFF), g = static_cast<int>((c >> 8) & 0xFF),
            b = static_cast<int>(c >> 16);
  int best = 1 << 30;
  std::uint8_t index = 0;
  // Candidates are in index order, so the first of equally near entries wins.
  for (std::uint8_t i : Candidates(((r >> 5) << 6) | ((g >> 5) << 3) | (b >> 5))) {
    const TEntry& e = FEntries[i];
    int dr = r - e.R, dg = g - e.G, db = b - e.B;
    int d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      index = i;
    }
  }
  FKeys[slot] = c;
  FValues[slot] = index;
  return index;
}

TColor ReadPixel(const std::uint8_t* Row, int X, TPixelFormat Format,
                 const std::vector<PALETTEENTRY>* Palette) {
  unsigned index;
  switch (Format) {
    case pf1bit:
      index = (Row[X >> 3] >> (7 - (X & 7))) & 1;
      break;
    case pf4bit:
      index = (X & 1) ? Row[X >> 1] & 0x0F : Row[X >> 1] >> 4;
      break;
    case pf8bit:
      index = Row[X];
      break;
    case pf15bit: {
      unsigned w = Row[2 * X] | (Row[2 * X + 1] << 8);
      return RGB(Expand5((w >> 10) & 31), Expand5((w >> 5) & 31), Expand5(w & 31));
    }
    case pf16bit: {
      unsigned w = Row[2 * X] | (Row[2 * X + 1] << 8);
      return RGB(Expand5((w >> 11) & 31), Expand6((w >> 5) & 63), Expand5(w & 31));
    }
    case pf24bit: {
      const std::uint8_t* p = Row + 3 * X;
      return RGB(p[2], p[1], p[0]);
    }
    case pf32bit:
    case pfDevice: {
      const std::uint8_t* p = Row + 4 * X;
      return RGB(p[2], p[1], p[0]);
    }
    default:
      return clBlack;
  }
  if (!Palette || index >= Palette->size()) return clBlack;
  const PALETTEENTRY& e = (*Palette)[index];
  return RGB(e.peRed, e.peGreen, e.peBlue);
}

void WriteIndex(std::uint8_t* Row, int X, TPixelFormat Format, unsigned Index) {
  switch (Format) {
    case pf1bit: {
      std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (X & 7));
      Row[X >> 3] = static_cast<std::uint8_t>((Index & 1) ? Row[X >> 3] | bit : Row[X >> 3] & ~bit);
      break;
    }
    case pf4bit: {
      std::uint8_t& b = Row[X >> 1];
      b = static_cast<std::uint8_t>((X & 1) ? (b & 0xF0) | (Index & 0x0F)
                                            : (b & 0x0F) | ((Index & 0x0F) << 4));
      break;
    }
    case pf8bit:
      Row[X] = static_cast<std::uint8_t>(Index);
      break;
    default:
      break;
  }
}

void WritePixel(std::uint8_t* Row, int X, TPixelFormat Format, TColor Color,
                TNearestColor* Nearest) {
  unsigned r = GetRValue(Color), g = GetGValue(Color), b = GetBValue(Color);
  switch (Format) {
    case pf1bit:
    case pf4bit:
    case pf8bit:
      WriteIndex(Row, X, Format, Nearest ? Nearest->Index(Color) : 0);
      break;
    case pf15bit: {
      unsigned w = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      Row[2 * X] = static_cast<std::uint8_t>(w);
      Row[2 * X + 1] = static_cast<std::uint8_t>(w >> 8);
      break;
    }
    case pf16bit: {
      unsigned w = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      Row[2 * X] = static_cast<std::uint8_t>(w);
      Row[2 * X + 1] = static_cast<std::uint8_t>(w >> 8);
      break;
    }
    case pf24bit: {
      std::uint8_t* p = Row + 3 * X;
      p[0] = static_cast<std::uint8_t>(b);
      p[1] = static_cast<std::uint8_t>(g);
      p[2] = static_cast<std::uint8_t>(r);
      break;
    }
    case pf32bit:
    case pfDevice: {
      std::uint8_t* p = Row + 4 * X;
      p[0] = static_cast<std::uint8_t>(b);
      p[1] = static_cast<std::uint8_t>(g);
      p[2] = static_cast<std::uint8_t>(r);
      p[3] = 0;
      break;
    }
    default:
      break;
  }
}

HPALETTE DefaultPalette(TPixelFormat Format) {
  std::vector<PALETTEENTRY> e;
  switch (Format) {
    case pf1bit:
      e = {{0, 0, 0, 0}, {255, 255, 255, 0}};
      break;
    case pf4bit:
      // The 16-colour system palette.
      e = {{0, 0, 0, 0},       {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
           {0, 0, 128, 0},     {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0},
           {128, 128, 128, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
           {0, 0, 255, 0},     {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0}};
      break;
    case pf8bit:
      // A 6x6x6 colour cube and 40 more greys, so colour pictures keep their
      // colours approximately.
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b)
            e.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                         static_cast<std::uint8_t>(b * 51), 0});
      for (int i = 0; i < 40; ++i) {
        std::uint8_t v = static_cast<std::uint8_t>(((i / 8) * 51) + 6 + (i % 8) * 5);
        e.push_back({v, v, v, 0});
      }
      break;
    default:
      return nullptr;
  }
  return MakePalette(std::move(e));
}

}  // namespace host::pixels
