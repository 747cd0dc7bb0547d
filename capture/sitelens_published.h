#pragma once
// TSitelens's class reference and published properties, for form files and
// the palette.

#include "host/forms/palette.h"

namespace snapkit {

extern const host::TComponentClassRef SitelensClass;

}  // namespace snapkit
