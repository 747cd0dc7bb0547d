#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/forms/controls.h"
#include "host/ole/drag_drop.h"
#include "host/ole/testing/ole_session.h"
#include "host/ole/testing/recording_target.h"

namespace host {
namespace {

using testing::TRecordingTarget;

TEST(DropTargetsTest, RegistrationIsRefusedWhereItCannotHold) {
  std::vector<std::string> Log;
  auto* Target = new TRecordingTarget("T", Log);
  TCustomPanel Panel(nullptr);
  HWND Wnd = Panel.Handle();
  HWND Gone;
  {
    TCustomPanel Short(nullptr);
    Gone = Short.Handle();
  }
  EXPECT_EQ(RegisterDragDrop(Wnd, Target), CO_E_NOTINITIALIZED);
  testing::TOleSession Ole;
  struct Case {
    HWND Window;
    IDropTarget* DropTarget;
    HRESULT Expected;
  } Cases[] = {
      {Wnd, nullptr, E_INVALIDARG},
      {nullptr, Target, DRAGDROP_E_INVALIDHWND},
      {Gone, Target, DRAGDROP_E_INVALIDHWND},
      {Wnd, Target, S_OK},
      {Wnd, Target, DRAGDROP_E_ALREADYREGISTERED},
  };
  for (const Case& C : Cases) EXPECT_EQ(RegisterDragDrop(C.Window, C.DropTarget), C.Expected);
  EXPECT_EQ(RegisteredDropTarget(Wnd), Target);
  EXPECT_EQ(RegisteredDropTarget(Gone), nullptr);

  EXPECT_EQ(RevokeDragDrop(Gone), DRAGDROP_E_INVALIDHWND);
  EXPECT_EQ(RevokeDragDrop(Wnd), S_OK);
  EXPECT_EQ(RevokeDragDrop(Wnd), DRAGDROP_E_NOTREGISTERED);
  EXPECT_EQ(RegisteredDropTarget(Wnd), nullptr);
  EXPECT_EQ(Target->Release(), 0u);
  EXPECT_TRUE(Log.empty());
}

TEST(DropTargetsTest, WindowHoldsOneReferenceUntilRevokedOrDestroyed) {
  testing::TOleSession Ole;
  std::vector<std::string> Log;
  bool Destroyed = false;
  auto* Target = new TRecordingTarget("T", Log, &Destroyed);
  auto Count = [&] {
    Target->AddRef();
    return Target->Release();
  };
  auto* Panel = new TCustomPanel(nullptr);
  auto* Child = new TCustomPanel(Panel);
  Child->SetParent(Panel);
  ASSERT_EQ(RegisterDragDrop(Child->Handle(), Target), S_OK);
  EXPECT_EQ(Count(), 2u);
  ASSERT_EQ(RevokeDragDrop(Child->Handle()), S_OK);
  EXPECT_EQ(Count(), 1u);

  // Destroying the parent's window destroys the child's, which lets go.
  ASSERT_EQ(RegisterDragDrop(Child->Handle(), Target), S_OK);
  HWND Old = Child->Handle();
  Panel->DestroyHandle();
  EXPECT_EQ(Count(), 1u);
  EXPECT_EQ(RegisteredDropTarget(Old), nullptr);
  // A new window for the control starts without a target.
  EXPECT_EQ(RegisteredDropTarget(Child->Handle()), nullptr);

  ASSERT_EQ(RegisterDragDrop(Child->Handle(), Target), S_OK);
  Target->Release();  // now only the window holds it
  EXPECT_FALSE(Destroyed);
  delete Panel;
  EXPECT_TRUE(Destroyed);
}

}  // namespace
}  // namespace host
