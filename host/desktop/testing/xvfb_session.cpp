#include "host/desktop/testing/xvfb_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace host::desktop::testing {

bool HaveProgram(const std::string& Name) {
  const char* Path = std::getenv("PATH");
  std::string Dirs = Path ? Path : "/usr/bin:/bin";
  std::size_t Start = 0;
  while (Start <= Dirs.size()) {
    std::size_t End = Dirs.find(':', Start);
    if (End == std::string::npos) End = Dirs.size();
    std::string Dir = Dirs.substr(Start, End - Start);
    if (!Dir.empty() && ::access((Dir + "/" + Name).c_str(), X_OK) == 0) return true;
    Start = End + 1;
  }
  return false;
}

bool TXvfbSession::Installed() { return HaveProgram("Xvfb"); }

TXvfbSession::TXvfbSession() {
  int Pipe[2];
  if (::pipe2(Pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  FPid = ::fork();
  if (FPid < 0) {
    ::close(Pipe[0]);
    ::close(Pipe[1]);
    throw std::runtime_error("fork failed");
  }
  if (FPid == 0) {
    // The server writes its display number to the descriptor once it
    // accepts connections, so there is no guessing of a free number and no
    // sleeping.
    int Fd = ::dup(Pipe[1]);  // without close-on-exec
    int Null = ::open("/dev/null", O_RDWR);
    ::dup2(Null, 0);
    ::dup2(Null, 1);
    ::dup2(Null, 2);
    std::string FdText = std::to_string(Fd);
    ::execlp("Xvfb", "Xvfb", "-displayfd", FdText.c_str(), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(Pipe[1]);
  std::string Number;
  pollfd P{Pipe[0], POLLIN, 0};
  char C;
  while (::poll(&P, 1, 15000) > 0 && ::read(Pipe[0], &C, 1) == 1 && C != '\n') Number += C;
  ::close(Pipe[0]);
  if (Number.empty()) {
    ::kill(FPid, SIGTERM);
    ::waitpid(FPid, nullptr, 0);
    throw std::runtime_error("Xvfb did not start");
  }
  FDisplay = ":" + Number;
  if (const char* Old = std::getenv("DISPLAY")) {
    FHadDisplay = true;
    FOldDisplay = Old;
  }
  ::setenv("DISPLAY", FDisplay.c_str(), 1);
}

TXvfbSession::~TXvfbSession() {
  ::kill(FPid, SIGTERM);
  ::waitpid(FPid, nullptr, 0);
  if (FHadDisplay)
    ::setenv("DISPLAY", FOldDisplay.c_str(), 1);
  else
    ::unsetenv("DISPLAY");
}

TXvfbSession* SharedXvfb() {
  static std::unique_ptr<TXvfbSession> Session =
      TXvfbSession::Installed() ? std::make_unique<TXvfbSession>() : nullptr;
  return Session.get();
}

}  // namespace host::desktop::testing
