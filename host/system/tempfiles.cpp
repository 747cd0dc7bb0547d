#include "host/system/tempfiles.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "host/system/exception.h"

namespace host {

namespace {

[[noreturn]] void Fail(const std::string& What, const std::string& Path, int Error) {
  throw EOSError(What + " " + Path + ": " + strerror(Error));
}

// The folder must be a real directory (not a link), ours, and closed to
// everyone else; otherwise somebody could read or swap our files.
void CheckPrivate(const std::string& Dir) {
  struct stat st {};
  if (lstat(Dir.c_str(), &st) != 0) Fail("Cannot inspect temporary folder", Dir, errno);
  if (!S_ISDIR(st.st_mode)) Fail("Temporary folder is not a directory:", Dir, ENOTDIR);
  if (st.st_uid != geteuid()) Fail("Temporary folder belongs to another user:", Dir, EPERM);
  if ((st.st_mode & 077) != 0 && chmod(Dir.c_str(), 0700) != 0)
    Fail("Cannot protect temporary folder", Dir, errno);
}

}  // namespace

std::string GetTempPath() {
  std::string base;
  if (const char* env = getenv("TMPDIR"); env && *env == '/')
    base = env;
  else
    base = "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string dir = base + "/snapkit-" + std::to_string(geteuid());
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
    Fail("Cannot create temporary folder", dir, errno);
  CheckPrivate(dir);
  return dir + "/";
}

std::string GetTempFileName(const std::string& Path, const std::string& Prefix) {
  if (Prefix.find('/') != std::string::npos)
    throw EOSError("Invalid temporary file prefix: " + Prefix);
  std::string dir = Path.empty() ? GetTempPath() : Path;
  if (dir.back() != '/') dir += '/';
  // Prefix, a random hexadecimal number and ".tmp", created with O_EXCL so
  // that an existing file or link is never reused.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint32_t number = 0;
    if (getrandom(&number, sizeof number, 0) != static_cast<ssize_t>(sizeof number))
      Fail("Cannot make a temporary file name in", dir, errno);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", number);
    std::string name = dir + Prefix + hex + ".tmp";
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      return name;
    }
    if (errno != EEXIST) Fail("Cannot create temporary file in", dir, errno);
  }
  Fail("No unique temporary file name in", dir, EEXIST);
}

}  // namespace host
