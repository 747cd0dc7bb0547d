// The windows' drop-target registrations, kept by window handle.

#include <map>

#include "host/forms/backend.h"
#include "host/forms/controls.h"
#include "host/ole/drag_drop.h"
#include "host/ole/ole_init.h"

namespace host {

namespace {

// Only the user-interface thread registers, revokes, drags and destroys
// windows, so the table needs no lock.
class TRegistrations {
 public:
  TRegistrations() {
    // A destroyed window can take no more drops: its reference goes with it.
    FHook = AddWindowDestroyHook([this](HWND Wnd) { Revoke(Wnd); });
  }
  ~TRegistrations() { RemoveWindowDestroyHook(FHook); }

  IDropTarget* Find(HWND Wnd) const {
    auto it = FTargets.find(Wnd);
    return it == FTargets.end() ? nullptr : it->second;
  }
  void Add(HWND Wnd, IDropTarget* Target) {
    Target->AddRef();
    FTargets.emplace(Wnd, Target);
    // Drags from other programs reach the target through the window system.
    if (TWinControl* Control = FindControl(Wnd)) {
      try {
        WindowBackend().DropTargetRegistered(*Control, Target);
      } catch (...) {
        Revoke(Wnd);
        throw;
      }
    }
  }
  bool Revoke(HWND Wnd) {
    auto it = FTargets.find(Wnd);
    if (it == FTargets.end()) return false;
    if (TWinControl* Control = FindControl(Wnd)) WindowBackend().DropTargetRevoked(*Control);
    IDropTarget* Target = it->second;
    // Out of the table first: the last Release may run code that looks here.
    FTargets.erase(it);
    Target->Release();
    return true;
  }

 private:
  std::map<HWND, IDropTarget*> FTargets;
  int FHook;
};

TRegistrations& Registrations() {
  static TRegistrations R;
  return R;
}

}  // namespace

HRESULT RegisterDragDrop(HWND hwnd, IDropTarget* pDropTarget) {
  if (!OleInitialized()) return CO_E_NOTINITIALIZED;
  if (!pDropTarget) return E_INVALIDARG;
  if (!IsWindow(hwnd)) return DRAGDROP_E_INVALIDHWND;
  if (Registrations().Find(hwnd)) return DRAGDROP_E_ALREADYREGISTERED;
  Registrations().Add(hwnd, pDropTarget);
  return S_OK;
}

HRESULT RevokeDragDrop(HWND hwnd) {
  if (!IsWindow(hwnd)) return DRAGDROP_E_INVALIDHWND;
  return Registrations().Revoke(hwnd) ? S_OK : DRAGDROP_E_NOTREGISTERED;
}

IDropTarget* RegisteredDropTarget(HWND hwnd) { return Registrations().Find(hwnd); }

}  // namespace host
