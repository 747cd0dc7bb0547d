#include "host/system/shell.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace host {
namespace {

// Records what would have been opened instead of opening it.
class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    FOld = SetShellLauncher([this](const std::vector<std::string>& Argv) {
      FSeen.push_back(Argv);
      return FSucceed;
    });
  }
  void TearDown() override {
    SetShellLauncher(FOld);
    SetShellOpener("xdg-open");
  }
  TShellLauncher FOld;
  std::vector<std::vector<std::string>> FSeen;
  bool FSucceed = true;
};

TEST_F(Shell, TheOpenerGetsExactlyTheFileAsOneArgument) {
  const std::string url = "http://example.test/a b;$(rm -rf ~)&x='1'";
  EXPECT_GT(ShellExecute("open", url), 32);
  EXPECT_GT(ShellExecute("", "/tmp/SLX1234.BMP"), 32);
  ASSERT_EQ(FSeen.size(), 2u);
  EXPECT_EQ(FSeen[0], (std::vector<std::string>{"xdg-open", url}));
  EXPECT_EQ(FSeen[1], (std::vector<std::string>{"xdg-open", "/tmp/SLX1234.BMP"}));
  SetShellOpener("my-opener");
  ShellExecute("open", "x");
  EXPECT_EQ(FSeen.back(), (std::vector<std::string>{"my-opener", "x"}));
}

TEST_F(Shell, ANameLikeAnOptionIsPassedAsAPath) {
  ShellExecute("open", "--help");
  ASSERT_EQ(FSeen.size(), 1u);
  EXPECT_EQ(FSeen[0][1], "./--help");
}

TEST_F(Shell, FailuresReturnSmallCodesAndUnknownVerbsLaunchNothing) {
  EXPECT_LE(ShellExecute("print", "x"), 32);
  EXPECT_LE(ShellExecute("open", ""), 32);
  EXPECT_TRUE(FSeen.empty());
  FSucceed = false;
  EXPECT_LE(ShellExecute("open", "x"), 32);
}

TEST(ShellDefault, StartsTheRealProgramDetached) {
  SetShellLauncher(nullptr);  // the built-in launcher
  std::string marker = "/tmp/snapkit-shell-" + std::to_string(getpid());
  std::filesystem::remove(marker);
  SetShellOpener("touch");
  EXPECT_GT(ShellExecute("open", marker), 32);
  bool seen = false;
  for (int i = 0; i < 100 && !seen; ++i) {
    seen = std::filesystem::exists(marker);
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(seen);
  std::filesystem::remove(marker);
  SetShellOpener("/nonexistent/opener");
  EXPECT_LE(ShellExecute("open", marker), 32);
  SetShellOpener("xdg-open");
}

}  // namespace
}  // namespace host
