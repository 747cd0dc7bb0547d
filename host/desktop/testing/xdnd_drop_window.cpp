#include "host/desktop/testing/xdnd_drop_window.h"

#include <cstring>
#include <stdexcept>

#include "host/ole/clipboard_formats.h"

namespace host::desktop::testing {

TDropWindow::TDropWindow(int X, int Y) {
  FWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(FWindow), FALSE);
  gtk_window_move(GTK_WINDOW(FWindow), X, Y);
  gtk_window_set_default_size(GTK_WINDOW(FWindow), 320, 220);
  GtkWidget* Fixed = gtk_fixed_new();
  FArea = gtk_drawing_area_new();
  gtk_widget_set_size_request(FArea, 200, 120);
  gtk_fixed_put(GTK_FIXED(Fixed), FArea, 40, 30);
  gtk_container_add(GTK_CONTAINER(FWindow), Fixed);
  int Draws = 0;
  gulong Drawn = g_signal_connect(FArea, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* Cr, int* N) {
                                    cairo_set_source_rgb(Cr, 0.9, 0.6, 0.1);
                                    cairo_paint(Cr);
                                    ++*N;
                                    return TRUE;
                                  }),
                                  &Draws);
  // Connected before any drop site: it sees every motion and lets it on.
  g_signal_connect(FArea, "drag-motion",
                   G_CALLBACK(+[](GtkWidget*, GdkDragContext* C, int, int, guint,
                                  std::vector<std::string>* Offered) {
                     if (!Offered->empty()) return FALSE;
                     for (GList* T = gdk_drag_context_list_targets(C); T; T = T->next) {
                       gchar* Name = gdk_atom_name(GDK_POINTER_TO_ATOM(T->data));
                       Offered->push_back(Name);
                       g_free(Name);
                     }
                     return FALSE;
                   }),
                   &FOffered);
  gtk_widget_show_all(FWindow);
  bool Shown = PumpUntil([&] { return Draws > 0; }, 5000);
  g_signal_handler_disconnect(FArea, Drawn);
  gdk_display_sync(gdk_display_get_default());
  if (!Shown) {
    gtk_widget_destroy(FWindow);
    throw std::runtime_error("the drop window was never drawn");
  }
}

TDropWindow::~TDropWindow() {
  if (FWindow) gtk_widget_destroy(FWindow);
}

TScreenPoint TDropWindow::AreaCentre() const {
  int X = 0, Y = 0;
  gdk_window_get_origin(gtk_widget_get_window(FWindow), &X, &Y);
  GtkAllocation A;
  gtk_widget_get_allocation(FArea, &A);
  return {X + A.x + A.width / 2, Y + A.y + A.height / 2};
}

HRESULT TDataRecordingTarget::DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                                        DWORD* pdwEffect) {
  Served.clear();
  for (const char* Name : {"Netscape Bookmark", "UniformResourceLocator"}) {
    FORMATETC Format{CLIPFORMAT(RegisterClipboardFormatA(Name)), nullptr, DVASPECT_CONTENT, -1,
                     TYMED_HGLOBAL};
    STGMEDIUM Medium{};
    if (FAILED(pDataObj->GetData(&Format, &Medium))) continue;
    const char* Text = static_cast<const char*>(GlobalLock(Medium.hGlobal));
    Served[Name] = std::string(Text, strnlen(Text, GlobalSize(Medium.hGlobal)));
    GlobalUnlock(Medium.hGlobal);
    ReleaseStgMedium(&Medium);
  }
  return TRecordingTarget::DragEnter(pDataObj, grfKeyState, pt, pdwEffect);
}

namespace {

std::string At(POINTL pt) { return " " + std::to_string(pt.x) + "," + std::to_string(pt.y); }

class TForwardingTarget : public TRefCounted<IDropTarget, IID_IDropTarget> {
 public:
  TForwardingTarget(IDropTarget* Inner, std::vector<std::string>& Log) : FInner(Inner), FLog(Log) {}

  HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                    DWORD* pdwEffect) override;
  HRESULT DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
  HRESULT DragLeave() override;
  HRESULT Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;

 private:
  TComPtr<IDropTarget> FInner;
  std::vector<std::string>& FLog;
};

}  // namespace

IDropTarget* NewForwardingTarget(IDropTarget* Inner, std::vector<std::string>& Log) {
  return new TForwardingTarget(Inner, Log);
}

HRESULT TForwardingTarget::DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                                     DWORD* pdwEffect) {
  FLog.push_back("F enter" + At(pt));
  return FInner->DragEnter(pDataObj, grfKeyState, pt, pdwEffect);
}

HRESULT TForwardingTarget::DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  FLog.push_back("F over" + At(pt));
  return FInner->DragOver(grfKeyState, pt, pdwEffect);
}

HRESULT TForwardingTarget::DragLeave() {
  FLog.push_back("F leave");
  return FInner->DragLeave();
}

HRESULT TForwardingTarget::Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                                DWORD* pdwEffect) {
  FLog.push_back("F drop" + At(pt));
  return FInner->Drop(pDataObj, grfKeyState, pt, pdwEffect);
}

bool Logged(const std::vector<std::string>& Log, const std::string& Entry) {
  for (const std::string& L : Log)
    if (L.rfind(Entry, 0) == 0) return true;
  return false;
}

}  // namespace host::desktop::testing
