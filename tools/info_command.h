#pragma once
// `snapkit info FILE`: lists a PNG file's chunks and its header's fields (or
// a WebP or AVIF file's facts and chunks or boxes) without decoding the
// image, so damaged files can be looked at too.

#include <string>
#include <vector>

namespace snapkit::tools {

struct TInfoResult {
  std::string Listing;
  // What is wrong with the file, empty when nothing is: not a PNG file,
  // cut short, a chunk whose CRC does not match, no header first.
  std::string Problem;
};

// Args are the words after "info". Damage in the file is listed, and named
// in Problem. Raises TUsageError for a wrong command line and TFileError
// when the file cannot be read.
TInfoResult RunInfo(const std::vector<std::string>& Args);

extern const char* const InfoUsage;

}  // namespace snapkit::tools
