#pragma once
// Drags from other programs (XDND through GTK) onto a widget, handed to a
// host/ole drop target as the platform's drag loop would.

#include <gtk/gtk.h>

#include "host/ole/drag_drop.h"

namespace host::desktop {

// Widget accepts drags offering URLs; Target gets enter/over/leave/drop.
// Holds a reference to Target until detached or the widget is destroyed.
//
// Every drag over the widget reaches Target, whatever it offers. The data
// object of a drag serves "Netscape Bookmark" (from _NETSCAPE_URL) and
// "UniformResourceLocator" (from text/x-moz-url, else text/uri-list) as
// zero-terminated text of the first URL, each only where the drag has it.
// Since X hands data over only on request, DragEnter comes once the source
// has sent it, a motion or two after the drag came over the widget; a drop
// before then is refused without a call. Points are screen coordinates.
// Everything runs on the GLib main loop's thread. Attaching again replaces
// the widget's target.
void AttachDropTarget(GtkWidget* Widget, host::IDropTarget* Target);
void DetachDropTarget(GtkWidget* Widget);

}  // namespace host::desktop
