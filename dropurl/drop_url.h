#pragma once
// TDropURL: makes one windowed control accept URLs dragged onto it and
// reports each dropped URL through OnDropURL.

#include <functional>
#include <string>

#include "host/forms/component.h"
#include "host/forms/controls.h"

namespace snapkit {

using TOnURLDropEvent = std::function<void(host::TObject* Sender, const std::string& URL)>;

class TDropURL : public host::TComponent {
 public:
  explicit TDropURL(host::TComponent* AOwner);
  ~TDropURL() override;
  std::string ClassName() const override { return "TDropURL"; }

  host::TWinControl* TargetControl() const { return FTargetControl; }
  void SetTargetControl(host::TWinControl* Value) { FTargetControl = Value; }

  // Registers the target control's window as a drop target, outside the
  // designer and only when there is a target. The handler assigned by then
  // is the one drops are reported to.
  void Loaded() override;

  TOnURLDropEvent OnDropURL;

 private:
  host::TWinControl* FTargetControl = nullptr;
};

}  // namespace snapkit
