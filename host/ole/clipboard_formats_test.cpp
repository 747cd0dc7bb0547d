#include "host/ole/clipboard_formats.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "host/ole/ole_init.h"

namespace host {
namespace {

TEST(ClipboardFormatsTest, OneNameOneNumberFromC000Up) {
  UINT Bookmark = RegisterClipboardFormatA("Netscape Bookmark");
  UINT URL = RegisterClipboardFormatA("UniformResourceLocator");
  EXPECT_GE(Bookmark, 0xC000u);
  EXPECT_GE(URL, 0xC000u);
  EXPECT_LE(URL, 0xFFFFu);
  EXPECT_NE(Bookmark, URL);
  EXPECT_EQ(RegisterClipboardFormatA("Netscape Bookmark"), Bookmark);
  EXPECT_EQ(RegisterClipboardFormatA("NETSCAPE bookmark"), Bookmark);
  EXPECT_EQ(RegisterClipboardFormatA(""), 0u);
  EXPECT_EQ(RegisterClipboardFormatA(nullptr), 0u);

  // Another thread registering the same names meets the same numbers.
  UINT Seen = 0;
  std::thread([&] { Seen = RegisterClipboardFormatA("uniformresourcelocator"); }).join();
  EXPECT_EQ(Seen, URL);

  std::set<UINT> Numbers{Bookmark, URL};
  for (int i = 0; i < 50; ++i)
    Numbers.insert(RegisterClipboardFormatA(("Format " + std::to_string(i)).c_str()));
  EXPECT_EQ(Numbers.size(), 52u);
  EXPECT_GE(*Numbers.begin(), 0xC000u);
}

TEST(OleInitTest, CountedPerThread) {
  ASSERT_FALSE(OleInitialized());
  EXPECT_EQ(OleInitialize(reinterpret_cast<void*>(1)), E_INVALIDARG);
  EXPECT_FALSE(OleInitialized());
  EXPECT_EQ(OleInitialize(nullptr), S_OK);
  EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
  bool OtherThread = true;
  std::thread([&] { OtherThread = OleInitialized(); }).join();
  EXPECT_FALSE(OtherThread);
  OleUninitialize();
  EXPECT_TRUE(OleInitialized());
  OleUninitialize();
  EXPECT_FALSE(OleInitialized());
  OleUninitialize();  // one too many changes nothing
  EXPECT_EQ(OleInitialize(nullptr), S_OK);
  OleUninitialize();
}

}  // namespace
}  // namespace host
