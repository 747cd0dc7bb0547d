#include "bench/process_tree_usage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bench/capture_common.h"

namespace snapkit::bench {

namespace {

std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// Where this process sits in the cgroup v2 hierarchy, as a folder; empty
// when there is none.
std::string OwnCgroupV2() {
  std::ifstream Mounts("/proc/self/mounts");
  std::string Dev, Mount, Type, Rest, Root;
  while (Mounts >> Dev >> Mount >> Type && std::getline(Mounts, Rest))
    if (Type == "cgroup2") {
      Root = Mount;
      break;
    }
  if (Root.empty()) return "";
  std::ifstream Groups("/proc/self/cgroup");
  std::string Line;
  while (std::getline(Groups, Line))
    if (Line.compare(0, 3, "0::") == 0) return Root + Line.substr(3);
  return "";
}

// Whether a child can move itself into Procs: a cgroup we may make is not
// always one we may enter.
bool CanEnter(const std::string& Procs) {
  pid_t Pid = fork();
  if (Pid == 0) {
    int G = open(Procs.c_str(), O_WRONLY);
    _exit(G >= 0 && write(G, "0\n", 2) == 2 ? 0 : 1);
  }
  int Status = 1;
  if (Pid > 0) waitpid(Pid, &Status, 0);
  return Pid > 0 && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

std::string KindOf(pid_t Pid) {
  if (!capture::IsChromium(Pid)) return "other";
  std::string Cmd = ReadAll("/proc/" + std::to_string(Pid) + "/cmdline");
  for (char& C : Cmd)
    if (C == '\0') C = ' ';
  std::size_t T = Cmd.find("--type=");
  if (T == std::string::npos) return "browser";
  std::string Type = Cmd.substr(T + 7, Cmd.find(' ', T) - T - 7);
  for (const auto& K : TProcessTreeUsage::Kinds())
    if (K == Type) return Type;
  return "other";
}

}  // namespace

const std::vector<std::string>& TProcessTreeUsage::Kinds() {
  static const std::vector<std::string> K{"driver",  "browser", "renderer", "gpu-process",
                                          "utility", "zygote",  "other",    "unattributed"};
  return K;
}

TProcessTreeUsage::TProcessTreeUsage() {
  static int Serial = 0;
  std::string Parent = OwnCgroupV2();
  if (Parent.empty()) return;
  std::string D =
      Parent + "/snapkit-bench-" + std::to_string(getpid()) + "-" + std::to_string(++Serial);
  if (mkdir(D.c_str(), 0755) != 0) return;
  if (!CanEnter(D + "/cgroup.procs")) {
    rmdir(D.c_str());
    return;
  }
  Dir = D;
  Procs = D + "/cgroup.procs";
  Baseline = UsageSeconds();  // the probe's own few microseconds
}

double TProcessTreeUsage::UsageSeconds() const {
  std::istringstream Stat(ReadAll(Dir + "/cpu.stat"));
  std::string Key;
  unsigned long long Value;
  while (Stat >> Key >> Value)
    if (Key == "usage_usec") return Value / 1e6;
  return 0;
}

TProcessTreeUsage::~TProcessTreeUsage() {
  if (Dir.empty()) return;
  // Anything still in it goes, or the folder cannot be removed.
  for (int i = 0; i < 50 && !ReadAll(Procs).empty(); ++i) {
    if (i == 10) {
      std::ofstream(Dir + "/cgroup.kill") << "1\n";
    }
    g_usleep(20000);
  }
  rmdir(Dir.c_str());
}

void TProcessTreeUsage::Sample(pid_t Root, const std::vector<pid_t>& Descendants) {
  long Tick = sysconf(_SC_CLK_TCK);
  auto One = [&](pid_t Pid, bool IsRoot) {
    std::string Stat = ReadAll("/proc/" + std::to_string(Pid) + "/stat");
    std::size_t Paren = Stat.rfind(')');
    if (Paren == std::string::npos) return;
    // Fields after the name: state(3) ... utime(14) stime(15) ... starttime(22).
    std::istringstream In(Stat.substr(Paren + 2));
    std::string Field;
    unsigned long long Utime = 0, Stime = 0, Start = 0;
    for (int F = 3; F <= 22 && In >> Field; ++F) {
      if (F == 14) Utime = std::stoull(Field);
      if (F == 15) Stime = std::stoull(Field);
      if (F == 22) Start = std::stoull(Field);
    }
    TSeen& S = Seen[{Pid, Start}];
    // A process that has ended but not been reaped has no executable or
    // command line left: keep the type it was seen with. A wrapper script
    // that execs Chromium keeps its pid, so a known type is taken late too.
    std::string Kind = IsRoot ? "driver" : KindOf(Pid);
    if (S.Kind.empty() || Kind != "other") S.Kind = Kind;
    S.Seconds = static_cast<double>(Utime + Stime) / Tick;
  };
  One(Root, true);
  for (pid_t P : Descendants) One(P, false);
}

void TProcessTreeUsage::Finish(const struct rusage& RootUsage) {
  auto Secs = [](const timeval& T) { return T.tv_sec + T.tv_usec / 1e6; };
  ReapedSeconds = Secs(RootUsage.ru_utime) + Secs(RootUsage.ru_stime);
  double Attributed = 0;
  for (const auto& [Key, S] : Seen) Attributed += S.Seconds;
  TotalSeconds = std::max(ReapedSeconds, Attributed);
  if (!Dir.empty()) {
    // Processes that outlived the root are still charged until they end.
    for (int i = 0; i < 250 && !ReadAll(Procs).empty(); ++i) g_usleep(20000);
    TotalSeconds = UsageSeconds() - Baseline;
  }
  SecondsByKind.clear();
  for (const auto& K : Kinds()) SecondsByKind[K] = 0;
  for (const auto& [Key, S] : Seen) SecondsByKind[S.Kind] += S.Seconds;
  SecondsByKind["unattributed"] = TotalSeconds - Attributed;
}

}  // namespace snapkit::bench
