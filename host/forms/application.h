#pragma once
// The application and its message loop. The loop is GLib's default main
// context: timers, posted messages and the browser's events are all sources
// on it and run on the one thread that runs the loop.

#include <functional>
#include <memory>

using GMainContext = struct _GMainContext;

namespace host {

class TApplication {
 public:
  constexpr TApplication() = default;
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

 private:
  bool FTerminated = false;
};

extern TApplication* const Application;

}  // namespace host
