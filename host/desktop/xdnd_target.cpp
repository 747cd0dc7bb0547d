// A widget's drop site: XDND drags as GTK reports them, turned into the
// DragEnter / DragOver / DragLeave / Drop calls a host drop target expects.
//
// A drop target wants the drag's data as the drag enters, while X hands it
// over only on request and later. So the first motion of a drag asks the
// source for the link targets it offers, one after the other, and answers
// "nothing yet" until the last has come; then the target hears DragEnter,
// and from there on every motion is a DragOver.

#include "host/desktop/xdnd_target.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/desktop/xdnd_drop_data.h"
#include "host/forms/application.h"

namespace host::desktop {

namespace {

constexpr char SiteKey[] = "snapkit-xdnd-drop-site";

DWORD EffectsOf(GdkDragAction Actions) {
  DWORD Effects = DROPEFFECT_NONE;
  if (Actions & GDK_ACTION_COPY) Effects |= DROPEFFECT_COPY;
  if (Actions & GDK_ACTION_MOVE) Effects |= DROPEFFECT_MOVE;
  if (Actions & GDK_ACTION_LINK) Effects |= DROPEFFECT_LINK;
  return Effects;
}

GdkDragAction ActionOf(DWORD Effect) {
  if (Effect & DROPEFFECT_COPY) return GDK_ACTION_COPY;
  if (Effect & DROPEFFECT_MOVE) return GDK_ACTION_MOVE;
  if (Effect & DROPEFFECT_LINK) return GDK_ACTION_LINK;
  return GdkDragAction(0);
}

struct TContextRef {
  explicit TContextRef(GdkDragContext* C) : Context(GDK_DRAG_CONTEXT(g_object_ref(C))) {}
  ~TContextRef() { g_object_unref(Context); }
  TContextRef(const TContextRef&) = delete;
  TContextRef& operator=(const TContextRef&) = delete;
  GdkDragContext* Context;
};

gboolean UnsetIfUnused(gpointer Data) {
  auto* Widget = static_cast<GtkWidget*>(Data);
  if (!g_object_get_data(G_OBJECT(Widget), SiteKey) && !gtk_widget_in_destruction(Widget))
    gtk_drag_dest_unset(Widget);
  g_object_unref(Widget);
  return G_SOURCE_REMOVE;
}

void UnsetOnLeave(GtkWidget* Widget, GdkDragContext*, guint, gpointer) {
  g_signal_handlers_disconnect_by_func(Widget, reinterpret_cast<gpointer>(UnsetOnLeave), nullptr);
  // After the drop that may follow this leave at once, too.
  g_idle_add(UnsetIfUnused, g_object_ref(Widget));
}

void UnsetAfterDrag(GtkWidget* Widget) {
  g_signal_connect(Widget, "drag-leave", G_CALLBACK(UnsetOnLeave), nullptr);
}

// Nothing may unwind through GTK's C frames: a target that throws fails its
// call, and the application hears of it as of any failure in its loop.
template <class F>
HRESULT Guarded(F Call) {
  try {
    return Call();
  } catch (...) {
    try {
      Application->HandleException(nullptr);
    } catch (...) {
    }
    return E_UNEXPECTED;
  }
}

enum class TPhase { Fetching, Entered, Refused };

// One drag over the widget, from its first motion to its leave or drop.
struct TDrag {
  explicit TDrag(GdkDragContext* C) : Context(C) {}
  TContextRef Context;
  TPhase Phase = TPhase::Fetching;
  std::vector<std::string> ToFetch;
  std::size_t Fetched = 0;
  std::map<std::string, std::string> Received;
  TComPtr<IDataObject> Data;
  DWORD Effect = DROPEFFECT_NONE;  // the target's last answer
  POINTL Pt;
  DWORD KeyState = 0;
  guint32 Time = 0;

  DWORD Allowed() const { return EffectsOf(gdk_drag_context_get_actions(Context.Context)); }
};

class TDropSite : public std::enable_shared_from_this<TDropSite> {
 public:
  TDropSite(GtkWidget* Widget, IDropTarget* Target) : FWidget(Widget), FTarget(Target) {}
  ~TDropSite() {
    CancelLeave();
    EndDrag(true);
  }

  void Connect();
  // The widget no longer takes drops; a drag under way is left, at once or,
  // from inside a call to the target, when that call returns.
  void Disconnect();

 private:
  gboolean Motion(GdkDragContext* Context, int X, int Y, guint Time);
  void Leave(GdkDragContext* Context);
  gboolean Drop(GdkDragContext* Context, int X, int Y, guint Time);
  void Received(GdkDragContext* Context, GtkSelectionData* Selection);

  void FetchNextOrEnter();
  void Enter();
  void Locate(TDrag& Drag, int X, int Y, guint Time);
  void Answer(HRESULT Result, DWORD Effect);
  void EndDrag(bool TellTarget);
  void CancelLeave();
  // Runs a call to the target, which gives Result; false when the site was
  // detached meanwhile.
  template <class F>
  bool CallTarget(F Call, HRESULT& Result);

  GtkWidget* FWidget;
  TComPtr<IDropTarget> FTarget;
  std::unique_ptr<TDrag> FDrag;
  std::vector<gulong> FHandlers;
  guint FLeaveSource = 0;
  bool FAttached = true;
  int FCalls = 0;
};

template <class F>
bool TDropSite::CallTarget(F Call, HRESULT& Result) {
  auto Self = shared_from_this();
  TComPtr<IDropTarget> Target = FTarget;
  ++FCalls;
  Result = Guarded([&] { return Call(Target.Get()); });
  --FCalls;
  if (FAttached) return true;
  if (FCalls == 0) EndDrag(true);
  return false;
}

void TDropSite::Connect() {
  // No defaults: every drag is reported, whatever it offers, and the answers
  // are ours to give.
  gtk_drag_dest_set(FWidget, GtkDestDefaults(0), nullptr, 0,
                    GdkDragAction(GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK));
  FHandlers.push_back(g_signal_connect(
      FWidget, "drag-motion",
      G_CALLBACK(+[](GtkWidget*, GdkDragContext* C, int X, int Y, guint T, TDropSite* S) {
        auto Self = S->shared_from_this();
        return S->Motion(C, X, Y, T);
      }),
      this));
  FHandlers.push_back(g_signal_connect(
      FWidget, "drag-leave",
      G_CALLBACK(+[](GtkWidget*, GdkDragContext* C, guint, TDropSite* S) { S->Leave(C); }), this));
  FHandlers.push_back(g_signal_connect(
      FWidget, "drag-drop",
      G_CALLBACK(+[](GtkWidget*, GdkDragContext* C, int X, int Y, guint T, TDropSite* S) {
        auto Self = S->shared_from_this();
        return S->Drop(C, X, Y, T);
      }),
      this));
  FHandlers.push_back(g_signal_connect(
      FWidget, "drag-data-received",
      G_CALLBACK(+[](GtkWidget*, GdkDragContext* C, int, int, GtkSelectionData* D, guint, guint,
                     TDropSite* S) {
        auto Self = S->shared_from_this();
        S->Received(C, D);
      }),
      this));
  // Each handler above keeps the site alive while it runs: the target it
  // calls may detach it.
  // A destroyed widget takes no more drops and lets go of its target.
  FHandlers.push_back(g_signal_connect(FWidget, "destroy",
                                       G_CALLBACK(+[](GtkWidget* W, gpointer) {
                                         DetachDropTarget(W);
                                       }),
                                       nullptr));
}

void TDropSite::Disconnect() {
  if (!FAttached) return;
  FAttached = false;
  for (gulong Id : FHandlers) g_signal_handler_disconnect(FWidget, Id);
  FHandlers.clear();
  // A widget on its way out takes its drop site along. GTK still reports
  // the end of a drag under way to the site it found, so that one goes
  // only once the drag has left.
  if (!gtk_widget_in_destruction(FWidget)) {
    if (FDrag)
      UnsetAfterDrag(FWidget);
    else
      gtk_drag_dest_unset(FWidget);
  }
  CancelLeave();
  if (FCalls == 0) EndDrag(true);
}

void TDropSite::Locate(TDrag& Drag, int X, int Y, guint Time) {
  // The target hears screen coordinates, as from the platform's drag loop.
  GtkWidget* Top = gtk_widget_get_toplevel(FWidget);
  int TopX = X, TopY = Y, OriginX = 0, OriginY = 0;
  gtk_widget_translate_coordinates(FWidget, Top, X, Y, &TopX, &TopY);
  if (GdkWindow* Window = gtk_widget_get_window(Top))
    gdk_window_get_origin(Window, &OriginX, &OriginY);
  Drag.Pt = {OriginX + TopX, OriginY + TopY};
  Drag.Time = Time;
  // The source holds the pointer; its buttons and modifiers are still the
  // server's to tell.
  Drag.KeyState = 0;
  GdkWindow* Window = gtk_widget_get_window(FWidget);
  GdkSeat* Seat = gdk_display_get_default_seat(gtk_widget_get_display(FWidget));
  GdkModifierType Mask = GdkModifierType(0);
  if (Window && Seat)
    gdk_window_get_device_position(Window, gdk_seat_get_pointer(Seat), nullptr, nullptr, &Mask);
  if (Mask & GDK_BUTTON1_MASK) Drag.KeyState |= MK_LBUTTON;
  if (Mask & GDK_BUTTON2_MASK) Drag.KeyState |= MK_MBUTTON;
  if (Mask & GDK_BUTTON3_MASK) Drag.KeyState |= MK_RBUTTON;
  if (Mask & GDK_SHIFT_MASK) Drag.KeyState |= MK_SHIFT;
  if (Mask & GDK_CONTROL_MASK) Drag.KeyState |= MK_CONTROL;
}

gboolean TDropSite::Motion(GdkDragContext* Context, int X, int Y, guint Time) {
  if (FLeaveSource) {
    // Back before the leave was delivered: that drag ended all the same.
    CancelLeave();
    EndDrag(true);
  }
  if (FDrag && FDrag->Context.Context != Context) EndDrag(true);
  if (!FAttached) return FALSE;  // the target let go of the widget as it left
  bool First = !FDrag;
  if (First) FDrag = std::make_unique<TDrag>(Context);
  Locate(*FDrag, X, Y, Time);
  if (First) {
    std::vector<std::string> Offered;
    for (GList* T = gdk_drag_context_list_targets(Context); T; T = T->next) {
      gchar* Name = gdk_atom_name(GDK_POINTER_TO_ATOM(T->data));
      Offered.emplace_back(Name);
      g_free(Name);
    }
    FDrag->ToFetch = LinkTargetsToFetch(Offered);
    FetchNextOrEnter();
    return TRUE;
  }
  TDrag* Drag = FDrag.get();
  if (Drag->Phase != TPhase::Entered) {
    gdk_drag_status(Context, GdkDragAction(0), Time);
    return TRUE;
  }
  DWORD Effect = Drag->Allowed();
  HRESULT Result = S_OK;
  if (!CallTarget([&](IDropTarget* T) { return T->DragOver(Drag->KeyState, Drag->Pt, &Effect); },
                  Result))
    return TRUE;
  Answer(Result, Effect);
  return TRUE;
}

void TDropSite::FetchNextOrEnter() {
  TDrag& Drag = *FDrag;
  if (Drag.Fetched < Drag.ToFetch.size()) {
    gdk_drag_status(Drag.Context.Context, GdkDragAction(0), Drag.Time);
    const std::string& Target = Drag.ToFetch[Drag.Fetched];
    gtk_drag_get_data(FWidget, Drag.Context.Context, gdk_atom_intern(Target.c_str(), FALSE),
                      Drag.Time);
    return;
  }
  Enter();
}

void TDropSite::Received(GdkDragContext* Context, GtkSelectionData* Selection) {
  // Replies for a drag that has left meanwhile are dropped.
  if (!FDrag || FDrag->Context.Context != Context || FDrag->Phase != TPhase::Fetching) return;
  TDrag& Drag = *FDrag;
  if (Drag.Fetched >= Drag.ToFetch.size()) return;
  gint Length = gtk_selection_data_get_length(Selection);
  if (Length >= 0) {
    const guchar* Bytes = gtk_selection_data_get_data(Selection);
    Drag.Received[Drag.ToFetch[Drag.Fetched]] =
        std::string(reinterpret_cast<const char*>(Bytes), std::size_t(Length));
  }
  ++Drag.Fetched;
  FetchNextOrEnter();
}

void TDropSite::Enter() {
  TDrag* Drag = FDrag.get();
  Drag->Data = TComPtr<IDataObject>::Attach(NewDropData(Drag->Received));
  DWORD Effect = Drag->Allowed();
  HRESULT Result = S_OK;
  // Entered already for a detach from inside the call, which must be left.
  Drag->Phase = TPhase::Entered;
  if (!CallTarget(
          [&](IDropTarget* T) {
            return T->DragEnter(Drag->Data.Get(), Drag->KeyState, Drag->Pt, &Effect);
          },
          Result))
    return;
  // A target that failed to enter hears nothing more of this drag.
  Drag->Phase = FAILED(Result) ? TPhase::Refused : TPhase::Entered;
  Answer(Result, Effect);
}

void TDropSite::Answer(HRESULT Result, DWORD Effect) {
  TDrag& Drag = *FDrag;
  Drag.Effect = FAILED(Result) ? DROPEFFECT_NONE : Effect & Drag.Allowed();
  gdk_drag_status(Drag.Context.Context, ActionOf(Drag.Effect), Drag.Time);
}

void TDropSite::Leave(GdkDragContext* Context) {
  // GTK also reports a leave just before each drop; only a leave that no
  // drop follows at once is one.
  if (!FDrag || FDrag->Context.Context != Context || FLeaveSource) return;
  FLeaveSource = g_idle_add_full(
      G_PRIORITY_HIGH,
      +[](gpointer Data) {
        auto* Site = static_cast<TDropSite*>(Data);
        auto Self = Site->shared_from_this();
        Site->FLeaveSource = 0;
        Site->EndDrag(true);
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
}

gboolean TDropSite::Drop(GdkDragContext* Context, int X, int Y, guint Time) {
  CancelLeave();
  if (!FDrag || FDrag->Context.Context != Context) {
    gtk_drag_finish(Context, FALSE, FALSE, Time);
    return TRUE;
  }
  // The drag is over whatever the target does now, even if it detaches us.
  std::unique_ptr<TDrag> Drag = std::move(FDrag);
  Locate(*Drag, X, Y, Time);
  if (Drag->Phase != TPhase::Entered || Drag->Effect == DROPEFFECT_NONE) {
    // Dropped where the target took nothing (or before it could hear of the
    // drag): for the target that is the drag leaving.
    HRESULT Ignored;
    if (Drag->Phase == TPhase::Entered)
      CallTarget([](IDropTarget* T) { return T->DragLeave(); }, Ignored);
    gtk_drag_finish(Context, FALSE, FALSE, Time);
    return TRUE;
  }
  DWORD Effect = Drag->Allowed();
  HRESULT Result = S_OK;
  CallTarget(
      [&](IDropTarget* T) {
        return T->Drop(Drag->Data.Get(), Drag->KeyState, Drag->Pt, &Effect);
      },
      Result);
  Effect = FAILED(Result) ? DROPEFFECT_NONE : Effect & Drag->Allowed();
  gtk_drag_finish(Context, Effect != DROPEFFECT_NONE, Effect == DROPEFFECT_MOVE, Time);
  return TRUE;
}

void TDropSite::EndDrag(bool TellTarget) {
  std::unique_ptr<TDrag> Drag = std::move(FDrag);
  if (!Drag || !TellTarget || Drag->Phase != TPhase::Entered) return;
  TComPtr<IDropTarget> Target = FTarget;
  Guarded([&] { return Target->DragLeave(); });
}

void TDropSite::CancelLeave() {
  if (FLeaveSource) g_source_remove(std::exchange(FLeaveSource, 0));
}

using TSiteHolder = std::shared_ptr<TDropSite>;

}  // namespace

void AttachDropTarget(GtkWidget* Widget, IDropTarget* Target) {
  if (!Widget || !Target) throw std::invalid_argument("AttachDropTarget: null widget or target");
  DetachDropTarget(Widget);
  g_signal_handlers_disconnect_by_func(Widget, reinterpret_cast<gpointer>(UnsetOnLeave), nullptr);
  auto Site = std::make_shared<TDropSite>(Widget, Target);
  Site->Connect();
  // Freed on detach, or with the widget if nobody detaches it.
  g_object_set_data_full(G_OBJECT(Widget), SiteKey, new TSiteHolder(Site),
                         +[](gpointer Holder) { delete static_cast<TSiteHolder*>(Holder); });
}

void DetachDropTarget(GtkWidget* Widget) {
  if (!Widget) return;
  auto* Holder = static_cast<TSiteHolder*>(g_object_get_data(G_OBJECT(Widget), SiteKey));
  if (!Holder) return;
  (*Holder)->Disconnect();
  g_object_set_data(G_OBJECT(Widget), SiteKey, nullptr);
}

}  // namespace host::desktop
