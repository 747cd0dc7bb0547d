#include "host/ole/data_object.h"

#include <cstring>

namespace host {

void ReleaseStgMedium(STGMEDIUM* pmedium) {
  if (!pmedium) return;
  if (pmedium->pUnkForRelease)
    pmedium->pUnkForRelease->Release();
  else if (pmedium->tymed == TYMED_HGLOBAL)
    GlobalFree(pmedium->hGlobal);
  *pmedium = STGMEDIUM{};
}

void TDataObject::Offer(UINT Format, std::string Bytes) { FFormats[Format] = std::move(Bytes); }

HRESULT TDataObject::QueryGetData(FORMATETC* pformatetc) {
  if (!pformatetc) return E_INVALIDARG;
  if (pformatetc->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (pformatetc->lindex != -1) return DV_E_LINDEX;
  if (!(pformatetc->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
  if (!FFormats.count(pformatetc->cfFormat)) return DV_E_FORMATETC;
  return S_OK;
}

HRESULT TDataObject::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) {
  if (!pmedium) return E_INVALIDARG;
  HRESULT hr = QueryGetData(pformatetcIn);
  if (FAILED(hr)) return hr;
  const std::string& Bytes = FFormats[pformatetcIn->cfFormat];
  HGLOBAL Block = GlobalAlloc(GHND, Bytes.size());
  if (!Block) return E_OUTOFMEMORY;
  std::memcpy(GlobalLock(Block), Bytes.data(), Bytes.size());
  GlobalUnlock(Block);
  *pmedium = STGMEDIUM{TYMED_HGLOBAL, Block, nullptr};
  return S_OK;
}

}  // namespace host
