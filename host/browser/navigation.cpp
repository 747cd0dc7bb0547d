// The navigation object's life and its one timer.

#include "host/browser/navigation.h"

#include <algorithm>

#include "host/browser/devtools_client.h"
#include "host/forms/application.h"

namespace host {

TFailure PageCrashed() { return {nfCrashed, "The page crashed (its renderer ended)"}; }

std::optional<TFailure> ReplyFailure(const TDevToolsReply& R, const std::string& What) {
  switch (R.Kind) {
    case TDevToolsReply::rkResult:
      return std::nullopt;
    case TDevToolsReply::rkPageGone:
      return PageCrashed();
    case TDevToolsReply::rkLost:
      return TFailure{nfBrowserLost, R.Message};
    case TDevToolsReply::rkError:
      break;
  }
  return TFailure{nfFailed, What.empty() ? R.Message : What + ": " + R.Message};
}

TNavigation::TNavigation(TWebBrowser& Owner, std::string Url_, int SelfNavigations_)
    : Browser(&Owner), Url(std::move(Url_)), SelfNavigations(SelfNavigations_) {}

TNavigation::~TNavigation() { End(); }

void TNavigation::End() {
  Browser = nullptr;
  if (FTimer) g_source_remove(FTimer);
  FTimer = 0;
  FWakeAt = FDeadlineAt = 0;
  FDeadline = dlNone;
}

void TNavigation::Wake(int Ms) {
  if (Ended()) return;
  FWakeAt = g_get_monotonic_time() + gint64(std::max(Ms, 0)) * 1000;
  Arm();
}

void TNavigation::StopWaking() {
  if (!FWakeAt) return;
  FWakeAt = 0;
  Arm();
}

void TNavigation::SetDeadline(TDeadline What, int Ms) {
  if (Ended()) return;
  FDeadline = Ms > 0 ? What : dlNone;
  FDeadlineAt = FDeadline == dlNone ? 0 : g_get_monotonic_time() + gint64(Ms) * 1000;
  Arm();
}

void TNavigation::Arm() {
  if (FTimer) g_source_remove(FTimer);
  FTimer = 0;
  gint64 At = 0;
  for (gint64 T : {FWakeAt, FDeadlineAt})
    if (T && (!At || T < At)) At = T;
  if (!At) return;
  gint64 Ms = std::max<gint64>((At - g_get_monotonic_time() + 999) / 1000, 0);
  FTimer = g_timeout_add_full(
      G_PRIORITY_DEFAULT, guint(Ms), &TNavigation::Fired, new std::weak_ptr<TNavigation>(Self),
      [](gpointer D) { delete static_cast<std::weak_ptr<TNavigation>*>(D); });
}

gboolean TNavigation::Fired(gpointer Data) {
  std::shared_ptr<TNavigation> N = static_cast<std::weak_ptr<TNavigation>*>(Data)->lock();
  if (!N || N->Ended()) return G_SOURCE_REMOVE;
  N->FTimer = 0;
  const gint64 Now = g_get_monotonic_time();
  TWebBrowser* B = N->Browser;
  try {
    // Timers may fire a little early; what is due within a millisecond is due.
    if (N->FDeadlineAt && N->FDeadlineAt <= Now + 1000) {
      N->FDeadlineAt = 0;
      N->FWakeAt = 0;
      B->DeadlinePassed(N);
    } else if (N->FWakeAt && N->FWakeAt <= Now + 1000) {
      N->FWakeAt = 0;
      N->Arm();
      B->Advance(N);
    } else {
      N->Arm();
    }
  } catch (...) {
    Application->HandleException(N->Ended() ? nullptr : B);
  }
  return G_SOURCE_REMOVE;
}

}  // namespace host
