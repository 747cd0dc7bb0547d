// The browser's events for a page, turned into the control's events.

#include <glib.h>

#include "host/browser/web_browser.h"
#include "host/browser/web_browser_page.h"

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

}  // namespace

IDispatch* TWebBrowser::FrameDispatch(const std::string& FrameId) {
  if (!FPage || FrameId == FPage->MainFrameId) return GetControlInterface();
  TFrame& F = FPage->Frames[FrameId];
  if (!F.Dispatch) F.Dispatch = std::make_unique<IDispatch>();
  return F.Dispatch.get();
}

void TWebBrowser::FireBeforeNavigate(const std::string& FrameId, const std::string& URL) {
  if (!OnBeforeNavigate2) return;
  bool Cancel = false;
  TWebBrowserBeforeNavigate2 Handler = OnBeforeNavigate2;
  Handler(this, FrameDispatch(FrameId), OleVariant(URL), OleVariant(), OleVariant(), OleVariant(),
          OleVariant(), Cancel);
}

void TWebBrowser::FireDocumentComplete(const std::string& FrameId, const std::string& URL) {
  if (!OnDocumentComplete) return;
  TWebBrowserDocumentComplete Handler = OnDocumentComplete;
  Handler(this, FrameDispatch(FrameId), OleVariant(URL));
}

void TWebBrowser::HandleEvent(const TDevToolsEvent& E) {
  if (E.Method == TChromiumBrowser::LostEvent) {
    if (FPage) FPage->Link->Browser = nullptr;
    FPage.reset();
    Fail(nfBrowserLost, "The browser process ended");
    return;
  }
  // Until a Navigate that was asked for is sent, the page's events belong
  // to what it replaces.
  if (!FPage || !FPendingUrl.empty() || E.Sequence <= FPage->Barrier || !E.Params.is_object())
    return;
  TPage& P = *FPage;
  const json& A = E.Params;

  if (E.Method == "Page.javascriptDialogOpening") {
    // Until it is answered the page's script, and its load, are held. A
    // page that asks before it leaves may leave.
    bool Leave = A.value("type", std::string()) == "beforeunload";
    Chromium().Send("Page.handleJavaScriptDialog", {{"accept", Leave}}, P.SessionId);
  } else if (E.Method == "Page.frameStartedNavigating") {
    std::string Type = A.value("navigationType", std::string());
    if (Type == "sameDocument" || Type == "historySameDocument") return;
    std::string Frame = A.value("frameId", std::string());
    std::string Loader = A.value("loaderId", std::string());
    if (RefusedLocal(A.value("url", std::string()))) return;
    if (Frame == P.MainFrameId) {
      if (P.AwaitingNavigate && P.ExpectedLoader.empty()) P.ExpectedLoader = Loader;
      P.MainStarted = true;
      if (Loader == P.ExpectedLoader) return;  // announced by Navigate
      // The page navigates by itself (a refresh, a script): a new load, and
      // a picture being taken of the old one is given up.
      if (++P.SelfNavigations > MaxSelfNavigations)
        return Fail(nfFailed, "The page keeps navigating by itself (a refresh or redirect loop)");
      ++P.Step;
      P.Preparing = false;
      P.ExpectedLoader = Loader;
      P.Frames.clear();
      P.MainStatus = 0;
      P.Snapshot = nullptr;
      FPicture.reset();
      FReadyState = READYSTATE_LOADING;
      Watch(FLoadTimeout > 0 ? wLoad : wNone, FLoadTimeout);
    }
    FireBeforeNavigate(Frame, A.value("url", std::string()));
  } else if (E.Method == "Network.requestWillBeSent") {
    if (A.value("type", std::string()) != "Document" || !A.contains("redirectResponse")) return;
    std::string Frame = A.value("frameId", std::string());
    if (Frame == P.MainFrameId && A.value("loaderId", std::string()) != P.ExpectedLoader) return;
    FireBeforeNavigate(Frame, A.value("request", json::object()).value("url", std::string()));
  } else if (E.Method == "Network.responseReceived") {
    if (A.value("type", std::string()) != "Document" ||
        A.value("frameId", std::string()) != P.MainFrameId ||
        A.value("loaderId", std::string()) != P.ExpectedLoader)
      return;
    const json Response = A.value("response", json::object());
    P.MainStatus = Response.value("status", 0);
    // A browser would ask for a login here; there is nobody to ask, and the
    // page behind the challenge is not the one that was meant.
    if (P.MainStatus == 401 || P.MainStatus == 407)
      for (const json Headers = Response.value("headers", json::object());
           const auto& [Name, Value] : Headers.items())
        if (g_ascii_strcasecmp(Name.c_str(), "WWW-Authenticate") == 0 ||
            g_ascii_strcasecmp(Name.c_str(), "Proxy-Authenticate") == 0)
          return Fail(nfFailed,
                      "The page asks for a login (HTTP " + std::to_string(P.MainStatus) + ")");
  } else if (E.Method == "Page.frameNavigated") {
    const json F = A.value("frame", json::object());
    std::string Id = F.value("id", std::string());
    if (RefusedLocal(FrameUrl(F))) return;
    if (!F.contains("parentId")) {
      if (P.ExpectedLoader.empty() || F.value("loaderId", std::string()) != P.ExpectedLoader)
        return;
      P.Frames.clear();
      P.MainStarted = false;
      P.MainUrl = FrameUrl(F);
      P.Frames[Id].Url = P.MainUrl;
      P.Frames[Id].Pending = true;
    } else {
      TFrame& Child = P.Frames[Id];
      Child.Url = FrameUrl(F);
      Child.Pending = true;
    }
  } else if (E.Method == "Page.frameStoppedLoading") {
    std::string Id = A.value("frameId", std::string());
    auto F = P.Frames.find(Id);
    if (F != P.Frames.end() && F->second.Pending) {
      F->second.Pending = false;
      if (Id == P.MainFrameId) return MainDocumentLoaded();
      FireDocumentComplete(Id, F->second.Url);
    } else if (Id == P.MainFrameId && P.MainStarted && !P.AwaitingNavigate) {
      // The navigation ended without a new document: a download, no
      // content, or stopped before anything came.
      P.MainStarted = false;
      // So does a renderer killed under it, and its crash is reported a
      // moment later.
      if (FReadyState == READYSTATE_LOADING) {
        FAborted = "The address gave no document to show (a download, or no content)";
        Watch(wAborted, AbortGraceMs);
      }
    }
  } else if (E.Method == "Page.domContentEventFired") {
    if (FReadyState == READYSTATE_LOADING && !P.MainStarted) FReadyState = READYSTATE_INTERACTIVE;
  } else if (E.Method == "Page.frameDetached") {
    P.Frames.erase(A.value("frameId", std::string()));
  } else if (E.Method == "Inspector.targetCrashed" || E.Method == "Inspector.detached") {
    Fail(nfCrashed, E.Method == "Inspector.targetCrashed" ? "The page crashed (its renderer ended)"
                                                          : "The page was closed");
  }
}

}  // namespace host
