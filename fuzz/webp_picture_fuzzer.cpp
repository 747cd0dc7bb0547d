// WebP files through TPicture: any input must load or fail with an exception
// of ours; what loads has its size, 24 bits or 32 with alpha, survives a BMP
// round trip, and a small picture comes back from lossless WebP unchanged.

#include <cstddef>
#include <cstdint>

#include "fuzz/bitmap_checks.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/picture_load.h"
#include "host/graphics/bitmap.h"
#include "host/graphics/webp.h"
#include "host/system/stream.h"

using snapkit::fuzz::Check;

namespace {
// As the package registers the format when it loads.
const bool Registered =
    (host::TPicture::RegisterFileFormat("webp", "WebP Image", &host::TWebPImage::ClassInfo), true);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  host::TPicture picture;
  if (!snapkit::fuzz::LoadPicture(picture, "input.webp", Data, Size)) return 0;
  auto& webp = static_cast<host::TWebPImage&>(*picture.Graphic());
  const int w = webp.Width(), h = webp.Height();
  Check(webp.Bitmap().PixelFormat() == (webp.HasAlpha() ? host::pf32bit : host::pf24bit),
        "the WebP's bitmap is not 24-bit, or 32-bit with alpha");
  if (std::int64_t(w) * h <= 65536) {
    host::TWebPImage again;
    again.Assign(webp);
    again.SetLossless(!webp.Lossless());
    again.SetLossless(true);
    host::TMemoryStream file;
    again.SaveToStream(file);
    file.SetPosition(0);
    host::TWebPImage back;
    back.LoadFromStream(file);
    // An alpha channel that is opaque throughout is not written again.
    host::TBitmap was, got;
    was.Assign(webp.Bitmap());
    got.Assign(back.Bitmap());
    if (was.PixelFormat() != got.PixelFormat()) {
      Check(was.PixelFormat() == host::pf32bit, "lossless WebP added an alpha channel");
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          Check(was.ScanLine(y)[x * 4 + 3] == 255, "lossless WebP dropped a transparent alpha");
      was.SetPixelFormat(host::pf24bit);
    }
    const std::string difference = snapkit::fuzz::Difference(got, was);
    Check(difference.empty(), "lossless WebP changed the pixels: " + difference);
  }
  host::TBitmap& bitmap = picture.Bitmap();
  Check(bitmap.Width() == w && bitmap.Height() == h, "the WebP's bitmap has another size");
  snapkit::fuzz::CheckBmpRoundTrip(bitmap);
  return 0;
}
