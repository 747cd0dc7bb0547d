#pragma once
// TMyDragDrop: the drop target TDropURL registers for its control's window.
// It takes the URL text of a drag when the drag enters and hands it to the
// event handler copied at load time when the drag is dropped.

#include <cstdint>
#include <string>

#include "dropurl/url_drop_event.h"
#include "host/ole/drag_drop.h"

namespace snapkit {

class TDropURL;

// The interface comes first so that the object's own table is the
// interface's; it is also the Sender of the drops it reports.
class TMyDragDrop : public host::IDropTarget, public host::TObject {
 public:
  // The creator holds the first reference.
  TMyDragDrop();

  host::HRESULT QueryInterface(host::REFIID riid, void** ppvObject) override;
  host::ULONG AddRef() override;
  host::ULONG Release() override;

  host::HRESULT DragEnter(host::IDataObject* pDataObj, host::DWORD grfKeyState, host::POINTL pt,
                          host::DWORD* pdwEffect) override;
  host::HRESULT DragOver(host::DWORD grfKeyState, host::POINTL pt, host::DWORD* pdwEffect) override;
  host::HRESULT DragLeave() override;
  host::HRESULT Drop(host::IDataObject* pDataObj, host::DWORD grfKeyState, host::POINTL pt,
                     host::DWORD* pdwEffect) override;

 private:
  // Only the last Release frees it.
  ~TMyDragDrop() override;

  friend class TDropURL;  // fills in the handler and formats at load time

  std::int32_t FRefCount = 1;
  TOnURLDropEvent FOnDrop;
  host::UINT FBookmarkFormat = 0;
  host::UINT FURLFormat = 0;
  std::string FDroppedURL;
};

}  // namespace snapkit
