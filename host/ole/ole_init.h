#pragma once
// OLE's per-thread start and stop. Drag and drop works on a thread only
// between a successful OleInitialize and the OleUninitialize matching it.

#include "host/system/ole_types.h"

namespace host {

// S_OK for the thread's first call, S_FALSE for each nested one (which still
// needs its own OleUninitialize); E_INVALIDARG unless pvReserved is null.
HRESULT OleInitialize(void* pvReserved);
// Ends one OleInitialize of this thread; a call too many does nothing.
void OleUninitialize();
// Whether this thread is between OleInitialize and its last OleUninitialize.
bool OleInitialized();

}  // namespace host
