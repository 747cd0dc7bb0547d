#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/forms/controls.h"
#include "host/ole/drag_drop.h"
#include "host/ole/drag_pointer.h"
#include "host/ole/testing/ole_session.h"
#include "host/ole/testing/recording_target.h"

namespace host {
namespace {

using testing::TRecordingTarget;
using Log = std::vector<std::string>;

// A form at the screen's origin with two registered panels, A and B, and an
// unregistered panel inside B:
//   A: screen (10,10)-(109,109)   B: (150,10)-(249,109)   C in B: (160,20)-(199,59)
class DragLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form.SetBounds(0, 0, 300, 200);
    PanelA->SetParent(&Form);
    PanelA->SetBounds(10, 10, 100, 100);
    PanelB->SetParent(&Form);
    PanelB->SetBounds(150, 10, 100, 100);
    PanelC->SetParent(PanelB);
    PanelC->SetBounds(10, 10, 40, 40);
    PanelC->HandleNeeded();
    A = new TRecordingTarget("A", Calls, &ADestroyed);
    B = new TRecordingTarget("B", Calls);
    ASSERT_EQ(RegisterDragDrop(PanelA->Handle(), A), S_OK);
    ASSERT_EQ(RegisterDragDrop(PanelB->Handle(), B), S_OK);
    Data->OfferText(0xC123, "payload");
  }
  void TearDown() override {
    A->Release();
    B->Release();
    Data->Release();
    Source->Release();
  }

  testing::TOleSession Ole;
  TCustomPanel Form{nullptr};
  TCustomPanel* PanelA = new TCustomPanel(&Form);
  TCustomPanel* PanelB = new TCustomPanel(&Form);
  TCustomPanel* PanelC = new TCustomPanel(&Form);
  Log Calls;
  bool ADestroyed = false;
  TRecordingTarget* A = nullptr;
  TRecordingTarget* B = nullptr;
  TDataObject* Data = new TDataObject;
  TDropSource* Source = new TDropSource;
};

TEST_F(DragLoopTest, CallsFollowTheCursorFromTargetToTarget) {
  struct Case {
    const char* Name;
    std::function<void(TScriptedPointer&)> Script;
    std::function<void()> Prepare;
    DWORD OKEffects;
    HRESULT Result;
    DWORD Effect;
    Log Expected;
  } Cases[] = {
      {"across two targets, dropped on the second",
       [](TScriptedPointer& P) {
         P.MoveTo({5, 5}).MoveTo({20, 20}).MoveTo({30, 31}).MoveTo({240, 12}).ButtonUp();
       },
       nullptr,
       DROPEFFECT_COPY,
       DRAGDROP_S_DROP,
       DROPEFFECT_COPY,
       {"A enter 20,20", "A over 30,31", "A leave", "B enter 240,12", "B over 240,12",
        "B drop 240,12"}},
      {"a child without a target passes the drag to its parent's",
       [](TScriptedPointer& P) {
         P.MoveTo({170, 30}).MoveTo({199, 59}).ButtonUp();
       },
       nullptr,
       DROPEFFECT_COPY,
       DRAGDROP_S_DROP,
       DROPEFFECT_COPY,
       {"B enter 170,30", "B over 199,59", "B over 199,59", "B drop 199,59"}},
      {"Escape cancels",
       [](TScriptedPointer& P) {
         P.MoveTo({20, 20}).Escape();
       },
       nullptr,
       DROPEFFECT_COPY,
       DRAGDROP_S_CANCEL,
       DROPEFFECT_NONE,
       {"A enter 20,20", "A over 20,20", "A leave"}},
      {"a pointer that has nothing more cancels",
       [](TScriptedPointer& P) {
         P.MoveTo({20, 20});
       },
       nullptr,
       DROPEFFECT_COPY,
       DRAGDROP_S_CANCEL,
       DROPEFFECT_NONE,
       {"A enter 20,20", "A leave"}},
      {"a drop over no target has no effect",
       [](TScriptedPointer& P) {
         P.MoveTo({20, 20}).MoveTo({280, 150}).ButtonUp();
       },
       nullptr,
       DROPEFFECT_COPY,
       DRAGDROP_S_DROP,
       DROPEFFECT_NONE,
       {"A enter 20,20", "A leave"}},
      {"a target answering no effect is left, not dropped on",
       [](TScriptedPointer& P) {
         P.MoveTo({20, 20}).ButtonUp();
       },
       [this] { A->Accepts = DROPEFFECT_NONE; },
       DROPEFFECT_COPY,
       DRAGDROP_S_DROP,
       DROPEFFECT_NONE,
       {"A enter 20,20", "A over 20,20", "A leave"}},
      {"a target that fails to enter hears no more of the drag",
       [](TScriptedPointer& P) {
         P.MoveTo({20, 20}).MoveTo({30, 30}).ButtonUp();
       },
       [this] { A->EnterResult = E_UNEXPECTED; },
       DROPEFFECT_COPY,
       DRAGDROP_S_DROP,
       DROPEFFECT_NONE,
       {"A enter 20,20"}},
      {"answers are kept within the source's effects",
       [](TScriptedPointer& P) {
         P.MoveTo({20, 20}).ButtonUp();
       },
       [this] { A->Accepts = DROPEFFECT_COPY | DROPEFFECT_LINK; },
       DROPEFFECT_MOVE | DROPEFFECT_LINK,
       DRAGDROP_S_DROP,
       DROPEFFECT_LINK,
       {"A enter 20,20", "A over 20,20", "A drop 20,20"}},
      {"an answer outside the source's effects is none",
       [](TScriptedPointer& P) {
         P.MoveTo({20, 20}).ButtonUp();
       },
       [this] { A->Accepts = DROPEFFECT_MOVE; },
       DROPEFFECT_COPY,
       DRAGDROP_S_DROP,
       DROPEFFECT_NONE,
       {"A enter 20,20", "A over 20,20", "A leave"}},
      {"a hidden panel is no longer under the cursor",
       [](TScriptedPointer& P) {
         P.MoveTo({20, 20}).ButtonUp();
       },
       [this] { PanelA->Hide(); },
       DROPEFFECT_COPY,
       DRAGDROP_S_DROP,
       DROPEFFECT_NONE,
       {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Calls.clear();
    A->EnterResult = S_OK;
    A->Accepts = DROPEFFECT_COPY;
    PanelA->Show();
    if (C.Prepare) C.Prepare();
    TScriptedPointer Pointer;
    C.Script(Pointer);
    DWORD Effect = 0xFF;
    EXPECT_EQ(DoDragDrop(Data, Source, C.OKEffects, &Effect), C.Result);
    EXPECT_EQ(Effect, C.Effect);
    EXPECT_EQ(Calls, C.Expected);
  }
}

TEST_F(DragLoopTest, RefusesWhatItCannotRun) {
  DWORD Effect = 0xFF;
  EXPECT_EQ(DoDragDrop(nullptr, Source, DROPEFFECT_COPY, &Effect), E_INVALIDARG);
  EXPECT_EQ(DoDragDrop(Data, nullptr, DROPEFFECT_COPY, &Effect), E_INVALIDARG);
  EXPECT_EQ(DoDragDrop(Data, Source, DROPEFFECT_COPY, nullptr), E_INVALIDARG);
  // Without a pointer nobody holds a button down: the drag ends at once.
  ASSERT_EQ(DragPointer(), nullptr);
  EXPECT_EQ(DoDragDrop(Data, Source, DROPEFFECT_COPY, &Effect), DRAGDROP_S_CANCEL);
  EXPECT_EQ(Effect, DROPEFFECT_NONE);
  EXPECT_TRUE(Calls.empty());
  // The loop gave back the references it took.
  EXPECT_EQ(Data->AddRef(), 2u);
  Data->Release();
  EXPECT_EQ(Source->AddRef(), 2u);
  Source->Release();

  OleUninitialize();
  TScriptedPointer Pointer;
  Pointer.MoveTo({20, 20}).ButtonUp();
  Effect = 0xFF;
  EXPECT_EQ(DoDragDrop(Data, Source, DROPEFFECT_COPY, &Effect), CO_E_NOTINITIALIZED);
  EXPECT_EQ(Effect, DROPEFFECT_NONE);
  EXPECT_TRUE(Calls.empty());
  OleInitialize(nullptr);
}

TEST_F(DragLoopTest, TargetOutlivesItsWindowUntilTheDragLeavesIt) {
  // The window goes between two moves: its registration is let go at once,
  // but the drag still holds the target to tell it the cursor left.
  TScriptedPointer Pointer;
  bool DestroyedBeforeLeave = true;
  A->During = [&](const std::string& Call) {
    if (Call == "leave") DestroyedBeforeLeave = ADestroyed;
  };
  Pointer.MoveTo({20, 20}).Then([&] {
    HWND Wnd = PanelA->Handle();
    A->Release();
    A = nullptr;
    delete PanelA;
    EXPECT_EQ(RegisteredDropTarget(Wnd), nullptr);
    EXPECT_FALSE(ADestroyed);
  });
  Pointer.MoveTo({30, 30}).ButtonUp();
  DWORD Effect = 0xFF;
  EXPECT_EQ(DoDragDrop(Data, Source, DROPEFFECT_COPY, &Effect), DRAGDROP_S_DROP);
  EXPECT_EQ(Effect, DROPEFFECT_NONE);
  EXPECT_EQ(Calls, (Log{"A enter 20,20", "A leave"}));
  EXPECT_FALSE(DestroyedBeforeLeave);
  EXPECT_TRUE(ADestroyed);
  A = new TRecordingTarget("A", Calls);  // for TearDown
}

TEST_F(DragLoopTest, TargetRevokedInsideItsOwnCallIsLeftOnTheNextMove) {
  TScriptedPointer Pointer;
  Pointer.MoveTo({20, 20}).MoveTo({25, 25}).MoveTo({30, 30}).ButtonUp();
  A->During = [&](const std::string& Call) {
    if (Call == "over") {
      EXPECT_EQ(RevokeDragDrop(PanelA->Handle()), S_OK);
    }
  };
  DWORD Effect = 0xFF;
  EXPECT_EQ(DoDragDrop(Data, Source, DROPEFFECT_COPY, &Effect), DRAGDROP_S_DROP);
  EXPECT_EQ(Calls, (Log{"A enter 20,20", "A over 25,25", "A leave"}));
  EXPECT_FALSE(ADestroyed);  // the test still holds its own reference
}

TEST(DropSourceTest, EscapeCancelsAndLettingGoDrops) {
  struct Case {
    BOOL Escape;
    DWORD Keys;
    HRESULT Expected;
  } Cases[] = {
      {0, MK_LBUTTON, S_OK},
      {0, MK_RBUTTON | MK_SHIFT, S_OK},
      {0, MK_MBUTTON, S_OK},
      {0, 0, DRAGDROP_S_DROP},
      {0, MK_CONTROL, DRAGDROP_S_DROP},
      {1, MK_LBUTTON, DRAGDROP_S_CANCEL},
      {1, 0, DRAGDROP_S_CANCEL},
  };
  TDropSource* Source = new TDropSource;
  for (const Case& C : Cases)
    EXPECT_EQ(Source->QueryContinueDrag(C.Escape, C.Keys), C.Expected) << C.Escape << " " << C.Keys;
  EXPECT_EQ(Source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
  void* Same = nullptr;
  EXPECT_EQ(Source->QueryInterface(IID_IDropSource, &Same), S_OK);
  EXPECT_EQ(Same, static_cast<IDropSource*>(Source));
  EXPECT_EQ(Source->Release(), 1u);
  EXPECT_EQ(Source->Release(), 0u);
}

TEST(ScriptedPointerTest, PlaysItsStepsAndRestoresThePointerBefore) {
  TScriptedPointer Outer;
  {
    TScriptedPointer Inner;
    EXPECT_EQ(DragPointer(), &Inner);
    int Ran = 0;
    Inner.MoveTo({1, 2}, MK_LBUTTON | MK_SHIFT).Then([&] { ++Ran; }).ButtonUp().Escape();
    TPointerState S;
    ASSERT_TRUE(Inner.Next(S));
    EXPECT_EQ(Ran, 0);
    EXPECT_EQ(S.KeyState, MK_LBUTTON | MK_SHIFT);
    ASSERT_TRUE(Inner.Next(S));
    EXPECT_EQ(Ran, 1);
    EXPECT_EQ(S.Pt.X, 1);
    EXPECT_EQ(S.Pt.Y, 2);
    EXPECT_EQ(S.KeyState, MK_SHIFT);
    EXPECT_FALSE(S.EscapePressed);
    ASSERT_TRUE(Inner.Next(S));
    EXPECT_TRUE(S.EscapePressed);
    EXPECT_FALSE(Inner.Next(S));
  }
  EXPECT_EQ(DragPointer(), &Outer);
}

}  // namespace
}  // namespace host
