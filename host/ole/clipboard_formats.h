#pragma once
// Registered clipboard formats: a name agreed between programs becomes a
// number that data objects and drop targets use for it.

#include "host/system/ole_types.h"

namespace host {

using UINT = std::uint32_t;

// The number of the format called lpszFormat, from 0xC000 up: the same name
// (compared without regard to case) always gives the same number within the
// process. 0 for a null or empty name, or when the numbers are used up.
UINT RegisterClipboardFormatA(const char* lpszFormat);

}  // namespace host
