// The control and the life of its navigations: Navigate makes one, a new
// one replaces it, and it ends as complete, failed or stopped. Every step
// after Navigate runs from the message loop.

#include "host/browser/web_browser.h"

#include <glib.h>

#include "host/browser/page_session.h"
#include "host/browser/url_policy.h"
#include "host/forms/application.h"

namespace host {

namespace {

// A page told to stop loading that has not stopped after this long is
// stuck in its own script.
constexpr int StopGraceMs = 2000;

}  // namespace

TWebBrowser::TWebBrowser(TComponent* AOwner) : TWinControl(AOwner) { SetBounds(0, 0, 300, 150); }

TWebBrowser::~TWebBrowser() {
  if (FNav) FNav->End();
  ClosePage();
}

TOleEnum TWebBrowser::ReadyState() { return FNav ? FNav->ReadyState : READYSTATE_UNINITIALIZED; }

bool TWebBrowser::Busy() {
  TOleEnum State = ReadyState();
  return State != READYSTATE_COMPLETE && State != READYSTATE_UNINITIALIZED;
}

std::string TWebBrowser::LocationURL() {
  return FNav && !FNav->Failure ? FNav->MainUrl : std::string();
}

int TWebBrowser::StatusCode() const { return FNav ? FNav->MainStatus : 0; }

void TWebBrowser::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  int OldWidth = Width(), OldHeight = Height();
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (Width() != OldWidth || Height() != OldHeight) ApplyViewport();
}

void TWebBrowser::Navigate(const std::wstring& URL) { Navigate(ToUtf8(URL)); }

void TWebBrowser::Navigate(const std::string& URL) {
  CheckAddress(URL);
  if (!FAllowLocal && IsFileUrl(URL))
    throw EAddressRefused("The browser does not load local files here", URL);
  auto N = std::make_shared<TNavigation>(*this, URL);
  N->Self = N;
  // The handler may cancel, navigate again or free the control; the
  // navigation being replaced goes on untouched until it says yes.
  TNavigationRef Old = std::exchange(FNav, N);
  bool Cancel = false;
  if (OnBeforeNavigate2) {
    TWebBrowserBeforeNavigate2 Handler = OnBeforeNavigate2;
    Handler(this, GetControlInterface(), OleVariant(URL), OleVariant(), OleVariant(), OleVariant(),
            OleVariant(), Cancel);
    if (N->Ended()) return;
  }
  if (Cancel) {
    N->End();
    FNav = std::move(Old);
    return;
  }
  if (Old) Old->End();
  N->SetDeadline(dlNavigate, FNavigateTimeout);
  // Begun from the loop, so that not even a browser's start holds the
  // caller.
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer Data) -> gboolean {
        auto N = static_cast<std::weak_ptr<TNavigation>*>(Data)->lock();
        if (N && !N->Ended()) N->Browser->Advance(N);
        return G_SOURCE_REMOVE;
      },
      new std::weak_ptr<TNavigation>(N),
      [](gpointer Data) { delete static_cast<std::weak_ptr<TNavigation>*>(Data); });
}

void TWebBrowser::Replace(TNavigationRef N) {
  if (FNav) FNav->End();
  N->Self = N;
  FNav = std::move(N);
}

void TWebBrowser::Fail(const TNavigationRef& N, TNavigateFailure Kind, const std::string& Reason) {
  if (N->Ended()) return;
  N->Failure = TFailure{Kind, Reason};
  N->Stage = stFailed;
  N->ReadyState = READYSTATE_UNINITIALIZED;
  N->Picture.reset();
  std::string Url = N->Url.empty() ? N->MainUrl : N->Url;
  // What it still holds (its timer) goes; the navigation stays, so that its
  // failure and status can be read.
  N->End();
  // The page is given up: what it still does (an error page that retries,
  // a script that spins) stays with it.
  ClosePage();
  if (!OnNavigateError) return;
  TWebBrowserNavigateError Handler = OnNavigateError;
  Handler(this, Url, Kind, Reason);
}

void TWebBrowser::Stop() {
  if (!FNav || FNav->Ended()) return;
  FNav->Stage = stStopped;
  if (FNav->ReadyState != READYSTATE_UNINITIALIZED) FNav->ReadyState = READYSTATE_COMPLETE;
  FNav->End();
  // Not waited for: a page busy in its own script would hold up everything
  // else on the loop.
  if (TPage* P = LivePage(); P && P->Ready) {
    try {
      Chromium().Send("Page.stopLoading", json::object(), P->SessionId);
    } catch (const Exception&) {
    }
  }
}

void TWebBrowser::DeadlinePassed(const TNavigationRef& N) {
  switch (N->Deadline()) {
    case dlNavigate:
      return Fail(
          N, nfTimeout,
          "The browser did not load the page within " + std::to_string(FNavigateTimeout) + " ms");
    case dlLoad:
      if (N->LoadFired)
        return Fail(N, nfTimeout,
                    "The page's network did not go idle within " + std::to_string(FLoadTimeout) +
                        " ms (it kept more than two requests going)");
      // Stopping completes the page with what it has; the usual events
      // follow, unless its script never yields.
      if (TPage* P = LivePage()) Chromium().Send("Page.stopLoading", json::object(), P->SessionId);
      return N->SetDeadline(dlStopping, StopGraceMs);
    case dlStopping:
      return Fail(N, nfTimeout,
                  "The page did not finish loading within " + std::to_string(FLoadTimeout) +
                      " ms (its script does not yield)");
    case dlAborted:
      if (FPage && Chromium().SessionGone(FPage->SessionId)) {
        TFailure F = PageCrashed();
        return Fail(N, F.Kind, F.Reason);
      }
      return Fail(N, nfFailed, N->AbortedWhy);
    case dlRender:
      return Fail(
          N, nfTimeout,
          "The page was not rendered within " + std::to_string(FRenderTimeout) + " ms of loading");
    case dlNone:
      return;
  }
}

}  // namespace host
