// AVIF files through TPicture: any input must load or fail with an exception
// of ours; what loads has its size, 24 bits or 32 with alpha, and survives a
// BMP round trip.

#include <cstddef>
#include <cstdint>

#include "fuzz/bitmap_checks.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/picture_load.h"
#include "host/graphics/avif.h"
#include "host/graphics/bitmap.h"

using snapkit::fuzz::Check;

namespace {
// As the package registers the format when it loads.
const bool Registered = (host::TPicture::RegisterFileFormat("avif", "AV1 Image File Format",
                                                            &host::TAVIFImage::ClassInfo),
                         true);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  host::TPicture picture;
  if (!snapkit::fuzz::LoadPicture(picture, "input.avif", Data, Size)) return 0;
  auto& avif = static_cast<host::TAVIFImage&>(*picture.Graphic());
  const int w = avif.Width(), h = avif.Height();
  Check(avif.Bitmap().PixelFormat() == (avif.HasAlpha() ? host::pf32bit : host::pf24bit),
        "the AVIF's bitmap is not 24-bit, or 32-bit with alpha");
  host::TBitmap& bitmap = picture.Bitmap();
  Check(bitmap.Width() == w && bitmap.Height() == h, "the AVIF's bitmap has another size");
  snapkit::fuzz::CheckBmpRoundTrip(bitmap);
  return 0;
}
