// The snapkit command-line program.

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "host/system/exception.h"
#include "tools/capture_command.h"
#include "tools/convert_command.h"
#include "tools/diff_command.h"
#include "tools/info_command.h"
#include "tools/palette_command.h"
#include "tools/view_command.h"

namespace {

using namespace snapkit::tools;

// Kept equal to the project's version (a test compares them).
const char* const Version = "0.1.0";

const char* const Usage =
    "usage: snapkit COMMAND ARGS...\n"
    "       snapkit COMMAND --help\n"
    "       snapkit --help | --version\n"
    "\n"
    "Exit codes: 0 success; 1 failure, with a message on standard error naming\n"
    "the file; 2 a wrong command line. capture tells its failures apart further,\n"
    "and diff exits as cmp does (see below).\n"
    "\n"
    "Commands:\n";

struct TCommand {
  const char* Name;
  const char* const* Usage;
};
const TCommand Commands[] = {{"capture", &CaptureUsage}, {"convert", &ConvertUsage},
                             {"diff", &DiffUsage},       {"info", &InfoUsage},
                             {"palette", &PaletteUsage}, {"view", &ViewUsage}};

void PrintUsage(std::FILE* To) {
  std::fputs(Usage, To);
  for (const TCommand& C : Commands) std::fputs(*C.Usage, To);
}

// A wrong command line: its one line, and where the help is.
int UsageError(const std::string& Message, const std::string& Command) {
  std::fprintf(stderr, "snapkit: %s\nTry 'snapkit %s--help'\n", Message.c_str(),
               Command.empty() ? "" : (Command + " ").c_str());
  return 2;
}

int RunCommand(const std::string& Command, const std::vector<std::string>& Args) {
  if (Command == "capture") {
    TCaptureOptions Options = ParseCaptureArgs(Args);
    Options.ShowProgress = isatty(STDERR_FILENO);
    return RunCapture(Options);
  }
  if (Command == "convert") {
    TConvertOptions Options = ParseConvertArgs(Args);
    Options.ShowProgress = isatty(STDERR_FILENO);
    RunConvert(Options);
    return 0;
  }
  if (Command == "diff") {
    const TDiffCommandResult Result = RunDiff(ParseDiffArgs(Args));
    std::fputs(Result.Text.c_str(), stdout);
    return Result.ExitCode;
  }
  if (Command == "info") {
    const TInfoResult Info = RunInfo(Args);
    std::fputs(Info.Listing.c_str(), stdout);
    if (!Info.Problem.empty()) throw TFileError{Args[0], Info.Problem};
    return 0;
  }
  if (Command == "palette") {
    std::fputs(RunPalette(Args).c_str(), stdout);
    return 0;
  }
  return RunView(ParseViewArgs(Args));
}

}  // namespace

int main(int argc, char** argv) {
  // Pictures of megabytes come and go with every capture. Left to itself
  // glibc raises its mmap threshold past their size and keeps them in the
  // heap, where the freed ones stay resident: over a long batch the
  // process wandered between 40 and 60 MiB. Mapped afresh each time they
  // go back to the system when freed; the page faults this costs were
  // within the capture benchmark's noise.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return 2;
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
  const TCommand* known = nullptr;
  for (const TCommand& C : Commands)
    if (command == C.Name) known = &C;
  if (!known) return UsageError("unknown command " + command, std::string());
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::fputs(*known->Usage, stdout);
      return 0;
    }
  try {
    return RunCommand(command, args);
  } catch (const TUsageError& e) {
    return UsageError(e.Message, command);
  } catch (const TFileError& e) {
    // Messages such as "Cannot open file "x"" name the file already.
    if (e.Problem.find(e.File) == std::string::npos)
      std::fprintf(stderr, "snapkit: %s: %s\n", e.File.c_str(), e.Problem.c_str());
    else
      std::fprintf(stderr, "snapkit: %s\n", e.Problem.c_str());
    // diff's 1 means "different", as cmp's does.
    if (command == "diff") return 3;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "snapkit: %s\n", DescribeError(e).c_str());
  }
  return 1;
}
