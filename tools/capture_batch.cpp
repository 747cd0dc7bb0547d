#include "tools/capture_batch.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "host/forms/application.h"
#include "tools/capture_job.h"

namespace snapkit::tools {

namespace {

class TProgress {
 public:
  TProgress(bool Show, std::size_t Total) : FShow(Show), FTotal(Total) {}
  void Update(std::size_t Done, std::size_t Failed) {
    if (!FShow) return;
    int Filled = FTotal ? int(Done * 30 / FTotal) : 30;
    std::fprintf(stderr, "\rcapturing [%.*s%*s] %zu/%zu, %zu failed", Filled,
                 "##############################", 30 - Filled, "", Done, FTotal, Failed);
    if (Done == FTotal) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  bool FShow;
  std::size_t FTotal;
};

}  // namespace

void ReportClipped(const TCaptureResult& R) {
  std::fprintf(stderr, "snapkit: %s: the page is %dx%d, the capture was cut at %dx%d\n",
               R.Url.c_str(), R.PageWidth, R.PageHeight, R.CapturedWidth, R.CapturedHeight);
}

int CaptureBatch(const TCaptureOptions& Options) {
  const std::string ListName = Options.Batch == "-" ? "standard input" : Options.Batch;
  TBatchList List;
  if (Options.Batch == "-") {
    List = ReadBatchList(std::cin, Options.Given, Options.ShardIndex, Options.ShardCount);
  } else {
    std::ifstream In(Options.Batch);
    if (!In) throw TCaptureFailure{ceFailed, "cannot read the list " + Options.Batch};
    List = ReadBatchList(In, Options.Given, Options.ShardIndex, Options.ShardCount);
  }
  // One file written twice would hold only the last page, reported as two.
  if (!List.Clashes.empty()) throw TCaptureFailure{ceUsage, ListName + ": " + List.Clashes};
  const std::vector<TBatchEntry>& Entries = List.Entries;
  if (::mkdir(Options.OutDir.c_str(), 0777) != 0 && errno != EEXIST)
    throw TCaptureFailure{
        ceFailed, "cannot create the folder " + Options.OutDir + ": " + std::strerror(errno)};
  if (std::string Why = OutputFolderProblem(Options.OutDir + "/x"); !Why.empty())
    throw TCaptureFailure{ceFailed, Options.OutDir + ": " + Why};
  std::ofstream Report;
  if (!Options.Report.empty()) {
    Report.open(Options.Report, std::ios::trunc);
    if (!Report) throw TCaptureFailure{ceFailed, "cannot write the report " + Options.Report};
  }

  std::size_t Done = 0, Failed = 0;
  TProgress Progress(Options.ShowProgress, Entries.size());
  auto Finished = [&](const TBatchEntry& E, const TCaptureResult& R) {
    ++Done;
    if (R.Code != ceOk || R.Clipped) {
      if (Options.ShowProgress) std::fputc('\n', stderr);
      if (!E.Problem.empty())
        std::fprintf(stderr, "snapkit: %s, line %d: %s\n", ListName.c_str(), E.Line,
                     E.Problem.c_str());
      else if (R.Code != ceOk)
        std::fprintf(stderr, "snapkit: %s: %s\n", R.Url.c_str(), R.Error.c_str());
      else
        ReportClipped(R);
    }
    if (R.Code != ceOk) ++Failed;
    if (Report) {
      nlohmann::ordered_json Line = {
          {"line", E.Line},
          {"url", R.Url},
          {"file", R.Code == ceOk ? nlohmann::ordered_json(R.File) : nullptr},
          {"size", R.Bytes},
          {"width", R.Width},
          {"height", R.Height},
          {"clipped", R.Clipped},
          {"milliseconds", R.Milliseconds},
          {"started", R.StartedUs ? nlohmann::ordered_json(IsoTime(R.StartedUs)) : nullptr},
          {"error", R.Code == ceOk ? nullptr : nlohmann::ordered_json(R.Error)}};
      Report << Line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
      Report.flush();
    }
    Progress.Update(Done, Failed);
  };

  // The bad lines first: they are known before anything is loaded.
  std::vector<const TBatchEntry*> Good;
  Progress.Update(0, 0);
  for (const TBatchEntry& E : Entries) {
    if (E.Problem.empty()) {
      Good.push_back(&E);
      continue;
    }
    TCaptureResult R;
    R.Url = E.Url;
    R.Code = ceFailed;
    R.Error = "line " + std::to_string(E.Line) + ": " + E.Problem;
    Finished(E, R);
  }

  if (!Good.empty()) StartBrowser(Options);
  host::TComponent Form(nullptr);
  std::vector<std::unique_ptr<TCaptureJob>> Jobs;
  std::vector<const TBatchEntry*> Current(std::size_t(Options.Jobs), nullptr);
  for (int i = 0; i < Options.Jobs && std::size_t(i) < Good.size(); ++i)
    Jobs.push_back(std::make_unique<TCaptureJob>(
        Form, Options, [&, i](const TCaptureResult& R) { Finished(*Current[i], R); }));
  std::size_t Next = 0;
  while (Done < Entries.size()) {
    for (std::size_t i = 0; i < Jobs.size(); ++i) {
      if (Jobs[i]->Busy() || Next >= Good.size()) continue;
      const TBatchEntry& E = *Good[Next++];
      Current[i] = &E;
      std::string File = Options.OutDir + "/" + E.Name;
      try {
        Jobs[i]->Start(PageUrl(E.Url, !Options.NoLocal), File);
      } catch (const TCaptureFailure& F) {
        Finished(E, TCaptureResult{E.Url, File, F.Code, F.Message});
      }
    }
    bool Waiting = false;
    for (auto& Job : Jobs) Waiting = Waiting || Job->Busy();
    if (Waiting) host::Application->HandleMessage();
  }
  return Failed ? ceFailed : ceOk;
}

}  // namespace snapkit::tools
