#include "host/browser/chromium_process.h"

#include <fcntl.h>
#include <ftw.h>
#include <glib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/system/exception.h"

namespace host {

namespace {

void CloseFd(int& Fd) {
  if (Fd >= 0) close(Fd);
  Fd = -1;
}

void RemoveTree(const std::string& Path) {
  if (Path.empty()) return;
  nftw(
      Path.c_str(),
      [](const char* P, const struct stat*, int, struct FTW*) { return remove(P) == 0 ? 0 : 0; },
      16, FTW_DEPTH | FTW_PHYS);
}

// Socket pairs rather than pipes: a write to a browser that has died fails
// with EPIPE under MSG_NOSIGNAL instead of raising SIGPIPE in the process.
void SocketPair(int Fds[2]) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, Fds) != 0)
    throw EOleException(std::string("Cannot create the browser pipe: ") + std::strerror(errno));
}

}  // namespace

TChromiumProcess::TChromiumProcess(const std::string& Executable,
                                   const std::vector<std::string>& Args) {
  GError* Error = nullptr;
  gchar* Dir = g_dir_make_tmp("snapkit-chromium-XXXXXX", &Error);
  if (!Dir) {
    std::string Text = Error ? Error->message : "unknown error";
    g_clear_error(&Error);
    throw EOleException("Cannot create the browser profile folder: " + Text);
  }
  FProfileDir = Dir;
  g_free(Dir);

  int Commands[2] = {-1, -1}, Replies[2] = {-1, -1};
  // Closed by a successful exec; a failed one writes its errno first, so a
  // missing executable is known here rather than as a broken pipe later.
  int Exec[2] = {-1, -1};
  try {
    SocketPair(Commands);
    SocketPair(Replies);
    if (pipe2(Exec, O_CLOEXEC) != 0)
      throw EOleException(std::string("Cannot create the browser pipe: ") + std::strerror(errno));
  } catch (...) {
    for (int* Fd : {&Commands[0], &Commands[1], &Replies[0], &Replies[1]}) CloseFd(*Fd);
    RemoveTree(FProfileDir);
    throw;
  }
  std::string LogPath = FProfileDir + "/chromium.log";
  int Log = open(LogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int DevNull = open("/dev/null", O_RDONLY | O_CLOEXEC);

  std::vector<std::string> Argv{Executable};
  Argv.insert(Argv.end(), Args.begin(), Args.end());
  Argv.push_back("--remote-debugging-pipe");
  Argv.push_back("--user-data-dir=" + FProfileDir);
  std::vector<char*> CArgv;
  for (std::string& A : Argv) CArgv.push_back(A.data());
  CArgv.push_back(nullptr);
  pid_t Parent = getpid();

  FPid = fork();
  if (FPid == 0) {
    // Only async-signal-safe calls from here to exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != Parent) _exit(127);
    setpgid(0, 0);
    // Out of the way of 3 and 4 first: dup2 onto the same number would keep
    // the close-on-exec flag.
    int In = fcntl(Commands[1], F_DUPFD, 10);
    int Out = fcntl(Replies[1], F_DUPFD, 10);
    if (In >= 0 && Out >= 0 && dup2(In, 3) >= 0 && dup2(Out, 4) >= 0) {
      if (DevNull >= 0) dup2(DevNull, 0);
      if (Log >= 0) {
        dup2(Log, 1);
        dup2(Log, 2);
      }
      execv(CArgv[0], CArgv.data());
    }
    int Errno = errno;
    ssize_t Ignored = write(Exec[1], &Errno, sizeof Errno);
    (void)Ignored;
    _exit(127);
  }
  int ForkErrno = errno;
  close(Exec[1]);
  int ExecErrno = 0;
  ssize_t Got;
  while ((Got = read(Exec[0], &ExecErrno, sizeof ExecErrno)) < 0 && errno == EINTR) {
  }
  close(Exec[0]);
  if (Log >= 0) close(Log);
  if (DevNull >= 0) close(DevNull);
  close(Commands[1]);
  close(Replies[1]);
  if (FPid < 0) {
    close(Commands[0]);
    close(Replies[0]);
    RemoveTree(FProfileDir);
    throw EOleException(std::string("Cannot start the browser: ") + std::strerror(ForkErrno));
  }
  if (Got == sizeof ExecErrno) {
    close(Commands[0]);
    close(Replies[0]);
    Kill();
    RemoveTree(FProfileDir);
    throw EOleException(std::strerror(ExecErrno));
  }
  // The child moves itself too; doing it here as well closes the race with
  // an early Kill.
  setpgid(FPid, FPid);
  FWriteFd = Commands[0];
  FReadFd = Replies[0];
  fcntl(FWriteFd, F_SETFL, fcntl(FWriteFd, F_GETFL) | O_NONBLOCK);
  fcntl(FReadFd, F_SETFL, fcntl(FReadFd, F_GETFL) | O_NONBLOCK);
}

TChromiumProcess::~TChromiumProcess() {
  Kill();
  CloseFd(FReadFd);
  CloseFd(FWriteFd);
  RemoveTree(FProfileDir);
}

std::string TChromiumProcess::LogTail(std::size_t MaxBytes) const {
  std::ifstream In(FProfileDir + "/chromium.log", std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  std::string Text = S.str();
  if (Text.size() > MaxBytes) Text = Text.substr(Text.size() - MaxBytes);
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r')) Text.pop_back();
  return Text;
}

bool TChromiumProcess::Running() {
  if (FPid <= 0) return false;
  int Status;
  pid_t R = waitpid(FPid, &Status, WNOHANG);
  if (R == FPid || (R < 0 && errno == ECHILD)) {
    // Whatever it left behind in its group goes too.
    kill(-FPid, SIGKILL);
    FPid = -1;
    return false;
  }
  return true;
}

bool TChromiumProcess::WaitForExit(int TimeoutMs) {
  gint64 Deadline = g_get_monotonic_time() + gint64(TimeoutMs) * 1000;
  while (Running()) {
    if (g_get_monotonic_time() >= Deadline) return false;
    g_usleep(5000);
  }
  return true;
}

void TChromiumProcess::Kill() {
  if (FPid <= 0) return;
  kill(-FPid, SIGKILL);
  kill(FPid, SIGKILL);
  int Status;
  while (waitpid(FPid, &Status, 0) < 0 && errno == EINTR) {
  }
  FPid = -1;
}

}  // namespace host
