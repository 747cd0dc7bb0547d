#include "tools/capture_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "host/system/exception.h"

namespace snapkit::tools {

namespace {

// A name beside File with File's extension (which chooses the format), so
// that the rename that publishes the picture stays on one file system.
std::string TemporaryName(const std::string& File) {
  static unsigned Counter = 0;
  std::size_t Slash = File.find_last_of('/');
  std::string Dir = Slash == std::string::npos ? std::string() : File.substr(0, Slash + 1);
  std::string Base = File.substr(Dir.size());
  std::size_t Dot = Base.find_last_of('.');
  std::string Ext = Dot == std::string::npos ? std::string() : Base.substr(Dot);
  return Dir + "." + Base + ".part-" + std::to_string(getpid()) + "-" + std::to_string(++Counter) +
         Ext;
}

}  // namespace

TCaptureJob::TCaptureJob(host::TComponent& Form, const TCaptureOptions& Options, TDone Done)
    : FOptions(Options), FDone(std::move(Done)), FLens(new TSitelens(&Form)) {
  FLens->SetWebPageView(Options.View);
  FLens->SetViewWidth(unsigned(Options.AreaWidth));
  FLens->SetViewHeight(unsigned(Options.AreaHeight));
  FLens->SetProportional(!Options.Stretch);
  FLens->SetRenderDelay(unsigned(Options.DelayMs));
  // The job keeps the time itself: a page still loading when it runs out
  // is a failure, not a capture of what has arrived so far.
  FLens->Browser().SetLoadTimeout(0);
  FLens->OnWebImageReady = [this](host::TObject*, const std::string& Url) { Ready(Url); };
  FLens->OnCaptureError = [this](host::TObject*, const std::string&, const std::string& Message) {
    if (FBusy) Finish(ceFailed, Message);
  };
}

TCaptureJob::~TCaptureJob() {
  if (FDeadline) g_source_remove(FDeadline);
  delete FLens;
}

void TCaptureJob::Start(const std::string& Url, const std::string& File) {
  FResult = TCaptureResult{};
  FResult.Url = Url;
  FResult.File = File;
  FBusy = true;
  FStarted = g_get_monotonic_time();
  FDeadline = g_timeout_add(guint(FOptions.TimeoutMs), &TCaptureJob::Expired, this);
  FLens->Browser().SetNavigateTimeout(FOptions.TimeoutMs);
  try {
    // The same address twice in a row must load again too.
    FLens->setUrl(std::string());
    FLens->setUrl(Url);
  } catch (const host::Exception& E) {
    bool Late = g_get_monotonic_time() - FStarted >= gint64(FOptions.TimeoutMs) * 1000;
    // The browser's reason comes with the address, which the report has.
    std::string Why = E.Message();
    if (Why.size() > Url.size() + 2 &&
        Why.compare(Why.size() - Url.size() - 2, std::string::npos, ": " + Url) == 0)
      Why.resize(Why.size() - Url.size() - 2);
    Finish(Late ? ceTimedOut : ceUnreachable, "cannot load the page: " + Why);
  }
}

gboolean TCaptureJob::Expired(gpointer Self) {
  auto* Job = static_cast<TCaptureJob*>(Self);
  Job->FDeadline = 0;
  try {
    Job->FLens->Browser().Stop();
  } catch (const host::Exception&) {
  }
  char Text[64];
  std::snprintf(Text, sizeof Text, "no complete page within %g s",
                Job->FOptions.TimeoutMs / 1000.0);
  Job->Finish(ceTimedOut, Text);
  return G_SOURCE_REMOVE;
}

void TCaptureJob::Ready(const std::string& Url) {
  // Pictures after the job has ended only count when capturing again and
  // again.
  if (!FBusy && FOptions.EveryMs == 0) return;
  if (int Status = FLens->Browser().StatusCode(); Status >= 400) {
    Finish(ceHttpError, "the server answered with HTTP status " + std::to_string(Status));
    return;
  }
  TCaptureResult R = Save(Url, FResult.File);
  Finish(R.Code, R.Error);
}

TCaptureResult TCaptureJob::Save(const std::string& Url, const std::string& File) {
  TCaptureResult R;
  R.Url = Url;
  R.File = File;
  std::string Temporary = TemporaryName(File);
  try {
    if (FLens->SaveToFile(Temporary, FOptions.Width, FOptions.Height) != 0)
      throw host::Exception("nothing was captured");
    if (std::rename(Temporary.c_str(), File.c_str()) != 0)
      throw host::EFCreateError("Cannot create file \"" + File + "\"");
  } catch (const host::Exception& E) {
    ::unlink(Temporary.c_str());
    R.Code = ceFailed;
    R.Error = E.Message();
  }
  return R;
}

void TCaptureJob::Finish(TCaptureExit Code, const std::string& Error) {
  if (FDeadline) g_source_remove(FDeadline);
  FDeadline = 0;
  FBusy = false;
  TCaptureResult R = FResult;
  R.Code = Code;
  R.Error = Error;
  R.Milliseconds = (g_get_monotonic_time() - FStarted) / 1000;
  if (Code == ceOk) {
    struct stat St;
    if (stat(R.File.c_str(), &St) == 0) R.Bytes = St.st_size;
    // The size SaveToFile gave the picture.
    R.Width = FLens->Capture().Width();
    R.Height = FLens->Capture().Height();
    if (FOptions.Width > 0 && FOptions.Stretch) {
      R.Width = FOptions.Width;
      R.Height = FOptions.Height;
    } else if (FOptions.Width > 0) {
      ScaleToFit(R.Width, R.Height, FOptions.Width, FOptions.Height);
    }
  }
  FDone(R);
}

}  // namespace snapkit::tools
