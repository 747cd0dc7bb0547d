#include "host/forms/menus.h"

#include <gtest/gtest.h>

namespace host {
namespace {

TEST(MenusTest, PopupFreesItsItemsAndTheyLeaveTheirOwner) {
  TComponent Owner(nullptr);
  auto* Popup = new TPopupMenu(&Owner);
  auto* Launch = new TMenuItem(&Owner);
  auto* View = new TMenuItem(&Owner);
  Launch->SetCaption("Launch in Browser");
  Popup->Items().Add(Launch);
  Popup->Items().Add(View);
  ASSERT_EQ(Popup->Items().Count(), 2);
  EXPECT_EQ(Popup->Items().Items(0)->Caption(), "Launch in Browser");
  EXPECT_EQ(Popup->Items().IndexOf(View), 1);
  EXPECT_EQ(Owner.ComponentCount(), 3);
  delete Popup;
  EXPECT_EQ(Owner.ComponentCount(), 0);
}

TEST(MenusTest, ItemFreedAloneLeavesItsMenu) {
  TPopupMenu Popup(nullptr);
  auto* A = new TMenuItem(nullptr);
  auto* B = new TMenuItem(nullptr);
  Popup.Items().Add(A);
  Popup.Items().Add(B);
  delete A;
  ASSERT_EQ(Popup.Items().Count(), 1);
  EXPECT_EQ(Popup.Items().Items(0), B);
  EXPECT_EQ(B->Parent(), &Popup.Items());
  EXPECT_THROW(Popup.Items().Items(1), EListError);
}

TEST(MenusTest, ItemCannotContainItselfOrAnAncestor) {
  TMenuItem Root(nullptr);
  auto* Child = new TMenuItem(nullptr);
  Root.Add(Child);
  EXPECT_THROW(Child->Add(&Root), EInvalidOperation);
  EXPECT_THROW(Root.Add(&Root), EInvalidOperation);
  auto* Other = new TMenuItem(nullptr);
  Root.Add(Other);
  Child->Add(Other);  // moves it
  EXPECT_EQ(Root.Count(), 1);
  EXPECT_EQ(Other->Parent(), Child);
}

TEST(MenusTest, PopupRecordsThePointAndClickRunsEnabledHandlers) {
  TPopupMenu Popup(nullptr);
  auto* Item = new TMenuItem(nullptr);
  Popup.Items().Add(Item);
  int Clicks = 0;
  Item->OnClick = [&](TObject* Sender) {
    EXPECT_EQ(Sender, Item);
    ++Clicks;
  };
  Popup.OnPopup = [&](TObject*) { Popup.Items().Items(0)->Click(); };
  Popup.Popup(120, 45);
  EXPECT_EQ(Popup.PopupPoint().X, 120);
  EXPECT_EQ(Popup.PopupPoint().Y, 45);
  EXPECT_EQ(Clicks, 1);
  Item->SetEnabled(false);
  Item->Click();
  EXPECT_EQ(Clicks, 1);
}

}  // namespace
}  // namespace host
