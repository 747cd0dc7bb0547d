// The page's Fetch domain, the one place that holds its requests: each is
// refused when the filter lists say so and let through otherwise, and a
// login challenge is answered once a navigation. It is enabled only when a
// list or a login is given; without either the browser is asked nothing.

#include "host/browser/filter_list.h"
#include "host/browser/navigation.h"
#include "host/browser/page_session.h"

namespace host {

namespace {

// The page that made a request of the frame, as far as the navigation
// knows it: what domain= and third-party rules are judged against.
std::string DocumentOf(const TNavigation* N, const std::string& FrameId) {
  if (!N) return std::string();
  if (auto F = N->Frames.find(FrameId); F != N->Frames.end() && !F->second.Url.empty())
    return F->second.Url;
  return N->MainUrl.empty() ? N->Url : N->MainUrl;
}

}  // namespace

void TWebBrowser::EnableFetch(const std::string& SessionId) {
  const bool Blocking = FBlockAds || FBlockTrackers || !FFilterLists.empty();
  if (!Blocking && FCredentials.Empty()) return;
  if (Blocking && !FFilterSet && FFilterError.empty()) {
    try {
      FFilterSet = SharedFilterSet(FilterListPaths(FBlockAds, FBlockTrackers, FFilterLists));
    } catch (const Exception& E) {
      // Told by the navigation's hiding stage: nothing can fail it here.
      FFilterError = E.Message();
    }
  }
  // Every request is held at its start until it is answered.
  Chromium().Send("Fetch.enable",
                  {{"patterns", json::array({{{"urlPattern", "*"}}})},
                   {"handleAuthRequests", !FCredentials.Empty()}},
                  SessionId);
}

void TWebBrowser::HandleFetchEvent(const TDevToolsEvent& E) {
  if (!FPage || !E.Params.is_object()) return;
  const json& A = E.Params;
  const std::string Id = A.value("requestId", std::string());
  if (Id.empty()) return;
  // Answered whatever the navigation: a request left held would hold the
  // page.
  auto Answer = [&](const char* Method, json Params) {
    Params["requestId"] = Id;
    try {
      Chromium().Send(Method, Params, E.SessionId);
    } catch (const Exception&) {
      // A lost browser is reported from the loop.
    }
  };
  if (E.Method == "Fetch.authRequired") {
    // The second challenge of a navigation means the login was refused;
    // giving it again would only be refused again.
    const bool First = FNav && !FCredentials.Empty() && FAuthAnswered.lock() != FNav;
    json Response = {{"response", First ? "ProvideCredentials" : "CancelAuth"}};
    if (First) {
      Response["username"] = FCredentials.User;
      Response["password"] = FCredentials.Password;
      FAuthAnswered = FNav;
    }
    return Answer("Fetch.continueWithAuth", {{"authChallengeResponse", Response}});
  }
  if (E.Method != "Fetch.requestPaused") return;
  const std::string Url = A.value("request", json::object()).value("url", std::string());
  const std::string Frame = A.value("frameId", std::string());
  const TResourceType Type =
      ResourceTypeFromDevTools(A.value("resourceType", std::string()), Frame == FPage->MainFrameId);
  const std::string Document = Type == rtDocument ? Url : DocumentOf(FNav.get(), Frame);
  if (!FFilterSet || !FFilterSet->Blocks(Url, Document, Type))
    return Answer("Fetch.continueRequest", json::object());
  Answer("Fetch.failRequest", {{"errorReason", "BlockedByClient"}});
  // Without its document there is no page to take a picture of: that is
  // said, not left to a blank error page.
  if (TNavigationRef N = FNav; Type == rtDocument && N && !N->Ended() && N->Stage < stDone)
    Fail(N, nfFailed, "The filter lists refuse the page's own address: " + Url);
}

bool TWebBrowser::FilterHidingCss(const TNavigationRef& N, std::string& Css) {
  Css.clear();
  if (!FFilterError.empty()) {
    Fail(N, nfFailed, FFilterError);
    return false;
  }
  if (FFilterSet) Css = FFilterSet->HidingCss(N->MainUrl);
  return true;
}

}  // namespace host
