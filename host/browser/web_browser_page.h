#pragma once
// What the browser control's files share: the page behind a control, its
// frames, and the link that late-bound values keep to the page.

#include <map>
#include <memory>
#include <set>
#include <string>

#include "host/browser/chromium_browser.h"
#include "host/browser/png_reader.h"
#include "host/browser/web_browser.h"

namespace host {

inline TChromiumBrowser& Chromium() { return TChromiumBrowser::Shared(); }

// How long an aborted navigation waits for word of its renderer's crash.
constexpr int AbortGraceMs = 300;

// A file: address, in any case.
bool IsFileUrl(const std::string& URL);

// The steps from a loaded document to its picture: the page's own ones
// (web_browser_prepare.cpp) come first, then the measuring and the shot.
enum TPrepareStep {
  psSnapshot,
  psPlan,
  psImages,
  psDelay,
  psShoot,
  ppStyle,
  ppScript,
  ppWaitFor,
  ppClip
};

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
  bool Ready = false;             // attached and set up
  std::uint64_t Barrier = 0;      // events up to this one are stale
  unsigned Step = 0;              // counts navigations: answers to an earlier one are stale
  bool AwaitingNavigate = false;  // Page.navigate sent, not answered
  std::string ExpectedLoader;     // the main document being followed
  bool MainStarted = false;       // a main navigation started, not committed
  bool Preparing = false;         // the main document loaded, its picture being taken
  int SelfNavigations = 0;        // since the last Navigate
  std::map<std::string, TFrame> Frames;
  // What the main document held when it loaded ({"document": {...}}), read
  // before it was reported complete so that late-bound reads need not wait.
  std::shared_ptr<const nlohmann::json> Snapshot;
  enum TWaitKind { wkUntried, wkSelector, wkExpression };
  TWaitKind WaitKind = wkUntried;  // what WaitFor turned out to be
  bool Waiting = false;            // WaitFor is being polled
  nlohmann::json Clip;             // the selected element's box, null without one
};

struct TWebBrowser::TPicture {
  TRgbImage Image;
  unsigned Serial = 0;  // FViewSerial when it was taken
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
