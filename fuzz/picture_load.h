#pragma once
// Loading through TPicture's format registry, as an application opening a
// file of that extension does, without a file on disk.

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/graphics/picture.h"

namespace snapkit::fuzz {

// Loads Data with the class registered for FileName's extension into
// Picture. False when the loader refused the data with one of our
// exceptions; anything else escapes.
bool LoadPicture(host::TPicture& Picture, const std::string& FileName, const std::uint8_t* Data,
                 std::size_t Size);

}  // namespace snapkit::fuzz
