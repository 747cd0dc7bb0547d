#pragma once
// Drag and drop between windows: a window registers a drop target; a drag
// started with DoDragDrop offers its data object to the target of whichever
// window the cursor is over. The loop, the registrations and the targets'
// calls all run on the user-interface thread.

#include "host/forms/messages.h"
#include "host/ole/data_object.h"
#include "host/ole/unknown.h"

namespace host {

class IDropTarget : public IUnknown {
 public:
  // The cursor came over the target's window carrying pDataObj; *pdwEffect
  // holds the effects the source allows and is answered with the one the
  // drop would have.
  virtual HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                            DWORD* pdwEffect) = 0;
  virtual HRESULT DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) = 0;

 protected:
  ~IDropTarget() = default;
};

class IDropSource : public IUnknown {
 public:
  // S_OK to go on, DRAGDROP_S_DROP to drop where the cursor is,
  // DRAGDROP_S_CANCEL to end the drag without a drop.
  virtual HRESULT QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) = 0;
  // The effect the target under the cursor answered, to show it;
  // DRAGDROP_S_USEDEFAULTCURSORS leaves that to the loop.
  virtual HRESULT GiveFeedback(DWORD dwEffect) = 0;

 protected:
  ~IDropSource() = default;
};

// The window keeps a reference to pDropTarget until RevokeDragDrop or until
// the window is destroyed, whichever comes first. CO_E_NOTINITIALIZED
// outside OleInitialize, E_INVALIDARG for a null target,
// DRAGDROP_E_INVALIDHWND for a window that does not exist,
// DRAGDROP_E_ALREADYREGISTERED when the window has a target already.
HRESULT RegisterDragDrop(HWND hwnd, IDropTarget* pDropTarget);
// Releases the window's target. DRAGDROP_E_INVALIDHWND for a window that
// does not exist, DRAGDROP_E_NOTREGISTERED when it has none.
HRESULT RevokeDragDrop(HWND hwnd);
// The target registered for the window, or null; no reference is added.
IDropTarget* RegisteredDropTarget(HWND hwnd);

// Runs a drag of pDataObj until it is dropped or cancelled, following the
// thread's drag pointer (see drag_pointer.h). The target is that of the
// window under the cursor, or of its nearest parent that has one. It gets
// DragEnter when the cursor comes to it, DragOver as the cursor moves on it,
// DragLeave when the cursor goes or the drag is cancelled, and Drop when the
// source drops while the target's last answer was an effect; a drop over no
// target or one that answered DROPEFFECT_NONE is a DragLeave. *pdwEffect
// receives the effect of the drop (within dwOKEffects), DROPEFFECT_NONE
// when there was none. Returns DRAGDROP_S_DROP or DRAGDROP_S_CANCEL;
// E_INVALIDARG for a null argument, CO_E_NOTINITIALIZED outside
// OleInitialize.
HRESULT DoDragDrop(IDataObject* pDataObj, IDropSource* pDropSource, DWORD dwOKEffects,
                   DWORD* pdwEffect);

// The usual source: Escape cancels, letting go of the mouse buttons drops,
// the cursor shows the default for each effect.
class TDropSource : public TRefCounted<IDropSource, IID_IDropSource> {
 public:
  HRESULT QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) override;
  HRESULT GiveFeedback(DWORD dwEffect) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

 protected:
  ~TDropSource() override = default;
};

}  // namespace host
