// Package load and unload: the host's WebP and AVIF classes become picture
// formats of every application that uses the package, as PNG does.

#include "host/graphics/avif.h"
#include "host/graphics/picture.h"
#include "host/graphics/webp.h"

namespace snapkit {
namespace {

struct TPictureFormats {
  TPictureFormats() {
    host::TPicture::RegisterFileFormat("WEBP", "WebP Image", &host::TWebPImage::ClassInfo);
    host::TPicture::RegisterFileFormat("AVIF", "AV1 Image File Format",
                                       &host::TAVIFImage::ClassInfo);
  }
  ~TPictureFormats() {
    host::TPicture::UnregisterGraphicClass(&host::TWebPImage::ClassInfo);
    host::TPicture::UnregisterGraphicClass(&host::TAVIFImage::ClassInfo);
  }
};

const TPictureFormats Formats;

}  // namespace
}  // namespace snapkit
