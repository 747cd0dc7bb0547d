#include "host/forms/controls.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/forms/application.h"

namespace host {
namespace {

constexpr UINT UM_TEST = WM_APP + 7;

// A windowed control that records the custom messages it receives.
class TRecorder : public TCustomPanel {
 public:
  using TCustomPanel::TCustomPanel;
  void WndProc(TMessage& Message) override {
    if (Message.Msg == UM_TEST) {
      Received.push_back(static_cast<int>(Message.WParam));
      Message.Result = 42;
      return;
    }
    if (Message.Msg == WM_DESTROY) ++Destroys;
    TCustomPanel::WndProc(Message);
  }
  std::vector<int> Received;
  int Destroys = 0;
};

TEST(ControlsTest, ParentFreesChildrenAndChildLeavesParent) {
  TComponent Owner(nullptr);
  auto* Panel = new TCustomPanel(&Owner);
  auto* Box = new TScrollBox(&Owner);
  auto* Image = new TImage(&Owner);
  Box->SetParent(Panel);
  Image->SetParent(Panel);
  EXPECT_EQ(Panel->ControlCount(), 2);
  delete Image;
  ASSERT_EQ(Panel->ControlCount(), 1);
  EXPECT_EQ(Panel->Controls(0), Box);
  EXPECT_EQ(Owner.ComponentCount(), 2);
  delete Panel;  // takes the scroll box with it, which leaves the owner too
  EXPECT_EQ(Owner.ComponentCount(), 0);
}

TEST(ControlsTest, ControlCannotBeItsOwnAncestor) {
  TCustomPanel Outer(nullptr);
  auto* Inner = new TCustomPanel(&Outer);
  Inner->SetParent(&Outer);
  EXPECT_THROW(Outer.SetParent(Inner), EInvalidOperation);
  EXPECT_THROW(Outer.SetParent(&Outer), EInvalidOperation);
}

TEST(ControlsTest, ResizeFiresOnlyWhenTheSizeChanges) {
  TCustomPanel Panel(nullptr);
  int Resizes = 0;
  Panel.OnResize = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &Panel);
    ++Resizes;
  };
  Panel.SetWidth(128);
  Panel.SetHeight(128);
  Panel.SetLeft(10);  // a move is no resize
  Panel.SetWidth(128);
  EXPECT_EQ(Resizes, 2);
  Panel.SetBounds(0, 0, -5, 3);
  EXPECT_EQ(Panel.Width(), 0);
  EXPECT_EQ(Resizes, 3);
}

TEST(ControlsTest, ClientAlignedImageFillsThePanelInsideItsBevel) {
  TCustomPanel Panel(nullptr);
  Panel.SetBounds(0, 0, 128, 128);
  auto* Image = new TImage(&Panel);
  Image->SetParent(&Panel);
  Image->SetAlign(alClient);
  EXPECT_EQ(Image->BoundsRect().Left, 1);
  EXPECT_EQ(Image->Width(), 126);
  EXPECT_EQ(Image->Height(), 126);
  Panel.SetBounds(0, 0, 300, 200);
  EXPECT_EQ(Image->Width(), 298);
  EXPECT_EQ(Image->Height(), 198);
  Panel.SetBevelOuter(bvNone);
  EXPECT_EQ(Image->Width(), 300);
  Panel.SetBounds(0, 0, 0, 0);
  EXPECT_EQ(Image->Width(), 0);
}

TEST(ControlsTest, EdgeAlignedControlsShareTheRestWithTheClient) {
  TScrollBox Box(nullptr);
  Box.SetBounds(0, 0, 200, 100);
  auto* Top = new TCustomPanel(&Box);
  Top->SetParent(&Box);
  Top->SetHeight(20);
  Top->SetAlign(alTop);
  auto* Left = new TCustomPanel(&Box);
  Left->SetParent(&Box);
  Left->SetWidth(50);
  Left->SetAlign(alLeft);
  auto* Rest = new TImage(&Box);
  Rest->SetParent(&Box);
  Rest->SetAlign(alClient);
  EXPECT_EQ(Top->Width(), 200);
  EXPECT_EQ(Left->Top(), 20);
  EXPECT_EQ(Left->Height(), 80);
  EXPECT_EQ(Rest->Left(), 50);
  EXPECT_EQ(Rest->Top(), 20);
  EXPECT_EQ(Rest->Width(), 150);
  EXPECT_EQ(Rest->Height(), 80);
  Top->Hide();
  EXPECT_EQ(Rest->Top(), 0);
  EXPECT_EQ(Rest->Height(), 100);
}

TEST(ControlsTest, ClientToScreenAddsEveryParentsOffset) {
  TCustomPanel Form(nullptr);
  Form.SetBounds(100, 50, 400, 300);
  auto* Inner = new TCustomPanel(&Form);
  Inner->SetParent(&Form);
  Inner->SetBounds(10, 20, 128, 128);
  TPoint P = Inner->ClientToScreen({5, 6});
  EXPECT_EQ(P.X, 115);
  EXPECT_EQ(P.Y, 76);
  TPoint Back = Inner->ScreenToClient(P);
  EXPECT_EQ(Back.X, 5);
  EXPECT_EQ(Back.Y, 6);
}

TEST(ControlsTest, HandleIsMadeOnDemandParentFirst) {
  TCustomPanel Outer(nullptr);
  auto* Inner = new TCustomPanel(&Outer);
  Inner->SetParent(&Outer);
  EXPECT_FALSE(Outer.HandleAllocated());
  HWND H = Inner->Handle();
  EXPECT_TRUE(Outer.HandleAllocated());
  EXPECT_EQ(Inner->Handle(), H);
  EXPECT_NE(Outer.Handle(), H);
  EXPECT_EQ(FindControl(H), Inner);
  Outer.DestroyHandle();
  EXPECT_FALSE(Inner->HandleAllocated());
  EXPECT_FALSE(IsWindow(H));
  EXPECT_NE(Inner->Handle(), H);  // a new window, never the old handle
}

TEST(ControlsTest, SentAndPostedMessagesReachWndProc) {
  TRecorder Control(nullptr);
  HWND H = Control.Handle();
  EXPECT_EQ(SendMessage(H, UM_TEST, 1, 0), 42);
  EXPECT_TRUE(PostMessage(H, UM_TEST, 2, 0));
  EXPECT_TRUE(PostMessage(H, UM_TEST, 3, 0));
  EXPECT_EQ(Control.Received, std::vector<int>{1});  // posting does not deliver yet
  Application->ProcessMessages();
  EXPECT_EQ(Control.Received, (std::vector<int>{1, 2, 3}));
}

TEST(ControlsTest, MessagesForAGoneWindowAreDropped) {
  auto Control = std::make_unique<TRecorder>(nullptr);
  HWND H = Control->Handle();
  EXPECT_TRUE(PostMessage(H, UM_TEST, 1, 0));
  std::vector<int>* Seen = &Control->Received;
  Control->DestroyHandle();
  EXPECT_EQ(Control->Destroys, 1);
  Application->ProcessMessages();
  EXPECT_TRUE(Seen->empty());
  EXPECT_EQ(SendMessage(H, UM_TEST, 1, 0), 0);
  EXPECT_FALSE(PostMessage(H, UM_TEST, 1, 0));
  HWND H2 = Control->Handle();
  Control.reset();
  EXPECT_FALSE(IsWindow(H2));
}

TEST(ControlsTest, DestroyHooksSeeEveryWindowBeforeItGoes) {
  std::vector<HWND> Seen;
  TCustomPanel Outer(nullptr);
  auto* Inner = new TCustomPanel(&Outer);
  Inner->SetParent(&Outer);
  HWND HInner = Inner->Handle(), HOuter = Outer.Handle();
  int Id = AddWindowDestroyHook([&](HWND H) {
    EXPECT_TRUE(IsWindow(H));
    Seen.push_back(H);
  });
  Outer.DestroyHandle();
  RemoveWindowDestroyHook(Id);
  Outer.Handle();
  Outer.DestroyHandle();
  EXPECT_EQ(Seen, (std::vector<HWND>{HInner, HOuter}));
}

TEST(ControlsTest, MouseDownGoesToTheGraphicControlUnderThePoint) {
  TCustomPanel Panel(nullptr);
  Panel.SetBounds(0, 0, 128, 128);
  auto* Image = new TImage(&Panel);
  Image->SetParent(&Panel);
  Image->SetAlign(alClient);
  std::vector<std::string> Log;
  Image->OnMouseDown = [&](TObject* Sender, TMouseButton B, TShiftState, int X, int Y) {
    EXPECT_EQ(Sender, Image);
    Log.push_back("image " + std::to_string(B) + " " + std::to_string(X) + "," + std::to_string(Y));
  };
  Panel.OnMouseDown = [&](TObject*, TMouseButton B, TShiftState, int X, int Y) {
    Log.push_back("panel " + std::to_string(X) + "," + std::to_string(Y));
  };
  SendMessage(Panel.Handle(), WM_RBUTTONDOWN, 0, MakeLParam(11, 21));
  SendMessage(Panel.Handle(), WM_LBUTTONDOWN, 0, MakeLParam(0, 0));  // on the bevel
  EXPECT_EQ(Log, (std::vector<std::string>{"image 1 10,20", "panel 0,0"}));
  EXPECT_EQ(LParamX(MakeLParam(-3, 7)), -3);
  EXPECT_EQ(LParamY(MakeLParam(-3, -7)), -7);
}

TEST(ControlsTest, WindowFromPointFindsTheTopmostShowingWindow) {
  TCustomPanel Form(nullptr);
  Form.SetBounds(100, 50, 200, 100);
  auto* Left = new TCustomPanel(&Form);
  Left->SetParent(&Form);
  Left->SetBounds(0, 0, 100, 100);
  auto* Over = new TCustomPanel(&Form);  // added later, so it lies above Left
  Over->SetParent(&Form);
  Over->SetBounds(50, 0, 50, 50);
  auto* Unmade = new TCustomPanel(&Form);  // never asked for its window
  Unmade->SetParent(&Form);
  Unmade->SetBounds(150, 0, 50, 100);
  Left->HandleNeeded();
  Over->HandleNeeded();
  TCustomPanel Floating(nullptr);  // a later window without parent, above Form
  Floating.SetBounds(280, 130, 50, 50);
  Floating.HandleNeeded();

  struct Case {
    TPoint Screen;
    HWND Expected;
  } Cases[] = {
      {{100, 50}, Left->Handle()},     {{149, 149}, Left->Handle()}, {{150, 50}, Over->Handle()},
      {{199, 99}, Over->Handle()},     {{199, 100}, Left->Handle()}, {{250, 60}, Form.Handle()},
      {{299, 149}, Floating.Handle()}, {{279, 149}, Form.Handle()},  {{99, 50}, nullptr},
      {{300, 100}, nullptr},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(WindowFromPoint(C.Screen), C.Expected) << C.Screen.X << "," << C.Screen.Y;

  Over->Hide();
  EXPECT_EQ(WindowFromPoint({150, 50}), Left->Handle());
  Form.Hide();
  EXPECT_EQ(WindowFromPoint({150, 50}), nullptr);
  EXPECT_EQ(WindowFromPoint({299, 149}), Floating.Handle());
}

}  // namespace
}  // namespace host
