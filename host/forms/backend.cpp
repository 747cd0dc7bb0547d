// Picking the window backend, and loading the desktop one at run time.

#include "host/forms/backend.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "host/forms/screen.h"
#include "host/system/exception.h"

namespace host {

bool AnyWindowExists();  // controls.cpp

namespace {

// Never freed: controls that outlive main's objects (statics) still reach
// the backend as they are destroyed, and a loaded GTK is never unloaded.
TWindowBackend* Current = nullptr;

std::string LibraryDirectory() {
  Dl_info Info{};
  if (!dladdr(reinterpret_cast<void*>(&LoadDesktopBackend), &Info) || !Info.dli_fname) return "";
  std::string Path = Info.dli_fname;
  std::size_t Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? "" : Path.substr(0, Slash + 1);
}

std::unique_ptr<TWindowBackend> ChooseAuto() {
  const char* Wanted = std::getenv("SNAPKIT_BACKEND");
  if (Wanted && std::strcmp(Wanted, "headless") == 0) return MakeHeadlessBackend();
  if (Wanted && std::strcmp(Wanted, "desktop") == 0) return LoadDesktopBackend();
  const char* Display = std::getenv("DISPLAY");
  if (!Display || !*Display) return MakeHeadlessBackend();
  try {
    return LoadDesktopBackend();
  } catch (const Exception&) {
    return MakeHeadlessBackend();
  }
}

void MakeCurrent(TWindowBackend* Backend) {
  Current = Backend;
  int Width = 0, Height = 0;
  if (Current->MonitorSize(Width, Height)) Screen->SetMonitorSize(Width, Height);
}

void Replace(std::unique_ptr<TWindowBackend> Backend) {
  if (Current && AnyWindowExists())
    throw EInvalidOperation("The window backend cannot change while windows exist");
  delete Current;
  MakeCurrent(Backend.release());
}

}  // namespace

TWindowBackend& WindowBackend() {
  if (!Current) MakeCurrent(ChooseAuto().release());
  return *Current;
}

void SetWindowBackend(std::unique_ptr<TWindowBackend> Backend) {
  if (!Backend) throw EInvalidOperation("No window backend given");
  Replace(std::move(Backend));
}

void UseWindowBackend(TBackendKind Kind) {
  switch (Kind) {
    case bkHeadless:
      Replace(MakeHeadlessBackend());
      break;
    case bkDesktop:
      Replace(LoadDesktopBackend());
      break;
    case bkAuto:
      Replace(ChooseAuto());
      break;
  }
}

std::unique_ptr<TWindowBackend> LoadDesktopBackend() {
  const char* Name = SNAPKIT_DESKTOP_LIBRARY;  // the soname, from the build
  // GTK cannot be unloaded safely, so the library stays once opened.
  const int Flags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
  void* Library = dlopen((LibraryDirectory() + Name).c_str(), Flags);
  if (!Library) Library = dlopen(Name, Flags);
  if (!Library)
    throw EInvalidOperation(
        std::string("The desktop backend is not installed (it is in the snapkit-desktop package): ") +
        dlerror());
  auto Factory =
      reinterpret_cast<TDesktopBackendFactory>(dlsym(Library, DesktopBackendFactoryName));
  if (!Factory) throw EInvalidOperation("The desktop backend library has no entry point");
  char Error[256] = "";
  TWindowBackend* Backend = Factory(Error, sizeof Error);
  if (!Backend) throw EInvalidOperation(std::string("The desktop backend cannot start: ") + Error);
  return std::unique_ptr<TWindowBackend>(Backend);
}

}  // namespace host
