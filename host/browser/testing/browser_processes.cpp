#include "host/browser/testing/browser_processes.h"

#include <dirent.h>
#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace host::testing {

namespace {

pid_t ParentOf(pid_t Pid) {
  std::ifstream In("/proc/" + std::to_string(Pid) + "/stat");
  std::string Stat((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  std::size_t Paren = Stat.rfind(')');
  if (Paren == std::string::npos || Paren + 4 >= Stat.size()) return 0;
  // ") S PPID ..."
  return static_cast<pid_t>(std::atoi(Stat.c_str() + Paren + 4));
}

std::string CommandLine(pid_t Pid) {
  std::ifstream In("/proc/" + std::to_string(Pid) + "/cmdline", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<pid_t> RendererPids(pid_t Browser) {
  std::vector<pid_t> Found;
  DIR* Proc = opendir("/proc");
  if (!Proc) return Found;
  while (dirent* Entry = readdir(Proc)) {
    pid_t Pid = static_cast<pid_t>(std::atoi(Entry->d_name));
    if (Pid <= 0) continue;
    // Chromium rewrites its children's command lines into one string.
    if (CommandLine(Pid).find("--type=renderer") == std::string::npos) continue;
    for (pid_t Up = ParentOf(Pid), Steps = 0; Up > 1 && Steps < 4; Up = ParentOf(Up), ++Steps)
      if (Up == Browser) {
        Found.push_back(Pid);
        break;
      }
  }
  closedir(Proc);
  return Found;
}

int KillRenderers(pid_t Browser) {
  std::vector<pid_t> Pids = RendererPids(Browser);
  for (pid_t Pid : Pids) kill(Pid, SIGKILL);
  return static_cast<int>(Pids.size());
}

}  // namespace host::testing
