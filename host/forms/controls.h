#pragma once
// Controls: TControl (a rectangle in its parent), TWinControl (a control
// with a window, children and message dispatch), and the few concrete
// controls the package builds on. Windows are entries in a table that
// messages find by handle; the window backend (backend.h) gives them a place
// on a display, if there is one.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/forms/component.h"
#include "host/forms/messages.h"
#include "host/graphics/types.h"

namespace host {

class TPicture;
class TWinControl;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
// A set of TShiftStateItem: bit (1 << item) per member.
using TShiftState = unsigned;

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  std::string ClassName() const override { return "TControl"; }

  TWinControl* Parent() const { return FParent; }
  // Moves the control into Value's list of children (or out of any).
  virtual void SetParent(TWinControl* Value);

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  // Negative sizes become 0. A change of size calls Resize, realigns the
  // children and the aligned siblings.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Rect(FLeft, FTop, FLeft + FWidth, FTop + FHeight); }
  TRect ClientRect() const { return Rect(0, 0, FWidth, FHeight); }
  int ClientWidth() const { return FWidth; }
  int ClientHeight() const { return FHeight; }

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent visible.
  bool Showing() const;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);

  // A point in this control's client area in screen coordinates: a control
  // without a parent sits where the backend put its window, headless at
  // (Left, Top) of the screen.
  TPoint ClientToScreen(TPoint Point) const;
  TPoint ScreenToClient(TPoint Point) const;

  // Asks the backend to draw the control again; the requests are counted
  // (headless, that is all that happens).
  void Invalidate();
  void Repaint() { Invalidate(); }
  int PaintRequests() const { return FPaintRequests; }

  // The mouse went down over the control at client point (X, Y).
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);

  TNotifyEvent OnResize;
  TMouseEvent OnMouseDown;

 protected:
  virtual void Resize();

 private:
  // Whether the backend has anything of this control on a display: its
  // window, or its parent's for a control drawn there.
  bool OnDisplay() const;

  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  bool FVisible = true;
  std::string FCaption;
  int FPaintRequests = 0;
};

// A control drawn on its parent's window, without a window of its own.
class TGraphicControl : public TControl {
 public:
  using TControl::TControl;
  std::string ClassName() const override { return "TGraphicControl"; }
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  // Frees the child controls still parented here, then the window.
  ~TWinControl() override;
  std::string ClassName() const override { return "TWinControl"; }

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const;

  // The window, created on first use (with its parent's before it).
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded() { Handle(); }
  // Destroys the window (and the children's) if there is one; the next
  // Handle() makes a new one.
  void DestroyHandle();

  // Runs the message through WndProc at once and returns its result.
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Where every message for this control arrives; override to handle a
  // message and call the inherited WndProc for the others.
  virtual void WndProc(TMessage& Message);

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  // The area aligned children share.
  virtual TRect AlignRect() const { return ClientRect(); }
  void Realign();

 protected:
  virtual void CreateWnd() {}
  virtual void DestroyWnd() {}

 private:
  friend class TControl;
  std::vector<TControl*> FControls;
  HWND FHandle = nullptr;
};

enum TBevelCut { bvNone, bvLowered, bvRaised };

class TCustomPanel : public TWinControl {
 public:
  explicit TCustomPanel(TComponent* AOwner);
  std::string ClassName() const override { return "TCustomPanel"; }

  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut Value);
  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut Value);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int Value);
  // Aligned children keep clear of the bevels.
  TRect AlignRect() const override;

 private:
  TBevelCut FBevelOuter = bvRaised;
  TBevelCut FBevelInner = bvNone;
  int FBevelWidth = 1;
};

class TControlScrollBar {
 public:
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value) { FVisible = Value; }

 private:
  bool FVisible = true;
};

class TScrollBox : public TWinControl {
 public:
  explicit TScrollBox(TComponent* AOwner);
  std::string ClassName() const override { return "TScrollBox"; }
  TControlScrollBar& HorzScrollBar() { return FHorzScrollBar; }
  TControlScrollBar& VertScrollBar() { return FVertScrollBar; }

 private:
  TControlScrollBar FHorzScrollBar;
  TControlScrollBar FVertScrollBar;
};

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  std::string ClassName() const override { return "TImage"; }

  TPicture& Picture() { return *FPicture; }
  // Copies Value's graphic into the image's own picture.
  void SetPicture(const TPicture& Value);

  bool Center() const { return FCenter; }
  void SetCenter(bool Value) { FCenter = Value; }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value) { FStretch = Value; }
  bool IncrementalDisplay() const { return FIncrementalDisplay; }
  void SetIncrementalDisplay(bool Value) { FIncrementalDisplay = Value; }

 private:
  std::unique_ptr<TPicture> FPicture;
  bool FCenter = false;
  bool FStretch = false;
  bool FIncrementalDisplay = false;
};

// The control whose window has this handle, or null.
TWinControl* FindControl(HWND Wnd);

// The window under a screen point: the deepest showing window whose control
// holds the point. Among siblings the last added lies on top, among windows
// without a parent the last created; a child whose window does not exist yet
// is not on the screen.
HWND WindowFromPoint(TPoint Point);

}  // namespace host
