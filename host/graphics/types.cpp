#include "host/graphics/types.h"

#include <algorithm>
#include <cstring>

namespace host {

HPALETTE CreatePalette(const LOGPALETTE& Palette) {
  if (Palette.palPalEntry.empty() || Palette.palPalEntry.size() > 65535) return nullptr;
  auto p = std::make_shared<TPaletteObject>();
  p->Entries = Palette.palPalEntry;
  return p;
}

unsigned GetPaletteEntries(const HPALETTE& Palette, unsigned Start, unsigned Count,
                           PALETTEENTRY* Entries) {
  if (!Palette) return 0;
  std::size_t size = Palette->Entries.size();
  if (Start >= size) return 0;
  unsigned n = static_cast<unsigned>(std::min<std::size_t>(Count, size - Start));
  // The platform call with no buffer tells how many entries there are.
  if (!Entries) return static_cast<unsigned>(size);
  std::copy_n(Palette->Entries.begin() + Start, n, Entries);
  return n;
}

int GetObject(const HPALETTE& Palette, int BufferSize, void* Buffer) {
  if (!Palette || !Buffer || BufferSize < 2) return 0;
  std::uint16_t count = static_cast<std::uint16_t>(Palette->Entries.size());
  std::memcpy(Buffer, &count, sizeof count);
  return 2;
}

bool DeleteObject(HPALETTE& Palette) {
  if (!Palette) return false;
  Palette.reset();
  return true;
}

}  // namespace host
