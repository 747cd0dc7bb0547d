#pragma once
// Properties of decoded pictures that the image fuzz targets check.

#include <string>

#include "host/graphics/bitmap.h"

namespace snapkit::fuzz {

// Empty when A and B hold the same picture (size, format, the pixels' bits,
// the colour each palette index shows), else what differs first. Row
// padding is not compared.
std::string Difference(const host::TBitmap& A, const host::TBitmap& B);

// Saves Image as BMP into memory, loads it back and checks that nothing
// changed: the writer must handle whatever a reader produced.
void CheckBmpRoundTrip(host::TBitmap& Image);

}  // namespace snapkit::fuzz
