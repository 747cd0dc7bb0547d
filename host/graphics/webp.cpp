#include "host/graphics/webp.h"

#include <webp/decode.h>
#include <webp/encode.h>

#include <string>

#include "host/graphics/bitmap.h"
#include "host/system/exception.h"

namespace host {

const TGraphicClassRef TWebPImage::ClassInfo = {"TWebPImage", nullptr,
                                                &CreateInstance<TWebPImage, TGraphic>};

namespace {

const char* DecodeProblem(VP8StatusCode Status) {
  switch (Status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return "a feature that is not supported (animation?)";
    case VP8_STATUS_NOT_ENOUGH_DATA:
      return "the file is cut short";
    default:
      return "damaged data";
  }
}

[[noreturn]] void Invalid(const std::string& Why) {
  throw EInvalidGraphic("WebP image is not valid: " + Why);
}

const char* EncodeProblem(WebPEncodingError Error) {
  switch (Error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
      return "the picture is larger than 16383 pixels a side";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
      return "the picture is too large for lossy WebP";
    case VP8_ENC_ERROR_FILE_TOO_BIG:
      return "the file would be over 4 GiB";
    default:
      return "the encoder failed";
  }
}

// The picture's own buffers are freed on every path.
struct TPicture {
  WebPPicture P;
  TPicture() { WebPPictureInit(&P); }
  ~TPicture() { WebPPictureFree(&P); }
};
struct TWriter {
  WebPMemoryWriter W;
  TWriter() { WebPMemoryWriterInit(&W); }
  ~TWriter() { WebPMemoryWriterClear(&W); }
};

}  // namespace

TWebPImage::TWebPImage() = default;

void TWebPImage::SetLossless(bool Value) {
  if (Value == FLossless) return;
  FLossless = Value;
  SettingsChanged();
}

void TWebPImage::AssignSettings(const TCodedImage& Source) {
  FLossless = static_cast<const TWebPImage&>(Source).FLossless;
}

std::unique_ptr<TBitmap> TWebPImage::Decode(const std::vector<std::uint8_t>& Data, bool& Alpha) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) Invalid("libwebp does not match its headers");
  VP8StatusCode status = WebPGetFeatures(Data.data(), Data.size(), &config.input);
  if (status != VP8_STATUS_OK) Invalid(DecodeProblem(status));
  if (config.input.has_animation) Invalid("animated files are not supported");
  Alpha = config.input.has_alpha != 0;
  const int bits = Alpha ? 32 : 24;
  CheckDeclaredSize("WebP", std::uint64_t(config.input.width), std::uint64_t(config.input.height),
                    bits, Data.size());

  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(Alpha ? pf32bit : pf24bit);
  bitmap->SetSize(config.input.width, config.input.height);
  // Straight into the bitmap's rows, which lie top-down one after another.
  config.output.colorspace = Alpha ? MODE_BGRA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = bitmap->ScanLine(0);
  config.output.u.RGBA.stride = static_cast<int>(bitmap->RowBytes());
  config.output.u.RGBA.size = static_cast<std::size_t>(bitmap->RowBytes()) * bitmap->Height();
  status = WebPDecode(Data.data(), Data.size(), &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) Invalid(DecodeProblem(status));
  FLossless = config.input.format == 2;
  return bitmap;
}

std::vector<std::uint8_t> TWebPImage::Encode(const TBitmap& Pixels, bool Alpha) const {
  WebPConfig config;
  if (!WebPConfigInit(&config)) throw EInvalidGraphic("libwebp does not match its headers");
  if (FLossless) {
    // Lossless quality is effort: cwebp's default, a fair trade for pages.
    config.lossless = 1;
    config.quality = 75;
    config.exact = 1;  // transparent pixels keep their colour, as the bitmap has it
  } else {
    config.quality = float(CompressionQuality());
    // Plain RGB to YUV smears coloured text; the sharp conversion keeps
    // its edges for a few per cent of encode time.
    config.use_sharp_yuv = 1;
  }
  config.method = 4;
  if (!WebPValidateConfig(&config)) throw EInvalidGraphic("Cannot write WebP image: bad settings");

  const bool alpha = Alpha && Pixels.PixelFormat() == pf32bit;
  TPicture picture;
  picture.P.use_argb = config.lossless;
  picture.P.width = Pixels.Width();
  picture.P.height = Pixels.Height();
  // The bitmap is 24-bit, or 32-bit as a file with alpha left it.
  const int stride = static_cast<int>(Pixels.RowBytes());
  const std::uint8_t* rows = Pixels.ScanLine(0);
  const bool imported = alpha ? WebPPictureImportBGRA(&picture.P, rows, stride)
                        : Pixels.PixelFormat() == pf24bit
                            ? WebPPictureImportBGR(&picture.P, rows, stride)
                            : WebPPictureImportBGRX(&picture.P, rows, stride);
  if (!imported)
    throw EInvalidGraphic(std::string("Cannot write WebP image: ") +
                          EncodeProblem(picture.P.error_code));
  TWriter writer;
  picture.P.writer = WebPMemoryWrite;
  picture.P.custom_ptr = &writer.W;
  if (!WebPEncode(&config, &picture.P))
    throw EInvalidGraphic(std::string("Cannot write WebP image: ") +
                          EncodeProblem(picture.P.error_code));
  return std::vector<std::uint8_t>(writer.W.mem, writer.W.mem + writer.W.size);
}

}  // namespace host
