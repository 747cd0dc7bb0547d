#include "host/desktop/testing/x_windows.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <dirent.h>

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "host/forms/application.h"

namespace host::desktop::testing {

unsigned long XidOf(GtkWidget* Widget) {
  GdkWindow* Window = gtk_widget_get_window(Widget);
  if (!Window) throw std::runtime_error("the widget has no window");
  return GDK_WINDOW_XID(Window);
}

void AskToClose(unsigned long Xid) {
  Display* D = XOpenDisplay(nullptr);
  if (!D) throw std::runtime_error("cannot open the display");
  XEvent E{};
  E.xclient.type = ClientMessage;
  E.xclient.window = Xid;
  E.xclient.message_type = XInternAtom(D, "WM_PROTOCOLS", False);
  E.xclient.format = 32;
  E.xclient.data.l[0] = static_cast<long>(XInternAtom(D, "WM_DELETE_WINDOW", False));
  E.xclient.data.l[1] = CurrentTime;
  XSendEvent(D, Xid, False, NoEventMask, &E);
  XCloseDisplay(D);
}

std::vector<int> Descendants(const std::string& Part) {
  // Parent and command name of every process, from /proc.
  std::map<int, std::pair<int, std::string>> All;
  if (DIR* Dir = opendir("/proc")) {
    while (dirent* Entry = readdir(Dir)) {
      int Pid = std::atoi(Entry->d_name);
      if (Pid <= 0) continue;
      std::ifstream Stat("/proc/" + std::to_string(Pid) + "/stat");
      std::string Line;
      if (!std::getline(Stat, Line)) continue;
      std::size_t Open = Line.find('('), Close = Line.rfind(')');
      if (Open == std::string::npos || Close == std::string::npos) continue;
      std::istringstream Rest(Line.substr(Close + 2));
      char State;
      int Parent;
      Rest >> State >> Parent;
      if (State == 'Z') continue;  // already gone, only not reaped
      All[Pid] = {Parent, Line.substr(Open + 1, Close - Open - 1)};
    }
    closedir(Dir);
  }
  std::vector<int> Found;
  for (auto& [Pid, Info] : All) {
    if (Info.second.find(Part) == std::string::npos) continue;
    for (int P = Info.first; P > 1 && All.count(P); P = All[P].first)
      if (P == getpid()) {
        Found.push_back(Pid);
        break;
      }
  }
  return Found;
}

void SettleAndSync(int Ms) {
  Application->RunUntil([] { return false; }, Ms);
  gdk_display_sync(gdk_display_get_default());
}

}  // namespace host::desktop::testing
