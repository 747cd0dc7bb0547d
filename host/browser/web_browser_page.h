#pragma once
// What the browser control's files share: the page behind a control, its
// frames, and the link that late-bound values keep to the page.

#include <map>
#include <memory>
#include <set>
#include <string>

#include "host/browser/chromium_browser.h"
#include "host/browser/web_browser.h"

namespace host {

inline TChromiumBrowser& Chromium() { return TChromiumBrowser::Shared(); }

// Lets late-bound values outlive the control safely.
struct TPageLink {
  TWebBrowser* Browser;
  unsigned Generation;
  std::string SessionId;
};

struct TWebBrowser::TFrame {
  std::string Url;
  bool Pending = false;  // committed, not yet completed
  std::unique_ptr<IDispatch> Dispatch;
};

struct TWebBrowser::TPage {
  std::string TargetId, SessionId, MainFrameId, MainUrl;
  int MainStatus = 0;  // HTTP status of the main document, 0 without one
  unsigned Generation = 0;
  std::shared_ptr<TPageLink> Link;
  std::uint64_t Barrier = 0;   // events up to this one are stale
  std::string NavigateLoader;  // announced by Navigate itself
  std::string ExpectedLoader;  // the main document being followed
  std::set<std::string> SilentLoaders;
  bool MainStarted = false;  // a main navigation started, not committed
  std::map<std::string, TFrame> Frames;
};

struct OleVariant::TRemote {
  std::shared_ptr<TPageLink> Link;
  std::string ObjectId;  // empty: the control's automation object itself
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
