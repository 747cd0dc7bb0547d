#pragma once
// An X server of the test's own: Xvfb on a free display, with DISPLAY
// pointing at it for this process and the programs it starts, stopped at the
// end. Tests need nothing from the script that runs them.

#include <sys/types.h>

#include <string>

namespace host::desktop::testing {

class TXvfbSession {
 public:
  // Starts Xvfb (1280x1024, 24 bits, no TCP) and sets DISPLAY; throws
  // std::runtime_error when it does not come up.
  TXvfbSession();
  // Stops the server and puts the previous DISPLAY back.
  ~TXvfbSession();
  TXvfbSession(const TXvfbSession&) = delete;
  TXvfbSession& operator=(const TXvfbSession&) = delete;

  const std::string& Display() const { return FDisplay; }
  static bool Installed();

 private:
  pid_t FPid = -1;
  std::string FDisplay;
  std::string FOldDisplay;
  bool FHadDisplay = false;
};

// The process's one session, started on first use: GTK connects to a display
// once and cannot move to another, so every test of a program shares it.
// Null when Xvfb is not installed; throws when it is but does not start.
TXvfbSession* SharedXvfb();

// Whether a program is on PATH.
bool HaveProgram(const std::string& Name);

}  // namespace host::desktop::testing

// Skips the test when Xvfb is missing; otherwise makes sure it runs.
#define SNAPKIT_REQUIRE_XVFB()                                                  \
  do {                                                                          \
    if (!::host::desktop::testing::SharedXvfb()) GTEST_SKIP() << "Xvfb is not installed"; \
  } while (0)
