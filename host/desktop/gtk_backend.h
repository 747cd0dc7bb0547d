#pragma once
// The GTK 3 backend. A windowed control's window is a GtkLayout (children at
// fixed places, and no size request taken from them, so the user can shrink
// a window), put in its parent's layout; a form without a parent gets a
// GtkWindow, any other parentless control an offscreen window, so that a
// control used only to capture (the command line) shows nothing. Controls
// without a window are painted by their parent's layout.

#include <gtk/gtk.h>

#include <map>

#include "host/forms/backend.h"
#include "host/forms/controls.h"

namespace host::desktop {

class TGtkBackend : public TWindowBackend {
 public:
  TGtkBackend() = default;
  ~TGtkBackend() override;
  std::string Name() const override { return "desktop"; }

  void CreateWindow(TWinControl& Control) override;
  void DestroyWindow(TWinControl& Control) override;
  void BoundsChanged(TControl& Control) override;
  void VisibleChanged(TControl& Control) override;
  void ParentChanged(TControl& Control, TWinControl* OldParent) override;
  void CaptionChanged(TControl& Control) override;
  void Invalidate(TControl& Control) override;
  void Popup(TPopupMenu& Menu, int X, int Y) override;
  TPoint ScreenOrigin(const TControl& TopLevel) override;
  void DropTargetRegistered(TWinControl& Control, IDropTarget* Target) override;
  void DropTargetRevoked(TWinControl& Control) override;
  bool MonitorSize(int& Width, int& Height) override;

  // The control's layout, and the window holding it when it has no parent
  // (GtkWindow or GtkOffscreenWindow); null when it has no window.
  GtkWidget* Widget(const TWinControl& Control) const;
  GtkWidget* TopLevel(const TWinControl& Control) const;

 private:
  struct TWindow {
    TWinControl* Control = nullptr;
    GtkWidget* Layout = nullptr;
    GtkWidget* TopLevel = nullptr;
  };

  TWindow* Find(const TControl* Control);
  const TWindow* Find(const TControl* Control) const;
  void PlaceTopLevel(TWindow& W);
  void PlaceChild(TWindow& W);
  void ShowOrHide(TWindow& W);
  void QueueParentDraw(TWinControl* Parent);

  static gboolean OnDraw(GtkWidget* Widget, cairo_t* Cr, gpointer Self);
  static gboolean OnButtonPress(GtkWidget* Widget, GdkEventButton* Event, gpointer Self);
  static void OnSizeAllocate(GtkWidget* Widget, GdkRectangle* Allocation, gpointer Self);
  static gboolean OnDelete(GtkWidget* Widget, GdkEvent* Event, gpointer Self);
  static void OnDestroyed(GtkWidget* Widget, gpointer Self);
  // Ends the application once no form of it is on the screen.
  void TerminateWithoutForms();
  static gboolean TakeNewSize(gpointer Self);

  std::map<const TControl*, TWindow> FWindows;
  // Takes the sizes the user gave top-level windows into their controls,
  // outside GTK's layout pass: a resize may re-render a whole page.
  guint FSizeIdle = 0;
  // Set while a size the window system chose is given to the control, so
  // that it is not sent back as a request.
  bool FTakingSize = false;
};

// Draws Control (a windowed control's client area and the controls without
// a window on it) at the cairo context's origin. gtk_paint.cpp.
void PaintControl(TWinControl& Control, cairo_t* Cr);

// Shows Menu at screen point (X, Y), waits until it closes and clicks the
// item chosen. gtk_menu.cpp.
void PopupMenu(TPopupMenu& Menu, int X, int Y);

}  // namespace host::desktop
