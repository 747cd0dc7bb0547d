#pragma once
// Drags from other programs (XDND through GTK) onto a widget, handed to a
// host/ole drop target as the platform's drag loop would.

#include <gtk/gtk.h>

#include "host/ole/drag_drop.h"

namespace host::desktop {

// Widget accepts drags offering URLs; Target gets enter/over/leave/drop.
// Holds a reference to Target until detached or the widget is destroyed.
void AttachDropTarget(GtkWidget* Widget, host::IDropTarget* Target);
void DetachDropTarget(GtkWidget* Widget);

}  // namespace host::desktop
