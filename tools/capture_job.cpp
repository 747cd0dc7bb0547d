#include "tools/capture_job.h"

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "host/system/exception.h"
#include "imaging/phash.h"
#include "tools/change_watch.h"
#include "tools/picture_output.h"

namespace snapkit::tools {

namespace {

// Captures on one control before it is replaced by a fresh one.
constexpr int RecycleAfter = 100;

}  // namespace

std::string IsoTime(std::int64_t UnixUs) {
  GDateTime* T = g_date_time_new_from_unix_utc(UnixUs / G_USEC_PER_SEC);
  if (!T) return std::string();
  gchar* Text = g_date_time_format(T, "%Y-%m-%dT%H:%M:%S");
  char Ms[8];
  std::snprintf(Ms, sizeof Ms, ".%03dZ", int(UnixUs % G_USEC_PER_SEC / 1000));
  std::string Out = std::string(Text) + Ms;
  g_free(Text);
  g_date_time_unref(T);
  return Out;
}

TCaptureJob::TCaptureJob(host::TComponent& Form, const TCaptureOptions& Options, TDone Done)
    : FOptions(Options), FDone(std::move(Done)), FForm(Form) {
  if (FOptions.Watch.Changed) FWatch = std::make_unique<TChangeWatch>(FOptions.Watch);
  MakeLens();
}

void TCaptureJob::MakeLens() {
  FLens = new TSitelens(&FForm);
  FCapturesOnPage = 0;
  FLens->SetWebPageView(FOptions.View);
  FLens->SetViewWidth(unsigned(FOptions.AreaWidth));
  FLens->SetViewHeight(unsigned(FOptions.AreaHeight));
  FLens->SetProportional(!FOptions.Stretch);
  FLens->SetRenderDelay(unsigned(FOptions.DelayMs));
  if (FOptions.Quality) FLens->SetJPEGQuality(FOptions.Quality);
  FLens->SetWebPLossless(FOptions.Lossless);
  host::TWebBrowser& B = FLens->Browser();
  B.SetDeviceScaleFactor(FOptions.Scale);
  B.SetSelector(FOptions.Selector);
  B.SetWaitFor(FOptions.WaitFor);
  B.SetHideSelector(FOptions.Hide);
  B.SetScript(FOptions.Script);
  B.SetStyleSheet(FOptions.StyleSheet);
  B.SetUserAgent(FOptions.UserAgent);
  B.SetExtraHeaders(FOptions.Headers);
  B.SetColorScheme(FOptions.ColorScheme);
  B.SetAllowLocal(!FOptions.NoLocal);
  // Ads, trackers and logins; the lists were checked with the options.
  B.SetFilterLists(FOptions.FilterLists);
  B.SetBlockAds(FOptions.BlockAds);
  B.SetBlockTrackers(FOptions.BlockTrackers);
  B.SetCredentials(FOptions.Auth);
  // The job keeps the time itself: a page still loading when it runs out
  // is a failure, not a capture of what has arrived so far.
  FLens->Browser().SetLoadTimeout(0);
  FLens->OnWebImageReady = [this](host::TObject*, const std::string& Url) { Ready(Url); };
  FLens->OnCaptureError = [this](host::TObject*, const std::string&, const std::string& Message) {
    if (!FBusy) return;
    switch (FLens->LastFailure()) {
      case host::nfUnreachable:
        return Finish(ceUnreachable, "cannot load the page: " + Message);
      case host::nfTimeout:
        return Finish(ceTimedOut, Message);
      default:
        return Finish(FLens->StatusCode() >= 400 ? ceHttpError : ceFailed, Message);
    }
  };
}

// A fresh control has a page (and renderer) of its own: nothing a page that
// ran out of time still does, and nothing a renderer piled up over many
// pages, carries over to the next one.
void TCaptureJob::RecycleLens() {
  delete FLens;
  // Its pictures leave holes in the heap that a long batch would otherwise
  // keep resident.
  malloc_trim(0);
  MakeLens();
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
  FResult.StartedUs = g_get_real_time();
  if (FCapturesOnPage >= RecycleAfter) RecycleLens();
  ++FCapturesOnPage;
  FDeadline = g_timeout_add(guint(FOptions.TimeoutMs), &TCaptureJob::Expired, this);
  FLens->Browser().SetNavigateTimeout(FOptions.TimeoutMs);
  FLens->Browser().SetRenderTimeout(FOptions.TimeoutMs);
  try {
    // The same address twice in a row must load again too.
    FLens->setUrl(std::string());
    FLens->setUrl(Url);
  } catch (const host::EAddressRefused& E) {
    // Refused before anything was sent: the address itself is at fault.
    Finish(ceMalformedUrl, "cannot load the page: " + E.Why());
  } catch (const host::Exception& E) {
    Finish(ceMalformedUrl, "cannot load the page: " + E.Message());
  }
}

gboolean TCaptureJob::Expired(gpointer Self) {
  auto* Job = static_cast<TCaptureJob*>(Self);
  Job->FDeadline = 0;
  const std::string Waiting = Job->FLens->Browser().Waiting();
  try {
    Job->FLens->Browser().Stop();
  } catch (const host::Exception&) {
  }
  if (!Job->FBusy) return G_SOURCE_REMOVE;  // ended meanwhile, and reported
  char Text[64];
  std::snprintf(Text, sizeof Text, "no complete page within %g s",
                Job->FOptions.TimeoutMs / 1000.0);
  // Not from a callback of the control: nothing of it is on the stack.
  Job->RecycleLens();
  Job->Finish(ceTimedOut, Waiting.empty() ? Text : Text + (" (still waiting for " + Waiting + ")"));
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
  FResult.Unchanged = false;
  if (FWatch && !FWatch->Measure(FLens->Capture()).Write) {
    R.Unchanged = FResult.Unchanged = true;
    return R;
  }
  try {
    std::string Why;
    std::optional<TPictureFormat> Format = OutputFormat(File, FOptions.Given, &Why);
    if (!Format) throw host::Exception(Why);
    WritePicture(File, *Format, [&](const std::string& Temporary) {
      if (FLens->SaveToFile(Temporary, FOptions.Width, FOptions.Height) != 0)
        throw host::Exception("nothing was captured");
    });
  } catch (const host::Exception& E) {
    R.Code = ceFailed;
    R.Error = E.Message();
  }
  // A full page past the control's bounds was cut at the bottom (or the
  // right): the page's own size says by how much.
  if (FOptions.View == wvFull && R.Code == ceOk) {
    try {
      host::OleVariant Body = FLens->Browser().OleObject()["Document"]["Body"];
      R.PageWidth = int(Body["ScrollWidth"].AsInteger());
      R.PageHeight = int(Body["ScrollHeight"].AsInteger());
      R.CapturedWidth = int(FLens->ViewWidth());
      R.CapturedHeight = int(FLens->ViewHeight());
      R.Clipped = R.PageWidth > R.CapturedWidth || R.PageHeight > R.CapturedHeight;
    } catch (const std::exception&) {
      // The page is gone: its picture was written whole as far as is known.
    }
  }
  R.HasPHash = R.Code == ceOk;
  // The capture, not the thumbnail: the hash hardly changes with scale, and
  // one pass over the capture is cheaper than reading the file back.
  if (R.HasPHash) R.PHash = PerceptualHash(FLens->Capture());
  FResult.HasPHash = R.HasPHash;
  FResult.PHash = R.PHash;
  FResult.Clipped = R.Clipped;
  FResult.PageWidth = R.PageWidth;
  FResult.PageHeight = R.PageHeight;
  FResult.CapturedWidth = R.CapturedWidth;
  FResult.CapturedHeight = R.CapturedHeight;
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
  if (Code == ceOk && !R.Unchanged) {
    struct stat St;
    if (stat(R.File.c_str(), &St) == 0) R.Bytes = St.st_size;
    R.Width = FLens->WrittenWidth();
    R.Height = FLens->WrittenHeight();
  }
  if (FWatch) FWatch->Record(R);
  FDone(R);
}

}  // namespace snapkit::tools
