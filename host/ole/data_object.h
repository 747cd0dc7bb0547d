#pragma once
// IDataObject: data a drag carries, asked for by format and handed over in a
// storage medium of global memory that the receiver releases. TDataObject is
// the host's own, holding its formats' bytes in memory.

#include <map>
#include <string>

#include "host/ole/global_memory.h"
#include "host/ole/unknown.h"

namespace host {

// Rendering for a particular device is not offered: data here is the same
// for every device, so ptd stays null.
struct DVTARGETDEVICE;

constexpr DWORD TYMED_NULL = 0;
constexpr DWORD TYMED_HGLOBAL = 1;

struct FORMATETC {
  CLIPFORMAT cfFormat;
  DVTARGETDEVICE* ptd;
  DWORD dwAspect;
  LONG lindex;
  DWORD tymed;
};

struct STGMEDIUM {
  DWORD tymed;
  HGLOBAL hGlobal;
  // When set, releasing the medium releases this instead of freeing hGlobal:
  // the data stays its provider's.
  IUnknown* pUnkForRelease;
};

// Lets go of what the medium holds and empties it.
void ReleaseStgMedium(STGMEDIUM* pmedium);

class IDataObject : public IUnknown {
 public:
  // On success the medium is the caller's to release.
  virtual HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
  // S_OK when GetData with this description would succeed.
  virtual HRESULT QueryGetData(FORMATETC* pformatetc) = 0;

 protected:
  ~IDataObject() = default;
};

class TDataObject : public TRefCounted<IDataObject, IID_IDataObject> {
 public:
  // Bytes as they are, or text with the zero that ends it.
  void Offer(UINT Format, std::string Bytes);
  void OfferText(UINT Format, const std::string& Text) { Offer(Format, Text + '\0'); }

  // Each GetData hands over a fresh global copy of the format's bytes.
  HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
  HRESULT QueryGetData(FORMATETC* pformatetc) override;

 protected:
  ~TDataObject() override = default;

 private:
  std::map<UINT, std::string> FFormats;
};

}  // namespace host
