#pragma once
// The user's side of the X server: window ids, a window manager's close
// request, the processes a test left running.

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace host::desktop::testing {

// The X window id of a realized widget's window.
unsigned long XidOf(GtkWidget* Widget);

// Sends the window the close request a window manager sends when its close
// button is pressed (WM_DELETE_WINDOW); Xvfb runs none, so the test does.
void AskToClose(unsigned long Xid);

// The ids of this process's descendants whose command name contains Part.
std::vector<int> Descendants(const std::string& Part);

// Runs the application's loop for Ms, then waits until the X server has
// handled every request made so far.
void SettleAndSync(int Ms);

}  // namespace host::desktop::testing
