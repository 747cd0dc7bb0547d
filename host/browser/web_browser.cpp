// The control, its page and navigation. Every step after Navigate runs from
// the message loop: a command's answer, an event of the page or a timer.

#include "host/browser/web_browser.h"

#include <glib.h>

#include <algorithm>
#include <vector>

#include "host/browser/web_browser_page.h"
#include "host/forms/application.h"

namespace host {

namespace {

std::string ToUtf8(const std::wstring& Text) {
  static_assert(sizeof(wchar_t) == sizeof(gunichar), "wide strings hold UCS-4 here");
  std::vector<gunichar> Chars(Text.begin(), Text.end());
  // GLib refuses the whole text for one lone surrogate half or a value past
  // Unicode; such a character becomes the replacement character instead.
  for (gunichar& C : Chars)
    if (!g_unichar_validate(C)) C = 0xFFFD;
  glong Bytes = 0;
  gchar* Utf8 = g_ucs4_to_utf8(Chars.data(), glong(Chars.size()), nullptr, &Bytes, nullptr);
  if (!Utf8) return std::string();
  std::string Out(Utf8, static_cast<std::size_t>(Bytes));
  g_free(Utf8);
  return Out;
}

// A string member of an answer; anything else is a browser we do not
// understand, reported as such rather than as a JSON library error.
std::string Field(const json& Object, const char* Key) {
  auto it = Object.is_object() ? Object.find(Key) : Object.end();
  if (it == Object.end() || !it->is_string())
    throw EOleException(std::string("Unexpected answer from the browser: no ") + Key);
  return it->get<std::string>();
}

// Raised at once, before anything is sent: nothing of it can load.
void CheckAddress(const std::string& URL) {
  GError* Error = nullptr;
  GUri* Uri = g_uri_parse(URL.c_str(), G_URI_FLAGS_PARSE_RELAXED, &Error);
  if (!Uri) {
    g_clear_error(&Error);
    throw EOleException("Cannot navigate to invalid URL: " + URL);
  }
  std::string Scheme = g_uri_get_scheme(Uri);
  const char* Host = g_uri_get_host(Uri);
  bool HasHost = Host && *Host;
  bool BadHost = HasHost && std::string(Host).find_first_of(" ^<>\"{}|\\`") != std::string::npos;
  g_uri_unref(Uri);
  std::transform(Scheme.begin(), Scheme.end(), Scheme.begin(),
                 [](unsigned char C) { return char(g_ascii_tolower(char(C))); });
  bool Web = Scheme == "http" || Scheme == "https";
  if ((Web && (!HasHost || BadHost)) || (!Web && BadHost))
    throw EOleException("Cannot navigate to invalid URL: " + URL);
  if (!Web && Scheme != "file" && Scheme != "data" && Scheme != "about")
    throw EOleException("The browser does not load " + Scheme + ": addresses: " + URL);
}

// A page told to stop loading that has not stopped after this long is
// stuck in its own script.
constexpr int StopGraceMs = 2000;

}  // namespace

TWebBrowser::TWebBrowser(TComponent* AOwner) : TWinControl(AOwner) { SetBounds(0, 0, 300, 150); }

TWebBrowser::~TWebBrowser() {
  Watch(wNone, 0);
  ClosePage();
}

// ---- the page --------------------------------------------------------------

TWebBrowser::TPage* TWebBrowser::LivePage() {
  TChromiumBrowser& C = Chromium();
  if (FPage && C.Running() && FPage->Generation == C.Generation() &&
      !C.SessionGone(FPage->SessionId))
    return FPage.get();
  return nullptr;
}

void TWebBrowser::ClosePage() {
  if (!FPage) return;
  FPage->Link->Browser = nullptr;
  TChromiumBrowser& C = Chromium();
  if (!FPage->SessionId.empty()) C.Unsubscribe(FPage->SessionId);
  if (C.Running() && C.Generation() == FPage->Generation && !FPage->TargetId.empty()) {
    try {
      C.Send("Target.closeTarget", {{"targetId", FPage->TargetId}});
    } catch (const Exception&) {
    }
  }
  FPage.reset();
  FPicture.reset();
}

// Makes a page for FPendingUrl and sends it there once it is set up. The
// commands of one session run in the order sent, so only the answers that
// carry something are waited for.
void TWebBrowser::OpenPage() {
  ClosePage();
  TChromiumBrowser& C = Chromium();
  try {
    C.Start();
  } catch (const Exception& E) {
    Fail(nfBrowserLost, E.Message());
    return;
  }
  FPage = std::make_unique<TPage>();
  TPage* P = FPage.get();
  P->Generation = C.Generation();
  P->Link = std::make_shared<TPageLink>(TPageLink{this, P->Generation, std::string()});
  std::weak_ptr<TPageLink> Link = P->Link;
  std::weak_ptr<bool> Alive = FAlive;
  auto Mine = [this, Alive, Link]() -> TPage* {
    if (Alive.expired()) return nullptr;
    auto L = Link.lock();
    return L && L->Browser == this && FPage && FPage->Link == L ? FPage.get() : nullptr;
  };
  auto Failed = [this](const TDevToolsReply& R) {
    Fail(R.Kind == TDevToolsReply::rkLost ? nfBrowserLost : nfCrashed,
         "The browser could not open a page: " + R.Message);
  };
  C.Command(
      "Target.createTarget", {{"url", "about:blank"}}, {},
      [this, Mine, Failed](const TDevToolsReply& R) {
        TPage* P = Mine();
        if (!P) {
          // Freed or replaced meanwhile: the target is nobody's.
          if (R.Ok() && R.Result.contains("targetId"))
            Chromium().Send("Target.closeTarget", {{"targetId", R.Result["targetId"]}});
          return;
        }
        if (!R.Ok()) return Failed(R);
        P->TargetId = Field(R.Result, "targetId");
        Chromium().Command(
            "Target.attachToTarget", {{"targetId", P->TargetId}, {"flatten", true}}, {},
            [this, Mine, Failed](const TDevToolsReply& R) {
              TPage* P = Mine();
              if (!P) return;
              if (!R.Ok()) return Failed(R);
              TChromiumBrowser& C = Chromium();
              P->SessionId = Field(R.Result, "sessionId");
              P->Link->SessionId = P->SessionId;
              SubscribePage();
              for (const char* Method : {"Page.enable", "Network.enable"})
                C.Send(Method, json::object(), P->SessionId);
              // Pictures show the page, not the browser's scroll bars; the page
              // is laid out over the whole viewport, as other headless captures are.
              C.Send("Emulation.setScrollbarsHidden", {{"hidden", true}}, P->SessionId);
              // A print dialog would hold the page's script for good.
              C.Send("Page.addScriptToEvaluateOnNewDocument",
                     {{"source", "window.print = () => {};"}}, P->SessionId);
              SetUpPage(P->SessionId);
              ApplyViewport();
              C.Command(
                  "Page.getFrameTree", json::object(), P->SessionId,
                  [this, Mine, Failed](const TDevToolsReply& R) {
                    TPage* P = Mine();
                    if (!P) return;
                    if (!R.Ok()) return Failed(R);
                    P->MainFrameId = Field(
                        R.Result.value("frameTree", json::object()).value("frame", json::object()),
                        "id");
                    P->Ready = true;
                    if (!FPendingUrl.empty()) SendNavigate();
                  });
            });
      });
}

void TWebBrowser::SubscribePage() {
  Chromium().Subscribe(FPage->SessionId, [this](const TDevToolsEvent& E) {
    try {
      HandleEvent(E);
    } catch (...) {
      Application->HandleException(this);
    }
  });
}

void TWebBrowser::PageCommand(const std::string& Method, const json& Params, TReplyStep Step) {
  TPage* P = LivePage();
  if (!P || !P->Ready) return;
  std::weak_ptr<TPageLink> Link = P->Link;
  unsigned Serial = P->Step;
  std::weak_ptr<bool> Alive = FAlive;
  Chromium().Command(Method, Params, P->SessionId,
                     [this, Alive, Link, Serial, Step](const TDevToolsReply& R) {
                       if (Alive.expired()) return;
                       if (TPage* P = Current(Link, Serial)) Step(*P, R);
                     });
}

json TWebBrowser::PageCall(const std::string& Method, const json& Params, int TimeoutMs) {
  TPage* P = LivePage();
  if (!P || !P->Ready) throw EOleException("The browser holds no page");
  TChromiumBrowser& C = Chromium();
  return C.Call(Method, Params, P->SessionId, std::min(TimeoutMs, C.Options().CommandTimeoutMs));
}

void TWebBrowser::ApplyViewport() {
  ++FViewSerial;
  if (!FPage || FPage->SessionId.empty()) return;
  // A zero width or height would switch the override off.
  try {
    Chromium().Send("Emulation.setDeviceMetricsOverride",
                    {{"width", std::max(Width(), 1)},
                     {"height", std::max(Height(), 1)},
                     {"deviceScaleFactor", FScaleFactor},
                     {"mobile", false}},
                    FPage->SessionId);
  } catch (const Exception&) {
    // A lost browser is reported from the loop.
  }
}

void TWebBrowser::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  int OldWidth = Width(), OldHeight = Height();
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (Width() != OldWidth || Height() != OldHeight) ApplyViewport();
}

// ---- navigation ------------------------------------------------------------

void TWebBrowser::Navigate(const std::wstring& URL) { Navigate(ToUtf8(URL)); }

void TWebBrowser::Navigate(const std::string& URL) {
  CheckAddress(URL);
  if (!FAllowLocal && IsFileUrl(URL))
    throw EOleException("The browser does not load local files here: " + URL);
  FFailedStatus = 0;
  // A browser or page lost a moment ago, before the loop could tell, is
  // this navigation's business, not a failure to report.
  if (FPage && !FPage->SessionId.empty()) {
    TChromiumBrowser& C = Chromium();
    C.Unsubscribe(FPage->SessionId);
    C.CheckAlive();
    if (LivePage())
      SubscribePage();
    else
      ClosePage();
  }
  bool Cancel = false;
  if (OnBeforeNavigate2) {
    TWebBrowserBeforeNavigate2 Handler = OnBeforeNavigate2;
    Handler(this, GetControlInterface(), OleVariant(URL), OleVariant(), OleVariant(), OleVariant(),
            OleVariant(), Cancel);
  }
  if (Cancel) return;
  // Whatever the page was doing belongs to the navigation being replaced.
  FPicture.reset();
  ++FViewSerial;
  FUrl = FPendingUrl = URL;
  FReadyState = READYSTATE_LOADING;
  if (FPage) {
    ++FPage->Step;
    FPage->Preparing = false;
    FPage->AwaitingNavigate = false;
    FPage->ExpectedLoader.clear();
    FPage->MainStarted = false;
    FPage->Frames.clear();
    FPage->SelfNavigations = 0;
    FPage->Snapshot = nullptr;
  }
  Watch(wNavigate, FNavigateTimeout);
  if (FPage && FPage->Ready && LivePage()) return CheckHeapThenNavigate();
  if (FPage && !FPage->Ready && LivePage()) return;  // sent once the page is set up
  ClosePage();
  // Opened from the loop, so that not even a browser's start-up holds the
  // caller.
  struct TPosted {
    TWebBrowser* Browser;
    std::weak_ptr<bool> Alive;
  };
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer Data) -> gboolean {
        auto* Posted = static_cast<TPosted*>(Data);
        TWebBrowser* B = Posted->Browser;
        if (Posted->Alive.lock() && !B->FPage && !B->FPendingUrl.empty()) B->OpenPage();
        return G_SOURCE_REMOVE;
      },
      new TPosted{this, FAlive}, [](gpointer Data) { delete static_cast<TPosted*>(Data); });
}

TWebBrowser::TPage* TWebBrowser::Current(const std::weak_ptr<TPageLink>& Link, unsigned Step) {
  auto L = Link.lock();
  if (!L || L->Browser != this || !FPage || FPage->Link != L || FPage->Step != Step) return nullptr;
  return FPage.get();
}

void TWebBrowser::SendNavigate() {
  TPage* P = LivePage();
  if (!P || !P->Ready) return OpenPage();
  std::string URL = std::move(FPendingUrl);
  FPendingUrl.clear();
  ++P->Step;
  P->Barrier = Chromium().LastSequence();
  P->AwaitingNavigate = true;
  P->ExpectedLoader.clear();
  P->MainStarted = false;
  P->Preparing = false;
  P->Frames.clear();
  P->MainStatus = 0;
  P->Snapshot = nullptr;
  PageCommand("Page.navigate", {{"url", URL}},
              [this](TPage& P, const TDevToolsReply& R) { NavigateAnswered(P, R); });
}

void TWebBrowser::NavigateAnswered(TPage& P, const TDevToolsReply& R) {
  P.AwaitingNavigate = false;
  if (R.Kind == TDevToolsReply::rkLost) return Fail(nfBrowserLost, R.Message);
  if (R.Kind == TDevToolsReply::rkPageGone)
    return Fail(nfCrashed, "The page crashed (its renderer ended)");
  if (R.Kind == TDevToolsReply::rkError) return Fail(nfFailed, R.Message);
  if (auto Text = R.Result.find("errorText");
      Text != R.Result.end() && Text->is_string() && !Text->empty()) {
    // A renderer that died under the navigation aborts it; its crash says more.
    if (Chromium().SessionGone(P.SessionId))
      return Fail(nfCrashed, "The page crashed (its renderer ended)");
    std::string Why = Text->get<std::string>();
    // A loop of redirects, or an address the browser would not fetch,
    // reached the server; the rest never got an answer from it.
    bool Reached = Why == "net::ERR_TOO_MANY_REDIRECTS" || Why == "net::ERR_ABORTED" ||
                   Why == "net::ERR_BLOCKED_BY_CLIENT" || Why == "net::ERR_UNSAFE_REDIRECT" ||
                   Why == "net::ERR_INVALID_RESPONSE" || Why == "net::ERR_INVALID_AUTH_CREDENTIALS";
    if (Why == "net::ERR_TOO_MANY_REDIRECTS") Why += " (the address redirects in a loop)";
    if (Why == "net::ERR_ABORTED") {
      // A renderer killed under the navigation aborts it too, and its crash
      // is reported a moment later.
      FAborted = Why + " (a download, which is refused, or a cancelled load)";
      return Watch(wAborted, AbortGraceMs);
    }
    return Fail(Reached ? nfFailed : nfUnreachable, Why);
  }
  auto Loader = R.Result.find("loaderId");
  if (Loader == R.Result.end() || !Loader->is_string()) {
    // Within the same document: nothing loads, but the caller waits for a
    // completed document all the same.
    P.MainUrl = FUrl;
    MainDocumentLoaded();
    return;
  }
  if (P.ExpectedLoader.empty()) P.ExpectedLoader = Loader->get<std::string>();
  Watch(FLoadTimeout > 0 ? wLoad : wNone, FLoadTimeout);
}

void TWebBrowser::Fail(TNavigateFailure Kind, const std::string& Reason) {
  Watch(wNone, 0);
  std::string Url = FUrl.empty() && FPage ? FPage->MainUrl : FUrl;
  FPendingUrl.clear();
  FFailedStatus = FPage ? FPage->MainStatus : 0;
  // The page is given up: what it still does (an error page that retries,
  // a script that spins) stays with it.
  ClosePage();
  FReadyState = READYSTATE_UNINITIALIZED;
  if (!OnNavigateError) return;
  TWebBrowserNavigateError Handler = OnNavigateError;
  Handler(this, Url, Kind, Reason);
}

void TWebBrowser::Stop() {
  Watch(wNone, 0);
  FPendingUrl.clear();
  if (!FPage) return;
  ++FPage->Step;
  FPage->Preparing = false;
  FPage->ExpectedLoader.clear();
  FPage->Frames.clear();
  if (FReadyState != READYSTATE_UNINITIALIZED) FReadyState = READYSTATE_COMPLETE;
  // Not waited for: a page busy in its own script would hold up everything
  // else on the loop.
  if (TPage* P = LivePage(); P && P->Ready) {
    try {
      Chromium().Send("Page.stopLoading", json::object(), P->SessionId);
    } catch (const Exception&) {
    }
  }
}

std::string TWebBrowser::LocationURL() { return FPage ? FPage->MainUrl : std::string(); }

int TWebBrowser::StatusCode() const { return FPage ? FPage->MainStatus : FFailedStatus; }

// ---- the time limits -------------------------------------------------------

void TWebBrowser::Watch(TWatch What, int Ms) {
  if (FWatch) g_source_remove(FWatch);
  FWatch = 0;
  FWatching = What;
  if (What == wNone || Ms <= 0) {
    FWatching = wNone;
    return;
  }
  FWatch = g_timeout_add(static_cast<guint>(Ms), &TWebBrowser::WatchExpired, this);
}

int TWebBrowser::WatchExpired(void* Self) {
  auto* B = static_cast<TWebBrowser*>(Self);
  B->FWatch = 0;
  TWatch What = B->FWatching;
  B->FWatching = wNone;
  try {
    switch (What) {
      case wNavigate:
        B->Fail(nfTimeout, "The browser did not load the page within " +
                               std::to_string(B->FNavigateTimeout) + " ms");
        break;
      case wLoad:
        // Stopping completes the page with what it has; the usual events
        // follow, unless its script never yields.
        if (TPage* P = B->LivePage())
          Chromium().Send("Page.stopLoading", json::object(), P->SessionId);
        B->Watch(wStopping, StopGraceMs);
        break;
      case wStopping:
        B->Fail(nfTimeout, "The page did not finish loading within " +
                               std::to_string(B->FLoadTimeout) + " ms (its script does not yield)");
        break;
      case wAborted:
        if (TPage* P = B->FPage.get(); P && Chromium().SessionGone(P->SessionId))
          B->Fail(nfCrashed, "The page crashed (its renderer ended)");
        else
          B->Fail(nfFailed, B->FAborted);
        break;
      case wRender:
        B->Fail(nfTimeout, "The page was not rendered within " + std::to_string(B->FRenderTimeout) +
                               " ms of loading");
        break;
      case wNone:
        break;
    }
  } catch (...) {
    Application->HandleException(B);
  }
  return G_SOURCE_REMOVE;
}

}  // namespace host
