#pragma once
// `snapkit diff A B [--out DIFF.png] [--threshold T] [--include-aa] [--json]
// [--hash]`: how many pixels of two pictures differ, or with --hash how far
// apart their perceptual hashes are. Exits as cmp and diff do: 0 the same,
// 1 different, 2 a wrong command line, 3 a file that cannot be read (or the
// diff picture that cannot be written).

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/graphics/types.h"

namespace snapkit::tools {

struct TDiffCommandOptions {
  std::string First, Second;
  std::string Out;  // the diff picture, any format the package writes; empty: none
  double Threshold = 0.1;
  bool IncludeAA = false;
  bool Json = false;
  bool Hash = false;
};

// Raises TUsageError.
TDiffCommandOptions ParseDiffArgs(const std::vector<std::string>& Args);

struct TDiffCommandResult {
  int ExitCode = 0;  // 0 or 1
  std::string Text;  // for standard output, ending in a newline
};
// Raises TFileError for a picture that cannot be read or written.
TDiffCommandResult RunDiff(const TDiffCommandOptions& Options);

// {"left", "top", "width", "height"}, or null for an empty box.
nlohmann::json BoxJson(const host::TRect& Box);

extern const char* const DiffUsage;

}  // namespace snapkit::tools
