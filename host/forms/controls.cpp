#include "host/forms/controls.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "host/forms/backend.h"
#include "host/graphics/bitmap.h"
#include "host/graphics/picture.h"

namespace host {

// ---- the window table ------------------------------------------------------

namespace {

struct TWindowTable {
  std::mutex Lock;  // PostMessage may look a handle up from another thread
  std::map<HWND, TWinControl*> Windows;
  std::uintptr_t LastHandle = 0;
  std::map<int, std::function<void(HWND)>> DestroyHooks;
  int LastHook = 0;
};

TWindowTable& Table() {
  static TWindowTable T;
  return T;
}

}  // namespace

TWinControl* FindControl(HWND Wnd) {
  if (!Wnd) return nullptr;
  TWindowTable& T = Table();
  std::lock_guard<std::mutex> Guard(T.Lock);
  auto it = T.Windows.find(Wnd);
  return it == T.Windows.end() ? nullptr : it->second;
}

bool IsWindow(HWND Wnd) { return FindControl(Wnd) != nullptr; }

bool AnyWindowExists() {
  TWindowTable& T = Table();
  std::lock_guard<std::mutex> Guard(T.Lock);
  return !T.Windows.empty();
}

namespace {

bool Holds(const TControl& C, TPoint Screen) {
  TPoint P = C.ScreenToClient(Screen);
  return P.X >= 0 && P.Y >= 0 && P.X < C.Width() && P.Y < C.Height();
}

}  // namespace

HWND WindowFromPoint(TPoint Point) {
  std::vector<TWinControl*> TopLevel;
  {
    TWindowTable& T = Table();
    std::lock_guard<std::mutex> Guard(T.Lock);
    for (auto& W : T.Windows)  // handles grow, so this is creation order
      if (!W.second->Parent()) TopLevel.push_back(W.second);
  }
  TWinControl* Found = nullptr;
  for (auto it = TopLevel.rbegin(); it != TopLevel.rend() && !Found; ++it)
    if ((*it)->Visible() && Holds(**it, Point)) Found = *it;
  while (Found) {
    TWinControl* Child = nullptr;
    for (int i = Found->ControlCount() - 1; i >= 0 && !Child; --i) {
      auto* W = dynamic_cast<TWinControl*>(Found->Controls(i));
      if (W && W->HandleAllocated() && W->Visible() && Holds(*W, Point)) Child = W;
    }
    if (!Child) return Found->Handle();
    Found = Child;
  }
  return nullptr;
}

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TWinControl* Control = FindControl(Wnd);
  return Control ? Control->Perform(Msg, WParam, LParam) : 0;
}

int AddWindowDestroyHook(std::function<void(HWND)> Hook) {
  TWindowTable& T = Table();
  std::lock_guard<std::mutex> Guard(T.Lock);
  T.DestroyHooks.emplace(++T.LastHook, std::move(Hook));
  return T.LastHook;
}

void RemoveWindowDestroyHook(int Id) {
  TWindowTable& T = Table();
  std::lock_guard<std::mutex> Guard(T.Lock);
  T.DestroyHooks.erase(Id);
}

// ---- TControl --------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetParent(TWinControl* Value) {
  if (Value == FParent) return;
  for (TWinControl* P = Value; P; P = P->Parent())
    if (P == this) throw EInvalidOperation("Control cannot have itself as its parent");
  TWinControl* Old = FParent;
  if (Old) {
    auto& List = Old->FControls;
    List.erase(std::find(List.begin(), List.end(), this));
    FParent = nullptr;
    if (FAlign != alNone) Old->Realign();
  }
  if (Value) {
    Value->FControls.push_back(this);
    FParent = Value;
    if (FAlign != alNone) Value->Realign();
  }
  if (OnDisplay() || (Old && Old->HandleAllocated())) WindowBackend().ParentChanged(*this, Old);
}

bool TControl::OnDisplay() const {
  if (auto* W = dynamic_cast<const TWinControl*>(this); W && W->HandleAllocated()) return true;
  return FParent && FParent->HandleAllocated();
}

void TControl::SetCaption(const std::string& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  if (OnDisplay()) WindowBackend().CaptionChanged(*this);
}

void TControl::Invalidate() {
  ++FPaintRequests;
  if (OnDisplay()) WindowBackend().Invalidate(*this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  bool Resized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  if (OnDisplay()) WindowBackend().BoundsChanged(*this);
  if (Resized && !InState(csLoading) && !InState(csDestroying)) Resize();
}

void TControl::SetAlign(TAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  if (FParent) FParent->Realign();
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  if (OnDisplay()) WindowBackend().VisibleChanged(*this);
  if (FParent && FAlign != alNone) FParent->Realign();
}

bool TControl::Showing() const {
  for (const TControl* C = this; C; C = C->FParent)
    if (!C->FVisible) return false;
  return true;
}

TPoint TControl::ClientToScreen(TPoint Point) const {
  const TControl* C = this;
  for (; C->FParent; C = C->FParent) {
    Point.X += C->FLeft;
    Point.Y += C->FTop;
  }
  TPoint Origin{C->FLeft, C->FTop};
  if (C->OnDisplay()) Origin = WindowBackend().ScreenOrigin(*C);
  return {Point.X + Origin.X, Point.Y + Origin.Y};
}

TPoint TControl::ScreenToClient(TPoint Point) const {
  TPoint Origin = ClientToScreen({0, 0});
  return {Point.X - Origin.X, Point.Y - Origin.Y};
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

// ---- TWinControl -----------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  SetState(csDestroying, true);
  while (!FControls.empty()) delete FControls.back();
  DestroyHandle();
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FControls[static_cast<std::size_t>(Index)];
}

HWND TWinControl::Handle() {
  if (FHandle) return FHandle;
  if (Parent()) Parent()->HandleNeeded();
  TWindowTable& T = Table();
  {
    std::lock_guard<std::mutex> Guard(T.Lock);
    FHandle = reinterpret_cast<HWND>(++T.LastHandle);
    T.Windows.emplace(FHandle, this);
  }
  try {
    WindowBackend().CreateWindow(*this);
  } catch (...) {
    std::lock_guard<std::mutex> Guard(T.Lock);
    T.Windows.erase(FHandle);
    FHandle = nullptr;
    throw;
  }
  CreateWnd();
  return FHandle;
}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  for (TControl* C : FControls)
    if (auto* W = dynamic_cast<TWinControl*>(C)) W->DestroyHandle();
  Perform(WM_DESTROY, 0, 0);
  std::vector<std::function<void(HWND)>> Hooks;
  TWindowTable& T = Table();
  {
    std::lock_guard<std::mutex> Guard(T.Lock);
    for (auto& H : T.DestroyHooks) Hooks.push_back(H.second);
  }
  for (auto& H : Hooks) H(FHandle);
  DestroyWnd();
  WindowBackend().DestroyWindow(*this);
  std::lock_guard<std::mutex> Guard(T.Lock);
  T.Windows.erase(FHandle);
  FHandle = nullptr;
}

LRESULT TWinControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage Message{Msg, WParam, LParam, 0};
  WndProc(Message);
  return Message.Result;
}

void TWinControl::WndProc(TMessage& Message) {
  TMouseButton Button;
  switch (Message.Msg) {
    case WM_LBUTTONDOWN:
      Button = mbLeft;
      break;
    case WM_RBUTTONDOWN:
      Button = mbRight;
      break;
    case WM_MBUTTONDOWN:
      Button = mbMiddle;
      break;
    default:
      return;
  }
  int X = LParamX(Message.LParam), Y = LParamY(Message.LParam);
  TShiftState Shift = static_cast<TShiftState>(Message.WParam);
  // A control without a window of its own gets the clicks that land on it;
  // the topmost (last added) visible one wins.
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* C = *it;
    if (dynamic_cast<TWinControl*>(C) || !C->Visible()) continue;
    if (X >= C->Left() && X < C->Left() + C->Width() && Y >= C->Top() &&
        Y < C->Top() + C->Height()) {
      C->MouseDown(Button, Shift, X - C->Left(), Y - C->Top());
      return;
    }
  }
  MouseDown(Button, Shift, X, Y);
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  int OldWidth = Width(), OldHeight = Height();
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (Width() != OldWidth || Height() != OldHeight) Realign();
}

void TWinControl::Realign() {
  if (InState(csDestroying)) return;
  TRect R = AlignRect();
  auto Place = [&](TAlign Which) {
    for (TControl* C : FControls) {
      if (C->Align() != Which || !C->Visible()) continue;
      switch (Which) {
        case alTop:
          C->SetBounds(R.Left, R.Top, R.Width(), C->Height());
          R.Top += C->Height();
          break;
        case alBottom:
          C->SetBounds(R.Left, R.Bottom - C->Height(), R.Width(), C->Height());
          R.Bottom -= C->Height();
          break;
        case alLeft:
          C->SetBounds(R.Left, R.Top, C->Width(), R.Height());
          R.Left += C->Width();
          break;
        case alRight:
          C->SetBounds(R.Right - C->Width(), R.Top, C->Width(), R.Height());
          R.Right -= C->Width();
          break;
        case alClient:
          C->SetBounds(R.Left, R.Top, R.Width(), R.Height());
          break;
        case alNone:
          break;
      }
    }
  };
  for (TAlign A : {alTop, alBottom, alLeft, alRight, alClient}) Place(A);
}

// ---- concrete controls -------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* AOwner) : TWinControl(AOwner) { SetBounds(0, 0, 185, 41); }

void TCustomPanel::SetBevelOuter(TBevelCut Value) {
  if (Value == FBevelOuter) return;
  FBevelOuter = Value;
  Realign();
}

void TCustomPanel::SetBevelInner(TBevelCut Value) {
  if (Value == FBevelInner) return;
  FBevelInner = Value;
  Realign();
}

void TCustomPanel::SetBevelWidth(int Value) {
  if (Value < 1) Value = 1;
  if (Value == FBevelWidth) return;
  FBevelWidth = Value;
  Realign();
}

TRect TCustomPanel::AlignRect() const {
  int Inset = 0;
  if (FBevelOuter != bvNone) Inset += FBevelWidth;
  if (FBevelInner != bvNone) Inset += FBevelWidth;
  TRect R = ClientRect();
  R.Left += Inset;
  R.Top += Inset;
  R.Right = std::max(R.Left, R.Right - Inset);
  R.Bottom = std::max(R.Top, R.Bottom - Inset);
  return R;
}

TScrollBox::TScrollBox(TComponent* AOwner) : TWinControl(AOwner) { SetBounds(0, 0, 185, 41); }

TImage::TImage(TComponent* AOwner)
    : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
  SetBounds(0, 0, 105, 105);
}

TImage::~TImage() = default;

void TImage::SetPicture(const TPicture& Value) {
  FPicture->Assign(Value);
  Invalidate();
}

}  // namespace host
