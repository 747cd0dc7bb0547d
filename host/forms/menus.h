#pragma once
// Menus. A menu item owns the items added to it; an item freed on its own
// leaves its parent item first.

#include <functional>
#include <string>
#include <vector>

#include "host/forms/component.h"
#include "host/graphics/types.h"

namespace host {

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;
  std::string ClassName() const override { return "TMenuItem"; }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value) { FCaption = Value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }

  // Adds Item at the end; it leaves any menu it was in. Raises
  // EInvalidOperation for the item itself or one of its ancestors.
  void Add(TMenuItem* Item);
  void Remove(TMenuItem* Item);
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for an index out of range.
  TMenuItem* Items(int Index) const;
  int IndexOf(const TMenuItem* Item) const;
  TMenuItem* Parent() const { return FParent; }

  // What choosing the item does: OnClick, if the item is enabled.
  virtual void Click();

  TNotifyEvent OnClick;

 private:
  TMenuItem* FParent = nullptr;
  std::vector<TMenuItem*> FItems;
  std::string FCaption;
  bool FEnabled = true;
};

class TPopupMenu;

// Where a popped-up menu goes. A hook stands for the user: it sees the menu
// and the point and may Click the item chosen. Without a hook the window
// backend shows the menu (headless, to no one: nothing is chosen).
using TPopupHook = std::function<void(TPopupMenu& Menu, int X, int Y)>;
// Returns the previous hook.
TPopupHook SetPopupHook(TPopupHook Hook);

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;
  std::string ClassName() const override { return "TPopupMenu"; }

  TMenuItem& Items() { return *FItems; }
  // Shows the menu at a screen point: OnPopup first, then the popup hook or
  // the backend's menu; returns when the menu has closed.
  virtual void Popup(int X, int Y);
  TPoint PopupPoint() const { return FPopupPoint; }

  TNotifyEvent OnPopup;

 private:
  TMenuItem* FItems;  // owned through the component list
  TPoint FPopupPoint{-1, -1};
};

}  // namespace host
