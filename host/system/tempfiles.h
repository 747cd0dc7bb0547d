#pragma once
// Temporary files live in a private per-user folder (mode 0700, created on
// first use under $TMPDIR or /tmp and checked to be ours), never under a
// predictable name in a folder others can write.

#include <string>

namespace host {

// The private folder, with a trailing '/'. Raises EOSError when it cannot be
// made safe.
std::string GetTempPath();
// Creates a new empty file (mode 0600) in Path, named Prefix, eight random
// hexadecimal digits and ".tmp", and returns its full name; the name is
// unique (made with O_EXCL). An empty Path means GetTempPath().
std::string GetTempFileName(const std::string& Path, const std::string& Prefix);

}  // namespace host
