#include "host/ole/data_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace host {
namespace {

TEST(DataObjectTest, GetDataHandsOverACopyOnlyForWhatItOffers) {
  auto* Data = new TDataObject;
  Data->OfferText(0xC001, "http://a/");
  Data->Offer(0xC002, std::string("\x01\x00\x02", 3));
  struct Case {
    CLIPFORMAT Format;
    DWORD Aspect;
    LONG Index;
    DWORD Medium;
    HRESULT Expected;
    std::string Bytes;
  } Cases[] = {
      {0xC001, DVASPECT_CONTENT, -1, TYMED_HGLOBAL, S_OK, std::string("http://a/\0", 10)},
      {0xC002, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | 2, S_OK, std::string("\x01\x00\x02", 3)},
      {0xC003, DVASPECT_CONTENT, -1, TYMED_HGLOBAL, DV_E_FORMATETC, ""},
      {0xC001, 2, -1, TYMED_HGLOBAL, DV_E_DVASPECT, ""},
      {0xC001, DVASPECT_CONTENT, 0, TYMED_HGLOBAL, DV_E_LINDEX, ""},
      {0xC001, DVASPECT_CONTENT, -1, 2, DV_E_TYMED, ""},
  };
  std::size_t Before = GlobalBlocksInUse();
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Format);
    FORMATETC Format{C.Format, nullptr, C.Aspect, C.Index, C.Medium};
    EXPECT_EQ(Data->QueryGetData(&Format), C.Expected);
    STGMEDIUM Medium{};
    ASSERT_EQ(Data->GetData(&Format, &Medium), C.Expected);
    if (FAILED(C.Expected)) {
      EXPECT_EQ(Medium.tymed, TYMED_NULL);
      continue;
    }
    EXPECT_EQ(Medium.tymed, TYMED_HGLOBAL);
    EXPECT_EQ(Medium.pUnkForRelease, nullptr);
    ASSERT_EQ(GlobalSize(Medium.hGlobal), C.Bytes.size());
    EXPECT_EQ(std::string(static_cast<char*>(GlobalLock(Medium.hGlobal)), C.Bytes.size()), C.Bytes);
    GlobalUnlock(Medium.hGlobal);
    // Each medium is its receiver's own: spoiling one leaves the next intact.
    std::memset(GlobalLock(Medium.hGlobal), 'x', C.Bytes.size());
    GlobalUnlock(Medium.hGlobal);
    EXPECT_EQ(GlobalBlocksInUse(), Before + 1);
    ReleaseStgMedium(&Medium);
    EXPECT_EQ(Medium.tymed, TYMED_NULL);
    EXPECT_EQ(Medium.hGlobal, nullptr);
    EXPECT_EQ(GlobalBlocksInUse(), Before);
  }
  FORMATETC Any{0xC001, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(Data->GetData(nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(Data->GetData(&Any, nullptr), E_INVALIDARG);
  EXPECT_EQ(Data->Release(), 0u);
}

// A provider that keeps the memory it lends: releasing the medium releases it.
class TLender : public TRefCounted<IDataObject, IID_IDataObject> {
 public:
  explicit TLender(bool& Destroyed) : FDestroyed(Destroyed) {}
  HRESULT GetData(FORMATETC*, STGMEDIUM* pmedium) override {
    AddRef();
    *pmedium = STGMEDIUM{TYMED_HGLOBAL, FBlock, this};
    return S_OK;
  }
  HRESULT QueryGetData(FORMATETC*) override { return S_OK; }
  HGLOBAL FBlock = GlobalAlloc(GHND, 4);

 protected:
  ~TLender() override {
    EXPECT_EQ(GlobalFree(FBlock), nullptr) << "the medium's release freed a lent block";
    FDestroyed = true;
  }

 private:
  bool& FDestroyed;
};

TEST(DataObjectTest, MediumLentByItsProviderIsReleasedThroughIt) {
  bool Destroyed = false;
  auto* Lender = new TLender(Destroyed);
  FORMATETC Format{1, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM Medium{};
  ASSERT_EQ(Lender->GetData(&Format, &Medium), S_OK);
  EXPECT_EQ(Lender->Release(), 1u);
  ReleaseStgMedium(&Medium);
  EXPECT_TRUE(Destroyed);
}

TEST(DataObjectTest, QueryInterfaceAnswersForItsOwnInterfacesOnly) {
  auto* Data = new TDataObject;
  struct Case {
    const IID& Id;
    HRESULT Expected;
  } Cases[] = {
      {IID_IUnknown, S_OK},
      {IID_IDataObject, S_OK},
      {IID_IDropTarget, E_NOINTERFACE},
      {IID_IDropSource, E_NOINTERFACE},
  };
  for (const Case& C : Cases) {
    void* Object = reinterpret_cast<void*>(1);
    EXPECT_EQ(Data->QueryInterface(C.Id, &Object), C.Expected);
    EXPECT_EQ(Object, C.Expected == S_OK ? static_cast<IDataObject*>(Data) : nullptr);
  }
  EXPECT_EQ(Data->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(Data->Release(), 2u);
  EXPECT_EQ(Data->Release(), 1u);
  EXPECT_EQ(Data->Release(), 0u);
}

}  // namespace
}  // namespace host
