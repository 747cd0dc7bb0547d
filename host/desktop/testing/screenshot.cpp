#include "host/desktop/testing/screenshot.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "host/system/tempfiles.h"

extern char** environ;

namespace host::desktop::testing {

std::string ProgramOutput(const std::vector<std::string>& Argv, int* Status) {
  int Pipe[2];
  if (::pipe2(Pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 1);
  std::vector<char*> Args;
  for (const std::string& A : Argv) Args.push_back(const_cast<char*>(A.c_str()));
  Args.push_back(nullptr);
  pid_t Pid;
  int Spawned = posix_spawnp(&Pid, Args[0], &Actions, nullptr, Args.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  ::close(Pipe[1]);
  std::string Out;
  if (Spawned == 0) {
    char Buffer[4096];
    ssize_t N;
    while ((N = ::read(Pipe[0], Buffer, sizeof Buffer)) > 0) Out.append(Buffer, std::size_t(N));
  }
  ::close(Pipe[0]);
  int Result = -1;
  if (Spawned == 0) {
    int WaitStatus;
    if (::waitpid(Pid, &WaitStatus, 0) == Pid && WIFEXITED(WaitStatus))
      Result = WEXITSTATUS(WaitStatus);
  }
  if (Status) *Status = Result;
  return Out;
}

int RunProgram(const std::vector<std::string>& Argv) {
  int Status;
  ProgramOutput(Argv, &Status);
  return Status;
}

std::unique_ptr<TBitmap> GrabScreen() {
  std::string Name = GetTempFileName("", "screen");
  // BMP3: the plain BITMAPINFOHEADER form that every reader takes.
  int Status = RunProgram({"import", "-window", "root", "BMP3:" + Name});
  auto Bitmap = std::make_unique<TBitmap>();
  try {
    if (Status != 0) throw std::runtime_error("import could not grab the screen");
    Bitmap->LoadFromFile(Name);
  } catch (...) {
    ::unlink(Name.c_str());
    throw;
  }
  ::unlink(Name.c_str());
  Bitmap->SetPixelFormat(pf24bit);
  return Bitmap;
}

TRgb PixelAt(const TBitmap& Bitmap, int X, int Y) {
  if (X < 0 || Y < 0 || X >= Bitmap.Width() || Y >= Bitmap.Height())
    throw std::out_of_range("pixel outside the bitmap");
  const std::uint8_t* P = Bitmap.ScanLine(Y) + 3 * X;
  return {P[2], P[1], P[0]};
}

}  // namespace host::desktop::testing
