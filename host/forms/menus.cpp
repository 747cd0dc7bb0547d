#include "host/forms/menus.h"

#include <algorithm>

#include "host/forms/backend.h"

namespace host {

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  while (!FItems.empty()) delete FItems.back();
  if (FParent) FParent->Remove(this);
}

void TMenuItem::Add(TMenuItem* Item) {
  if (!Item) return;
  for (TMenuItem* P = this; P; P = P->FParent)
    if (P == Item) throw EInvalidOperation("A menu item cannot contain itself");
  if (Item->FParent) Item->FParent->Remove(Item);
  FItems.push_back(Item);
  Item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  Item->FParent = nullptr;
}

TMenuItem* TMenuItem::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<std::size_t>(Index)];
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TMenuItem::Click() {
  if (!FEnabled || !OnClick) return;
  TNotifyEvent Handler = OnClick;  // the handler may free this item
  Handler(this);
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner), FItems(new TMenuItem(this)) {}

TPopupMenu::~TPopupMenu() { FreeAndNil(FItems); }

namespace {

TPopupHook& PopupHook() {
  static TPopupHook Hook;
  return Hook;
}

}  // namespace

TPopupHook SetPopupHook(TPopupHook Hook) {
  TPopupHook Old = std::move(PopupHook());
  PopupHook() = std::move(Hook);
  return Old;
}

void TPopupMenu::Popup(int X, int Y) {
  FPopupPoint = {X, Y};
  if (OnPopup) OnPopup(this);
  if (TPopupHook Hook = PopupHook())
    Hook(*this, X, Y);
  else
    WindowBackend().Popup(*this, X, Y);
}

}  // namespace host
