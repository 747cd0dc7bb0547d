#pragma once
// The user's hand for drag tests: xdotool moving the X pointer while this
// process's GLib loop keeps running, so that GTK in here answers the drag as
// it goes; and other programs whose output lines the test waits on.

#include <gio/gio.h>

#include <functional>
#include <string>
#include <vector>

namespace host::desktop::testing {

struct TScreenPoint {
  int X, Y;
};

// Opens GTK on the test's display, without the accessibility bridge: the
// bridge looks for a session bus that tests do not have, and keeps what it
// allocated to the end of the process.
bool StartGtk();

// Runs the main context until Done() holds or TimeoutMs pass; returns Done().
bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs);

// Runs a program to its end with the main context running; its exit status,
// or -1 when it could not start or took longer than TimeoutMs.
int RunPumping(const std::vector<std::string>& Argv, int TimeoutMs = 20000);

// A program of the test's: its standard output is read line by line as the
// main context runs. Killed, if still running, when this goes.
class TChildProgram {
 public:
  explicit TChildProgram(const std::vector<std::string>& Argv, bool KeepOutput = true);
  ~TChildProgram();
  TChildProgram(const TChildProgram&) = delete;
  TChildProgram& operator=(const TChildProgram&) = delete;

  const std::vector<std::string>& Lines() const { return FLines; }
  // The first line starting with Prefix, waiting up to TimeoutMs for it;
  // empty when none came.
  std::string WaitForLine(const std::string& Prefix, int TimeoutMs);
  // Whether a line starting with Prefix has come so far.
  bool Said(const std::string& Prefix) const;
  bool Running() const { return FRunning; }

 private:
  void ReadNext();

  GSubprocess* FProcess = nullptr;
  GDataInputStream* FOutput = nullptr;
  GCancellable* FCancel = nullptr;
  std::vector<std::string> FLines;
  bool FRunning = true;
};

struct TDragPlan {
  TScreenPoint From, To;
  // Whether the drop site has heard of the drag and answered: the hand
  // keeps nudging the pointer at To until it holds.
  std::function<bool()> Arrived;
  // Runs once Arrived() holds, before the hand goes on.
  std::function<void()> ThenDo;
  // Where to let go, when not at To; or press Escape instead.
  const TScreenPoint* ReleaseAt = nullptr;
  bool PressEscape = false;
  int TimeoutMs = 15000;
};

// Presses the left button at From, moves past the drag threshold and on to
// To in small steps, waits there for Arrived(), then lets go (or cancels) as
// planned. False when Arrived() never held; the button is released anyway.
bool DragWithXdotool(const TDragPlan& Plan);

}  // namespace host::desktop::testing
