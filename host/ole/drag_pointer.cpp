#include "host/ole/drag_pointer.h"

namespace host {

namespace {
thread_local TDragPointer* CurrentPointer = nullptr;
}

TDragPointer* SetDragPointer(TDragPointer* Pointer) {
  TDragPointer* Previous = CurrentPointer;
  CurrentPointer = Pointer;
  return Previous;
}

TDragPointer* DragPointer() { return CurrentPointer; }

TScriptedPointer::TScriptedPointer() : FPrevious(SetDragPointer(this)) {}

TScriptedPointer::~TScriptedPointer() {
  if (DragPointer() == this) SetDragPointer(FPrevious);
}

TPointerState TScriptedPointer::Last() const {
  return FSteps.empty() ? TPointerState{} : FSteps.back().State;
}

TScriptedPointer& TScriptedPointer::MoveTo(TPoint Screen, DWORD KeyState) {
  FSteps.push_back({{Screen, KeyState, false}, std::move(FPendingAction)});
  FPendingAction = nullptr;
  return *this;
}

TScriptedPointer& TScriptedPointer::ButtonUp() {
  TPointerState S = Last();
  S.KeyState &= ~(MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
  return MoveTo(S.Pt, S.KeyState);
}

TScriptedPointer& TScriptedPointer::Escape() {
  TPointerState S = Last();
  FSteps.push_back({{S.Pt, S.KeyState, true}, std::move(FPendingAction)});
  FPendingAction = nullptr;
  return *this;
}

TScriptedPointer& TScriptedPointer::Then(std::function<void()> Action) {
  FPendingAction = std::move(Action);
  return *this;
}

bool TScriptedPointer::Next(TPointerState& State) {
  if (FNext == FSteps.size()) return false;
  std::size_t Index = FNext++;
  // By value: the action may add steps, and the vector move under it.
  if (std::function<void()> Action = FSteps[Index].Before) Action();
  State = FSteps[Index].State;
  return true;
}

}  // namespace host
