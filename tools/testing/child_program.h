#pragma once
// Programs a test runs as its children, the snapkit program mostly: what
// they print and how they end, read back one way for every tools test.

#include <sys/types.h>

#include <string>
#include <vector>

namespace snapkit::tools::testing {

// Runs Command through /bin/sh. Its standard output (standard error too
// when Command redirects it there) replaces *Output when given; returns
// the exit code, or -1 when a signal ended it.
int RunShell(const std::string& Command, std::string* Output = nullptr);

// Where a started program's outputs go: files appended to, the same one
// shared when both name it; the test's own when empty.
struct TStartAs {
  std::string TmpDir = "";  // its TMPDIR, when given
  std::string Stdout = "";
  std::string Stderr = "";
};

// Starts the snapkit program with Args, without waiting for it; -1 when
// it could not be started.
pid_t StartProgram(const std::vector<std::string>& Args, const TStartAs& As = {});

// Waits up to TimeoutMs for Child; false (Child still running) if it did not end.
bool Reap(pid_t Child, int TimeoutMs, int& Status);

std::string ReadFile(const std::string& File);

}  // namespace snapkit::tools::testing
