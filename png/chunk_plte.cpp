#include "png/chunk_plte.h"

#include <algorithm>

#include "png/chunk_gama.h"
#include "png/chunk_ihdr.h"
#include "png/errors.h"
#include "png/png_image.h"

namespace snapkit {

SNAPKIT_CHUNK_CLASS(TChunkPLTE, TChunk);

namespace {
constexpr unsigned kMaxEntries = 256;
}

TChunkPLTE::~TChunkPLTE() {
  TPNGImage* image = GetBitmap();
  if (FPalette && image && image->Palette() == FPalette) image->SetPalette(nullptr);
  host::DeleteObject(FPalette);
}

host::HPALETTE TChunkPLTE::GetPalette() {
  const TChunkGAMA* gamma = GetGAMA();
  host::DeleteObject(FPalette);
  const std::uint32_t size = GetSize();
  if (size % 3 != 0) RaisePNGError(_PNG_ERROR_INVALID_PLTE);

  // A logical palette holds 256 entries; any beyond are ignored.
  unsigned count = std::min<unsigned>(size / 3, kMaxEntries);
  host::LOGPALETTE log;
  log.palVersion = 0x300;
  log.palPalEntry.assign(kMaxEntries, host::PALETTEENTRY{0, 0, 0, 0});
  const std::uint8_t* rgb = Data().Memory();
  for (unsigned i = 0; i < count; ++i) {
    std::uint8_t r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
    if (gamma) {
      r = gamma->GammaTable()[r];
      g = gamma->GammaTable()[g];
      b = gamma->GammaTable()[b];
    }
    log.palPalEntry[i] = host::PALETTEENTRY{r, g, b, 0};
  }
  // 2-bit images are shown through 4-bit bitmaps whose index 5v must land
  // on a copy of entry v.
  if (GetIHDR()->BitDepth() == 2 && count < 16) {
    count = 16;
    for (unsigned i = 4; i < 16; ++i) log.palPalEntry[i] = log.palPalEntry[i % 4];
  }
  log.palPalEntry.resize(count);
  FPalette = host::CreatePalette(log);
  return FPalette;
}

void TChunkPLTE::SaveToStream(host::TStream& Stream) {
  const TChunkGAMA* gamma = GetGAMA();
  Data().Clear();
  TPNGImage* image = GetBitmap();
  if (!image) return;

  std::uint16_t count = 0;
  host::PALETTEENTRY entries[kMaxEntries] = {};
  if (image->Palette()) {
    host::GetObject(image->Palette(), sizeof count, &count);
    // PNG allows no more than 256 entries.
    count = std::min<std::uint16_t>(count, kMaxEntries);
    count =
        static_cast<std::uint16_t>(host::GetPaletteEntries(image->Palette(), 0, count, entries));
  }
  // An indexed file must have a palette. A palette bitmap without one shows
  // its pixels black, so a black palette for every index keeps the picture.
  if (count == 0) {
    const int bits = host::BitsPerPixel(image->PixelFormat());
    if (bits < 1 || bits > 8) return;
    count = static_cast<std::uint16_t>(1u << bits);
  }
  std::uint8_t rgb[3 * kMaxEntries];
  for (unsigned i = 0; i < count; ++i) {
    std::uint8_t r = entries[i].peRed, g = entries[i].peGreen, b = entries[i].peBlue;
    if (gamma) {
      r = gamma->InverseTable()[r];
      g = gamma->InverseTable()[g];
      b = gamma->InverseTable()[b];
    }
    rgb[3 * i] = r;
    rgb[3 * i + 1] = g;
    rgb[3 * i + 2] = b;
  }
  SetData(rgb, 3u * count);
  TChunk::SaveToStream(Stream);
}

}  // namespace snapkit
