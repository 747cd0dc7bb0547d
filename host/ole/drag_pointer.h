#pragma once
// Where a drag loop learns what the mouse does. The window-system backend
// feeds a pointer from real input; tests and programs that drag in-process
// play a scripted one.

#include <cstddef>
#include <functional>
#include <vector>

#include "host/graphics/types.h"
#include "host/system/ole_types.h"

namespace host {

struct TPointerState {
  TPoint Pt;                    // screen coordinates
  DWORD KeyState = MK_LBUTTON;  // MK_* buttons and keys held
  bool EscapePressed = false;
};

class TDragPointer {
 public:
  virtual ~TDragPointer() = default;
  // Waits for the pointer's next state; false when none will come, which
  // cancels the drag.
  virtual bool Next(TPointerState& State) = 0;
};

// Makes Pointer the one this thread's drags follow and returns the one
// before. With none, a drag is cancelled at once.
TDragPointer* SetDragPointer(TDragPointer* Pointer);
TDragPointer* DragPointer();

// A pointer that plays a path given in advance: moves with the left button
// held, then letting go or pressing Escape. While it exists it is the
// thread's drag pointer; each drag plays on from where the last one stopped.
class TScriptedPointer : public TDragPointer {
 public:
  TScriptedPointer();
  ~TScriptedPointer() override;
  TScriptedPointer(const TScriptedPointer&) = delete;
  TScriptedPointer& operator=(const TScriptedPointer&) = delete;

  TScriptedPointer& MoveTo(TPoint Screen, DWORD KeyState = MK_LBUTTON);
  // Lets go of the buttons where the cursor is.
  TScriptedPointer& ButtonUp();
  TScriptedPointer& Escape();
  // Runs Action just before the next step is played, to change the world
  // under a drag while it runs.
  TScriptedPointer& Then(std::function<void()> Action);

  bool Next(TPointerState& State) override;

 private:
  struct TStep {
    TPointerState State;
    std::function<void()> Before;
  };
  TPointerState Last() const;

  std::vector<TStep> FSteps;
  std::function<void()> FPendingAction;
  std::size_t FNext = 0;
  TDragPointer* FPrevious;
};

}  // namespace host
