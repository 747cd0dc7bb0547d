#include "dropurl/drop_url.h"

#include <utility>

#include "host/ole/clipboard_formats.h"

namespace snapkit {

TDropURL::TDropURL(host::TComponent* AOwner) : host::TComponent(AOwner) {}

TDropURL::~TDropURL() {
  if (!FDropTarget) return;
  // Only our own registration: a destroyed window took it along already, and
  // a window that outlived it may have another target by now.
  if (host::RegisteredDropTarget(FTargetWnd) == FDropTarget) host::RevokeDragDrop(FTargetWnd);
  std::exchange(FDropTarget, nullptr)->Release();
}

void TDropURL::Loaded() {
  host::TComponent::Loaded();
  if (InState(host::csDesigning) || !FTargetControl || FDropTarget) return;
  FDropTarget = new TMyDragDrop;
  FDropTarget->FOnDrop = OnDropURL;
  FDropTarget->FBookmarkFormat = host::RegisterClipboardFormatA("Netscape Bookmark");
  FDropTarget->FURLFormat = host::RegisterClipboardFormatA("UniformResourceLocator");
  // A refused registration only means the control takes no drops.
  host::HWND Wnd = FTargetControl->Handle();
  if (host::RegisterDragDrop(Wnd, FDropTarget) == host::S_OK) FTargetWnd = Wnd;
}

}  // namespace snapkit
