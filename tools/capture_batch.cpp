#include "tools/capture_batch.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "host/forms/application.h"
#include "tools/capture_job.h"

namespace snapkit::tools {

namespace {

std::string Trim(const std::string& S) {
  std::size_t A = S.find_first_not_of(" \t\r\n");
  if (A == std::string::npos) return std::string();
  return S.substr(A, S.find_last_not_of(" \t\r\n") + 1 - A);
}

// "0042-example.com_docs_index.html.png": readable, and unique within the
// list whatever the URLs are.
std::string NameFor(int Line, const std::string& Url, const std::string& Format) {
  std::string Rest = Url.substr(Url.find("://") == std::string::npos ? 0 : Url.find("://") + 3);
  std::string Safe;
  for (char C : Rest) {
    if (Safe.size() >= 80) break;
    bool Ok = std::isalnum(static_cast<unsigned char>(C)) || C == '.' || C == '-';
    if (Ok)
      Safe += C;
    else if (!Safe.empty() && Safe.back() != '_')
      Safe += '_';
  }
  while (!Safe.empty() && (Safe.back() == '_' || Safe.back() == '.')) Safe.pop_back();
  char Number[16];
  std::snprintf(Number, sizeof Number, "%04d", Line);
  return std::string(Number) + (Safe.empty() ? "" : "-" + Safe) + "." + Format;
}

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

std::vector<TBatchEntry> ReadBatchList(std::istream& List, const std::string& Format,
                                       int ShardIndex, int ShardCount) {
  std::vector<TBatchEntry> Entries;
  std::string Text;
  int Line = 0, Urls = 0;
  while (std::getline(List, Text)) {
    ++Line;
    Text = Trim(Text);
    if (Text.empty() || Text[0] == '#') continue;
    if (Urls++ % ShardCount != ShardIndex - 1) continue;
    TBatchEntry E{Line, Text, std::string()};
    std::size_t Space = Text.find_first_of(" \t");
    if (Space != std::string::npos) {
      E.Url = Text.substr(0, Space);
      E.Name = Trim(Text.substr(Space));
      if (E.Name.find('/') != std::string::npos || E.Name == "." || E.Name == "..")
        throw TCaptureFailure{ceFailed,
                              "line " + std::to_string(Line) +
                                  ": the output name must be a plain file name: " + E.Name};
    }
    if (E.Name.empty()) E.Name = NameFor(Line, E.Url, Format);
    Entries.push_back(std::move(E));
  }
  return Entries;
}

int CaptureBatch(const TCaptureOptions& Options) {
  std::vector<TBatchEntry> Entries;
  if (Options.Batch == "-") {
    Entries = ReadBatchList(std::cin, Options.Format, Options.ShardIndex, Options.ShardCount);
  } else {
    std::ifstream List(Options.Batch);
    if (!List) throw TCaptureFailure{ceFailed, "cannot read the list " + Options.Batch};
    Entries = ReadBatchList(List, Options.Format, Options.ShardIndex, Options.ShardCount);
  }
  if (::mkdir(Options.OutDir.c_str(), 0777) != 0 && errno != EEXIST)
    throw TCaptureFailure{ceFailed, "cannot create the folder " + Options.OutDir};
  std::ofstream Report;
  if (!Options.Report.empty()) {
    Report.open(Options.Report, std::ios::trunc);
    if (!Report) throw TCaptureFailure{ceFailed, "cannot write the report " + Options.Report};
  }

  std::size_t Done = 0, Failed = 0;
  TProgress Progress(Options.ShowProgress, Entries.size());
  auto Finished = [&](const TCaptureResult& R) {
    ++Done;
    if (R.Code != ceOk) {
      ++Failed;
      if (Options.ShowProgress) std::fputc('\n', stderr);
      std::fprintf(stderr, "snapkit: %s: %s\n", R.Url.c_str(), R.Error.c_str());
    }
    if (Report) {
      nlohmann::ordered_json Line = {
          {"url", R.Url},
          {"file", R.Code == ceOk ? nlohmann::ordered_json(R.File) : nullptr},
          {"size", R.Bytes},
          {"width", R.Width},
          {"height", R.Height},
          {"milliseconds", R.Milliseconds},
          {"started", IsoTime(R.StartedUs)},
          {"error", R.Code == ceOk ? nullptr : nlohmann::ordered_json(R.Error)}};
      Report << Line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
      Report.flush();
    }
    Progress.Update(Done, Failed);
  };

  host::TComponent Form(nullptr);
  std::vector<std::unique_ptr<TCaptureJob>> Jobs;
  for (int i = 0; i < Options.Jobs && std::size_t(i) < Entries.size(); ++i)
    Jobs.push_back(std::make_unique<TCaptureJob>(Form, Options, Finished));
  std::size_t Next = 0;
  Progress.Update(0, 0);
  while (Done < Entries.size()) {
    for (auto& Job : Jobs) {
      if (Job->Busy() || Next >= Entries.size()) continue;
      const TBatchEntry& E = Entries[Next++];
      std::string File = Options.OutDir + "/" + E.Name;
      try {
        Job->Start(PageUrl(E.Url), File);
      } catch (const TCaptureFailure& F) {
        Finished(TCaptureResult{E.Url, File, F.Code, F.Message});
      }
    }
    bool Waiting = false;
    for (auto& Job : Jobs) Waiting = Waiting || Job->Busy();
    if (Waiting) host::Application->HandleMessage();
  }
  return Failed ? ceFailed : ceOk;
}

}  // namespace snapkit::tools
