#pragma once
// `snapkit info FILE.png`: lists a PNG file's chunks and its header's fields
// without decoding the image, so damaged files can be looked at too.

#include <string>
#include <vector>

namespace snapkit::tools {

// Args are the words after "info". Returns the listing; raises TUsageError
// for a wrong command line and the framework's exceptions when the file
// cannot be opened. Damage in the file is part of the listing, not an error.
std::string RunInfo(const std::vector<std::string>& Args);

extern const char* const InfoUsage;

}  // namespace snapkit::tools
