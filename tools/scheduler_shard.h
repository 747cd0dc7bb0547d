#pragma once
// --shard auto: this task's share of a list, as a job scheduler numbers its
// tasks (a Slurm array job, a Kubernetes indexed Job).

#include <functional>
#include <string>

namespace snapkit::tools {

struct TSchedulerShard {
  int Index = 1;  // K, from 1
  int Count = 1;  // N
  // Which scheduler and which of its variables gave them, for the message.
  std::string Source;
};

// Env reads a variable (null when unset). Count is N when the command line
// gave one (--shard auto/N), else 0. Slurm: the task ID names the shard,
// (ID mod N) + 1, so an array numbered 0..N-1 takes them in order and a task
// submitted again alone takes the same share; N is SNAPKIT_SHARD_COUNT or
// the array's size. Kubernetes: JOB_COMPLETION_INDEX + 1, with N given.
// Raises TUsageError when neither scheduler is found, both are, or the
// values disagree.
TSchedulerShard ShardFromScheduler(const std::function<const char*(const char*)>& Env, int Count);

}  // namespace snapkit::tools
