#pragma once
// `snapkit convert IN OUT`: reads any registered picture format and writes
// the format that OUT's extension names.

#include <string>
#include <vector>

namespace snapkit::tools {

struct TConvertOptions {
  std::string Input;
  std::string Output;
};

// Raised for a command line that does not make sense; main prints the usage.
struct TUsageError {
  std::string Message;
};

// Args are the words after "convert". Raises TUsageError.
TConvertOptions ParseConvertArgs(const std::vector<std::string>& Args);
// Raises the framework's exceptions when a file cannot be read or written.
void RunConvert(const TConvertOptions& Options);

extern const char* const ConvertUsage;

}  // namespace snapkit::tools
