#pragma once
// TDropURL: makes one windowed control accept URLs dragged onto it and
// reports each dropped URL through OnDropURL.

#include <functional>
#include <string>

#include "dropurl/my_drag_drop.h"
#include "dropurl/url_drop_event.h"
#include "host/forms/component.h"
#include "host/forms/controls.h"

namespace snapkit {

class TDropURL : public host::TComponent {
 public:
  explicit TDropURL(host::TComponent* AOwner);
  // Takes the drop target off the window if it is still there, then lets go
  // of it; a drag under way keeps its own reference until it ends.
  ~TDropURL() override;
  std::string ClassName() const override { return "TDropURL"; }

  host::TWinControl* TargetControl() const { return FTargetControl; }
  void SetTargetControl(host::TWinControl* Value) { FTargetControl = Value; }

  // Registers the target control's window as a drop target, outside the
  // designer and only when there is a target. The handler assigned by then
  // is the one drops are reported to. Once registered, a further Loaded
  // changes nothing.
  void Loaded() override;

  // The drop target Loaded made, or null: the Sender of every reported drop.
  TMyDragDrop* DropTarget() const { return FDropTarget; }

  TOnURLDropEvent OnDropURL;

 private:
  host::TWinControl* FTargetControl = nullptr;
  TMyDragDrop* FDropTarget = nullptr;
  host::HWND FTargetWnd = nullptr;  // the window FDropTarget was registered for
};

}  // namespace snapkit
