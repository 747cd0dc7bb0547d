// --shard: the tasks of a scheduler's array share one list, so each line
// must fall to exactly one task however the array is numbered or a task is
// submitted again.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "tools/capture_batch.h"
#include "tools/capture_command.h"
#include "tools/convert_command.h"
#include "tools/scheduler_shard.h"

namespace snapkit::tools {
namespace {

TEST(CaptureBatchList, ShardsSplitTheURLLinesWithNoneLostOrTakenTwice) {
  std::string List = "# pages\n";
  for (int i = 0; i < 23; ++i)
    List += "http://127.0.0.1/p" + std::to_string(i) + (i % 5 ? "\n" : "\n\n");
  List += "http://127.0.0.1/named  front.png\n";
  std::multiset<std::string> Seen;
  for (int N : {1, 2, 3, 7, 30}) {
    Seen.clear();
    for (int K = 1; K <= N; ++K) {
      std::istringstream In(List);
      for (const TBatchEntry& E : ReadBatchList(In, TPictureFormat::Jpeg, K, N).Entries)
        Seen.insert(E.Url + " " + E.Name);
    }
    EXPECT_EQ(Seen.size(), 24u) << N;
    EXPECT_EQ(std::set<std::string>(Seen.begin(), Seen.end()).size(), 24u) << N;
  }
  EXPECT_EQ(Seen.count("http://127.0.0.1/named front.png"), 1u);
  EXPECT_EQ(Seen.count("http://127.0.0.1/p0 0002-127.0.0.1_p0.jpg"), 1u);
}

// --shard auto as each scheduler sets its variables: for a task, its share
// and which variables said so, or the usage error.
TEST(CaptureShardAuto, SchedulersVariablesGiveTheShardOrAUsageError) {
  struct TCase {
    std::map<std::string, std::string> Env;
    int Given;         // N of --shard auto/N, 0 for none
    int K, N;          // 0 when it is a usage error
    std::string Says;  // part of the source, or of the error
  };
  const std::string Id = "SLURM_ARRAY_TASK_ID", Min = "SLURM_ARRAY_TASK_MIN",
                    Max = "SLURM_ARRAY_TASK_MAX", Tasks = "SLURM_ARRAY_TASK_COUNT",
                    Index = "JOB_COMPLETION_INDEX", Ours = "SNAPKIT_SHARD_COUNT";
  const TCase Cases[] = {
      // Slurm: the array numbered from 0 takes the shards in order.
      {{{Id, "0"}, {Min, "0"}, {Max, "3"}, {Tasks, "4"}}, 0, 1, 4, "SLURM_ARRAY_TASK_ID=0"},
      {{{Id, "3"}, {Min, "0"}, {Max, "3"}}, 0, 4, 4, "SLURM_ARRAY_TASK_MAX=3"},
      {{{Id, "2"}, {Tasks, "4"}}, 0, 3, 4, "SLURM_ARRAY_TASK_COUNT=4"},
      // Numbered from 1, the last task takes the first shard.
      {{{Id, "4"}, {Min, "1"}, {Max, "4"}, {Tasks, "4"}}, 0, 1, 4, "Slurm"},
      // Submitted again alone, with N given: the same share as before.
      {{{Id, "2"}, {Min, "2"}, {Max, "2"}, {Tasks, "1"}}, 4, 3, 4, "--shard auto/4"},
      {{{Id, "2"}, {Min, "2"}, {Max, "2"}, {Tasks, "1"}, {Ours, "4"}},
       0,
       3,
       4,
       "SNAPKIT_SHARD_COUNT=4"},
      {{{Id, "6"}, {Min, "4"}, {Max, "7"}, {Ours, "4"}}, 4, 3, 4, "SLURM_ARRAY_TASK_MIN=4"},
      {{{Id, ""}, {Index, "1"}}, 2, 2, 2, "Kubernetes"},
      {{{Id, "1"}}, 0, 0, 0, "does not tell its array's size"},
      {{{Id, "4"}, {Min, "0"}, {Max, "12"}, {Tasks, "4"}}, 0, 0, 0, "not numbered one by one"},
      {{{Id, "5"}, {Min, "0"}, {Max, "3"}}, 0, 0, 0, "outside the array's bounds"},
      {{{Id, "0"}, {Min, "0"}}, 0, 0, 0, "come together"},
      {{{Id, "0"}, {Min, "0"}, {Max, "7"}},
       4,
       0,
       0,
       "the array has 8 tasks but the list is split in 4"},
      {{{Id, "x"}, {Tasks, "4"}}, 0, 0, 0, "SLURM_ARRAY_TASK_ID=x is not a whole number"},
      {{{Id, "-1"}, {Tasks, "4"}}, 0, 0, 0, "is not a whole number from 0"},
      {{{Id, "1"}, {Tasks, "4"}, {Ours, "5"}}, 4, 0, 0, "disagree"},
      {{{Id, "1"}, {Tasks, "4"}, {Ours, "0"}}, 0, 0, 0, "SNAPKIT_SHARD_COUNT must be from 1"},
      // Kubernetes: the index counts from 0, the count is ours to give.
      {{{Index, "0"}}, 3, 1, 3, "JOB_COMPLETION_INDEX=0"},
      {{{Index, "2"}, {Ours, "3"}}, 0, 3, 3, "SNAPKIT_SHARD_COUNT=3"},
      {{{Index, "3"}}, 3, 0, 0, "JOB_COMPLETION_INDEX=3 is not below the count 3"},
      {{{Index, "0"}}, 0, 0, 0, "does not tell its completions"},
      // Neither, or both.
      {{}, 0, 0, 0, "found no scheduler's task"},
      {{{Ours, "4"}}, 4, 0, 0, "found no scheduler's task"},
      {{{Id, "0"}, {Min, "0"}, {Max, "1"}, {Index, "0"}}, 2, 0, 0, "both a Slurm array task"},
  };
  for (const TCase& C : Cases) {
    std::string Trace;
    for (const auto& [Name, Value] : C.Env) Trace += Name + "=" + Value + " ";
    SCOPED_TRACE(Trace + "/" + std::to_string(C.Given));
    auto Env = [&](const char* Name) -> const char* {
      auto It = C.Env.find(Name);
      return It == C.Env.end() ? nullptr : It->second.c_str();
    };
    try {
      TSchedulerShard S = ShardFromScheduler(Env, C.Given);
      EXPECT_EQ(S.Index, C.K);
      EXPECT_EQ(S.Count, C.N);
      EXPECT_NE(S.Source.find(C.Says), std::string::npos) << S.Source;
    } catch (const TUsageError& E) {
      EXPECT_EQ(C.K, 0) << E.Message;
      EXPECT_NE(E.Message.find(C.Says), std::string::npos) << E.Message;
    }
  }
}

// Whatever IDs an array of N tasks has, its tasks take every shard once,
// and a task submitted again alone takes the one it had.
TEST(CaptureShardAuto, AnArraysTasksTakeEveryShardOnce) {
  for (int First : {0, 1, 5}) {
    std::set<int> Shards;
    for (int Id = First; Id < First + 4; ++Id) {
      std::map<std::string, std::string> Env = {
          {"SLURM_ARRAY_TASK_ID", std::to_string(Id)},
          {"SLURM_ARRAY_TASK_MIN", std::to_string(First)},
          {"SLURM_ARRAY_TASK_MAX", std::to_string(First + 3)}};
      auto Get = [&](const char* Name) -> const char* {
        return Env.count(Name) ? Env[Name].c_str() : nullptr;
      };
      TSchedulerShard S = ShardFromScheduler(Get, 0);
      Shards.insert(S.Index);
      Env["SLURM_ARRAY_TASK_MIN"] = Env["SLURM_ARRAY_TASK_MAX"] = std::to_string(Id);
      EXPECT_EQ(ShardFromScheduler(Get, 4).Index, S.Index) << Id;
    }
    EXPECT_EQ(Shards, (std::set<int>{1, 2, 3, 4})) << First;
  }
  // And through the command line, from the process's environment.
  setenv("JOB_COMPLETION_INDEX", "1", 1);
  TCaptureOptions O = ParseCaptureArgs({"--batch", "l", "--out-dir", "d", "--shard", "auto/3"});
  EXPECT_EQ(O.ShardIndex, 2);
  EXPECT_EQ(O.ShardCount, 3);
  EXPECT_THROW(ParseCaptureArgs({"--batch", "l", "--out-dir", "d", "--shard", "auto"}),
               TUsageError);
  unsetenv("JOB_COMPLETION_INDEX");
  EXPECT_THROW(ParseCaptureArgs({"--batch", "l", "--out-dir", "d", "--shard", "auto/3"}),
               TUsageError);
}

}  // namespace
}  // namespace snapkit::tools
