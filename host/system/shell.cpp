#include "host/system/shell.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <utility>

namespace host {

namespace {

// Starts Argv detached (the opener outlives us and is never waited for) and
// reports whether the program could be executed.
bool SpawnDetached(const std::vector<std::string>& Argv) {
  if (Argv.empty()) return false;
  // Everything the children need is prepared before fork: after it only
  // async-signal-safe calls are allowed.
  std::vector<char*> argv;
  for (const std::string& a : Argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    close(fds[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      int devnull = open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        dup2(devnull, 0);
        dup2(devnull, 1);
      }
      execvp(argv[0], argv.data());
      int err = errno;
      ssize_t ignored = write(fds[1], &err, sizeof err);
      (void)ignored;
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  close(fds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without data when exec succeeded (close-on-exec).
  int err = 0;
  ssize_t n;
  while ((n = read(fds[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  close(fds[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

struct ShellState {
  std::mutex Lock;
  std::string Opener = "xdg-open";
  TShellLauncher Launcher = SpawnDetached;
};

ShellState& State() {
  static ShellState state;
  return state;
}

constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_NOASSOC = 31;
constexpr int SE_OK = 42;

}  // namespace

void SetShellOpener(const std::string& Program) {
  std::lock_guard<std::mutex> lock(State().Lock);
  State().Opener = Program;
}

TShellLauncher SetShellLauncher(TShellLauncher Launcher) {
  std::lock_guard<std::mutex> lock(State().Lock);
  if (!Launcher) Launcher = SpawnDetached;
  return std::exchange(State().Launcher, std::move(Launcher));
}

int ShellExecute(const std::string& Operation, const std::string& File) {
  if (!Operation.empty() && Operation != "open") return SE_ERR_NOASSOC;
  if (File.empty()) return SE_ERR_FNF;
  std::vector<std::string> argv;
  TShellLauncher launcher;
  {
    std::lock_guard<std::mutex> lock(State().Lock);
    argv.push_back(State().Opener);
    launcher = State().Launcher;
  }
  // A name starting with '-' would be taken for an option of the opener.
  argv.push_back(File[0] == '-' ? "./" + File : File);
  return launcher(argv) ? SE_OK : SE_ERR_FNF;
}

}  // namespace host
