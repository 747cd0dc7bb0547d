// The page's events during a navigation's load, turned into the control's
// events: before-navigate for the page, its frames and each redirect, a
// completed document for every frame, and the main document loaded, which
// starts the capture's steps.

#include <glib.h>

#include "host/browser/navigation.h"
#include "host/browser/page_session.h"
#include "host/browser/url_policy.h"
#include "host/browser/web_browser.h"

namespace host {

namespace {

// How many times a page may navigate by itself (refreshes, script
// redirects) after a Navigate before it counts as a loop.
constexpr int MaxSelfNavigations = 20;

std::string FrameUrl(const json& Frame) {
  if (auto U = Frame.find("unreachableUrl"); U != Frame.end() && U->is_string()) return *U;
  std::string Url = Frame.value("url", std::string());
  return Url + Frame.value("urlFragment", std::string());
}

// Errors of a navigation that reached the server: a loop of redirects, or
// an address the browser would not fetch. The rest never got an answer.
bool ReachedServer(const std::string& Why) {
  return Why == "net::ERR_TOO_MANY_REDIRECTS" || Why == "net::ERR_ABORTED" ||
         Why == "net::ERR_BLOCKED_BY_CLIENT" || Why == "net::ERR_UNSAFE_REDIRECT" ||
         Why == "net::ERR_INVALID_RESPONSE" || Why == "net::ERR_INVALID_AUTH_CREDENTIALS";
}

}  // namespace

IDispatch* TWebBrowser::FrameDispatch(TNavigation& N, const std::string& FrameId) {
  if (!FPage || FrameId == FPage->MainFrameId) return GetControlInterface();
  TFrame& F = N.Frames[FrameId];
  if (!F.Dispatch) F.Dispatch = std::make_unique<IDispatch>();
  return F.Dispatch.get();
}

// Each returns false when the handler ended the navigation (or freed the
// control): nothing of either may be touched then.
bool TWebBrowser::FireBeforeNavigate(const TNavigationRef& N, const std::string& FrameId,
                                     const std::string& URL) {
  if (!OnBeforeNavigate2) return true;
  bool Cancel = false;
  TWebBrowserBeforeNavigate2 Handler = OnBeforeNavigate2;
  Handler(this, FrameDispatch(*N, FrameId), OleVariant(URL), OleVariant(), OleVariant(),
          OleVariant(), OleVariant(), Cancel);
  return !N->Ended();
}

bool TWebBrowser::FireDocumentComplete(const TNavigationRef& N, const std::string& FrameId,
                                       const std::string& URL) {
  if (!OnDocumentComplete) return true;
  TWebBrowserDocumentComplete Handler = OnDocumentComplete;
  Handler(this, FrameDispatch(*N, FrameId), OleVariant(URL));
  return !N->Ended();
}

bool TWebBrowser::RefusedLocal(const TNavigationRef& N, const std::string& URL) {
  if (FAllowLocal || !IsFileUrl(URL)) return false;
  Fail(N, nfFailed, "The page went to a local file, which is refused: " + URL);
  return true;
}

void TWebBrowser::NavigateAnswered(const TNavigationRef& N, const TDevToolsReply& R) {
  if (auto F = ReplyFailure(R, "")) return Fail(N, F->Kind, F->Reason);
  if (auto Text = R.Result.find("errorText");
      Text != R.Result.end() && Text->is_string() && !Text->empty()) {
    // A renderer that died under the navigation aborts it; its crash says more.
    if (FPage && Chromium().SessionGone(FPage->SessionId)) {
      TFailure F = PageCrashed();
      return Fail(N, F.Kind, F.Reason);
    }
    std::string Why = Text->get<std::string>();
    if (Why == "net::ERR_ABORTED") {
      // A renderer killed under the navigation aborts it too, and its crash
      // is reported a moment later.
      N->AbortedWhy = Why + " (a download, which is refused, or a cancelled load)";
      return N->SetDeadline(dlAborted, AbortGraceMs);
    }
    bool Reached = ReachedServer(Why);
    if (Why == "net::ERR_TOO_MANY_REDIRECTS") Why += " (the address redirects in a loop)";
    return Fail(N, Reached ? nfFailed : nfUnreachable, Why);
  }
  N->Stage = stLoad;
  auto Loader = R.Result.find("loaderId");
  if (Loader == R.Result.end() || !Loader->is_string()) {
    // Within the same document: nothing loads, but the caller waits for a
    // completed document all the same.
    N->MainUrl = N->Url;
    return DocumentLoaded(N);
  }
  if (N->ExpectedLoader.empty()) N->ExpectedLoader = Loader->get<std::string>();
  N->SetDeadline(dlLoad, FLoadTimeout);
}

void TWebBrowser::HandleEvent(const TDevToolsEvent& E) {
  if (E.Method == TChromiumBrowser::LostEvent) {
    if (FPage) FPage->Link->Browser = nullptr;
    FPage.reset();
    if (FNav) Fail(FNav, nfBrowserLost, "The browser process ended");
    return;
  }
  // Held requests and logins, whichever navigation they are of.
  if (E.Method.rfind("Fetch.", 0) == 0) return HandleFetchEvent(E);
  TNavigationRef N = FNav;
  // Until Page.navigate is sent, the page's events belong to the document
  // it replaces.
  if (!N || N->Ended() || N->Stage < stNavigate || E.Sequence <= N->SentAt || !E.Params.is_object())
    return;
  if (E.Method == "Page.javascriptDialogOpening") {
    // Until it is answered the page's script, and its load, are held. A
    // page that asks before it leaves may leave.
    bool Leave = E.Params.value("type", std::string()) == "beforeunload";
    Chromium().Send("Page.handleJavaScriptDialog", {{"accept", Leave}}, FPage->SessionId);
  } else if (E.Method == "Inspector.targetCrashed" || E.Method == "Inspector.detached") {
    TFailure F = E.Method == "Inspector.targetCrashed" ? PageCrashed()
                                                       : TFailure{nfCrashed, "The page was closed"};
    Fail(N, F.Kind, F.Reason);
  } else if (N->Stage < stDone) {
    // What completes after the page's own document is not reported.
    HandleLoadEvent(N, E);
  }
}

void TWebBrowser::HandleLoadEvent(const TNavigationRef& N, const TDevToolsEvent& E) {
  const json& A = E.Params;
  const std::string& MainFrame = FPage->MainFrameId;
  if (E.Method == "Page.frameStartedNavigating") {
    std::string Type = A.value("navigationType", std::string());
    if (Type == "sameDocument" || Type == "historySameDocument") return;
    std::string Frame = A.value("frameId", std::string());
    std::string Loader = A.value("loaderId", std::string());
    if (RefusedLocal(N, A.value("url", std::string()))) return;
    if (Frame == MainFrame) {
      if (N->Stage == stNavigate && N->ExpectedLoader.empty()) N->ExpectedLoader = Loader;
      N->MainStarted = true;
      if (Loader == N->ExpectedLoader) return;  // announced by Navigate
      // The page navigates by itself (a refresh, a script): a new
      // navigation of the same address replaces this one, and a picture
      // being taken of the old document is given up.
      if (N->SelfNavigations + 1 > MaxSelfNavigations)
        return Fail(N, nfFailed,
                    "The page keeps navigating by itself (a refresh or redirect loop)");
      auto Next = std::make_shared<TNavigation>(*this, N->Url, N->SelfNavigations + 1);
      Next->Stage = stLoad;
      Next->SentAt = E.Sequence - 1;
      Next->ExpectedLoader = Loader;
      Next->MainStarted = true;
      Replace(Next);
      Next->SetDeadline(dlLoad, FLoadTimeout);
      FireBeforeNavigate(Next, Frame, A.value("url", std::string()));
      return;
    }
    FireBeforeNavigate(N, Frame, A.value("url", std::string()));
  } else if (E.Method == "Network.requestWillBeSent") {
    if (A.value("type", std::string()) != "Document" || !A.contains("redirectResponse")) return;
    std::string Frame = A.value("frameId", std::string());
    if (Frame == MainFrame && A.value("loaderId", std::string()) != N->ExpectedLoader) return;
    FireBeforeNavigate(N, Frame, A.value("request", json::object()).value("url", std::string()));
  } else if (E.Method == "Network.responseReceived") {
    if (A.value("type", std::string()) != "Document" ||
        A.value("frameId", std::string()) != MainFrame ||
        A.value("loaderId", std::string()) != N->ExpectedLoader)
      return;
    const json Response = A.value("response", json::object());
    N->MainStatus = Response.value("status", 0);
    // A browser would ask for a login here; there is nobody to ask, and the
    // page behind the challenge is not the one that was meant.
    if (N->MainStatus == 401 || N->MainStatus == 407)
      for (const json Headers = Response.value("headers", json::object());
           const auto& [Name, Value] : Headers.items())
        if (g_ascii_strcasecmp(Name.c_str(), "WWW-Authenticate") == 0 ||
            g_ascii_strcasecmp(Name.c_str(), "Proxy-Authenticate") == 0)
          return Fail(N, nfFailed,
                      "The page asks for a login (HTTP " + std::to_string(N->MainStatus) + ")");
  } else if (E.Method == "Page.frameNavigated") {
    const json F = A.value("frame", json::object());
    std::string Id = F.value("id", std::string());
    if (RefusedLocal(N, FrameUrl(F))) return;
    if (!F.contains("parentId")) {
      if (N->ExpectedLoader.empty() || F.value("loaderId", std::string()) != N->ExpectedLoader)
        return;
      N->Frames.clear();
      N->MainStarted = false;
      N->MainUrl = FrameUrl(F);
      N->Frames[Id].Url = N->MainUrl;
      N->Frames[Id].Pending = true;
    } else {
      TFrame& Child = N->Frames[Id];
      Child.Url = FrameUrl(F);
      Child.Pending = true;
    }
  } else if (E.Method == "Page.frameStoppedLoading") {
    std::string Id = A.value("frameId", std::string());
    auto F = N->Frames.find(Id);
    if (F != N->Frames.end() && F->second.Pending) {
      F->second.Pending = false;
      if (Id == MainFrame) return N->Stage == stLoad ? LoadEventFired(N) : void();
      FireDocumentComplete(N, Id, F->second.Url);
    } else if (Id == MainFrame && N->MainStarted && N->Stage == stLoad) {
      // The navigation ended without a new document: a download, no
      // content, or stopped before anything came. So does a renderer
      // killed under it, and its crash is reported a moment later.
      N->MainStarted = false;
      N->AbortedWhy = "The address gave no document to show (a download, or no content)";
      N->SetDeadline(dlAborted, AbortGraceMs);
    }
  } else if (E.Method == "Page.domContentEventFired") {
    if (N->ReadyState == READYSTATE_LOADING && !N->MainStarted)
      N->ReadyState = READYSTATE_INTERACTIVE;
    auto Main = N->Frames.find(MainFrame);
    bool Committed = Main != N->Frames.end() && Main->second.Pending && !N->MainStarted;
    if (FWaitUntil == wuDOMContentLoaded && Committed && N->Stage == stLoad) DocumentLoaded(N);
  } else if (E.Method == "Page.lifecycleEvent") {
    // Chromium's own count: no more than two requests for 500 ms.
    if (A.value("name", std::string()) != "networkAlmostIdle" ||
        A.value("frameId", std::string()) != MainFrame ||
        A.value("loaderId", std::string()) != N->ExpectedLoader)
      return;
    N->NetworkIdle = true;
    if (N->LoadFired && N->Stage == stLoad) DocumentLoaded(N);
  } else if (E.Method == "Page.frameDetached") {
    N->Frames.erase(A.value("frameId", std::string()));
  }
}

void TWebBrowser::LoadEventFired(const TNavigationRef& N) {
  N->LoadFired = true;
  if (FWaitUntil == wuNetworkIdle && !N->NetworkIdle) return;  // Page.lifecycleEvent goes on
  DocumentLoaded(N);
}

}  // namespace host
