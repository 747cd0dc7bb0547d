// How long the drop target lives: the component, the window and a running
// drag each hold a reference, and whichever lets go last frees it.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "dropurl/drop_url.h"
#include "dropurl/testing/url_drag.h"
#include "host/forms/application.h"
#include "host/ole/drag_pointer.h"
#include "host/ole/ole_init.h"

namespace snapkit {
namespace {

using namespace host;
using testing::Text;

const testing::TOffers SomeURL = {{"UniformResourceLocator", Text("http://example.test/")}};

// A control that owns its TDropURL aimed at itself and frees it in its own
// destructor, while its window still exists.
class TDropPanel : public TCustomPanel {
 public:
  explicit TDropPanel(TComponent* AOwner) : TCustomPanel(AOwner) {
    FDropURL = new TDropURL(this);
    FDropURL->SetTargetControl(this);
  }
  ~TDropPanel() override { FreeAndNil(FDropURL); }
  TDropURL* DropURL() const { return FDropURL; }
  // For freeing the component apart from the control.
  TDropURL* TakeDropURL() { return std::exchange(FDropURL, nullptr); }

 private:
  TDropURL* FDropURL;
};

class DropURLLifetimeTest : public ::testing::Test {
 protected:
  void SetUp() override { OleInitialize(nullptr); }
  void TearDown() override {
    Application->OnException = nullptr;
    OleUninitialize();
  }

  // Loads D with a handler that holds Token, then drops the component's own
  // copy of the handler: Token lives exactly as long as the drop target.
  void Load(TDropURL& D, std::function<void(const std::string&)> OnURL = nullptr) {
    auto Held = std::make_shared<int>(0);
    Token = Held;
    D.OnDropURL = [Held, OnURL, this](TObject*, const std::string& URL) {
      if (OnURL) OnURL(URL);
      // After OnURL on purpose: a handler may still use what it holds
      // after freeing the component.
      Reported.push_back(URL);
    };
    ReadComponent(D, [] {});
    D.OnDropURL = nullptr;
  }
  bool TargetAlive() const { return !Token.expired(); }

  std::weak_ptr<int> Token;
  std::vector<std::string> Reported;
};

TEST_F(DropURLLifetimeTest, WhicheverOfComponentAndWindowGoesLastFreesTheTarget) {
  enum TOrder { FreeComponentFirst, DestroyWindowFirst, ControlFreesItsOwnComponent };
  for (TOrder Order : {FreeComponentFirst, DestroyWindowFirst, ControlFreesItsOwnComponent}) {
    SCOPED_TRACE(Order);
    Reported.clear();
    auto* Panel = new TDropPanel(nullptr);
    Panel->SetBounds(0, 0, 100, 100);
    TDropURL* Drop = Panel->DropURL();
    Load(*Drop);
    HWND Wnd = Panel->Handle();
    ASSERT_EQ(RegisteredDropTarget(Wnd), Drop->DropTarget());
    testing::DragOnto(*Panel, SomeURL);
    EXPECT_EQ(Reported.size(), 1u);
    switch (Order) {
      case FreeComponentFirst:
        delete Panel->TakeDropURL();
        EXPECT_EQ(RegisteredDropTarget(Wnd), nullptr);
        EXPECT_EQ(RevokeDragDrop(Wnd), DRAGDROP_E_NOTREGISTERED);
        EXPECT_FALSE(TargetAlive());
        // The window takes no more drops.
        EXPECT_EQ(testing::DragOnto(*Panel, SomeURL).Effect, DROPEFFECT_NONE);
        delete Panel;
        break;
      case DestroyWindowFirst:
        Panel->TakeDropURL();
        Panel->DestroyHandle();
        EXPECT_EQ(RegisteredDropTarget(Wnd), nullptr);
        EXPECT_TRUE(TargetAlive());  // the component still holds it
        EXPECT_EQ(Drop->DropTarget()->AddRef(), 2u);
        EXPECT_EQ(Drop->DropTarget()->Release(), 1u);
        delete Drop;
        EXPECT_FALSE(TargetAlive());
        delete Panel;
        break;
      case ControlFreesItsOwnComponent:
        delete Panel;
        EXPECT_FALSE(TargetAlive());
        break;
    }
    EXPECT_EQ(Reported.size(), 1u);
  }
}

TEST_F(DropURLLifetimeTest, ComponentFreedDuringADragLeavesTheTargetToTheDrag) {
  TCustomPanel Panel(nullptr);
  Panel.SetBounds(0, 0, 100, 100);
  auto* Drop = new TDropURL(nullptr);
  Drop->SetTargetControl(&Panel);
  Load(*Drop);
  TComPtr<IDataObject> Data = TComPtr<IDataObject>::Attach(testing::NewURLData(SomeURL));
  TComPtr<IDropSource> Source = TComPtr<IDropSource>::Attach(new TDropSource);
  TScriptedPointer Pointer;
  bool AliveAfterFree = false;
  Pointer.MoveTo({50, 50}).Then([&] {
    delete Drop;
    EXPECT_EQ(RegisteredDropTarget(Panel.Handle()), nullptr);
    AliveAfterFree = TargetAlive();
  });
  Pointer.MoveTo({51, 50}).ButtonUp();
  DWORD Effect = 0xFF;
  EXPECT_EQ(DoDragDrop(Data.Get(), Source.Get(), DROPEFFECT_COPY, &Effect), DRAGDROP_S_DROP);
  EXPECT_TRUE(AliveAfterFree);
  EXPECT_FALSE(TargetAlive());
  EXPECT_EQ(Effect, DROPEFFECT_NONE);
  EXPECT_TRUE(Reported.empty());
}

TEST_F(DropURLLifetimeTest, HandlerMayFreeTheFormThatHoldsTheComponent) {
  // Also when Drop is reached through the window's registration by a caller
  // that holds no reference of its own, as a window-system backend might.
  for (bool ThroughTheLoop : {true, false}) {
    SCOPED_TRACE(ThroughTheLoop);
    Reported.clear();
    auto* Form = new TCustomPanel(nullptr);
    Form->SetBounds(0, 0, 100, 100);
    auto* Drop = new TDropURL(Form);
    Drop->SetTargetControl(Form);
    Load(*Drop, [&](const std::string&) { delete Form; });
    DWORD Effect = DROPEFFECT_NONE;
    if (ThroughTheLoop) {
      testing::TDragOutcome Outcome = testing::DragOnto(*Form, SomeURL);
      EXPECT_EQ(Outcome.Result, DRAGDROP_S_DROP);
      Effect = Outcome.Effect;
    } else {
      IDropTarget* Target = RegisteredDropTarget(Form->Handle());
      TComPtr<IDataObject> Data = TComPtr<IDataObject>::Attach(testing::NewURLData(SomeURL));
      Effect = DROPEFFECT_COPY;
      ASSERT_EQ(Target->DragEnter(Data.Get(), MK_LBUTTON, {}, &Effect), S_OK);
      EXPECT_EQ(Target->Drop(Data.Get(), 0, {}, &Effect), S_OK);
    }
    EXPECT_EQ(Effect, DROPEFFECT_COPY);
    EXPECT_EQ(Reported, (std::vector<std::string>{"http://example.test/"}));
    EXPECT_FALSE(TargetAlive());
  }
}

struct TDropFailure {};  // not even a std::exception

TEST_F(DropURLLifetimeTest, HandlerExceptionGoesToTheApplicationNotTheDragLoop) {
  TCustomPanel Panel(nullptr);
  Panel.SetBounds(0, 0, 100, 100);
  TDropURL Drop(nullptr);
  Drop.SetTargetControl(&Panel);
  std::function<void()> Fail;
  Load(Drop, [&](const std::string&) { Fail(); });
  std::vector<std::string> Heard;
  std::vector<TObject*> Senders;
  Application->OnException = [&](TObject* Sender, const std::exception& E) {
    Senders.push_back(Sender);
    Heard.push_back(E.what());
  };
  struct Case {
    std::function<void()> Throw;
    const char* Message;
  } Cases[] = {
      {[] { throw EInvalidOperation("no capture now"); }, "no capture now"},
      {[] { throw std::runtime_error("bad URL"); }, "bad URL"},
      {[] { throw TDropFailure(); }, "Unknown exception"},
  };
  for (const Case& C : Cases) {
    Heard.clear();
    Senders.clear();
    Fail = C.Throw;
    testing::TDragOutcome Outcome{};
    EXPECT_NO_THROW(Outcome = testing::DragOnto(Panel, SomeURL));
    EXPECT_EQ(Outcome.Result, DRAGDROP_S_DROP);
    EXPECT_EQ(Outcome.Effect, DROPEFFECT_NONE);
    EXPECT_EQ(Heard, (std::vector<std::string>{C.Message}));
    EXPECT_EQ(Senders, (std::vector<TObject*>{Drop.DropTarget()}));
  }

  // Straight to the target: the drop answers failure with no effect.
  TComPtr<IDataObject> Data = TComPtr<IDataObject>::Attach(testing::NewURLData(SomeURL));
  DWORD Effect = DROPEFFECT_COPY;
  ASSERT_EQ(Drop.DropTarget()->DragEnter(Data.Get(), MK_LBUTTON, {}, &Effect), S_OK);
  EXPECT_EQ(Drop.DropTarget()->Drop(Data.Get(), 0, {}, &Effect), E_UNEXPECTED);
  EXPECT_EQ(Effect, DROPEFFECT_NONE);

  // Even an application handler that throws in turn stays out of the loop.
  Application->OnException = [](TObject*, const std::exception&) { throw std::logic_error("x"); };
  EXPECT_EQ(testing::DragOnto(Panel, SomeURL).Effect, DROPEFFECT_NONE);
}

}  // namespace
}  // namespace snapkit
