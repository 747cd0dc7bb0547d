// Popup menus: a GtkMenu with the items' captions, shown until the user
// chooses or dismisses it; the chosen item is clicked after the menu has
// gone, as the platform's menu call returns before its command runs.

#include <vector>

#include "host/desktop/gtk_backend.h"
#include "host/forms/menus.h"

namespace host::desktop {

namespace {

// An item is remembered by its path of indices, not by pointer: the menu's
// items are looked up again once the nested loop is over.
using TPath = std::vector<int>;

struct TPopupState {
  TPath Chosen;
  bool Closed = false;
  guint Idle = 0;
};

const char* const PathKey = "snapkit-path";

void FreePath(gpointer Path) { delete static_cast<TPath*>(Path); }

GtkWidget* BuildMenu(TMenuItem& Items, const TPath& Prefix, TPopupState& State) {
  GtkWidget* Menu = gtk_menu_new();
  for (int i = 0; i < Items.Count(); ++i) {
    TMenuItem& Item = *Items.Items(i);
    TPath Path = Prefix;
    Path.push_back(i);
    GtkWidget* Widget = Item.Caption() == "-" ? gtk_separator_menu_item_new()
                                              : gtk_menu_item_new_with_label(Item.Caption().c_str());
    gtk_widget_set_sensitive(Widget, Item.Enabled());
    if (Item.Count() > 0) {
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(Widget), BuildMenu(Item, Path, State));
    } else {
      g_object_set_data_full(G_OBJECT(Widget), PathKey, new TPath(Path), FreePath);
      g_signal_connect(Widget, "activate", G_CALLBACK(+[](GtkMenuItem* W, gpointer S) {
                         static_cast<TPopupState*>(S)->Chosen =
                             *static_cast<TPath*>(g_object_get_data(G_OBJECT(W), PathKey));
                       }),
                       &State);
    }
    gtk_widget_show(Widget);
    gtk_menu_shell_append(GTK_MENU_SHELL(Menu), Widget);
  }
  return Menu;
}

}  // namespace

void PopupMenu(TPopupMenu& Popup, int X, int Y) {
  TPopupState State;
  GtkWidget* Menu = BuildMenu(Popup.Items(), {}, State);
  g_object_ref_sink(Menu);
  // The item's "activate" follows "deactivate" in the same dispatch, so the
  // loop ends on the next turn, when the choice is known.
  g_signal_connect(Menu, "deactivate", G_CALLBACK(+[](GtkMenuShell*, gpointer S) {
                     auto* State = static_cast<TPopupState*>(S);
                     if (State->Idle) return;
                     State->Idle = g_idle_add(
                         [](gpointer S) -> gboolean {
                           auto* State = static_cast<TPopupState*>(S);
                           State->Closed = true;
                           State->Idle = 0;
                           return G_SOURCE_REMOVE;
                         },
                         S);
                   }),
                   &State);
  GdkWindow* Root = gdk_screen_get_root_window(gdk_screen_get_default());
  GdkRectangle At{X, Y, 1, 1};
  GdkEvent* Trigger = gtk_get_current_event();
  gtk_menu_popup_at_rect(GTK_MENU(Menu), Root, &At, GDK_GRAVITY_NORTH_WEST,
                         GDK_GRAVITY_NORTH_WEST, Trigger);
  if (Trigger) gdk_event_free(Trigger);
  if (gtk_widget_get_visible(Menu)) {
    while (!State.Closed) g_main_context_iteration(nullptr, TRUE);
  }
  g_signal_handlers_disconnect_by_data(Menu, &State);
  if (State.Idle) g_source_remove(State.Idle);
  gtk_widget_destroy(Menu);
  g_object_unref(Menu);

  if (State.Chosen.empty()) return;
  TMenuItem* Item = &Popup.Items();
  for (int Index : State.Chosen) {
    if (Index >= Item->Count()) return;  // the menu changed meanwhile
    Item = Item->Items(Index);
  }
  Item->Click();
}

}  // namespace host::desktop
