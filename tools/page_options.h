#pragma once
// The capture command's page options, handed to a browser control. Its
// setters are what judges them: what one refuses is a usage error naming
// the option, so the command line is checked by the same rules a program
// using the control meets.

#include "host/browser/web_browser.h"
#include "tools/capture_command.h"

namespace snapkit::tools {

// Raises TUsageError ("--scale: ...") for a value a setter refuses.
void SetPageOptions(host::TWebBrowser& Browser, const TCaptureOptions& Options);

}  // namespace snapkit::tools
