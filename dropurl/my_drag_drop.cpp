#include "dropurl/my_drag_drop.h"

#include <algorithm>
#include <cstring>

#include "host/forms/application.h"
#include "host/ole/ole_init.h"

namespace snapkit {

using namespace host;

namespace {

constexpr std::size_t MaxURLLength = 255;

// The medium's text up to its zero, never past the block's end.
std::string TextOf(const STGMEDIUM& Medium) {
  if (Medium.tymed != TYMED_HGLOBAL) return {};
  const char* Text = static_cast<const char*>(GlobalLock(Medium.hGlobal));
  if (!Text) return {};
  std::size_t Length = std::min(strnlen(Text, GlobalSize(Medium.hGlobal)), MaxURLLength);
  std::string Result(Text, Length);
  GlobalUnlock(Medium.hGlobal);
  return Result;
}

}  // namespace

TMyDragDrop::TMyDragDrop() { OleInitialize(nullptr); }

TMyDragDrop::~TMyDragDrop() { OleUninitialize(); }

HRESULT TMyDragDrop::QueryInterface(REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  if (riid != IID_IDropTarget && riid != IID_IUnknown) {
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  *ppvObject = static_cast<IDropTarget*>(this);
  AddRef();
  return S_OK;
}

ULONG TMyDragDrop::AddRef() { return static_cast<ULONG>(++FRefCount); }

ULONG TMyDragDrop::Release() {
  std::int32_t Count = --FRefCount;
  if (Count == 0) delete this;
  return static_cast<ULONG>(Count);
}

HRESULT TMyDragDrop::DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                               DWORD* pdwEffect) {
  // Whatever an earlier drag brought is not this drag's URL.
  FDroppedURL.clear();
  if (!pDataObj || !pdwEffect) return E_INVALIDARG;
  FORMATETC Format{static_cast<CLIPFORMAT>(FBookmarkFormat), nullptr, DVASPECT_CONTENT, -1,
                   TYMED_HGLOBAL};
  STGMEDIUM Medium{};
  if (FAILED(pDataObj->GetData(&Format, &Medium))) {
    Format.cfFormat = static_cast<CLIPFORMAT>(FURLFormat);
    if (FAILED(pDataObj->GetData(&Format, &Medium))) return S_FALSE;
  }
  FDroppedURL = TextOf(Medium);
  ReleaseStgMedium(&Medium);
  *pdwEffect = DROPEFFECT_COPY;
  return S_OK;
}

HRESULT TMyDragDrop::DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  if (!pdwEffect) return E_INVALIDARG;
  *pdwEffect = DROPEFFECT_COPY;
  return S_OK;
}

HRESULT TMyDragDrop::DragLeave() {
  FDroppedURL.clear();
  return S_OK;
}

HRESULT TMyDragDrop::Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  if (!pdwEffect) return E_INVALIDARG;
  std::string URL;
  URL.swap(FDroppedURL);  // a URL is dropped once
  if (URL.empty()) {
    // Nothing of this drag's own to report; the source learns nothing was taken.
    *pdwEffect = DROPEFFECT_NONE;
    return S_OK;
  }
  *pdwEffect = DROPEFFECT_COPY;
  if (!FOnDrop) return S_OK;
  // The handler may free the component that holds this object.
  AddRef();
  HRESULT Result = S_OK;
  try {
    FOnDrop(this, URL);
  } catch (...) {
    // The drag loop belongs to the source's program; the application hears
    // of its handler's failure through its own exception handling.
    try {
      Application->HandleException(this);
    } catch (...) {
      // An exception handler that throws has nowhere left to report to.
    }
    *pdwEffect = DROPEFFECT_NONE;
    Result = E_UNEXPECTED;
  }
  Release();
  return Result;
}

}  // namespace snapkit
