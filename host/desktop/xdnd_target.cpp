// Placeholder until drags from other programs are handled: a widget accepts
// nothing yet, and no reference to the target is taken.

#include "host/desktop/xdnd_target.h"

namespace host::desktop {

void AttachDropTarget(GtkWidget*, host::IDropTarget*) {}
void DetachDropTarget(GtkWidget*) {}

}  // namespace host::desktop
