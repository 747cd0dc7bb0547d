// DoDragDrop: the drag loop over the host's own windows.

#include "host/forms/controls.h"
#include "host/ole/drag_drop.h"
#include "host/ole/drag_pointer.h"
#include "host/ole/ole_init.h"

namespace host {

namespace {

// The target of the window under the point, or of its nearest parent with one.
IDropTarget* TargetAt(TPoint Screen) {
  for (HWND Wnd = WindowFromPoint(Screen); Wnd;) {
    if (IDropTarget* Target = RegisteredDropTarget(Wnd)) return Target;
    TWinControl* Control = FindControl(Wnd);
    TWinControl* Parent = Control ? Control->Parent() : nullptr;
    Wnd = Parent ? Parent->Handle() : nullptr;
  }
  return nullptr;
}

// One drag: which target the cursor is over and what it last answered. The
// target is held by a reference of the drag's own, so that whatever its
// callbacks free (its window, its owner) it outlives the calls made to it.
class TDrag {
 public:
  TDrag(IDataObject* Data, DWORD OKEffects) : FData(Data), FOKEffects(OKEffects) {}
  ~TDrag() { Leave(); }

  DWORD Effect() const { return FEffect; }

  void MoveTo(const TPointerState& State) {
    POINTL Pt{State.Pt.X, State.Pt.Y};
    TComPtr<IDropTarget> Now(TargetAt(State.Pt));
    if (Now.Get() == FTarget.Get()) {
      if (FTarget && !FRefused) {
        FEffect = FOKEffects;
        Answer(FTarget->DragOver(State.KeyState, Pt, &FEffect));
      }
      return;
    }
    Leave();
    FTarget = std::move(Now);
    if (!FTarget) return;
    FEffect = FOKEffects;
    HRESULT hr = FTarget->DragEnter(FData, State.KeyState, Pt, &FEffect);
    // A target that failed to enter hears nothing more of this drag, but stays
    // the one under the cursor so that moving on it does not enter it again.
    FRefused = FAILED(hr);
    Answer(hr);
  }

  // Drops where the cursor is; false when the target under it (if any)
  // answered no effect, in which case the drag only leaves it.
  bool Drop(const TPointerState& State) {
    if (!FTarget || FRefused || FEffect == DROPEFFECT_NONE) return false;
    TComPtr<IDropTarget> Target = std::move(FTarget);
    POINTL Pt{State.Pt.X, State.Pt.Y};
    FEffect = FOKEffects;
    Answer(Target->Drop(FData, State.KeyState, Pt, &FEffect));
    return true;
  }

  void Leave() {
    TComPtr<IDropTarget> Target = std::move(FTarget);
    bool Told = Target && !FRefused;
    FRefused = false;
    if (Told) Target->DragLeave();
  }

 private:
  // A target answers only within what the source allows; a failure is no effect.
  void Answer(HRESULT hr) { FEffect = FAILED(hr) ? DROPEFFECT_NONE : FEffect & FOKEffects; }

  IDataObject* FData;
  DWORD FOKEffects;
  TComPtr<IDropTarget> FTarget;
  bool FRefused = false;
  DWORD FEffect = DROPEFFECT_NONE;
};

}  // namespace

HRESULT DoDragDrop(IDataObject* pDataObj, IDropSource* pDropSource, DWORD dwOKEffects,
                   DWORD* pdwEffect) {
  if (!pDataObj || !pDropSource || !pdwEffect) return E_INVALIDARG;
  *pdwEffect = DROPEFFECT_NONE;
  if (!OleInitialized()) return CO_E_NOTINITIALIZED;
  TComPtr<IDataObject> Data(pDataObj);
  TComPtr<IDropSource> Source(pDropSource);
  TDrag Drag(pDataObj, dwOKEffects);
  TDragPointer* Pointer = DragPointer();
  TPointerState State;
  while (Pointer && Pointer->Next(State)) {
    Drag.MoveTo(State);
    HRESULT Continue = Source->QueryContinueDrag(State.EscapePressed, State.KeyState);
    if (Continue == DRAGDROP_S_DROP) {
      if (Drag.Drop(State)) *pdwEffect = Drag.Effect();
      return DRAGDROP_S_DROP;  // a drop that did not happen leaves the target
    }
    if (Continue != S_OK) break;
    Source->GiveFeedback(Drag.Effect());
  }
  return DRAGDROP_S_CANCEL;  // Drag's destructor tells the target it was left
}

HRESULT TDropSource::QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) {
  if (fEscapePressed) return DRAGDROP_S_CANCEL;
  if (!(grfKeyState & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) return DRAGDROP_S_DROP;
  return S_OK;
}

}  // namespace host
