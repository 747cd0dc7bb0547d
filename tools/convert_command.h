#pragma once
// `snapkit convert IN OUT [--size WxH] [--filter NAME] [--filter-width F]
// [--quality N] [--lossless]`:
// reads any registered picture format, optionally resamples it, and writes
// the format that OUT's extension (or --format) names.

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "tools/picture_output.h"

namespace snapkit::tools {

struct TConvertOptions {
  std::string Input;
  std::string Output;  // "-": standard output
  // --format, for "-" and extensions that name no format.
  std::optional<TPictureFormat> Given;
  // --quality and --lossless.
  TEncoding Encoding = {};
  // Resampling, when Width and Height are set (both 0 means keep the size).
  int Width = 0;
  int Height = 0;
  std::string Filter = "mitchell";
  // 0 means the default: 3.0 for Mitchell, as the thumbnail control uses it,
  // and the kernel's own support for the others.
  float FilterWidth = 0;
  // Draw a progress bar on standard error while resampling large pictures
  // (set when standard error is a terminal).
  bool ShowProgress = false;
};

// Raised for a command line that does not make sense; main prints it and
// where the command's help is, and exits with 2.
struct TUsageError {
  std::string Message;
};

// Raised when a file cannot be read or written: main prints "snapkit:
// FILE: PROBLEM" and exits with 1.
struct TFileError {
  std::string File;
  std::string Problem;
};
// The framework's exception as one line for the terminal (PNG errors come
// framed with blank lines).
std::string DescribeError(const std::exception& E);

// Args are the words after "convert". Raises TUsageError.
TConvertOptions ParseConvertArgs(const std::vector<std::string>& Args);
// Raises TFileError when a file cannot be read or written.
void RunConvert(const TConvertOptions& Options);

extern const char* const ConvertUsage;

}  // namespace snapkit::tools
