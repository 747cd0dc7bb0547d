#include "bench/capture_common.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace snapkit::bench::capture {

namespace fs = std::filesystem;

TConfig Cfg;

double Median(std::vector<double> V) {
  if (V.empty()) return 0;
  std::sort(V.begin(), V.end());
  std::size_t N = V.size();
  return N % 2 ? V[N / 2] : (V[N / 2 - 1] + V[N / 2]) / 2;
}

double Max(const std::vector<double>& V) {
  return V.empty() ? 0 : *std::max_element(V.begin(), V.end());
}

pid_t Spawn(const std::vector<std::string>& Argv, int InFd, int OutFd,
            const std::string& CgroupProcs) {
  std::vector<char*> C;
  for (const auto& A : Argv) C.push_back(const_cast<char*>(A.c_str()));
  C.push_back(nullptr);
  std::string Log = Cfg.Tmp + "/stderr.log";
  pid_t Pid = fork();
  if (Pid < 0) throw std::runtime_error("fork");
  if (Pid == 0) {
    if (!CgroupProcs.empty()) {
      // "0" is the writer itself; a child that cannot be counted must not run.
      int G = open(CgroupProcs.c_str(), O_WRONLY);
      if (G < 0 || write(G, "0\n", 2) != 2) _exit(126);
      close(G);
    }
    int Null = open("/dev/null", O_RDWR);
    dup2(InFd >= 0 ? InFd : Null, 0);
    dup2(OutFd >= 0 ? OutFd : Null, 1);
    int L = open(Log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    dup2(L >= 0 ? L : Null, 2);
    setpgid(0, 0);  // so that a stuck one goes with all it started
    execvp(C[0], C.data());
    _exit(127);
  }
  setpgid(Pid, Pid);
  return Pid;
}

int WaitFor(pid_t Pid, int TimeoutMs) {
  double End = NowMs() + TimeoutMs;
  for (;;) {
    int Status;
    if (waitpid(Pid, &Status, WNOHANG) == Pid) return ExitCode(Status);
    if (NowMs() > End) {
      kill(-Pid, SIGKILL);
      waitpid(Pid, &Status, 0);
      return -1;
    }
    g_usleep(2000);
  }
}

std::string Slurp(const std::string& Path) {
  std::ifstream In(Path);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

std::vector<pid_t> Descendants(pid_t Root) {
  std::multimap<pid_t, pid_t> Children;
  if (DIR* D = opendir("/proc")) {
    while (dirent* E = readdir(D)) {
      pid_t Pid = static_cast<pid_t>(std::atol(E->d_name));
      if (Pid <= 0) continue;
      std::string Stat = Slurp("/proc/" + std::string(E->d_name) + "/stat");
      std::size_t Paren = Stat.rfind(')');
      if (Paren == std::string::npos) continue;
      char State;
      int Parent;
      if (std::sscanf(Stat.c_str() + Paren + 1, " %c %d", &State, &Parent) == 2)
        Children.emplace(Parent, Pid);
    }
    closedir(D);
  }
  std::vector<pid_t> Out, Todo{Root};
  while (!Todo.empty()) {
    pid_t P = Todo.back();
    Todo.pop_back();
    auto [A, B] = Children.equal_range(P);
    for (auto It = A; It != B; ++It) {
      Out.push_back(It->second);
      Todo.push_back(It->second);
    }
  }
  return Out;
}

long RollupKiB(pid_t Pid, const char* Key) {
  std::ifstream In("/proc/" + std::to_string(Pid) + "/smaps_rollup");
  std::string Line;
  std::size_t K = std::strlen(Key);
  while (std::getline(In, Line))
    if (Line.compare(0, K, Key) == 0) return std::atol(Line.c_str() + K);
  return 0;
}

bool IsChromium(pid_t Pid) {
  std::error_code Ec;
  std::string Exe = fs::read_symlink("/proc/" + std::to_string(Pid) + "/exe", Ec).string();
  return Exe.find("chromium") != std::string::npos;
}

double ChromiumPssMiB(const std::vector<pid_t>& Pids) {
  long KiB = 0;
  for (pid_t P : Pids)
    if (IsChromium(P)) KiB += RollupKiB(P, "Pss:");
  return KiB / 1024.0;
}

std::string MakeTempDir(const std::string& Prefix) {
  std::string T = Cfg.Tmp + "/" + Prefix + "XXXXXX";
  if (!mkdtemp(T.data())) throw std::runtime_error("mkdtemp");
  return T;
}

bool NonEmptyFile(const std::string& Path) {
  struct stat St;
  return stat(Path.c_str(), &St) == 0 && St.st_size > 0;
}

static std::vector<pid_t> Servers;

std::string StartServer(const std::vector<std::string>& Extra) {
  int Out[2];
  if (pipe(Out) != 0) throw std::runtime_error("pipe");
  fcntl(Out[0], F_SETFD, FD_CLOEXEC);
  std::vector<std::string> Argv{"python3", Cfg.Scripts + "/serve.py"};
  Argv.insert(Argv.end(), Extra.begin(), Extra.end());
  pid_t Pid = Spawn(Argv, -1, Out[1]);
  Servers.push_back(Pid);
  close(Out[1]);
  FILE* F = fdopen(Out[0], "r");
  char Line[64];
  bool Got = std::fgets(Line, sizeof Line, F) != nullptr;
  fclose(F);
  if (!Got)
    throw std::runtime_error("the page server did not start; see " + Cfg.Tmp + "/stderr.log");
  return "http://127.0.0.1:" + std::string(Line, std::strcspn(Line, "\n"));
}

void StopServers() {
  for (pid_t Pid : Servers) {
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
  }
  Servers.clear();
}

}  // namespace snapkit::bench::capture
