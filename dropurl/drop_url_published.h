#pragma once
// TDropURL's class reference and published properties, for form files.

#include "host/forms/palette.h"

namespace snapkit {

extern const host::TComponentClassRef DropURLClass;

}  // namespace snapkit
