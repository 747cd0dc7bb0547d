#pragma once
// The application's one headless browser: started on first use, shared by
// every browser control (each has a page of its own), ended at exit. When it
// dies or stops answering it is ended for good; the next use starts a fresh
// one.

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/browser/devtools_client.h"

namespace host {

class TChromiumProcess;

// The browser process ended or stopped answering; the next use starts a
// fresh one.
HOST_EXCEPTION(EBrowserLost, EOleException);

// Chromium's lighter headless build when it is installed (it starts in
// about a third of the time), else the full browser.
std::string DefaultBrowserExecutable();
// Chromium's sandbox cannot run as root; everywhere else it stays on.
bool DefaultBrowserSandbox();

struct TBrowserOptions {
  std::string Executable = DefaultBrowserExecutable();
  bool Sandbox = DefaultBrowserSandbox();
  std::vector<std::string> Arguments = {
      "--headless", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-sync", "--mute-audio",
      "--disable-component-update", "--disable-back-forward-cache", "--disable-extensions",
      "--no-default-browser-check",
      // window.open gives nothing: no page
      // for a popup to load or to leave behind.
      "--block-new-web-contents",
      // Never meant to resolve; nothing is asked.
      "--host-resolver-rules=MAP *.invalid ~NOTFOUND",
      // One page cannot take gigabytes: past
      // this its renderer ends, as a crash.
      "--js-flags=--max-old-space-size=1024"};
  int StartTimeoutMs = 20000;    // from start to the first answer
  int CommandTimeoutMs = 30000;  // for any command; longer means hung
};

class TChromiumBrowser {
 public:
  using TEventHandler = std::function<void(const TDevToolsEvent&)>;
  // Handed to every page's handler when the browser is lost.
  static constexpr const char* LostEvent = "Snapkit.browserLost";

  static TChromiumBrowser& Shared();
  ~TChromiumBrowser();

  TBrowserOptions& Options() { return FOptions; }

  // Starts the browser if none is running, without waiting for it: commands
  // sent meanwhile wait in the pipe, and the first answer, or the failure to
  // start within StartTimeoutMs, reaches their handlers from the loop.
  // Raises EOleException only when the process cannot be spawned.
  void Start();
  bool Running() const { return FClient && !FClient->Closed(); }
  // Finds out without waiting whether the running browser is still there
  // (the loop may not have run since it died); a lost one is dropped, its
  // pages hearing of it at once (their handlers may free any control).
  // True while it runs.
  bool CheckAlive();
  // The page of this session crashed or was closed, as far as the browser
  // has said so far (read without waiting; nothing is dropped here).
  bool SessionGone(const std::string& SessionId) {
    if (!FClient) return false;
    FClient->Poll();
    return FClient->SessionGone(SessionId);
  }
  // Counts browsers started; a page made under another count is gone.
  unsigned Generation() const { return FGeneration; }
  pid_t Pid() const;
  std::string ProfileDir() const;

  // Waits for the answer, so it is for the application's own late-bound
  // reads only: no step of the package calls it. A lost browser is ended
  // and raises EBrowserLost; an error answer raises EDevToolsError, a page
  // that crashes before it answers EDevToolsPageGone.
  json CallSynchronously(const std::string& Method, const json& Params = json::object(),
                         const std::string& SessionId = {}, int TimeoutMs = 0);
  int Send(const std::string& Method, const json& Params = json::object(),
           const std::string& SessionId = {}, bool WantReply = false);
  // Sends a command whose answer reaches Handler from the message loop
  // (TDevToolsClient::Command); raises only when no browser can be started.
  int Command(const std::string& Method, const json& Params, const std::string& SessionId,
              TDevToolsReplyHandler Handler);
  std::uint64_t LastSequence() const { return FClient ? FClient->LastSequence() : 0; }

  // Routes the events of one page (by DevTools session) to Handler.
  void Subscribe(const std::string& SessionId, TEventHandler Handler);
  void Unsubscribe(const std::string& SessionId);

  // Asks the browser to close, ends it if it does not within TimeoutMs.
  void Shutdown(int TimeoutMs = 2000);

  // SIGTERM, SIGINT and SIGHUP end the browser and the program at once,
  // unless a hook is set: then the first one only reaches Hook (from the
  // loop), and the program ends itself by EndBySignal. A second signal, or
  // ForceAfterMs without that call, ends it as if there were no hook. An
  // empty Hook goes back to ending at once.
  static void SetSignalHook(std::function<void(int Signal)> Hook, int ForceAfterMs);
  // Ends the browser, removes its profile folder, then ends the program by
  // Signal.
  [[noreturn]] static void EndBySignal(int Signal);

 private:
  TChromiumBrowser() = default;
  [[noreturn]] void Lose(const std::string& Why);
  void Drop();
  void Route(const TDevToolsEvent& Event);
  std::string StartFailure(const std::string& Why) const;
  static void EndOnSignals();

  TBrowserOptions FOptions;
  std::unique_ptr<TChromiumProcess> FProcess;
  std::unique_ptr<TDevToolsClient> FClient;
  std::map<std::string, TEventHandler> FSessions;
  unsigned FGeneration = 0;
  // The running browser has answered its first command.
  std::shared_ptr<bool> FAnswered;
  unsigned FStartTimer = 0;
};

}  // namespace host
