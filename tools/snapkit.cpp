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

namespace {

using namespace snapkit::tools;

const char* const Usage =
    "usage: snapkit COMMAND ARGS...\n"
    "       snapkit --help\n"
    "\n"
    "Commands:\n";

void PrintUsage(std::FILE* To) {
  std::fputs(Usage, To);
  std::fputs(CaptureUsage, To);
  std::fputs(ConvertUsage, To);
  std::fputs(InfoUsage, To);
  std::fputs(PaletteUsage, To);
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
      std::fputs(RunInfo(args).c_str(), stdout);
      return 0;
    }
    if (command == "palette") {
      std::fputs(RunPalette(args).c_str(), stdout);
      return 0;
    }
    throw TUsageError{"unknown command " + command};
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "snapkit: %s\n\n", e.Message.c_str());
    PrintUsage(stderr);
  } catch (const host::Exception& e) {
    std::fprintf(stderr, "snapkit: %s\n", e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "snapkit: %s\n", e.what());
  }
  return 1;
}
