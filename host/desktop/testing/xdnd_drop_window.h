#pragma once
// A window on the test's X server with one drop area in it, and a drop
// target that writes down what each drag brought.

#include <gtk/gtk.h>

#include <map>
#include <string>
#include <vector>

#include "host/desktop/testing/xdnd_drag.h"
#include "host/ole/testing/recording_target.h"

namespace host::desktop::testing {

// An undecorated window at a fixed place; the drop area sits inside it off
// its corner, so that the screen points the target hears are worked out.
class TDropWindow {
 public:
  TDropWindow(int X, int Y);
  ~TDropWindow();
  TDropWindow(const TDropWindow&) = delete;
  TDropWindow& operator=(const TDropWindow&) = delete;

  GtkWidget* Area() const { return FArea; }
  TScreenPoint AreaCentre() const;
  // Targets the drags offered over the area, as GTK reported them.
  const std::vector<std::string>& Offered() const { return FOffered; }

 private:
  GtkWidget* FWindow;
  GtkWidget* FArea;
  std::vector<std::string> FOffered;
};

// A recording target that also reads, on DragEnter, what the data object
// serves in "Netscape Bookmark" and "UniformResourceLocator".
class TDataRecordingTarget : public host::testing::TRecordingTarget {
 public:
  using TRecordingTarget::TRecordingTarget;
  // Format name to text, for the formats served at the last DragEnter.
  std::map<std::string, std::string> Served;

  HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                    DWORD* pdwEffect) override;
};

// A target that writes each call into the log ("F enter 10,20") and hands
// it on to Inner, whose answers it gives. One reference, the caller's.
IDropTarget* NewForwardingTarget(IDropTarget* Inner, std::vector<std::string>& Log);

// Whether the log has an entry starting with Entry.
bool Logged(const std::vector<std::string>& Log, const std::string& Entry);

}  // namespace host::desktop::testing
