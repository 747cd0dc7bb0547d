#pragma once
// The browser's pictures: base64 PNG data, decoded by the PNG reader that
// the package registers with the picture formats (the host has none of its
// own).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/graphics/bitmap.h"
#include "host/graphics/graphic.h"

namespace host {

// Decodes base64 text, as the browser sends binary data; raises
// EOleException for characters outside the alphabet.
std::vector<std::uint8_t> DecodeBase64(const std::string& Text);

// The graphic class registered for PNG files; raises EOleException when
// none is. Looked up on the loop's thread.
TGraphicClass ScreenshotReader();

// Decodes the picture with Reader; safe off the loop's thread, since
// nothing it touches is shared. Raises what the reader raises.
std::shared_ptr<const TBitmap> DecodeScreenshot(TGraphicClass Reader, const std::string& Base64);

}  // namespace host
