#pragma once
// The application and its message loop. The loop is GLib's default main
// context: timers, posted messages and the browser's events are all sources
// on it and run on the one thread that runs the loop.

#include <exception>
#include <functional>
#include <memory>

using GMainContext = struct _GMainContext;

namespace host {

class TObject;

class TApplication {
 public:
  TApplication() = default;
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  GMainContext* MainContext() const;

  // Handles everything that is ready, without waiting.
  void ProcessMessages();
  // Waits for one thing to be ready and handles it.
  void HandleMessage();
  // Handles messages until Terminate is called.
  void Run();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  // Handles messages until Done returns true (checked after each one) or
  // TimeoutMs have passed; returns Done's last answer.
  bool RunUntil(const std::function<bool()>& Done, int TimeoutMs);

  // Reports the exception being handled (call it from a catch block) so
  // that none passes back into the loop: to OnException when assigned, else
  // in an error message box.
  void HandleException(TObject* Sender);
  std::function<void(TObject* Sender, const std::exception& E)> OnException;

 private:
  bool FTerminated = false;
};

extern TApplication* const Application;

}  // namespace host
