#pragma once
// The CPU time of a whole process tree (a capture command or a node script
// and every Chromium process it starts), and how it splits by process type.
//
// The total is exact with a cgroup v2 of its own (made when it can be, as
// root can here): the kernel charges every thread of every process that
// ever ran in it, those that have exited included, to cpu.stat's
// usage_usec. Reaped children's times (wait4, cutime/cstime) are not
// enough: not every Chromium helper is reaped by a parent within the tree
// (here wait4 saw a third to a half of the cgroup's total), so without a
// cgroup the total is the larger of wait4's figure and the sum of the
// samples below, a lower bound, and Method() says so.
// The split by type comes from /proc/PID/stat read at every sample, so it
// lacks what a process spent between its last sample and its end; that
// remainder is reported as "unattributed" so that the parts add up.

#include <sys/resource.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace snapkit::bench {

class TProcessTreeUsage {
 public:
  // The types reported, in order; Chromium's --type values, "browser" for
  // its main process, "driver" for the root (snapkit or node).
  static const std::vector<std::string>& Kinds();

  TProcessTreeUsage();
  ~TProcessTreeUsage();
  TProcessTreeUsage(const TProcessTreeUsage&) = delete;
  TProcessTreeUsage& operator=(const TProcessTreeUsage&) = delete;

  // The file a child writes itself into before it runs anything; empty
  // when the total comes from wait4.
  const std::string& CgroupProcs() const { return Procs; }
  const char* Method() const {
    return Procs.empty() ? "samples and wait4 (a lower bound)" : "cgroup v2 cpu.stat";
  }

  // Reads the CPU time of Root and its Descendants.
  void Sample(pid_t Root, const std::vector<pid_t>& Descendants);
  // After Root has been reaped with RootUsage: the total, and what is left.
  void Finish(const struct rusage& RootUsage);

  double TotalSeconds = 0;
  double ReapedSeconds = 0;  // what wait4 saw: equals the total when nothing was orphaned
  std::map<std::string, double> SecondsByKind;  // unattributed included

 private:
  struct TSeen {
    std::string Kind;
    double Seconds = 0;
  };
  std::map<std::pair<pid_t, unsigned long long>, TSeen> Seen;  // by pid and start time
  double UsageSeconds() const;
  std::string Dir, Procs;
  double Baseline = 0;
};

}  // namespace snapkit::bench
