// The snapkit command-line program.

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "host/system/exception.h"
#include "tools/capture_command.h"
#include "tools/convert_command.h"
#include "tools/info_command.h"
#include "tools/palette_command.h"
#include "tools/view_command.h"

namespace {

using namespace snapkit::tools;

// Kept equal to the project's version (a test compares them).
const char* const Version = "0.1.0";

const char* const Usage =
    "usage: snapkit COMMAND ARGS...\n"
    "       snapkit --help | --version\n"
    "\n"
    "Every failure prints a message naming the file and exits with 1.\n"
    "\n"
    "Commands:\n";

void PrintUsage(std::FILE* To) {
  std::fputs(Usage, To);
  std::fputs(CaptureUsage, To);
  std::fputs(ConvertUsage, To);
  std::fputs(InfoUsage, To);
  std::fputs(PaletteUsage, To);
  std::fputs(ViewUsage, To);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return 1;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("snapkit %s\n", Version);
    return 0;
  }
  try {
    if (command == "capture") {
      for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
          std::fputs(CaptureUsage, stdout);
          return 0;
        }
      TCaptureOptions options;
      try {
        options = ParseCaptureArgs(args);
      } catch (const TUsageError& e) {
        std::fprintf(stderr, "snapkit: %s\n\n%s", e.Message.c_str(), CaptureUsage);
        return ceUsage;
      }
      options.ShowProgress = isatty(STDERR_FILENO);
      return RunCapture(options);
    }
    if (command == "convert") {
      for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
          std::fputs(ConvertUsage, stdout);
          return 0;
        }
      TConvertOptions options = ParseConvertArgs(args);
      options.ShowProgress = isatty(STDERR_FILENO);
      RunConvert(options);
      return 0;
    }
    if (command == "info") {
      const TInfoResult info = RunInfo(args);
      std::fputs(info.Listing.c_str(), stdout);
      if (!info.Problem.empty()) throw TFileError{args[0], info.Problem};
      return 0;
    }
    if (command == "palette") {
      std::fputs(RunPalette(args).c_str(), stdout);
      return 0;
    }
    if (command == "view") {
      for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
          std::fputs(ViewUsage, stdout);
          return 0;
        }
      TViewOptions options;
      try {
        options = ParseViewArgs(args);
      } catch (const TUsageError& e) {
        std::fprintf(stderr, "snapkit: %s\n\n%s", e.Message.c_str(), ViewUsage);
        return 2;
      }
      return RunView(options);
    }
    throw TUsageError{"unknown command " + command};
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "snapkit: %s\n\n", e.Message.c_str());
    PrintUsage(stderr);
  } catch (const TFileError& e) {
    // Messages such as "Cannot open file "x"" name the file already.
    if (e.Problem.find(e.File) == std::string::npos)
      std::fprintf(stderr, "snapkit: %s: %s\n", e.File.c_str(), e.Problem.c_str());
    else
      std::fprintf(stderr, "snapkit: %s\n", e.Problem.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "snapkit: %s\n", DescribeError(e).c_str());
  }
  return 1;
}
