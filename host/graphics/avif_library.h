#pragma once
// libavif, opened by its soname the first time an AVIF picture is read or
// written: it and the AV1 codecs it loads would otherwise be half of every
// program's start-up.

#include <avif/avif.h>

namespace host {

// clang-format off
#define SNAPKIT_AVIF_FUNCTIONS(F)                                                    \
  F(avifDecoderCreate) F(avifDecoderDestroy) F(avifDecoderParse)                     \
  F(avifDecoderNextImage) F(avifDecoderSetIOMemory) F(avifEncoderCreate)             \
  F(avifEncoderDestroy) F(avifEncoderWrite) F(avifImageCreate) F(avifImageDestroy)   \
  F(avifImageRGBToYUV) F(avifImageYUVToRGB) F(avifRGBImageSetDefaults)               \
  F(avifRWDataFree) F(avifResultToString) F(avifPixelFormatToString)
// clang-format on

struct TAvifLibrary {
#define SNAPKIT_AVIF_POINTER(Name) decltype(&::Name) Name = nullptr;
  SNAPKIT_AVIF_FUNCTIONS(SNAPKIT_AVIF_POINTER)
#undef SNAPKIT_AVIF_POINTER
};

// Raises EInvalidGraphicOperation, saying why, when libavif cannot be opened.
const TAvifLibrary& Avif();

}  // namespace host
