#pragma once

#include "host/ole/ole_init.h"

namespace host::testing {

// OLE initialised on this thread for as long as it exists.
struct TOleSession {
  TOleSession() { OleInitialize(nullptr); }
  ~TOleSession() { OleUninitialize(); }
  TOleSession(const TOleSession&) = delete;
  TOleSession& operator=(const TOleSession&) = delete;
};

}  // namespace host::testing
