#include "host/system/tempfiles.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

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
  std::string name = Path.empty() ? GetTempPath() : Path;
  if (name.back() != '/') name += '/';
  name += Prefix + "XXXXXX";
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  int fd = mkstemp(buf.data());  // O_CREAT | O_EXCL, mode 0600
  if (fd < 0) Fail("Cannot create temporary file in", Path, errno);
  close(fd);
  return std::string(buf.data());
}

}  // namespace host
