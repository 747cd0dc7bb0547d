#pragma once

#include <functional>
#include <string>

#include "host/forms/component.h"

namespace snapkit {

using TOnURLDropEvent = std::function<void(host::TObject* Sender, const std::string& URL)>;

}  // namespace snapkit
