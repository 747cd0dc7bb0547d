#include "host/system/dialogs.h"

#include <gtest/gtest.h>

#include "host/system/list.h"

namespace host {
namespace {

TEST(MessageBox, TheHookSeesTheBoxAndAnswersIt) {
  struct Seen {
    std::string Text, Caption;
    unsigned Flags = 99;
  } seen;
  TMessageBoxHook old =
      SetMessageBoxHook([&](const std::string& T, const std::string& C, unsigned F) {
        seen = {T, C, F};
        return mrNo;
      });
  EXPECT_EQ(MessageBox("Delete?", "Files", MB_YESNO | MB_ICONWARNING), mrNo);
  EXPECT_EQ(seen.Text, "Delete?");
  EXPECT_EQ(seen.Caption, "Files");
  EXPECT_EQ(seen.Flags, MB_YESNO | MB_ICONWARNING);
  ShowMessage("Hello");
  EXPECT_EQ(seen.Text, "Hello");
  EXPECT_EQ(seen.Flags, MB_OK);
  EXPECT_FALSE(seen.Caption.empty());
  TMessageBoxHook mine = SetMessageBoxHook(old);
  EXPECT_TRUE(mine);
}

TEST(MessageBox, WithoutAHookTheFirstButtonAnswers) {
  TMessageBoxHook old = SetMessageBoxHook(nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBox("a", "b", MB_OKCANCEL), mrOk);
  EXPECT_EQ(MessageBox("c", "d", MB_YESNO), mrYes);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("b: a"), std::string::npos);
  SetMessageBoxHook(old);
}

TEST(List, IndexErrorsNameTheIndex) {
  TList<int> l;
  l.Add(1);
  l.Add(2);
  try {
    l.Items(2);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
  EXPECT_THROW(l.Move(0, 5), EListError);
  EXPECT_THROW(l.Insert(3, 0), EListError);
  l.Move(0, 1);
  EXPECT_EQ(l.Items(0), 2);
  EXPECT_EQ(l.IndexOf(1), 1);
}

}  // namespace
}  // namespace host
