#pragma once
// What the capture benchmark's parts share: its settings, starting and
// waiting for whole processes, and reading their memory from /proc.

#include <glib.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <string>
#include <vector>

namespace snapkit::bench::capture {

constexpr int kAreaW = 1024, kAreaH = 768, kThumbW = 320, kThumbH = 240;

struct TConfig {
  std::string Base;     // the synthetic pages' server
  std::string Snapkit;  // the command
  std::string Scripts;  // bench/capture
  std::string Tmp;
  int WarmRounds = 15, ColdRounds = 8, BatchRounds = 3, BatchPages = 100;
  int SiteRounds = 3, SitePages = 48;
  std::vector<std::pair<std::string, std::string>> Sites;  // name, folder
};
extern TConfig Cfg;

inline double NowMs() { return static_cast<double>(g_get_monotonic_time()) / 1000.0; }
double Median(std::vector<double> V);
double Max(const std::vector<double>& V);

// Starts Argv in a process group of its own, with standard output to OutFd
// (or /dev/null) and standard error to a log in the temporary folder. With
// CgroupProcs, the child enters that cgroup before it runs anything, so
// that all it starts is counted there.
pid_t Spawn(const std::vector<std::string>& Argv, int InFd = -1, int OutFd = -1,
            const std::string& CgroupProcs = "");

// The exit status of a process that wait4 has collected.
inline int ExitCode(int Status) {
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
}

// Waits for Pid at most TimeoutMs, calling Tick every ~PeriodMs; returns
// the exit status, or -1 after killing a process that ran out of time.
// Usage gets what wait4 reports: the process's own time and that of the
// children it has waited for, and theirs in turn.
template <class F>
int WaitFor(pid_t Pid, int TimeoutMs, F Tick, int PeriodMs = 100, struct rusage* Usage = nullptr) {
  double End = NowMs() + TimeoutMs;
  struct rusage Ignored;
  for (;;) {
    int Status;
    pid_t R = wait4(Pid, &Status, WNOHANG, Usage ? Usage : &Ignored);
    if (R == Pid) return ExitCode(Status);
    if (NowMs() > End) {
      kill(-Pid, SIGKILL);
      waitpid(Pid, &Status, 0);
      return -1;
    }
    Tick();
    g_usleep(R == 0 ? PeriodMs * 1000 : 0);
  }
}
// Short polls: the time of a process of under a second is measured.
int WaitFor(pid_t Pid, int TimeoutMs);

std::string Slurp(const std::string& Path);

// Every process below Root, Root not included.
std::vector<pid_t> Descendants(pid_t Root);

// A line of /proc/PID/smaps_rollup in KiB ("Pss:", "Rss:"), 0 when gone.
long RollupKiB(pid_t Pid, const char* Key);

bool IsChromium(pid_t Pid);

// The PSS of the Chromium processes among Pids, in MiB.
double ChromiumPssMiB(const std::vector<pid_t>& Pids);
inline double ChromiumPssMiB(pid_t Root) { return ChromiumPssMiB(Descendants(Root)); }

std::string MakeTempDir(const std::string& Prefix);
bool NonEmptyFile(const std::string& Path);

// Starts bench/capture/serve.py with Extra arguments and returns its base
// URL (http://127.0.0.1:PORT); StopServers ends every one started.
std::string StartServer(const std::vector<std::string>& Extra = {});
void StopServers();

// Registers the batch comparisons (bench/capture_batch.cpp).
void RegisterBatchBenchmarks();

}  // namespace snapkit::bench::capture
