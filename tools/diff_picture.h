#pragma once
// Writing the diff picture fast. It holds a few dozen colours (greys, red,
// yellow), so it goes out as an 8-bit palette PNG: a third of the bytes of
// RGB rows, no filtering (palette rows gain nothing from it), deflated in
// one call by libdeflate at a low level. A diff picture is looked at, not
// kept, and its writing was most of `snapkit diff`'s time through the
// general encoder.

#include <memory>
#include <string>

#include "host/graphics/bitmap.h"

namespace snapkit::tools {

// Writes Diff (pf24bit) to File as PNG, or returns false without writing
// when it holds more than 256 colours. Raises host::Exception (EWriteError
// and the like) when the file cannot be written.
bool WriteDiffPNG(const host::TBitmap& Diff, const std::string& File);

}  // namespace snapkit::tools
