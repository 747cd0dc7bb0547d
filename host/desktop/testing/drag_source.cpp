// A program to drag a link from: a plain window that offers, when dragged,
// exactly the X11 targets named on its command line, as a browser fills them.
//
//   drag_source [--geometry WxH+X+Y] URL TARGET[=URL]...
//
// A target may carry a URL of its own instead of the common one. On standard
// output it says "ready X Y W H" once its window is shown, "action NAME"
// each time the window under the pointer answers with another action
// ("none" for a refusal), "get TARGET" for each request of the target's
// data, and when the drag is over "end dropped", "end refused" (dropped,
// but the target took nothing) or "end failed" (cancelled, or let go where
// no one took it); then it exits.

#include <gtk/gtk.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr char Title[] = "Drag source link";

struct TSource {
  std::string URL;
  std::vector<std::string> Targets;
  std::map<std::string, std::string> OwnURLs;
  bool Failed = false;
  bool Ready = false;
};

void Say(const std::string& Line) {
  std::fputs((Line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

std::string UTF16LE(const std::string& Text) {
  glong Units = 0;
  gunichar2* Wide = g_utf8_to_utf16(Text.c_str(), -1, nullptr, &Units, nullptr);
  std::string Bytes;
  for (glong i = 0; i < Units; ++i) {
    Bytes += char(Wide[i] & 0xFF);
    Bytes += char(Wide[i] >> 8);
  }
  g_free(Wide);
  return Bytes;
}

void Fill(GtkSelectionData* Selection, const TSource& Source) {
  gchar* Name = gdk_atom_name(gtk_selection_data_get_target(Selection));
  std::string Target = Name;
  g_free(Name);
  Say("get " + Target);
  auto Own = Source.OwnURLs.find(Target);
  const std::string& URL = Own == Source.OwnURLs.end() ? Source.URL : Own->second;
  std::string Bytes;
  int Format = 8;
  if (Target == "_NETSCAPE_URL") {
    Bytes = URL + "\n" + Title;
  } else if (Target == "text/x-moz-url") {
    Bytes = UTF16LE(URL + "\n" + Title);
    Format = 16;
  } else if (Target == "text/uri-list") {
    Bytes = "# from the test's drag source\r\n" + URL + "\r\n";
  } else {
    Bytes = URL;
  }
  gtk_selection_data_set(Selection, gtk_selection_data_get_target(Selection), Format,
                         reinterpret_cast<const guchar*>(Bytes.data()), gint(Bytes.size()));
}

const char* ActionName(GdkDragAction Action) {
  if (Action & GDK_ACTION_COPY) return "copy";
  if (Action & GDK_ACTION_MOVE) return "move";
  if (Action & GDK_ACTION_LINK) return "link";
  return "none";
}

gboolean Draw(GtkWidget* Self, cairo_t* Cr, TSource* S) {
  cairo_set_source_rgb(Cr, 0.2, 0.3, 0.8);
  cairo_paint(Cr);
  if (!S->Ready) {
    S->Ready = true;
    int X = 0;
    int Y = 0;
    gdk_window_get_origin(gtk_widget_get_window(Self), &X, &Y);
    Say("ready " + std::to_string(X) + " " + std::to_string(Y) + " " +
        std::to_string(gtk_widget_get_allocated_width(Self)) + " " +
        std::to_string(gtk_widget_get_allocated_height(Self)));
  }
  return TRUE;
}

void SayAction(GdkDragContext*, GdkDragAction Action) {
  Say(std::string("action ") + ActionName(Action));
}

void WatchActions(GtkWidget*, GdkDragContext* Context) {
  g_signal_connect(Context, "action-changed", G_CALLBACK(SayAction), nullptr);
}

int Usage() {
  std::fputs("usage: drag_source [--geometry WxH+X+Y] URL TARGET[=URL]...\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (!gtk_init_check(&argc, &argv)) {
    std::fputs("drag_source: cannot open the display\n", stderr);
    return 1;
  }
  int W = 200, H = 150, X = 40, Y = 40;
  int Arg = 1;
  if (Arg + 1 < argc && std::string(argv[Arg]) == "--geometry") {
    if (std::sscanf(argv[Arg + 1], "%dx%d+%d+%d", &W, &H, &X, &Y) != 4) return Usage();
    Arg += 2;
  }
  if (argc - Arg < 2) return Usage();
  TSource Source;
  Source.URL = argv[Arg++];
  std::vector<GtkTargetEntry> Entries;
  for (; Arg < argc; ++Arg) {
    std::string Offer = argv[Arg];
    std::size_t Equals = Offer.find('=');
    std::string Target = Offer.substr(0, Equals);
    if (Equals != std::string::npos) Source.OwnURLs[Target] = Offer.substr(Equals + 1);
    Source.Targets.push_back(Target);
  }
  for (std::string& Target : Source.Targets)
    Entries.push_back({Target.data(), 0, guint(Entries.size())});

  GtkWidget* Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(Window), FALSE);
  gtk_window_move(GTK_WINDOW(Window), X, Y);
  gtk_window_set_default_size(GTK_WINDOW(Window), W, H);
  gtk_widget_set_app_paintable(Window, TRUE);
  gtk_drag_source_set(Window, GDK_BUTTON1_MASK, Entries.data(), gint(Entries.size()),
                      GdkDragAction(GDK_ACTION_COPY | GDK_ACTION_LINK));

  g_signal_connect(Window, "draw", G_CALLBACK(Draw), &Source);
  g_signal_connect(Window, "drag-begin", G_CALLBACK(WatchActions), nullptr);
  g_signal_connect(Window, "drag-data-get",
                   G_CALLBACK(+[](GtkWidget*, GdkDragContext*, GtkSelectionData* Selection, guint,
                                  guint, TSource* S) { Fill(Selection, *S); }),
                   &Source);
  g_signal_connect(Window, "drag-failed",
                   G_CALLBACK(+[](GtkWidget*, GdkDragContext*, GtkDragResult, TSource* S) {
                     S->Failed = true;
                     return FALSE;
                   }),
                   &Source);
  g_signal_connect(Window, "drag-end", G_CALLBACK(+[](GtkWidget*, GdkDragContext* C, TSource* S) {
                     Say(S->Failed                       ? "end failed"
                         : gdk_drag_drop_succeeded(C) ? "end dropped"
                                                      : "end refused");
                     gtk_main_quit();
                   }),
                   &Source);
  // Never outlives a test that lost track of it.
  g_timeout_add_seconds(120, +[](gpointer) {
    gtk_main_quit();
    return G_SOURCE_REMOVE;
  }, nullptr);

  gtk_widget_show_all(Window);
  gtk_main();
  gtk_widget_destroy(Window);
  return 0;
}
