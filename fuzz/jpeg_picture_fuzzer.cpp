// JPEG files through TPicture: any input must load or fail with an exception
// of ours; what loads becomes a bitmap of its size that a BMP file keeps.

#include <cstddef>
#include <cstdint>

#include "fuzz/bitmap_checks.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/picture_load.h"
#include "host/graphics/bitmap.h"

using snapkit::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  host::TPicture picture;
  if (!snapkit::fuzz::LoadPicture(picture, "input.jpg", Data, Size)) return 0;
  const int w = picture.Width(), h = picture.Height();
  host::TBitmap& bitmap = picture.Bitmap();
  Check(bitmap.Width() == w && bitmap.Height() == h, "the JPEG's bitmap has another size");
  Check(bitmap.PixelFormat() == host::pf24bit, "the JPEG's bitmap is not 24-bit");
  snapkit::fuzz::CheckBmpRoundTrip(bitmap);
  return 0;
}
