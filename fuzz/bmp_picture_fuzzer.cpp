// BMP files through TPicture: any input must load or fail with an exception
// of ours, and what loads must survive being written and read again.

#include <cstddef>
#include <cstdint>

#include "fuzz/bitmap_checks.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/picture_load.h"
#include "host/graphics/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  host::TPicture picture;
  if (!snapkit::fuzz::LoadPicture(picture, "input.bmp", Data, Size)) return 0;
  host::TBitmap& bitmap = picture.Bitmap();
  snapkit::fuzz::CheckBmpRoundTrip(bitmap);
  // Every format converts to the one captures and the imaging code use.
  bitmap.SetPixelFormat(host::pf24bit);
  snapkit::fuzz::CheckBmpRoundTrip(bitmap);
  return 0;
}
