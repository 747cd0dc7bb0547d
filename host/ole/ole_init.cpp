#include "host/ole/ole_init.h"

namespace host {

namespace {
thread_local int InitCount = 0;
}

HRESULT OleInitialize(void* pvReserved) {
  if (pvReserved) return E_INVALIDARG;
  return ++InitCount == 1 ? S_OK : S_FALSE;
}

void OleUninitialize() {
  if (InitCount > 0) --InitCount;
}

bool OleInitialized() { return InitCount > 0; }

}  // namespace host
