#pragma once
// One headless Chromium process driven over its DevTools pipe. The process
// runs in a process group of its own (so its renderers can be ended with
// it), dies with the thread that started it, and keeps its profile and log in
// a private folder that goes when this object does.

#include <sys/types.h>

#include <string>
#include <vector>

namespace host {

class TChromiumProcess {
 public:
  // Starts Executable with Args and the pipe flags. Raises EOleException when
  // it cannot be started.
  TChromiumProcess(const std::string& Executable, const std::vector<std::string>& Args);
  // Kills what is still running, reaps it and removes the profile folder.
  ~TChromiumProcess();
  TChromiumProcess(const TChromiumProcess&) = delete;
  TChromiumProcess& operator=(const TChromiumProcess&) = delete;

  // Our ends of the pipe: commands go to WriteFd, replies and events come
  // from ReadFd. Both non-blocking.
  int ReadFd() const { return FReadFd; }
  int WriteFd() const { return FWriteFd; }
  pid_t Pid() const { return FPid; }
  const std::string& ProfileDir() const { return FProfileDir; }
  // The last lines Chromium wrote to its log, for error messages.
  std::string LogTail(std::size_t MaxBytes = 600) const;

  // True while the process has not ended (reaps it if it has).
  bool Running();
  // Waits up to TimeoutMs for the process to end by itself; true if it did.
  bool WaitForExit(int TimeoutMs);
  // Ends the process group at once and reaps the process.
  void Kill();

 private:
  pid_t FPid = -1;
  int FReadFd = -1;
  int FWriteFd = -1;
  std::string FProfileDir;
};

}  // namespace host
