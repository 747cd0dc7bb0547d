#include "png/decode_pixels.h"

#include <cstring>

#include "host/system/numeric.h"

namespace snapkit {

namespace {

typedef std::uint8_t V16u8 __attribute__((vector_size(16)));

const std::uint8_t* IdentityTable() {
  static const auto table = [] {
    struct T {
      std::uint8_t v[256];
    } t;
    for (int i = 0; i < 256; ++i) t.v[i] = std::uint8_t(i);
    return t;
  }();
  return table.v;
}

// 24-bit blue, green, red from Stride-byte pixels whose red, green and blue
// samples start at 0, Step and 2 * Step (Step 2 for 16-bit samples, whose
// high byte comes first).
template <int Stride, int Step>
void ColourRow(std::uint8_t* Dest, const std::uint8_t* Src, std::int32_t Width,
               const std::uint8_t* G) {
  for (std::int32_t x = 0; x < Width; ++x, Src += Stride, Dest += 3) {
    Dest[0] = G[Src[2 * Step]];
    Dest[1] = G[Src[Step]];
    Dest[2] = G[Src[0]];
  }
}

// Without gamma the 8-bit rows are byte shuffles, four pixels per step. Each
// 16-byte store runs into the next pixels, which the next step overwrites;
// the loop stops while six pixels remain so nothing is read or written past
// the rows.
__attribute__((target_clones("ssse3", "default"))) void RGBToBGR(std::uint8_t* Dest,
                                                                 const std::uint8_t* Src,
                                                                 std::int32_t Width) {
  std::int32_t x = 0;
  for (; x + 6 <= Width; x += 4) {
    V16u8 v;
    std::memcpy(&v, Src + 3 * x, 16);
    v = __builtin_shufflevector(v, v, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    std::memcpy(Dest + 3 * x, &v, 16);
  }
  ColourRow<3, 1>(Dest + 3 * x, Src + 3 * x, Width - x, IdentityTable());
}

__attribute__((target_clones("ssse3", "default"))) void RGBAToBGR(std::uint8_t* Dest,
                                                                  const std::uint8_t* Src,
                                                                  std::int32_t Width) {
  std::int32_t x = 0;
  for (; x + 6 <= Width; x += 4) {
    V16u8 v;
    std::memcpy(&v, Src + 4 * x, 16);
    v = __builtin_shufflevector(v, v, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, 0, 0, 0, 0);
    std::memcpy(Dest + 3 * x, &v, 16);
  }
  ColourRow<4, 1>(Dest + 3 * x, Src + 4 * x, Width - x, IdentityTable());
}

// Greyscale kept as one byte per pixel: every Stride-th byte.
void EveryNth(std::uint8_t* Dest, const std::uint8_t* Src, std::int32_t Width, int Stride) {
  for (std::int32_t x = 0; x < Width; ++x) Dest[x] = Src[x * Stride];
}

// Each byte of four 2-bit samples as two bytes of 4-bit indexes 5v.
struct TTwoToFour {
  std::uint8_t Bytes[256][2];
  TTwoToFour() {
    for (int b = 0; b < 256; ++b) {
      const int v0 = b >> 6, v1 = (b >> 4) & 3, v2 = (b >> 2) & 3, v3 = b & 3;
      Bytes[b][0] = std::uint8_t((5 * v0) << 4 | 5 * v1);
      Bytes[b][1] = std::uint8_t((5 * v2) << 4 | 5 * v3);
    }
  }
};

bool ValidSampleBits(std::uint8_t Bits) { return Bits == 1 || Bits == 2 || Bits == 4 || Bits == 8; }

}  // namespace

bool IsValidFormat(std::uint8_t ColorType, std::uint8_t BitDepth) {
  switch (ColorType) {
    case 0:
      return BitDepth == 1 || BitDepth == 2 || BitDepth == 4 || BitDepth == 8 || BitDepth == 16;
    case 3:
      return BitDepth == 1 || BitDepth == 2 || BitDepth == 4 || BitDepth == 8;
    case 2:
    case 4:
    case 6:
      return BitDepth == 8 || BitDepth == 16;
    default:
      return false;
  }
}

int SourcePixelBytes(const TRowFormat& Format) {
  int channels = 1;
  switch (Format.ColorType) {
    case 2:
      channels = 3;
      break;
    case 4:
      channels = 2;
      break;
    case 6:
      channels = 4;
      break;
    default:
      break;
  }
  return Format.BitDepth >= 8 ? channels * Format.BitDepth / 8 : 1;
}

void CopyPackedSamples(const std::uint8_t* Src, std::uint8_t* Dest, std::uint32_t Count,
                       std::uint8_t Mask, std::uint8_t SrcBits, std::uint8_t DestBits) {
  if (!ValidSampleBits(SrcBits) || !ValidSampleBits(DestBits)) return;
  if (Mask == 0xFF && SrcBits == 2 && DestBits == 4) {
    static const TTwoToFour table;
    const std::uint32_t whole = Count / 4;
    for (std::uint32_t i = 0; i < whole; ++i) {
      Dest[2 * i] = table.Bytes[Src[i]][0];
      Dest[2 * i + 1] = table.Bytes[Src[i]][1];
    }
    Src += whole;
    Dest += 2 * whole;
    Count -= whole * 4;
  }
  const int smax = (1 << SrcBits) - 1, tmax = (1 << DestBits) - 1;
  std::uint8_t scaled[256];
  for (int v = 0; v <= smax; ++v) scaled[v] = std::uint8_t(host::MulDiv(v, tmax, smax));
  int srcShift = 8 - SrcBits, destShift = 8 - DestBits;
  for (std::uint32_t c = 0; c < Count; ++c) {
    if (Mask & (0x80 >> (c & 7))) {
      const int v = (*Src >> srcShift) & smax;
      srcShift -= SrcBits;
      if (srcShift < 0) {
        srcShift = 8 - SrcBits;
        ++Src;
      }
      *Dest = std::uint8_t((*Dest & ~(tmax << destShift)) | (scaled[v] << destShift));
    }
    destShift -= DestBits;
    if (destShift < 0) {
      destShift = 8 - DestBits;
      ++Dest;
    }
  }
}

void PlaceRow(const TRowFormat& Format, std::uint8_t* Dest, const std::uint8_t* Src,
              std::int32_t RowBytes, std::int32_t Width) {
  if (!IsValidFormat(Format.ColorType, Format.BitDepth) || Width <= 0) return;
  const std::uint8_t* g = Format.Gamma;
  switch (Format.ColorType) {
    case 0:
    case 3:
      if (Format.BitDepth == 2)
        CopyPackedSamples(Src, Dest, std::uint32_t(Width), 0xFF, 2, 4);
      else if (Format.BitDepth == 16)
        EveryNth(Dest, Src, Width, 2);
      else if (RowBytes > 0)
        std::memcpy(Dest, Src, std::size_t(RowBytes));
      break;
    case 4:
      EveryNth(Dest, Src, Width, Format.BitDepth == 16 ? 4 : 2);
      break;
    case 2:
      if (Format.BitDepth == 16)
        ColourRow<6, 2>(Dest, Src, Width, g ? g : IdentityTable());
      else if (g)
        ColourRow<3, 1>(Dest, Src, Width, g);
      else
        RGBToBGR(Dest, Src, Width);
      break;
    case 6:
      if (Format.BitDepth == 16)
        ColourRow<8, 2>(Dest, Src, Width, g ? g : IdentityTable());
      else if (g)
        ColourRow<4, 1>(Dest, Src, Width, g);
      else
        RGBAToBGR(Dest, Src, Width);
      break;
    default:
      break;
  }
}

void PlaceInterlacedRow(const TRowFormat& Format, std::uint8_t* Dest, const std::uint8_t* Src,
                        std::int32_t ColStart, std::int32_t ColStep, std::int32_t RowBytes,
                        std::uint8_t Mask, std::int32_t Width) {
  if (!IsValidFormat(Format.ColorType, Format.BitDepth) || Width <= 0 || ColStep <= 0) return;
  const bool indexed = Format.ColorType == 0 || Format.ColorType == 3;
  if (indexed && Format.BitDepth < 8) {
    const std::uint8_t destBits = Format.BitDepth == 1 ? 1 : 4;
    CopyPackedSamples(Src, Dest, std::uint32_t(Width), Mask, Format.BitDepth, destBits);
    return;
  }
  const int step = SourcePixelBytes(Format);
  const bool colour = Format.ColorType == 2 || Format.ColorType == 6;
  const int sample = Format.BitDepth / 8;
  const std::uint8_t* g = Format.Gamma ? Format.Gamma : IdentityTable();
  std::int32_t x = ColStart;
  for (std::int32_t k = 0; k < RowBytes && x < Width; k += step, x += ColStep) {
    if (colour) {
      std::uint8_t* d = Dest + 3 * std::int64_t(x);
      d[0] = g[Src[k + 2 * sample]];
      d[1] = g[Src[k + sample]];
      d[2] = g[Src[k]];
    } else {
      Dest[x] = Src[k];
    }
  }
}

}  // namespace snapkit
