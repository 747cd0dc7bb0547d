#include "tools/capture_batch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "host/browser/chromium_browser.h"
#include "host/forms/application.h"
#include "tools/batch_report.h"
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

// After the first SIGTERM, pages under way get this long to finish; the
// browser layer ends the program a little later whatever happens.
constexpr int StopGraceMs = 3000;
constexpr int StopForceMs = 4500;

// The report, appended to with one write(2) a line: a run killed at any
// moment leaves whole lines, and at worst one cut short at the end.
class TReportFile {
 public:
  void Open(const std::string& File, bool Resume) {
    FFd = ::open(File.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (Resume ? 0 : O_TRUNC),
                 0666);
    if (FFd < 0)
      throw TCaptureFailure{ceFailed,
                            "cannot write the report " + File + ": " + std::strerror(errno)};
  }
  // What an earlier run left after its last whole line goes.
  void CutAfter(std::size_t WholeBytes) {
    struct stat St;
    if (::fstat(FFd, &St) == 0 && std::size_t(St.st_size) > WholeBytes)
      if (::ftruncate(FFd, off_t(WholeBytes)) != 0)
        throw TCaptureFailure{ceFailed,
                              std::string("cannot mend the report: ") + std::strerror(errno)};
  }
  explicit operator bool() const { return FFd >= 0; }
  void Append(const std::string& Line) {
    const std::string Text = Line + '\n';
    ssize_t N = ::write(FFd, Text.data(), Text.size());
    if (N != ssize_t(Text.size()))
      std::fprintf(stderr, "snapkit: the report lost a line: %s\n",
                   N < 0 ? std::strerror(errno) : "the disk is full");
  }
  ~TReportFile() {
    if (FFd >= 0) ::close(FFd);
  }

 private:
  int FFd = -1;
};

// Pictures half written by a run that was killed, of this shard's names
// only: other machines may be writing theirs into the folder right now.
void RemoveLeftovers(const std::string& Folder, const std::vector<TBatchEntry>& Entries) {
  std::set<std::string> Names;
  for (const TBatchEntry& E : Entries) Names.insert(E.Name);
  DIR* D = ::opendir(Folder.c_str());
  if (!D) return;
  std::vector<std::string> Stale;
  while (dirent* Entry = ::readdir(D)) {
    const std::string Name = Entry->d_name;
    const std::size_t Part = Name.find(".part-");
    if (Name[0] == '.' && Part != std::string::npos && Names.count(Name.substr(1, Part - 1)))
      Stale.push_back(Folder + "/" + Name);
  }
  ::closedir(D);
  for (const std::string& File : Stale) ::unlink(File.c_str());
}

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
  if (!Options.ShardSource.empty())
    std::fprintf(stderr, "snapkit: --shard auto: shard %d/%d from %s\n", Options.ShardIndex,
                 Options.ShardCount, Options.ShardSource.c_str());
  // What earlier runs wrote, by the report's last line for each list line.
  std::set<int> Skip;
  TReportLines Before;
  if (Options.Resume) {
    std::ifstream In(Options.Report, std::ios::binary);
    if (In) Before = ReadReportLines(In);
    for (const TBatchEntry& E : Entries)
      if (auto It = Before.Final.find(E.Line);
          It != Before.Final.end() && WrittenWhole(It->second, E, Options.OutDir))
        Skip.insert(E.Line);
    std::fprintf(stderr, "snapkit: --resume: %zu of %zu lines already written, %zu to go\n",
                 Skip.size(), Entries.size(), Entries.size() - Skip.size());
  }
  RemoveLeftovers(Options.OutDir, Entries);
  TReportFile Report;
  if (!Options.Report.empty()) {
    Report.Open(Options.Report, Options.Resume);
    if (Options.Resume) Report.CutAfter(Before.WholeBytes);
  }

  std::size_t Done = Skip.size(), Failed = 0, Written = 0, Abandoned = 0;
  int Stopped = 0;
  TProgress Progress(Options.ShowProgress, Entries.size());
  auto Finished = [&](const TBatchEntry& E, const TCaptureResult& R) {
    ++Done;
    // A scheduler signals the browser too: what fails once the batch was
    // asked to stop is left for --resume, not reported as the page's fault.
    if (Stopped && R.Code != ceOk && E.Problem.empty()) {
      ++Abandoned;
      return;
    }
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
    if (R.Code == ceOk) ++Written;
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
          {"error", R.Code == ceOk ? nullptr : nlohmann::ordered_json(R.Error)},
          {"fonts", R.Fonts.empty() ? nullptr : nlohmann::ordered_json(R.Fonts)}};
      AddPictureFields(Line, R);
      Report.Append(Line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    Progress.Update(Done, Failed);
  };

  // The bad lines first: they are known before anything is loaded.
  std::vector<const TBatchEntry*> Good;
  Progress.Update(Done, 0);
  for (const TBatchEntry& E : Entries) {
    if (Skip.count(E.Line)) continue;
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

  // A scheduler's SIGTERM: no page is started after it, and those under
  // way get a little while.
  host::TChromiumBrowser::SetSignalHook([&](int Signal) { Stopped = Signal; }, StopForceMs);
  // The hook points into this frame: it goes with it, however it is left.
  struct TUnhook {
    ~TUnhook() { host::TChromiumBrowser::SetSignalHook(nullptr, 0); }
  } Unhook;
  if (!Good.empty()) StartBrowser(Options);
  host::TComponent Form(nullptr);
  std::vector<std::unique_ptr<TCaptureJob>> Jobs;
  std::vector<const TBatchEntry*> Current(std::size_t(Options.Jobs), nullptr);
  for (int i = 0; i < Options.Jobs && std::size_t(i) < Good.size(); ++i)
    Jobs.push_back(std::make_unique<TCaptureJob>(
        Form, Options, [&, i](const TCaptureResult& R) { Finished(*Current[i], R); }));
  std::size_t Next = 0;
  while (Done < Entries.size() && !Stopped) {
    for (std::size_t i = 0; i < Jobs.size(); ++i) {
      if (Jobs[i]->Busy() || Next >= Good.size()) continue;
      // A signal that came with the last page's end is heard before the
      // next one starts (and before a browser lost to it is started again).
      host::Application->ProcessMessages();
      if (Stopped) break;
      if (Jobs[i]->Busy()) continue;
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
  if (Stopped) {
    auto Busy = [&] {
      std::size_t N = 0;
      for (auto& Job : Jobs) N += Job->Busy();
      return N;
    };
    host::Application->RunUntil([&] { return Busy() == 0; }, StopGraceMs);
    if (Options.ShowProgress) std::fputc('\n', stderr);
    std::fprintf(stderr,
                 "snapkit: stopped by %s: %zu written, %zu failed, %zu abandoned, %zu not "
                 "started; --resume captures the rest\n",
                 ("SIG" + std::string(sigabbrev_np(Stopped))).c_str(), Written, Failed,
                 Abandoned + Busy(), Good.size() - Next);
    std::fflush(stderr);
    // Every report line is in the file already; the browser goes with
    // its profile, and the program ends as the signal says.
    host::TChromiumBrowser::EndBySignal(Stopped);
  }
  return Failed ? ceFailed : ceOk;
}

}  // namespace snapkit::tools
