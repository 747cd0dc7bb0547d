#pragma once
// One Navigate of a browser control: everything that lives from the call
// to its document's picture, or to its failure, in one object. The control
// holds the current one, and a new Navigate replaces it whole. Every
// command's answer, event and timer reaches it through a weak reference and
// asks Ended() first, so nothing of an ended navigation, or of a freed
// control, can act.

#include <glib.h>

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "host/browser/web_browser.h"
#include "host/graphics/bitmap.h"

namespace host {

// The stages of one navigation, in the order they run. The page's own load
// advances by its events; every later stage is one step of Advance.
enum TStage : int {
  stPage,        // a page of the browser, opened or kept
  stHeap,        // a kept page is checked for the garbage it holds
  stNavigate,    // Page.navigate sent, its answer awaited
  stLoad,        // the document loads, its frames with it
  stStyle,       // the application's style sheet added
  stFilterHide,  // the filter lists' hiding rules added
  stHide,        // elements hidden
  stConsent,     // cookie-consent dialogs answered or hidden
  stScript,      // the application's script run
  stWaitFor,     // a condition polled until it holds
  stFonts,       // the web fonts in use loaded
  stSnapshot,    // what late-bound reads will ask for, read once
  stPlan,        // the size and waits the application wants
  stImages,      // images that the new size brought into view
  stDelay,       // a pause for pages that draw late
  stAnimations,  // animations finished or stopped at their start
  stClip,        // the box of the selected element
  stScreenshot,  // the picture taken
  stDecode,      // and decoded off the loop
  stReport,      // the document reported complete
  stDone,        // its picture can be drawn
  stFailed,      // ended without a picture; Failure says why
  stStopped,     // given up by Stop
};

// What a limit on the navigation's time means when it passes.
enum TDeadline : int {
  dlNone,
  dlNavigate,  // no answer from the browser at all
  dlLoad,      // still loading: stopped, so it completes with what it has
  dlStopping,  // did not stop either: its script never yields
  dlAborted,   // ended without a document: waits for word of a crash
  dlRender,    // loaded, but no picture in time
};

struct TFailure {
  TNavigateFailure Kind;
  std::string Reason;
};

// A page whose renderer ended: one wording for every path that meets it.
TFailure PageCrashed();
// The failure a command's answer means, or none when it is a result.
// What says what was being done ("The script failed").
std::optional<TFailure> ReplyFailure(const struct TDevToolsReply& Reply, const std::string& What);

struct TFrame {
  std::string Url;
  bool Pending = false;  // committed, not yet completed
  std::unique_ptr<IDispatch> Dispatch;
};

struct TNavigation {
  TNavigation(TWebBrowser& Owner, std::string Url, int SelfNavigations = 0);
  ~TNavigation();
  TNavigation(const TNavigation&) = delete;
  TNavigation& operator=(const TNavigation&) = delete;

  // Its control, until it ends: replaced by another, failed, stopped or its
  // control freed.
  TWebBrowser* Browser;
  bool Ended() const { return Browser == nullptr; }
  void End();

  const std::string Url;  // what Navigate was asked for
  TStage Stage = stPage;
  TOleEnum ReadyState = READYSTATE_LOADING;
  std::optional<TFailure> Failure;

  // The load: events up to SentAt belong to the document before.
  std::uint64_t SentAt = 0;
  std::string ExpectedLoader;  // the main document being followed
  bool MainStarted = false;    // a main navigation started, not committed
  std::string MainUrl;
  int MainStatus = 0;       // HTTP status of the main document, 0 without one
  int SelfNavigations = 0;  // refreshes and script redirects since Navigate
  std::string AbortedWhy;   // told when no crash follows the abort
  std::map<std::string, TFrame> Frames;
  // Past the main document's load, for a WaitUntil that wants more.
  bool LoadFired = false, NetworkIdle = false;

  // From the loaded document to its picture.
  bool HeapAsked = false, HeapCollected = false;
  enum TWaitKind { wkUntried, wkSelector, wkExpression };
  TWaitKind WaitKind = wkUntried;  // what WaitFor turned out to be
  std::shared_ptr<const nlohmann::json> Snapshot;
  std::string FontsWait;  // how the wait for web fonts ended
  TRenderPlan Plan;
  int ViewWidth = 0, ViewHeight = 0;  // the control's size the plan lays the page out at
  nlohmann::json Clip;  // the selected element's box, null without one
  bool BeyondViewport = false;
  // The viewport the picture was taken at; a resize before it arrives
  // takes it again.
  int ShotWidth = 0, ShotHeight = 0;
  double ShotScale = 0;
  std::shared_ptr<const TBitmap> Picture;

  // Its one timer: Advance again after Ms (a poll, a delay, a query's
  // patience), and a limit for the stage under way.
  void Wake(int Ms);
  void StopWaking();
  void SetDeadline(TDeadline What, int Ms);
  TDeadline Deadline() const { return FDeadline; }
  std::weak_ptr<TNavigation> Self;

 private:
  void Arm();
  static gboolean Fired(gpointer Data);
  guint FTimer = 0;
  gint64 FWakeAt = 0;      // 0: none
  gint64 FDeadlineAt = 0;  // 0: none
  TDeadline FDeadline = dlNone;
};

}  // namespace host
