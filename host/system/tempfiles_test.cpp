#include "host/system/tempfiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "host/system/exception.h"

namespace host {
namespace {

// Points TMPDIR at a fresh folder for one test.
class TempFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/snapkit-tmpdir-XXXXXX";
    ASSERT_TRUE(mkdtemp(templ));
    FBase = templ;
    if (const char* old = getenv("TMPDIR")) FOld = old, FHadOld = true;
    setenv("TMPDIR", FBase.c_str(), 1);
  }
  void TearDown() override {
    if (FHadOld)
      setenv("TMPDIR", FOld.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::filesystem::remove_all(FBase);
  }
  std::string Private() const { return FBase + "/snapkit-" + std::to_string(geteuid()); }
  std::string FBase, FOld;
  bool FHadOld = false;
};

TEST_F(TempFiles, FolderIsPrivateToTheUser) {
  std::string path = GetTempPath();
  EXPECT_EQ(path, Private() + "/");
  struct stat st {};
  ASSERT_EQ(lstat(Private().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(GetTempPath(), path);  // the same folder next time
}

TEST_F(TempFiles, AnOpenFolderIsClosedAgain) {
  ASSERT_EQ(mkdir(Private().c_str(), 0777), 0);
  chmod(Private().c_str(), 0777);
  GetTempPath();
  struct stat st {};
  ASSERT_EQ(stat(Private().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TempFiles, ALinkOrFileInItsPlaceIsRefused) {
  std::string elsewhere = FBase + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), Private().c_str()), 0);
  EXPECT_THROW(GetTempPath(), EOSError);
  unlink(Private().c_str());
  FILE* f = fopen(Private().c_str(), "w");
  ASSERT_TRUE(f);
  fclose(f);
  EXPECT_THROW(GetTempPath(), EOSError);
}

TEST_F(TempFiles, NamesAreUniqueNewFilesWithThePrefix) {
  std::string dir = GetTempPath();
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name = GetTempFileName(dir, "SLX");
    EXPECT_EQ(name.rfind(dir + "SLX", 0), 0u) << name;
    struct stat st {};
    ASSERT_EQ(lstat(name.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  EXPECT_THROW(GetTempFileName(dir, "../x"), EOSError);
  EXPECT_THROW(GetTempFileName(FBase + "/missing", "SLX"), EOSError);
}

}  // namespace
}  // namespace host
