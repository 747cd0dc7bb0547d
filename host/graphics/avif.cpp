#include "host/graphics/avif.h"

#include <memory>
#include <string>

#include "host/graphics/avif_library.h"
#include "host/graphics/bitmap.h"
#include "host/system/exception.h"

namespace host {

const TGraphicClassRef TAVIFImage::ClassInfo = {"TAVIFImage", nullptr,
                                                &CreateInstance<TAVIFImage, TGraphic>};

namespace {

struct TDecoderFree {
  void operator()(avifDecoder* D) const { Avif().avifDecoderDestroy(D); }
};
struct TEncoderFree {
  void operator()(avifEncoder* E) const { Avif().avifEncoderDestroy(E); }
};
struct TImageFree {
  void operator()(avifImage* I) const { Avif().avifImageDestroy(I); }
};
struct TOutput {
  avifRWData Data = AVIF_DATA_EMPTY;
  ~TOutput() { Avif().avifRWDataFree(&Data); }
};

[[noreturn]] void Invalid(const std::string& Why) {
  throw EInvalidGraphic("AVIF image is not valid: " + Why);
}
[[noreturn]] void CannotWrite(const std::string& Why) {
  throw EInvalidGraphic("Cannot write AVIF image: " + Why);
}

// Screenshots are mostly text, and coloured text loses its edges when
// chroma is halved; full chroma cost 1-9% more bytes at q90 on the
// bench/data pages.
constexpr avifPixelFormat kYUVFormat = AVIF_PIXEL_FORMAT_YUV444;

}  // namespace

int AVIFQuantizer(int Quality) { return ((100 - Quality) * 63 + 50) / 100; }

TAVIFImage::TAVIFImage() = default;

void TAVIFImage::SetSpeed(int Value) {
  if (Value < AVIF_SPEED_SLOWEST || Value > AVIF_SPEED_FASTEST)
    throw EInvalidGraphicOperation("AVIF speed must be between 0 and 10");
  if (Value == FSpeed) return;
  FSpeed = Value;
  SettingsChanged();
}

void TAVIFImage::AssignSettings(const TCodedImage& Source) {
  FSpeed = static_cast<const TAVIFImage&>(Source).FSpeed;
}

std::unique_ptr<TBitmap> TAVIFImage::Decode(const std::vector<std::uint8_t>& Data, bool& Alpha) {
  std::unique_ptr<avifDecoder, TDecoderFree> d(Avif().avifDecoderCreate());
  if (!d) throw EOutOfMemory("Out of memory for the AVIF decoder");
  d->maxThreads = 1;
  d->ignoreExif = AVIF_TRUE;
  d->ignoreXMP = AVIF_TRUE;
  // The header is read without allocating planes; the declared size is
  // checked before any frame is decoded.
  avifResult r = Avif().avifDecoderSetIOMemory(d.get(), Data.data(), Data.size());
  if (r == AVIF_RESULT_OK) r = Avif().avifDecoderParse(d.get());
  if (r != AVIF_RESULT_OK) Invalid(Avif().avifResultToString(r));
  Alpha = d->alphaPresent != 0;
  CheckDeclaredSize("AVIF", d->image->width, d->image->height, Alpha ? 32 : 24, Data.size());
  // An image sequence shows its first frame; its size is checked again, as
  // a sequence's frames need not match its header.
  r = Avif().avifDecoderNextImage(d.get());
  if (r != AVIF_RESULT_OK) Invalid(Avif().avifResultToString(r));
  avifImage* image = d->image;
  CheckDeclaredSize("AVIF", image->width, image->height, Alpha ? 32 : 24, Data.size());

  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(Alpha ? pf32bit : pf24bit);
  bitmap->SetSize(int(image->width), int(image->height));
  avifRGBImage rgb;
  Avif().avifRGBImageSetDefaults(&rgb, image);
  rgb.format = Alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
  rgb.depth = 8;  // 10- and 12-bit files are scaled down
  rgb.pixels = bitmap->ScanLine(0);
  rgb.rowBytes = std::uint32_t(bitmap->RowBytes());
  r = Avif().avifImageYUVToRGB(image, &rgb);
  if (r != AVIF_RESULT_OK) Invalid(Avif().avifResultToString(r));
  return bitmap;
}

std::vector<std::uint8_t> TAVIFImage::Encode(const TBitmap& Pixels, bool Alpha) const {
  const bool alpha = Alpha && Pixels.PixelFormat() == pf32bit;
  std::unique_ptr<avifImage, TImageFree> image(Avif().avifImageCreate(
      std::uint32_t(Pixels.Width()), std::uint32_t(Pixels.Height()), 8, kYUVFormat));
  if (!image) throw EOutOfMemory("Out of memory for the AVIF image");
  // sRGB pixels, said so in the file, so that browsers show them unchanged.
  image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
  image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
  image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
  image->yuvRange = AVIF_RANGE_FULL;
  avifRGBImage rgb;
  Avif().avifRGBImageSetDefaults(&rgb, image.get());
  rgb.format = alpha                             ? AVIF_RGB_FORMAT_BGRA
               : Pixels.PixelFormat() == pf24bit ? AVIF_RGB_FORMAT_BGR
                                                 : AVIF_RGB_FORMAT_BGRA;
  rgb.ignoreAlpha = alpha ? AVIF_FALSE : AVIF_TRUE;
  rgb.depth = 8;
  // Only read: libavif's structure has no const pointer.
  rgb.pixels = const_cast<std::uint8_t*>(Pixels.ScanLine(0));
  rgb.rowBytes = std::uint32_t(Pixels.RowBytes());
  avifResult r = Avif().avifImageRGBToYUV(image.get(), &rgb);
  if (r != AVIF_RESULT_OK) CannotWrite(Avif().avifResultToString(r));

  std::unique_ptr<avifEncoder, TEncoderFree> e(Avif().avifEncoderCreate());
  if (!e) throw EOutOfMemory("Out of memory for the AVIF encoder");
  e->speed = FSpeed;
  e->maxThreads = 1;
  e->minQuantizer = e->maxQuantizer = AVIFQuantizer(CompressionQuality());
  e->minQuantizerAlpha = e->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
  TOutput out;
  r = Avif().avifEncoderWrite(e.get(), image.get(), &out.Data);
  if (r != AVIF_RESULT_OK) CannotWrite(Avif().avifResultToString(r));
  return std::vector<std::uint8_t>(out.Data.data, out.Data.data + out.Data.size);
}

}  // namespace host
