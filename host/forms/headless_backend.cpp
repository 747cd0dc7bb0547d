// The backend without a display: nothing is drawn, a menu is shown to no one
// (the popup hook stands for the user), a window's screen origin is its
// control's position. Paint requests are counted by the controls themselves.

#include "host/forms/backend.h"
#include "host/forms/controls.h"

namespace host {

namespace {

class THeadlessBackend : public TWindowBackend {
 public:
  std::string Name() const override { return "headless"; }
  void CreateWindow(TWinControl&) override {}
  void DestroyWindow(TWinControl&) override {}
  void BoundsChanged(TControl&) override {}
  void VisibleChanged(TControl&) override {}
  void ParentChanged(TControl&, TWinControl*) override {}
  void CaptionChanged(TControl&) override {}
  void Invalidate(TControl&) override {}
  void Popup(TPopupMenu&, int, int) override {}
  TPoint ScreenOrigin(const TControl& TopLevel) override {
    return {TopLevel.Left(), TopLevel.Top()};
  }
  void DropTargetRegistered(TWinControl&, IDropTarget*) override {}
  void DropTargetRevoked(TWinControl&) override {}
};

}  // namespace

std::unique_ptr<TWindowBackend> MakeHeadlessBackend() {
  return std::make_unique<THeadlessBackend>();
}

}  // namespace host
