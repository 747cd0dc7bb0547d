#pragma once
// What the framework needs from a window system. The framework's classes are
// the same on every platform; each window system implements this small
// interface and one instance is current. The headless backend (the default)
// draws nothing and keeps windows as table entries; the GTK 3 backend lives
// in libsnapkit-desktop.so and is loaded at run time, so that programs
// without a display never load GTK.

#include <memory>
#include <string>

#include "host/graphics/types.h"

namespace host {

class TControl;
class TWinControl;
class TPopupMenu;
class IDropTarget;  // host/ole's; the framework only passes it on

class TWindowBackend {
 public:
  virtual ~TWindowBackend() = default;
  virtual std::string Name() const = 0;

  // Control's handle has just been made (its parent's exists already) or is
  // about to go (its children's have gone).
  virtual void CreateWindow(TWinControl& Control) = 0;
  virtual void DestroyWindow(TWinControl& Control) = 0;
  // Control, windowed or not, moved, changed size, was shown or hidden, or
  // moved to another parent.
  virtual void BoundsChanged(TControl& Control) = 0;
  virtual void VisibleChanged(TControl& Control) = 0;
  virtual void ParentChanged(TControl& Control, TWinControl* OldParent) = 0;
  // A window's title is its control's caption.
  virtual void CaptionChanged(TControl& Control) = 0;
  // Control's look changed: draw it again soon.
  virtual void Invalidate(TControl& Control) = 0;
  // Shows Menu to the user at screen point (X, Y) and returns once it is
  // closed, after clicking the item chosen, if any. Runs only when no popup
  // hook stands for the user.
  virtual void Popup(TPopupMenu& Menu, int X, int Y) = 0;
  // Where a control without a parent has its client origin on the screen.
  virtual TPoint ScreenOrigin(const TControl& TopLevel) = 0;
  // A drop target was registered for, or revoked from, Control's window.
  virtual void DropTargetRegistered(TWinControl& Control, IDropTarget* Target) = 0;
  virtual void DropTargetRevoked(TWinControl& Control) = 0;
  // The size of the display's primary monitor; false without one.
  virtual bool MonitorSize(int& Width, int& Height) {
    (void)Width;
    (void)Height;
    return false;
  }
};

// The current backend; the screen takes its monitor's size unless the
// program has set one (host/forms/screen.h). The first call picks one: the one that
// SNAPKIT_BACKEND names ("headless" or "desktop"), else the desktop backend
// when a display is present and its library loads, else headless.
TWindowBackend& WindowBackend();

enum TBackendKind { bkAuto, bkHeadless, bkDesktop };
// Makes Kind current (bkAuto: as the first call would pick). Raises
// EInvalidOperation while any window exists, and for bkDesktop when the
// library cannot be loaded or no display opened, with the reason.
void UseWindowBackend(TBackendKind Kind);
// Makes Backend current (tests, other window systems); same rule.
void SetWindowBackend(std::unique_ptr<TWindowBackend> Backend);

// The desktop backend, loaded from libsnapkit-desktop.so (beside the host
// library, else on the library path). Raises EInvalidOperation saying why
// when it cannot be had.
std::unique_ptr<TWindowBackend> LoadDesktopBackend();
std::unique_ptr<TWindowBackend> MakeHeadlessBackend();

// The symbol the desktop library exports: it makes its backend, or returns
// null with a reason in Error (Size bytes, terminated).
using TDesktopBackendFactory = TWindowBackend* (*)(char* Error, unsigned long Size);
constexpr const char* DesktopBackendFactoryName = "snapkit_desktop_backend";

}  // namespace host
