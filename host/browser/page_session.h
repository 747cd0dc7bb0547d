#pragma once
// What the browser control's files share: the page (the browser's tab)
// behind a control, and the link that late-bound values keep to it.

#include <memory>
#include <string>

#include "host/browser/chromium_browser.h"
#include "host/browser/navigation.h"
#include "host/browser/web_browser.h"

namespace host {

inline TChromiumBrowser& Chromium() { return TChromiumBrowser::Shared(); }

// How long an aborted navigation waits for word of its renderer's crash.
constexpr int AbortGraceMs = 300;

// Lets late-bound values outlive the control safely.
struct TPageLink {
  TWebBrowser* Browser;
  unsigned Generation;
  std::string SessionId;
};

// Lives from its opening to its closing, across navigations; the answers
// to its opening commands reach it through a weak reference.
struct TWebBrowser::TPage {
  std::string TargetId, SessionId, MainFrameId;
  unsigned Generation = 0;  // of the browser it was opened in
  std::shared_ptr<TPageLink> Link;
  bool Ready = false;   // attached and set up
  int Navigations = 0;  // sent to it so far
  // Its own browser context (cookies, a proxy), or empty for the browser's.
  std::string ContextId;
};

struct OleVariant::TRemote {
  std::shared_ptr<TPageLink> Link;
  bool Automation = false;  // the control's automation object itself
  std::string ObjectId;     // the page's object, once fetched
  // What the page's document held when it loaded, where this object is
  // part of it: its properties are read from there without asking.
  std::shared_ptr<const nlohmann::json> Snapshot;
  const nlohmann::json* Node = nullptr;
  // How to fetch the object: Name of Parent (no parent: the document).
  std::shared_ptr<TRemote> Parent;
  std::string Name;
  TRemote() = default;
  TRemote(const TRemote&) = delete;
  TRemote& operator=(const TRemote&) = delete;
  ~TRemote() {
    if (ObjectId.empty() || !Link->Browser) return;
    TChromiumBrowser& C = Chromium();
    if (!C.Running() || C.Generation() != Link->Generation) return;
    try {
      C.Send("Runtime.releaseObject", {{"objectId", ObjectId}}, Link->SessionId);
    } catch (const Exception&) {
    }
  }
};

}  // namespace host
