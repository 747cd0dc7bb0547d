// What the framework asks of a window backend, seen by one that records it,
// and how a backend is picked.

#include "host/forms/backend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/forms/controls.h"
#include "host/forms/menus.h"

namespace host {
namespace {

class TRecordingBackend : public TWindowBackend {
 public:
  explicit TRecordingBackend(std::vector<std::string>& Log) : FLog(Log) {}
  std::string Name() const override { return "recording"; }
  void CreateWindow(TWinControl& C) override { Note("create", C); }
  void DestroyWindow(TWinControl& C) override { Note("destroy", C); }
  void BoundsChanged(TControl& C) override { Note("bounds", C); }
  void VisibleChanged(TControl& C) override { Note("visible", C); }
  void ParentChanged(TControl& C, TWinControl*) override { Note("parent", C); }
  void CaptionChanged(TControl& C) override { Note("caption", C); }
  void Invalidate(TControl& C) override { Note("invalidate", C); }
  void Popup(TPopupMenu&, int X, int Y) override {
    FLog.push_back("popup " + std::to_string(X) + "," + std::to_string(Y));
  }
  TPoint ScreenOrigin(const TControl&) override { return {1000, 500}; }
  void DropTargetRegistered(TWinControl& C, IDropTarget*) override { Note("drop", C); }
  void DropTargetRevoked(TWinControl& C) override { Note("undrop", C); }

 private:
  void Note(const char* What, const TControl& C) { FLog.push_back(std::string(What) + " " + C.Name()); }
  std::vector<std::string>& FLog;
};

class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override { SetWindowBackend(std::make_unique<TRecordingBackend>(Log)); }
  void TearDown() override { UseWindowBackend(bkHeadless); }
  std::vector<std::string> Log;
};

// Nothing reaches the backend before a window exists (so a program that
// makes none never picks one); afterwards every change a window system must
// show does, for the control itself or, without a window, on its parent.
TEST_F(BackendTest, HearsOfWhatAWindowSystemMustShowOnceThereIsAWindow) {
  {
    TComponent Owner(nullptr);
    auto* Form = new TCustomPanel(&Owner);
    Form->SetName("Form");
    auto* Panel = new TCustomPanel(&Owner);
    Panel->SetName("Panel");
    auto* Image = new TImage(&Owner);
    Image->SetName("Image");
    Panel->SetParent(Form);
    Image->SetParent(Panel);
    Image->SetBounds(1, 2, 30, 40);
    Image->Invalidate();
    EXPECT_EQ(Log, std::vector<std::string>{});

    Panel->HandleNeeded();  // the parent's window first
    Image->SetBounds(5, 6, 30, 40);
    Image->Invalidate();
    Image->SetVisible(false);
    Panel->SetCaption("P");
    Panel->SetBounds(10, 20, 100, 50);
    TPoint P = Image->ClientToScreen({1, 1});
    EXPECT_EQ(P.X, 1000 + 10 + 5 + 1);
    EXPECT_EQ(P.Y, 500 + 20 + 6 + 1);
    Panel->SetParent(nullptr);
    Log.push_back("--");
    TPopupMenu Menu(nullptr);
    Menu.Popup(7, 8);
    TPopupHook Old = SetPopupHook([&](TPopupMenu&, int, int) { Log.push_back("hook"); });
    Menu.Popup(7, 8);
    SetPopupHook(Old);
    Log.push_back("--");
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"create Form", "create Panel", "bounds Image",
                                           "invalidate Image", "visible Image", "caption Panel",
                                           "bounds Panel", "parent Panel", "--", "popup 7,8",
                                           "hook", "--", "parent Image", "destroy Panel",
                                           "destroy Form"}));
}

TEST_F(BackendTest, ChangesOnlyWhileNoWindowExistsAndHeadlessCanBeForcedUnderADisplay) {
  {
    TCustomPanel Panel(nullptr);
    Panel.HandleNeeded();
    EXPECT_THROW(UseWindowBackend(bkHeadless), EInvalidOperation);
    EXPECT_EQ(WindowBackend().Name(), "recording");
  }
  const char* Old = std::getenv("SNAPKIT_BACKEND");
  std::string Saved = Old ? Old : "";
  bool HadDisplay = std::getenv("DISPLAY") != nullptr;
  ::setenv("SNAPKIT_BACKEND", "headless", 1);
  if (!HadDisplay) ::setenv("DISPLAY", ":0", 1);
  UseWindowBackend(bkAuto);
  EXPECT_EQ(WindowBackend().Name(), "headless");
  if (!HadDisplay) ::unsetenv("DISPLAY");
  if (Old)
    ::setenv("SNAPKIT_BACKEND", Saved.c_str(), 1);
  else
    ::unsetenv("SNAPKIT_BACKEND");
}

}  // namespace
}  // namespace host
