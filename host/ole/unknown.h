#pragma once
// IUnknown, reference counting for the host's own OLE objects, and a holder
// that keeps one reference.

#include <utility>

#include "host/system/ole_types.h"

namespace host {

// An object reached through interfaces lives as long as someone holds a
// reference; the last Release frees it, so it is never deleted through an
// interface pointer.
class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

// Counting for a host object that offers one interface (and IUnknown). The
// count is 1 after construction: the creator holds the first reference.
// Single-threaded, as the user-interface objects that use it.
template <class Interface, const IID& InterfaceID>
class TRefCounted : public Interface {
 public:
  TRefCounted() = default;
  TRefCounted(const TRefCounted&) = delete;
  TRefCounted& operator=(const TRefCounted&) = delete;

  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    if (riid != IID_IUnknown && riid != InterfaceID) {
      *ppvObject = nullptr;
      return E_NOINTERFACE;
    }
    *ppvObject = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++FRefCount; }
  ULONG Release() override {
    ULONG Count = --FRefCount;
    if (Count == 0) delete this;
    return Count;
  }

 protected:
  virtual ~TRefCounted() = default;

 private:
  ULONG FRefCount = 1;
};

// Holds one reference to an interface. Attach takes over a reference the
// caller already owns (a new object's first one); copying adds one.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(T* Object) : FObject(Object) {
    if (FObject) FObject->AddRef();
  }
  TComPtr(const TComPtr& Other) : TComPtr(Other.FObject) {}
  TComPtr(TComPtr&& Other) noexcept : FObject(std::exchange(Other.FObject, nullptr)) {}
  TComPtr& operator=(TComPtr Other) noexcept {
    std::swap(FObject, Other.FObject);
    return *this;
  }
  ~TComPtr() {
    if (FObject) FObject->Release();
  }

  static TComPtr Attach(T* Object) {
    TComPtr P;
    P.FObject = Object;
    return P;
  }

  T* Get() const { return FObject; }
  T* operator->() const { return FObject; }
  explicit operator bool() const { return FObject != nullptr; }

 private:
  T* FObject = nullptr;
};

}  // namespace host
