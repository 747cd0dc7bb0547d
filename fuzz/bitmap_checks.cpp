#include "fuzz/bitmap_checks.h"

#include <cstring>

#include "fuzz/fuzz_support.h"

namespace snapkit::fuzz {

std::string Difference(const host::TBitmap& A, const host::TBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height())
    return "size " + std::to_string(A.Width()) + "x" + std::to_string(A.Height()) + " against " +
           std::to_string(B.Width()) + "x" + std::to_string(B.Height());
  if (A.PixelFormat() != B.PixelFormat())
    return "pixel format " + std::to_string(A.PixelFormat()) + " against " +
           std::to_string(B.PixelFormat());
  if (A.Empty()) return {};
  const std::int64_t bits = std::int64_t(A.Width()) * host::BitsPerPixel(A.PixelFormat());
  const std::size_t whole = static_cast<std::size_t>(bits / 8);
  // Palette formats keep the leftmost pixel in the high bits, so the unused
  // bits of a partial last byte are its low ones.
  const unsigned tailMask = (0xFF00u >> (bits % 8)) & 0xFF;
  for (int y = 0; y < A.Height(); ++y) {
    const std::uint8_t* a = A.ScanLine(y);
    const std::uint8_t* b = B.ScanLine(y);
    if (std::memcmp(a, b, whole) != 0 || (tailMask && ((a[whole] ^ b[whole]) & tailMask) != 0))
      return "pixels of row " + std::to_string(y);
  }
  const bool pa = bool(A.Palette()), pb = bool(B.Palette());
  if (pa != pb) return "one has a palette, the other not";
  if (pa) {
    const auto& ea = A.Palette()->Entries;
    const auto& eb = B.Palette()->Entries;
    // Only the entries a pixel can index must survive; flags are not stored in files.
    const std::size_t used = std::size_t(1) << host::BitsPerPixel(A.PixelFormat());
    for (std::size_t i = 0; i < used && (i < ea.size() || i < eb.size()); ++i) {
      if (i >= ea.size() || i >= eb.size()) return "palette length";
      if (ea[i].peRed != eb[i].peRed || ea[i].peGreen != eb[i].peGreen ||
          ea[i].peBlue != eb[i].peBlue)
        return "palette entry " + std::to_string(i);
    }
  }
  return {};
}

void CheckBmpRoundTrip(host::TBitmap& Image) {
  if (Image.Empty()) return;
  host::TMemoryStream file;
  Image.SaveToStream(file);
  file.SetPosition(0);
  host::TBitmap again;
  again.LoadFromStream(file);
  const std::string diff = Difference(Image, again);
  Check(diff.empty(), "BMP round trip changed the " + diff);
}

}  // namespace snapkit::fuzz
