// The page behind a control: the browser's tab and its DevTools session,
// opened without waiting and kept from one navigation to the next.

#include "host/browser/page_session.h"

#include <algorithm>

#include "host/forms/application.h"

namespace host {

namespace {

// A string member of an answer; anything else is a browser we do not
// understand, reported as such rather than as a JSON library error.
std::string Field(const json& Object, const char* Key) {
  auto it = Object.is_object() ? Object.find(Key) : Object.end();
  if (it == Object.end() || !it->is_string())
    throw EOleException(std::string("Unexpected answer from the browser: no ") + Key);
  return it->get<std::string>();
}

}  // namespace

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
  // Its own context (cookies, proxy) goes with it.
  if (C.Running() && C.Generation() == FPage->Generation && !FPage->ContextId.empty()) {
    try {
      C.Send("Target.disposeBrowserContext", {{"browserContextId", FPage->ContextId}});
    } catch (const Exception&) {
    }
  }
  FPage.reset();
}

// The commands of one session run in the order sent, so only the answers
// that carry something are waited for. A page that opens for a navigation
// replaced meanwhile serves the next one.
void TWebBrowser::OpenPage() {
  ClosePage();
  TChromiumBrowser& C = Chromium();
  try {
    C.Start();
  } catch (const Exception& E) {
    if (FNav) Fail(FNav, nfBrowserLost, E.Message());
    return;
  }
  FPage = std::make_shared<TPage>();
  FPage->Generation = C.Generation();
  FPage->Link = std::make_shared<TPageLink>(TPageLink{this, FPage->Generation, std::string()});
  std::weak_ptr<TPage> Weak = FPage;
  // Cookies and a proxy live in a browser context of the page's own.
  if (OwnContext()) return OpenContext(Weak);
  OpenTarget(Weak, std::string());
}

// In the browser context ContextId, or the browser's own when it is empty.
void TWebBrowser::OpenTarget(std::weak_ptr<TPage> Weak, const std::string& ContextId) {
  TChromiumBrowser& C = Chromium();
  // The page, if it is still this control's.
  auto Mine = [Weak]() -> TPage* {
    auto P = Weak.lock();
    return P && P->Link->Browser ? P.get() : nullptr;
  };
  auto Failed = [this](const TDevToolsReply& R) {
    ClosePage();
    if (FNav && !FNav->Ended())
      Fail(FNav, R.Kind == TDevToolsReply::rkLost ? nfBrowserLost : nfCrashed,
           "The browser could not open a page: " + R.Message);
  };
  json Params = {{"url", "about:blank"}};
  if (!ContextId.empty()) Params["browserContextId"] = ContextId;
  C.Command(
      "Target.createTarget", Params, {}, [this, Mine, Failed, ContextId](const TDevToolsReply& R) {
        TPage* P = Mine();
        if (!P) {
          // Freed or replaced meanwhile: the target is nobody's.
          if (R.Ok() && R.Result.contains("targetId"))
            Chromium().Send("Target.closeTarget", {{"targetId", R.Result["targetId"]}});
          if (!ContextId.empty())
            Chromium().Send("Target.disposeBrowserContext", {{"browserContextId", ContextId}});
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
              SetUpAccess(P->SessionId);
              EnableFetch(P->SessionId);
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
                    PageReady();
                  });
            });
      });
}

void TWebBrowser::PageReady() {
  if (FNav && !FNav->Ended() && FNav->Stage == stPage) Advance(FNav);
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

void TWebBrowser::PageCommand(const TNavigationRef& N, const std::string& Method,
                              const json& Params, TStep Step) {
  TPage* P = LivePage();
  if (!P || !P->Ready) {
    TFailure F = FPage && Chromium().SessionGone(FPage->SessionId)
                     ? PageCrashed()
                     : TFailure{nfBrowserLost, "The browser holds no page"};
    return Fail(N, F.Kind, F.Reason);
  }
  std::weak_ptr<TNavigation> Weak = N;
  Chromium().Command(Method, Params, P->SessionId,
                     [Weak, Step = std::move(Step)](const TDevToolsReply& R) {
                       auto N = Weak.lock();
                       if (N && !N->Ended()) Step(*N, R);
                     });
}

json TWebBrowser::PageCallSynchronously(const std::string& Method, const json& Params,
                                        int TimeoutMs) {
  TPage* P = LivePage();
  if (!P || !P->Ready) throw EOleException("The browser holds no page");
  TChromiumBrowser& C = Chromium();
  return C.CallSynchronously(Method, Params, P->SessionId,
                             std::min(TimeoutMs, C.Options().CommandTimeoutMs));
}

void TWebBrowser::ApplyViewport() {
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

}  // namespace host
