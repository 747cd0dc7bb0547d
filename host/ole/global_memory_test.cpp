#include "host/ole/global_memory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace host {
namespace {

TEST(GlobalMemoryTest, BlockLivesFromAllocToFreeAndCountsItsLocks) {
  std::size_t Before = GlobalBlocksInUse();
  HGLOBAL Block = GlobalAlloc(GMEM_MOVEABLE, 5);
  ASSERT_NE(Block, nullptr);
  EXPECT_EQ(GlobalBlocksInUse(), Before + 1);
  EXPECT_EQ(GlobalSize(Block), 5u);
  auto* Bytes = static_cast<unsigned char*>(GlobalLock(Block));
  ASSERT_NE(Bytes, nullptr);
  EXPECT_EQ(std::memcmp(Bytes, "\0\0\0\0\0", 5), 0);
  std::memcpy(Bytes, "abcde", 5);
  EXPECT_EQ(GlobalLock(Block), Bytes);  // the same bytes, locked twice now
  EXPECT_NE(GlobalUnlock(Block), 0);
  EXPECT_EQ(GlobalUnlock(Block), 0);
  EXPECT_EQ(GlobalUnlock(Block), 0);  // not locked at all
  EXPECT_EQ(std::memcmp(GlobalLock(Block), "abcde", 5), 0);
  GlobalUnlock(Block);

  HGLOBAL Empty = GlobalAlloc(GHND, 0);
  ASSERT_NE(Empty, nullptr);
  EXPECT_NE(Empty, Block);
  EXPECT_EQ(GlobalSize(Empty), 0u);
  EXPECT_NE(GlobalLock(Empty), nullptr);
  EXPECT_EQ(GlobalFree(Empty), nullptr);

  EXPECT_EQ(GlobalFree(Block), nullptr);
  EXPECT_EQ(GlobalBlocksInUse(), Before);
  // A freed handle names nothing, also after new blocks are made.
  HGLOBAL Next = GlobalAlloc(GMEM_FIXED, 5);
  EXPECT_NE(Next, Block);
  EXPECT_EQ(GlobalLock(Block), nullptr);
  EXPECT_EQ(GlobalUnlock(Block), 0);
  EXPECT_EQ(GlobalSize(Block), 0u);
  EXPECT_EQ(GlobalFree(Block), Block);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_EQ(GlobalFree(Next), nullptr);
}

}  // namespace
}  // namespace host
