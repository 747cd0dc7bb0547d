#include "tools/scheduler_shard.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "tools/convert_command.h"

namespace snapkit::tools {

namespace {

constexpr long MaxShards = 1000000;

// A variable the scheduler set: a whole number from 0, or nothing when it
// is unset. Anything else is not what a scheduler writes.
std::optional<long> Number(const std::function<const char*(const char*)>& Env, const char* Name,
                           std::string& Source) {
  const char* Text = Env(Name);
  if (!Text || !*Text) return std::nullopt;
  char* End = nullptr;
  errno = 0;
  long V = std::strtol(Text, &End, 10);
  if (*End || V < 0 || errno == ERANGE || V > 100000000)
    throw TUsageError{std::string("--shard auto: ") + Name + "=" + Text +
                      " is not a whole number from 0"};
  Source += std::string(Source.empty() ? "" : ", ") + Name + "=" + Text;
  return V;
}

}  // namespace

TSchedulerShard ShardFromScheduler(const std::function<const char*(const char*)>& Env, int Count) {
  std::string Ours;
  std::optional<long> OurCount = Number(Env, "SNAPKIT_SHARD_COUNT", Ours);
  if (OurCount && (*OurCount < 1 || *OurCount > MaxShards))
    throw TUsageError{"--shard auto: SNAPKIT_SHARD_COUNT must be from 1 to " +
                      std::to_string(MaxShards)};
  if (OurCount && Count && *OurCount != Count)
    throw TUsageError{"--shard auto/" + std::to_string(Count) +
                      " and SNAPKIT_SHARD_COUNT=" + std::to_string(*OurCount) + " disagree"};
  long N = Count ? Count : OurCount.value_or(0);
  std::string CountSource = Count ? "--shard auto/" + std::to_string(Count) : Ours;

  std::string Slurm, Kube;
  std::optional<long> Id = Number(Env, "SLURM_ARRAY_TASK_ID", Slurm);
  std::optional<long> Index = Number(Env, "JOB_COMPLETION_INDEX", Kube);
  if (Id && Index)
    throw TUsageError{"--shard auto: both a Slurm array task (" + Slurm +
                      ") and a Kubernetes indexed Job (" + Kube + ") are set; say --shard K/N"};
  if (!Id && !Index)
    throw TUsageError{
        "--shard auto found no scheduler's task: SLURM_ARRAY_TASK_ID (a Slurm array job) "
        "or JOB_COMPLETION_INDEX (a Kubernetes indexed Job) is unset; say --shard K/N"};

  TSchedulerShard S;
  if (Index) {
    if (!N)
      throw TUsageError{
          "--shard auto: a Kubernetes indexed Job does not tell its "
          "completions; say --shard auto/N or set SNAPKIT_SHARD_COUNT"};
    if (*Index >= N)
      throw TUsageError{"--shard auto: JOB_COMPLETION_INDEX=" + std::to_string(*Index) +
                        " is not below the count " + std::to_string(N)};
    S.Index = int(*Index + 1);
    S.Count = int(N);
    S.Source = "Kubernetes (" + Kube + ", " + CountSource + ")";
    return S;
  }

  std::optional<long> Min = Number(Env, "SLURM_ARRAY_TASK_MIN", Slurm);
  std::optional<long> Max = Number(Env, "SLURM_ARRAY_TASK_MAX", Slurm);
  std::optional<long> Tasks = Number(Env, "SLURM_ARRAY_TASK_COUNT", Slurm);
  if (Min.has_value() != Max.has_value())
    throw TUsageError{
        "--shard auto: SLURM_ARRAY_TASK_MIN and SLURM_ARRAY_TASK_MAX come "
        "together (" +
        Slurm + ")"};
  // The array's size, when it tells: from its bounds, and its count agrees
  // (a stepped array such as 0-15:4 leaves shards to nobody).
  long Size = 0;
  if (Min) {
    if (*Min > *Id || *Id > *Max)
      throw TUsageError{"--shard auto: the task ID is outside the array's bounds (" + Slurm + ")"};
    Size = *Max - *Min + 1;
    if (Tasks && *Tasks != Size)
      throw TUsageError{"--shard auto: the array is not numbered one by one (" + Slurm +
                        "); say --shard auto/N or --shard K/N"};
  } else if (Tasks) {
    Size = *Tasks;
  }
  if (!N) {
    if (!Size)
      throw TUsageError{"--shard auto: the Slurm task does not tell its array's size (" + Slurm +
                        "); say --shard auto/N or set SNAPKIT_SHARD_COUNT"};
    N = Size;
    CountSource = "the array's size";
  } else if (Size > N) {
    // More tasks than shards: some would take one share twice.
    throw TUsageError{"--shard auto: the array has " + std::to_string(Size) +
                      " tasks but the list is split in " + std::to_string(N) + " (" + Slurm + ")"};
  }
  if (N > MaxShards)
    throw TUsageError{"--shard auto: more than " + std::to_string(MaxShards) + " shards (" + Slurm +
                      ")"};
  S.Index = int(*Id % N + 1);
  S.Count = int(N);
  S.Source =
      "Slurm (" + Slurm + (CountSource == "the array's size" ? "" : ", " + CountSource) + ")";
  return S;
}

}  // namespace snapkit::tools
