#include "host/graphics/avif_library.h"

#include <dlfcn.h>

#include <string>

#include "host/system/exception.h"

namespace host {

const TAvifLibrary& Avif() {
  struct TLoaded {
    TAvifLibrary Functions;
    std::string Missing;  // empty when every function was found
  };
  static const TLoaded Loaded = [] {
    TLoaded L;
    // Never closed: its codecs' threads and tables may outlive any one call.
    void* Library = dlopen(SNAPKIT_AVIF_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!Library) {
      L.Missing = dlerror();
      return L;
    }
#define SNAPKIT_AVIF_LOAD(Name)                                                  \
  L.Functions.Name = reinterpret_cast<decltype(&::Name)>(dlsym(Library, #Name)); \
  if (!L.Functions.Name && L.Missing.empty()) L.Missing = SNAPKIT_AVIF_LIBRARY " has no " #Name;
    SNAPKIT_AVIF_FUNCTIONS(SNAPKIT_AVIF_LOAD)
#undef SNAPKIT_AVIF_LOAD
    return L;
  }();
  if (!Loaded.Missing.empty())
    throw EInvalidGraphicOperation("AVIF pictures need libavif: " + Loaded.Missing);
  return Loaded.Functions;
}

}  // namespace host
