#include "tools/testing/child_program.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

namespace snapkit::tools::testing {

int RunShell(const std::string& Command, std::string* Output) {
  FILE* P = popen(Command.c_str(), "r");
  if (!P) return -1;
  std::string Out;
  char Buf[4096];
  for (std::size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;) Out.append(Buf, N);
  const int Status = pclose(P);
  if (Output) *Output = Out;
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

pid_t StartProgram(const std::vector<std::string>& Args, const TStartAs& As) {
  std::vector<char*> Argv{const_cast<char*>(SNAPKIT_PROGRAM)};
  for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);
  const pid_t Child = fork();
  if (Child == 0) {
    if (!As.TmpDir.empty()) setenv("TMPDIR", As.TmpDir.c_str(), 1);
    int Fd = -1;
    if (!As.Stdout.empty()) {
      Fd = ::open(As.Stdout.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(Fd, STDOUT_FILENO);
    }
    if (!As.Stderr.empty()) {
      if (As.Stderr != As.Stdout)
        Fd = ::open(As.Stderr.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(Fd, STDERR_FILENO);
    }
    execv(SNAPKIT_PROGRAM, Argv.data());
    _exit(127);
  }
  return Child;
}

bool Reap(pid_t Child, int TimeoutMs, int& Status) {
  using Clock = std::chrono::steady_clock;
  for (const auto End = Clock::now() + std::chrono::milliseconds(TimeoutMs); Clock::now() < End;
       std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    if (waitpid(Child, &Status, WNOHANG) == Child) return true;
  return false;
}

std::string ReadFile(const std::string& File) {
  std::ifstream In(File, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

}  // namespace snapkit::tools::testing
