// The GTK 3 backend's windows: creation, placement, visibility, the user's
// mouse and window sizes into the controls, and the library's entry point.

#include "host/desktop/gtk_backend.h"

#include <cstring>
#include <vector>

#include "host/desktop/xdnd_target.h"
#include "host/forms/application.h"
#include "host/forms/form.h"

namespace host::desktop {

namespace {

const char* const ControlKey = "snapkit-control";

TWinControl* ControlOf(GtkWidget* Widget) {
  return static_cast<TWinControl*>(g_object_get_data(G_OBJECT(Widget), ControlKey));
}

TShiftState ShiftOf(guint State) {
  TShiftState Shift = 0;
  if (State & GDK_SHIFT_MASK) Shift |= 1u << ssShift;
  if (State & GDK_MOD1_MASK) Shift |= 1u << ssAlt;
  if (State & GDK_CONTROL_MASK) Shift |= 1u << ssCtrl;
  if (State & GDK_BUTTON1_MASK) Shift |= 1u << ssLeft;
  if (State & GDK_BUTTON3_MASK) Shift |= 1u << ssRight;
  if (State & GDK_BUTTON2_MASK) Shift |= 1u << ssMiddle;
  return Shift;
}

void SetTitle(GtkWidget* Window, const TControl& Control) {
  gtk_window_set_title(GTK_WINDOW(Window), Control.Caption().empty() ? Control.Name().c_str()
                                                                     : Control.Caption().c_str());
}

}  // namespace

TGtkBackend::~TGtkBackend() {
  if (FSizeIdle) g_source_remove(FSizeIdle);
}

TGtkBackend::TWindow* TGtkBackend::Find(const TControl* Control) {
  auto it = FWindows.find(Control);
  return it == FWindows.end() ? nullptr : &it->second;
}

const TGtkBackend::TWindow* TGtkBackend::Find(const TControl* Control) const {
  auto it = FWindows.find(Control);
  return it == FWindows.end() ? nullptr : &it->second;
}

GtkWidget* TGtkBackend::Widget(const TWinControl& Control) const {
  const TWindow* W = Find(&Control);
  return W ? W->Layout : nullptr;
}

GtkWidget* TGtkBackend::TopLevel(const TWinControl& Control) const {
  const TWindow* W = Find(&Control);
  return W ? W->TopLevel : nullptr;
}

void TGtkBackend::CreateWindow(TWinControl& Control) {
  TWindow W;
  W.Control = &Control;
  W.Layout = gtk_layout_new(nullptr, nullptr);
  g_object_set_data(G_OBJECT(W.Layout), ControlKey, &Control);
  gtk_widget_add_events(W.Layout, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
  g_signal_connect(W.Layout, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(W.Layout, "button-press-event", G_CALLBACK(OnButtonPress), this);

  if (TWinControl* Parent = Control.Parent()) {
    TWindow* P = Find(Parent);
    if (!P) {
      gtk_widget_destroy(W.Layout);
      throw EInvalidOperation("The parent of " + Control.Name() + " has no window");
    }
    gtk_layout_put(GTK_LAYOUT(P->Layout), W.Layout, Control.Left(), Control.Top());
  } else {
    bool Form = dynamic_cast<TForm*>(&Control) != nullptr;
    W.TopLevel = Form ? gtk_window_new(GTK_WINDOW_TOPLEVEL) : gtk_offscreen_window_new();
    g_object_set_data(G_OBJECT(W.TopLevel), ControlKey, &Control);
    gtk_container_add(GTK_CONTAINER(W.TopLevel), W.Layout);
    if (Form) {
      SetTitle(W.TopLevel, Control);
      g_signal_connect(W.TopLevel, "delete-event", G_CALLBACK(OnDelete), this);
      g_signal_connect(W.TopLevel, "destroy", G_CALLBACK(OnDestroyed), this);
      // Only a window on the screen is resized by the user; an offscreen
      // one keeps its control's size (even 0 by 0, which it cannot be).
      g_signal_connect(W.Layout, "size-allocate", G_CALLBACK(OnSizeAllocate), this);
    }
  }
  TWindow& Stored = FWindows[&Control] = W;
  if (Stored.TopLevel)
    PlaceTopLevel(Stored);
  else
    PlaceChild(Stored);
  gtk_widget_show(Stored.Layout);
  ShowOrHide(Stored);

  // A window on the screen has its children's windows on it too, as the
  // platform creates them with their parent's.
  for (int i = 0; i < Control.ControlCount(); ++i)
    if (auto* Child = dynamic_cast<TWinControl*>(Control.Controls(i))) Child->HandleNeeded();
}

void TGtkBackend::DestroyWindow(TWinControl& Control) {
  TWindow* W = Find(&Control);
  if (!W) return;
  GtkWidget* Outer = W->TopLevel ? W->TopLevel : W->Layout;
  FWindows.erase(&Control);
  g_object_set_data(G_OBJECT(Outer), ControlKey, nullptr);
  gtk_widget_destroy(Outer);
}

void TGtkBackend::PlaceTopLevel(TWindow& W) {
  TControl& C = *W.Control;
  GtkWindow* Window = GTK_WINDOW(W.TopLevel);
  int Width = std::max(C.Width(), 1), Height = std::max(C.Height(), 1);
  gtk_window_set_default_size(Window, Width, Height);
  gtk_window_resize(Window, Width, Height);
  gtk_window_move(Window, C.Left(), C.Top());
}

void TGtkBackend::PlaceChild(TWindow& W) {
  TControl& C = *W.Control;
  TWindow* P = Find(C.Parent());
  if (!P) return;
  gtk_layout_move(GTK_LAYOUT(P->Layout), W.Layout, C.Left(), C.Top());
  gtk_widget_set_size_request(W.Layout, C.Width(), C.Height());
}

void TGtkBackend::ShowOrHide(TWindow& W) {
  GtkWidget* Outer = W.TopLevel ? W.TopLevel : W.Layout;
  gtk_widget_set_visible(Outer, W.Control->Visible());
}

void TGtkBackend::QueueParentDraw(TWinControl* Parent) {
  if (TWindow* P = Find(Parent)) gtk_widget_queue_draw(P->Layout);
}

void TGtkBackend::BoundsChanged(TControl& Control) {
  TWindow* W = Find(&Control);
  if (!W) {
    QueueParentDraw(Control.Parent());
    return;
  }
  if (!W->TopLevel)
    PlaceChild(*W);
  else if (!FTakingSize)
    PlaceTopLevel(*W);
  gtk_widget_queue_draw(W->Layout);
}

void TGtkBackend::VisibleChanged(TControl& Control) {
  if (TWindow* W = Find(&Control))
    ShowOrHide(*W);
  else
    QueueParentDraw(Control.Parent());
}

void TGtkBackend::ParentChanged(TControl& Control, TWinControl* OldParent) {
  auto* Windowed = dynamic_cast<TWinControl*>(&Control);
  if (!Windowed) {
    QueueParentDraw(OldParent);
    QueueParentDraw(Control.Parent());
    return;
  }
  if (Control.InState(csDestroying)) return;
  TWindow* W = Find(&Control);
  TWindow* NewParent = Find(Control.Parent());
  if (W && !W->TopLevel && NewParent) {
    // From one layout to another, keeping the window and what hangs on it.
    g_object_ref(W->Layout);
    gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(W->Layout)), W->Layout);
    gtk_layout_put(GTK_LAYOUT(NewParent->Layout), W->Layout, Control.Left(), Control.Top());
    g_object_unref(W->Layout);
    PlaceChild(*W);
    return;
  }
  // To or from the top level: a window of the other kind. A window that did
  // not exist comes when its new parent's has.
  if (W) Windowed->DestroyHandle();
  if (W || NewParent) Windowed->HandleNeeded();
}

void TGtkBackend::CaptionChanged(TControl& Control) {
  if (TWindow* W = Find(&Control); W && W->TopLevel) SetTitle(W->TopLevel, Control);
}

void TGtkBackend::Invalidate(TControl& Control) {
  if (TWindow* W = Find(&Control))
    gtk_widget_queue_draw(W->Layout);
  else
    QueueParentDraw(Control.Parent());
}

void TGtkBackend::Popup(TPopupMenu& Menu, int X, int Y) { PopupMenu(Menu, X, Y); }

bool TGtkBackend::MonitorSize(int& Width, int& Height) {
  GdkDisplay* Display = gdk_display_get_default();
  if (!Display) return false;
  // X servers without RandR name no primary monitor; the first one is it.
  GdkMonitor* Monitor = gdk_display_get_primary_monitor(Display);
  if (!Monitor && gdk_display_get_n_monitors(Display) > 0)
    Monitor = gdk_display_get_monitor(Display, 0);
  if (!Monitor) return false;
  GdkRectangle Area{};
  gdk_monitor_get_geometry(Monitor, &Area);
  Width = Area.width;
  Height = Area.height;
  return Width > 0 && Height > 0;
}

TPoint TGtkBackend::ScreenOrigin(const TControl& TopLevel) {
  const TWindow* W = Find(&TopLevel);
  GdkWindow* Window = W ? gtk_widget_get_window(W->Layout) : nullptr;
  if (!Window || !W->TopLevel || GTK_IS_OFFSCREEN_WINDOW(W->TopLevel))
    return {TopLevel.Left(), TopLevel.Top()};
  int X = 0, Y = 0;
  gdk_window_get_origin(Window, &X, &Y);
  return {X, Y};
}

void TGtkBackend::DropTargetRegistered(TWinControl& Control, IDropTarget* Target) {
  if (TWindow* W = Find(&Control)) AttachDropTarget(W->Layout, Target);
}

void TGtkBackend::DropTargetRevoked(TWinControl& Control) {
  if (TWindow* W = Find(&Control)) DetachDropTarget(W->Layout);
}

gboolean TGtkBackend::OnDraw(GtkWidget* Widget, cairo_t* Cr, gpointer) {
  TWinControl* Control = ControlOf(Widget);
  if (!Control || !gtk_cairo_should_draw_window(Cr, gtk_layout_get_bin_window(GTK_LAYOUT(Widget))))
    return FALSE;
  try {
    PaintControl(*Control, Cr);
  } catch (...) {
    Application->HandleException(Control);
  }
  return FALSE;  // the child windows draw themselves after
}

gboolean TGtkBackend::OnButtonPress(GtkWidget* Widget, GdkEventButton* Event, gpointer) {
  TWinControl* Control = ControlOf(Widget);
  if (!Control || Event->type != GDK_BUTTON_PRESS) return FALSE;
  UINT Msg;
  switch (Event->button) {
    case 1:
      Msg = WM_LBUTTONDOWN;
      break;
    case 2:
      Msg = WM_MBUTTONDOWN;
      break;
    case 3:
      Msg = WM_RBUTTONDOWN;
      break;
    default:
      return FALSE;
  }
  try {
    Control->Perform(Msg, ShiftOf(Event->state),
                     MakeLParam(static_cast<int>(Event->x), static_cast<int>(Event->y)));
  } catch (...) {
    Application->HandleException(Control);
  }
  return TRUE;
}

void TGtkBackend::OnSizeAllocate(GtkWidget*, GdkRectangle*, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  if (!B->FSizeIdle) B->FSizeIdle = g_idle_add(TakeNewSize, B);
}

gboolean TGtkBackend::TakeNewSize(gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  B->FSizeIdle = 0;
  std::vector<TWinControl*> TopLevels;
  for (auto& [Control, W] : B->FWindows)
    if (W.TopLevel && !GTK_IS_OFFSCREEN_WINDOW(W.TopLevel)) TopLevels.push_back(W.Control);
  // A resize may free windows: each is looked up again.
  for (TWinControl* Control : TopLevels) {
    TWindow* W = B->Find(Control);
    if (!W || !gtk_widget_get_realized(W->Layout)) continue;
    int Width = gtk_widget_get_allocated_width(W->Layout);
    int Height = gtk_widget_get_allocated_height(W->Layout);
    int X = Control->Left(), Y = Control->Top();
    gtk_window_get_position(GTK_WINDOW(W->TopLevel), &X, &Y);
    if (Width == Control->Width() && Height == Control->Height() && X == Control->Left() &&
        Y == Control->Top())
      continue;
    B->FTakingSize = true;
    try {
      Control->SetBounds(X, Y, Width, Height);
    } catch (...) {
      Application->HandleException(Control);
    }
    B->FTakingSize = false;
  }
  return G_SOURCE_REMOVE;
}

gboolean TGtkBackend::OnDelete(GtkWidget* Widget, GdkEvent*, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  TWinControl* Control = ControlOf(Widget);
  if (!Control) return FALSE;
  // The framework owns the window: closing hides it, and the application
  // ends when no form of it is left on the screen.
  try {
    Control->Hide();
  } catch (...) {
    Application->HandleException(Control);
  }
  B->TerminateWithoutForms();
  return TRUE;
}

// Destroyed by someone else (another client, the window manager): the
// control keeps its state, but the window is gone and counts no more.
void TGtkBackend::OnDestroyed(GtkWidget* Widget, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  TWinControl* Control = ControlOf(Widget);
  if (!Control) return;  // our own DestroyWindow
  // Its children's windows go with it.
  for (auto It = B->FWindows.begin(); It != B->FWindows.end();) {
    GtkWidget* Outer = It->second.TopLevel ? It->second.TopLevel : It->second.Layout;
    if (Outer == Widget || gtk_widget_is_ancestor(Outer, Widget)) {
      g_object_set_data(G_OBJECT(Outer), ControlKey, nullptr);
      It = B->FWindows.erase(It);
    } else {
      ++It;
    }
  }
  B->TerminateWithoutForms();
}

void TGtkBackend::TerminateWithoutForms() {
  for (auto& [C, W] : FWindows)
    if (W.TopLevel && GTK_IS_WINDOW(W.TopLevel) && !GTK_IS_OFFSCREEN_WINDOW(W.TopLevel) &&
        gtk_widget_get_visible(W.TopLevel))
      return;
  Application->Terminate();
}

}  // namespace host::desktop

extern "C" __attribute__((visibility("default"))) host::TWindowBackend* snapkit_desktop_backend(
    char* Error, unsigned long Size) {
  if (!gtk_init_check(nullptr, nullptr)) {
    std::strncpy(Error, "cannot open the display", Size - 1);
    Error[Size - 1] = '\0';
    return nullptr;
  }
  return new host::desktop::TGtkBackend();
}
