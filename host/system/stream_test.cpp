#include "host/system/stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/system/exception.h"

using namespace host;

TEST(MemoryStream, WriteSeekReadAndReadBufferAtTheEnd) {
  TMemoryStream s;
  const char text[] = "hello world";
  EXPECT_EQ(s.Write(text, 11), 11);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Position(), 11);
  s.SetPosition(6);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, 16), 5);
  EXPECT_EQ(std::string(buf), "world");
  s.SetPosition(8);
  EXPECT_THROW(s.ReadBuffer(buf, 4), EReadError);
  try {
    s.SetPosition(8);
    s.ReadBuffer(buf, 4);
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros) {
  TMemoryStream s;
  s.SetPosition(4);
  s.WriteBuffer("x", 1);
  ASSERT_EQ(s.Size(), 5);
  EXPECT_EQ(s.Memory()[0], 0);
  EXPECT_EQ(s.Memory()[4], 'x');
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
}

TEST(MemoryStream, CopyFromZeroCopiesTheWholeSource) {
  TMemoryStream a, b;
  a.WriteBuffer("abcdef", 6);
  a.SetPosition(3);
  EXPECT_EQ(b.CopyFrom(a, 0), 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Memory()), 6), "abcdef");
  a.SetPosition(1);
  TMemoryStream c;
  EXPECT_EQ(c.CopyFrom(a, 2), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(c.Memory()), 2), "bc");
  EXPECT_THROW(c.CopyFrom(a, 10), EReadError);
}

TEST(FileStream, RoundTripAndClearErrors) {
  std::string name = ::testing::TempDir() + "stream_test.bin";
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.Size(), 10);
  }
  {
    TFileStream f(name, fmOpenRead);
    f.Seek(-3, soEnd);
    char buf[4] = {};
    f.ReadBuffer(buf, 3);
    EXPECT_EQ(std::string(buf), "789");
    EXPECT_EQ(f.Write("x", 1), 0);
  }
  std::remove(name.c_str());
  try {
    TFileStream f(name, fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find(name), std::string::npos);
  }
  EXPECT_THROW(TFileStream("/nonexistent-dir/x", fmCreate), EFCreateError);
}
