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
  const host::TPixelFormat f = A.PixelFormat();
  if (f == host::pf1bit || f == host::pf4bit || f == host::pf8bit) {
    // Compared as the pixels show: an index beyond the palette, or without
    // one, shows black. Flags are not stored in files.
    auto colour = [](const host::TBitmap& B, std::size_t I) {
      const auto& p = B.Palette();
      if (!p || I >= p->Entries.size()) return host::TColor(host::clBlack);
      const host::PALETTEENTRY& e = p->Entries[I];
      return host::RGB(e.peRed, e.peGreen, e.peBlue);
    };
    const std::size_t used = std::size_t(1) << host::BitsPerPixel(f);
    for (std::size_t i = 0; i < used; ++i)
      if (colour(A, i) != colour(B, i)) return "palette entry " + std::to_string(i);
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
