#include "host/browser/chromium_browser.h"

#include <glib-unix.h>
#include <glib.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "host/browser/chromium_process.h"

namespace host {

namespace {
// A browser that answers at all answers this quickly.
constexpr int ProbeTimeoutMs = 5000;
}  // namespace

std::string DefaultBrowserExecutable() {
  const char* Shell = "/usr/lib/chromium/chromium-headless-shell";
  return access(Shell, X_OK) == 0 ? Shell : "/usr/bin/chromium";
}

bool DefaultBrowserSandbox() { return geteuid() != 0; }

TChromiumBrowser& TChromiumBrowser::Shared() {
  static TChromiumBrowser Browser;
  return Browser;
}

TChromiumBrowser::~TChromiumBrowser() { Shutdown(); }

pid_t TChromiumBrowser::Pid() const { return FProcess ? FProcess->Pid() : -1; }

std::string TChromiumBrowser::ProfileDir() const {
  return FProcess ? FProcess->ProfileDir() : std::string();
}

namespace {
std::function<void(int)> SignalHook;
int ForceAfterMs = 0;
bool StopAsked = false;
}  // namespace

// A program ended by a signal runs no destructors: the browser and its
// profile folder would be left behind. Taken from the loop, the signal ends
// both, then the program as the signal would have.
void TChromiumBrowser::EndOnSignals() {
  static bool Installed = false;
  if (Installed) return;
  Installed = true;
  for (int Signal : {SIGTERM, SIGINT, SIGHUP})
    g_unix_signal_add(
        Signal,
        [](gpointer Number) -> gboolean {
          int Signal = GPOINTER_TO_INT(Number);
          if (!SignalHook || StopAsked) EndBySignal(Signal);
          StopAsked = true;
          // The program may be stuck where it cannot end itself.
          g_timeout_add(
              guint(ForceAfterMs),
              [](gpointer Number) -> gboolean { EndBySignal(GPOINTER_TO_INT(Number)); }, Number);
          std::function<void(int)> Hook = SignalHook;
          Hook(Signal);
          return G_SOURCE_CONTINUE;
        },
        GINT_TO_POINTER(Signal));
}

void TChromiumBrowser::SetSignalHook(std::function<void(int Signal)> Hook, int ForceAfterMs_) {
  SignalHook = std::move(Hook);
  ForceAfterMs = ForceAfterMs_;
  StopAsked = false;
  // From now on, even before a browser is started.
  EndOnSignals();
}

void TChromiumBrowser::EndBySignal(int Signal) {
  Shared().FSessions.clear();  // nobody is told: the program ends
  Shared().Shutdown(0);
  signal(Signal, SIG_DFL);
  sigset_t Set;
  sigemptyset(&Set);
  sigaddset(&Set, Signal);
  sigprocmask(SIG_UNBLOCK, &Set, nullptr);
  raise(Signal);
  _exit(128 + Signal);
}

void TChromiumBrowser::Start() {
  if (Running()) return;
  Drop();
  EndOnSignals();
  std::vector<std::string> Arguments = FOptions.Arguments;
  if (!FOptions.Sandbox) Arguments.push_back("--no-sandbox");
  try {
    FProcess = std::make_unique<TChromiumProcess>(FOptions.Executable, Arguments);
  } catch (const EOleException& E) {
    throw EBrowserLost(StartFailure(E.Message()));
  }
  FClient = std::make_unique<TDevToolsClient>(FProcess->ReadFd(), FProcess->WriteFd());
  FAnswered = std::make_shared<bool>(false);
  ++FGeneration;
  FClient->OnEvent = [this](const TDevToolsEvent& Event) { Route(Event); };
  FClient->OnClosed = [this] {
    // Reported from the message loop: nobody is waiting on this browser.
    Drop();
  };
  FClient->Attach();
  try {
    // Not waited for: whatever is sent meanwhile waits in the pipe, and the
    // browser reads it once it is up.
    FClient->Command("Browser.getVersion", json::object(), {},
                     [Answered = FAnswered](const TDevToolsReply& R) { *Answered = R.Ok(); });
    // What a page may do that would hold a capture or outlive it: downloads
    // are refused, permissions denied (a camera request would otherwise wait
    // for an answer forever), windows it opens are closed as they appear.
    FClient->Send("Browser.setDownloadBehavior", {{"behavior", "deny"}});
    for (const char* Name :
         {"geolocation", "notifications", "camera", "microphone", "midi", "clipboard-read",
          "display-capture", "idle-detection", "local-fonts", "window-management",
          "storage-access"})
      FClient->Send("Browser.setPermission",
                    {{"permission", {{"name", Name}}}, {"setting", "denied"}});
    FClient->Send("Target.setDiscoverTargets", {{"discover", true}});
  } catch (const EDevToolsLost& E) {
    // An executable that is missing or dies at once closes the pipe before
    // these few lines are written.
    Lose(E.Message());
  }
  FStartTimer = g_timeout_add(
      guint(std::max(FOptions.StartTimeoutMs, 1)),
      [](gpointer Self) -> gboolean {
        auto* B = static_cast<TChromiumBrowser*>(Self);
        B->FStartTimer = 0;
        if (B->FClient && B->FAnswered && !*B->FAnswered)
          B->FClient->Abandon("The browser did not answer within " +
                              std::to_string(B->FOptions.StartTimeoutMs) + " ms");
        return G_SOURCE_REMOVE;
      },
      this);
}

std::string TChromiumBrowser::StartFailure(const std::string& Why) const {
  std::string Log = FProcess ? FProcess->LogTail() : std::string();
  return "The browser could not be started (" + FOptions.Executable + "): " + Why +
         (Log.empty() ? "" : "\n" + Log);
}

void TChromiumBrowser::Drop() {
  bool Had = FClient || FProcess;
  if (FStartTimer) g_source_remove(FStartTimer);
  FStartTimer = 0;
  FAnswered.reset();
  FClient.reset();
  FProcess.reset();
  if (!Had) return;
  // Every page of the lost browser hears of it once, unless a handler
  // before it has freed its control (which unsubscribes it).
  std::vector<std::string> Lost;
  for (const auto& S : FSessions) Lost.push_back(S.first);
  for (const std::string& Id : Lost) {
    auto it = FSessions.find(Id);
    if (it == FSessions.end()) continue;
    TEventHandler Handler = std::move(it->second);
    FSessions.erase(it);
    Handler(TDevToolsEvent{0, LostEvent, Id, json::object()});
  }
}

void TChromiumBrowser::Lose(const std::string& Why) {
  // A browser lost before its first answer never started.
  std::string Message = FAnswered && !*FAnswered ? StartFailure(Why) : Why;
  Drop();
  throw EBrowserLost(Message);
}

bool TChromiumBrowser::CheckAlive() {
  if (!FClient) return false;
  FClient->Poll();
  // A killed browser's pipe may stay open a little while its children
  // linger; the process itself has ended already.
  if (!FClient->Closed() && FProcess && !FProcess->Running())
    FClient->Abandon("The browser process has ended");
  if (!FClient->Closed()) return true;
  Drop();
  return false;
}

json TChromiumBrowser::CallSynchronously(const std::string& Method, const json& Params,
                                         const std::string& SessionId, int TimeoutMs) {
  Start();
  try {
    return FClient->Call(Method, Params, SessionId,
                         TimeoutMs > 0 ? TimeoutMs : FOptions.CommandTimeoutMs);
  } catch (const EDevToolsLost& E) {
    Lose(E.Message());
  } catch (const EDevToolsPageGone&) {
    // A hung page, or the whole browser hung: only the browser can tell.
    try {
      FClient->Call("Browser.getVersion", json::object(), {},
                    std::min(FOptions.CommandTimeoutMs, ProbeTimeoutMs));
    } catch (const EDevToolsLost& E) {
      Lose(E.Message());
    }
    throw;
  }
}

int TChromiumBrowser::Send(const std::string& Method, const json& Params,
                           const std::string& SessionId, bool WantReply) {
  Start();
  try {
    return FClient->Send(Method, Params, SessionId, WantReply);
  } catch (const EDevToolsLost& E) {
    Lose(E.Message());
  }
}

void TChromiumBrowser::Subscribe(const std::string& SessionId, TEventHandler Handler) {
  FSessions[SessionId] = std::move(Handler);
}

void TChromiumBrowser::Unsubscribe(const std::string& SessionId) { FSessions.erase(SessionId); }

int TChromiumBrowser::Command(const std::string& Method, const json& Params,
                              const std::string& SessionId, TDevToolsReplyHandler Handler) {
  Start();
  // A browser lost before its first answer never started: its handlers are
  // told so, with what it logged.
  std::weak_ptr<bool> Answered = FAnswered;
  return FClient->Command(Method, Params, SessionId,
                          [this, Answered, Handler = std::move(Handler)](const TDevToolsReply& R) {
                            auto A = Answered.lock();
                            if (R.Kind != TDevToolsReply::rkLost || !A || *A) return Handler(R);
                            TDevToolsReply Failed = R;
                            Failed.Message = StartFailure(R.Message);
                            Handler(Failed);
                          });
}

void TChromiumBrowser::Route(const TDevToolsEvent& Event) {
  if (Event.SessionId.empty()) {
    if (Event.Method == "Target.targetCreated" && Event.Params.is_object()) {
      const json Info = Event.Params.value("targetInfo", json::object());
      if (Info.value("type", std::string()) == "page" &&
          !Info.value("openerId", std::string()).empty())
        FClient->Send("Target.closeTarget", {{"targetId", Info.value("targetId", std::string())}});
    }
    return;
  }
  auto it = FSessions.find(Event.SessionId);
  if (it == FSessions.end()) return;
  TEventHandler Handler = it->second;  // it may unsubscribe itself
  Handler(Event);
}

void TChromiumBrowser::Shutdown(int TimeoutMs) {
  if (Running()) {
    try {
      FClient->Send("Browser.close");
    } catch (const EDevToolsLost&) {
    }
    FProcess->WaitForExit(TimeoutMs);
  }
  Drop();
}

}  // namespace host
