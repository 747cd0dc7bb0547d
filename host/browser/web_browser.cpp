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

// Long enough for a renderer that is still loading to answer; a page that
// does not is in a script of its own and is replaced.
constexpr int HeapQueryMs = 1000;

}  // namespace

TWebBrowser::TWebBrowser(TComponent* AOwner) : TWinControl(AOwner) { SetBounds(0, 0, 300, 150); }

TWebBrowser::~TWebBrowser() {
  StopLoadWatch();
  ClosePage();
}

void TWebBrowser::ClosePage() {
  if (!FPage) return;
  FPage->Link->Browser = nullptr;
  Chromium().Unsubscribe(FPage->SessionId);
  TChromiumBrowser& C = Chromium();
  if (C.Running() && C.Generation() == FPage->Generation) {
    try {
      C.Send("Target.closeTarget", {{"targetId", FPage->TargetId}});
    } catch (const Exception&) {
    }
  }
  FPage.reset();
}

TWebBrowser::TPage& TWebBrowser::Page() {
  TChromiumBrowser& C = Chromium();
  if (FPage && C.Running() && FPage->Generation == C.Generation()) return *FPage;
  if (FPage) {
    FPage->Link->Browser = nullptr;
    C.Unsubscribe(FPage->SessionId);
    FPage.reset();
  }
  C.Start();
  auto P = std::make_unique<TPage>();
  P->Generation = C.Generation();
  P->TargetId = Field(C.Call("Target.createTarget", {{"url", "about:blank"}}), "targetId");
  try {
    P->SessionId =
        Field(C.Call("Target.attachToTarget", {{"targetId", P->TargetId}, {"flatten", true}}),
              "sessionId");
    C.Call("Page.enable", json::object(), P->SessionId);
    C.Call("Network.enable", json::object(), P->SessionId);
    // Pictures show the page, not the browser's scroll bars; the page is
    // laid out over the whole viewport, as other headless captures are.
    C.Call("Emulation.setScrollbarsHidden", {{"hidden", true}}, P->SessionId);
    json Tree = C.Call("Page.getFrameTree", json::object(), P->SessionId);
    P->MainFrameId =
        Field(Tree.value("frameTree", json::object()).value("frame", json::object()), "id");
  } catch (...) {
    if (C.Running()) C.Send("Target.closeTarget", {{"targetId", P->TargetId}});
    throw;
  }
  P->Link = std::make_shared<TPageLink>(TPageLink{this, P->Generation, P->SessionId});
  C.Subscribe(P->SessionId, [this](const TDevToolsEvent& E) {
    try {
      HandleEvent(E);
    } catch (...) {
      Application->HandleException(this);
    }
  });
  FPage = std::move(P);
  FReadyState = READYSTATE_UNINITIALIZED;
  ApplyViewport();
  FPage->Barrier = C.LastSequence();
  return *FPage;
}

json TWebBrowser::PageCall(const std::string& Method, const json& Params) {
  TPage& P = Page();
  return Chromium().Call(Method, Params, P.SessionId);
}

void TWebBrowser::ApplyViewport() {
  // A zero width or height would switch the override off.
  PageCall("Emulation.setDeviceMetricsOverride", {{"width", std::max(Width(), 1)},
                                                  {"height", std::max(Height(), 1)},
                                                  {"deviceScaleFactor", 1},
                                                  {"mobile", false}});
}

void TWebBrowser::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  int OldWidth = Width(), OldHeight = Height();
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (FPage && (Width() != OldWidth || Height() != OldHeight)) ApplyViewport();
}

// ---- navigation ------------------------------------------------------------

void TWebBrowser::Navigate(const std::wstring& URL) { Navigate(ToUtf8(URL)); }

void TWebBrowser::Navigate(const std::string& URL) {
  // The page being replaced is not reported lost: its loss is this
  // navigation's business.
  struct TNavigating {
    bool& Flag;
    bool Old;
    explicit TNavigating(bool& F) : Flag(F), Old(F) { Flag = true; }
    ~TNavigating() { Flag = Old; }
  } Navigating(FNavigating);
  DropLostPage();
  bool Cancel = false;
  if (OnBeforeNavigate2) {
    TWebBrowserBeforeNavigate2 Handler = OnBeforeNavigate2;
    Handler(this, GetControlInterface(), OleVariant(URL), OleVariant(), OleVariant(), OleVariant(),
            OleVariant(), Cancel);
  }
  if (Cancel) return;
  CloseHeavyPage();
  try {
    NavigateOnce(URL);
  } catch (const EBrowserLost&) {
    // Killed a moment ago, before anyone could notice: once more on a new
    // browser. A second loss is the browser's own fault.
    NavigateOnce(URL);
  } catch (const EDevToolsPageGone&) {
    ClosePage();
    NavigateOnce(URL);
  }
}

void TWebBrowser::DropLostPage() {
  TChromiumBrowser& C = Chromium();
  C.CheckAlive();
  if (FPage && C.SessionGone(FPage->SessionId)) {
    StopLoadWatch();
    ClosePage();
    FReadyState = READYSTATE_UNINITIALIZED;
  }
}

void TWebBrowser::CloseHeavyPage() {
  TChromiumBrowser& C = Chromium();
  if (!FPage || !C.Running() || C.Generation() != FPage->Generation) return;
  bool Heavy = FPageHeapLimit == 0;
  if (!Heavy) {
    try {
      json Heap = C.Call("Runtime.getHeapUsage", json::object(), FPage->SessionId, HeapQueryMs);
      Heavy = Heap.value("usedSize", 0.0) + Heap.value("embedderHeapUsedSize", 0.0) >=
              double(FPageHeapLimit);
    } catch (const EDevToolsPageGone&) {
      // Busy in a script of its own or crashed: no use to the next page.
      Heavy = true;
    } catch (const EBrowserLost&) {
      return;  // the navigation starts a new browser
    } catch (const EDevToolsError&) {
      return;  // a browser that cannot tell keeps its page
    }
  }
  if (!Heavy) return;
  StopLoadWatch();
  ClosePage();
}

void TWebBrowser::PageLost(const std::string& Reason) {
  StopLoadWatch();
  FReadyState = READYSTATE_UNINITIALIZED;
  if (FNavigating || !OnPageLost) return;
  TWebBrowserPageLost Handler = OnPageLost;
  Handler(this, Reason);
}

void TWebBrowser::NavigateOnce(const std::string& URL) {
  TChromiumBrowser& C = Chromium();
  TPage& P = Page();
  TOleEnum Before = FReadyState;
  StopLoadWatch();
  P.Barrier = C.LastSequence();
  P.NavigateLoader.clear();
  P.ExpectedLoader.clear();
  P.MainStarted = false;
  P.Frames.clear();
  P.MainStatus = 0;
  FReadyState = READYSTATE_LOADING;

  int Id = C.Send("Page.navigate", {{"url", URL}}, P.SessionId, true);
  json Reply;
  bool Answered;
  try {
    Answered = C.WaitForReply(Id, FNavigateTimeout, Reply);
  } catch (...) {
    FReadyState = READYSTATE_UNINITIALIZED;
    throw;
  }
  if (!Answered) {
    C.Forget(Id);
    // What the abandoned navigation still reports is stale once the stop
    // has been answered.
    C.Call("Page.stopLoading", json::object(), P.SessionId);
    P.Barrier = C.LastSequence();
    FReadyState = Before == READYSTATE_UNINITIALIZED ? Before : READYSTATE_COMPLETE;
    throw EOleException("The browser did not load " + URL + " within " +
                        std::to_string(FNavigateTimeout) + " ms");
  }
  if (auto E = Reply.find("error"); E != Reply.end()) {
    FReadyState = Before;
    throw EOleException(E->value("message", std::string("Navigation refused")) + ": " + URL);
  }
  const json& R = Reply["result"];
  if (auto Text = R.find("errorText"); Text != R.end() && Text->is_string() && !Text->empty()) {
    // The browser shows an error page of its own and would retry it;
    // the caller hears of the failure instead, and the page is left blank.
    P.SilentLoaders.insert(R.value("loaderId", std::string()));
    NavigateSilently(P, "about:blank");
    P.Barrier = C.LastSequence();
    FReadyState = READYSTATE_COMPLETE;
    throw EOleException(Text->get<std::string>() + ": " + URL);
  }
  auto Loader = R.find("loaderId");
  if (Loader == R.end() || !Loader->is_string()) {
    // Within the same document: nothing loads, but the caller waits for a
    // completed document all the same.
    FReadyState = READYSTATE_COMPLETE;
    std::weak_ptr<TPageLink> Link = P.Link;
    struct TPosted {
      std::weak_ptr<TPageLink> Link;
      std::string Url;
    };
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer Data) -> gboolean {
          auto* Posted = static_cast<TPosted*>(Data);
          if (auto L = Posted->Link.lock(); L && L->Browser && L->Browser->FPage) {
            try {
              L->Browser->FireDocumentComplete(L->Browser->FPage->MainFrameId, Posted->Url);
            } catch (...) {
              Application->HandleException(L->Browser);
            }
          }
          return G_SOURCE_REMOVE;
        },
        new TPosted{Link, URL}, [](gpointer Data) { delete static_cast<TPosted*>(Data); });
    return;
  }
  P.NavigateLoader = P.ExpectedLoader = Loader->get<std::string>();
  StartLoadWatch();
}

void TWebBrowser::NavigateSilently(TPage& P, const std::string& URL) {
  int Id = Chromium().Send("Page.navigate", {{"url", URL}}, P.SessionId, true);
  json Reply;
  if (!Chromium().WaitForReply(Id, FNavigateTimeout, Reply)) {
    Chromium().Forget(Id);
    return;
  }
  if (auto L = Reply["result"].find("loaderId"); L != Reply["result"].end() && L->is_string())
    P.SilentLoaders.insert(L->get<std::string>());
}

void TWebBrowser::Stop() {
  if (!FPage) return;
  StopLoadWatch();
  // Not waited for: a page busy in its own script would hold up everything
  // else on the loop; the events say when it stopped.
  TChromiumBrowser& C = Chromium();
  if (C.Running() && C.Generation() == FPage->Generation && !C.SessionGone(FPage->SessionId))
    C.Send("Page.stopLoading", json::object(), FPage->SessionId);
}

std::string TWebBrowser::LocationURL() { return FPage ? FPage->MainUrl : std::string(); }

int TWebBrowser::StatusCode() const { return FPage ? FPage->MainStatus : 0; }

void TWebBrowser::WaitForImages(int TimeoutMs) {
  // Two frames let layout and lazy loading react to a new viewport first.
  const std::string Script =
      "(async () => {"
      "  const frame = () => new Promise(r => requestAnimationFrame(() => r()));"
      "  await frame(); await frame();"
      "  const pending = [...document.images].filter(i => !i.complete).map(i =>"
      "    new Promise(r => { i.addEventListener('load', r, {once: true});"
      "                       i.addEventListener('error', r, {once: true}); }));"
      "  await Promise.race([Promise.all(pending),"
      "                      new Promise(r => setTimeout(r, " +
      std::to_string(std::max(TimeoutMs, 0)) +
      "))]);"
      "  await frame();"
      "})()";
  PageCall("Runtime.evaluate", {{"expression", Script}, {"awaitPromise", true}});
}

void TWebBrowser::StartLoadWatch() {
  StopLoadWatch();
  if (FLoadTimeout <= 0) return;
  FLoadWatch =
      g_timeout_add(static_cast<guint>(FLoadTimeout), &TWebBrowser::LoadWatchExpired, this);
}

void TWebBrowser::StopLoadWatch() {
  if (FLoadWatch) g_source_remove(FLoadWatch);
  FLoadWatch = 0;
}

int TWebBrowser::LoadWatchExpired(void* Self) {
  auto* B = static_cast<TWebBrowser*>(Self);
  B->FLoadWatch = 0;
  if (B->FReadyState != READYSTATE_COMPLETE && B->FPage) {
    // Stopping completes the page with what it has; the usual events follow.
    try {
      Chromium().Send("Page.stopLoading", json::object(), B->FPage->SessionId);
    } catch (...) {
      Application->HandleException(B);
    }
  }
  return G_SOURCE_REMOVE;
}

}  // namespace host
