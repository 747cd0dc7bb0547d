#include "bench/plain_devtools_client.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace snapkit::bench {

using json = nlohmann::json;

TPlainClient::TPlainClient(const std::string& Executable, std::vector<std::string> Arguments,
                           int Width, int Height) {
  int In[2], Out[2];
  if (pipe(In) != 0 || pipe(Out) != 0) throw std::runtime_error("pipe");
  gchar* Dir = g_dir_make_tmp("snapkit-plain-XXXXXX", nullptr);
  if (!Dir) throw std::runtime_error("cannot make the plain client's profile folder");
  FProfile = Dir;
  g_free(Dir);
  Arguments.insert(Arguments.begin(), Executable);
  Arguments.push_back("--remote-debugging-pipe");
  Arguments.push_back("--user-data-dir=" + FProfile);
  std::vector<char*> Argv;
  for (auto& A : Arguments) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  FPid = fork();
  if (FPid == 0) {
    // Above 10 first: dup2 onto the same number keeps close-on-exec.
    int A = fcntl(In[0], F_DUPFD, 10), B = fcntl(Out[1], F_DUPFD, 10);
    dup2(A, 3);
    dup2(B, 4);
    int Null = open("/dev/null", O_RDWR);
    dup2(Null, 0);
    dup2(Null, 1);
    dup2(Null, 2);
    setpgid(0, 0);  // so that its children go with it
    execv(Argv[0], Argv.data());
    _exit(127);
  }
  close(In[0]);
  close(Out[1]);
  FWriteFd = In[1];
  FReadFd = Out[0];
  std::string Target = Call("Target.createTarget", {{"url", "about:blank"}})["targetId"];
  FSession = Call("Target.attachToTarget", {{"targetId", Target}, {"flatten", true}})["sessionId"];
  Call("Page.enable", json::object(), FSession);
  Call("Emulation.setDeviceMetricsOverride",
       {{"width", Width}, {"height", Height}, {"deviceScaleFactor", 1}, {"mobile", false}},
       FSession);
}

TPlainClient::~TPlainClient() {
  kill(-FPid, SIGKILL);
  kill(FPid, SIGKILL);
  waitpid(FPid, nullptr, 0);
  close(FWriteFd);
  close(FReadFd);
  std::error_code Ignored;
  std::filesystem::remove_all(FProfile, Ignored);
}

std::size_t TPlainClient::Capture(const std::string& Url, bool OptimizeForSpeed) {
  FLoaded = false;
  Call("Page.navigate", {{"url", Url}}, FSession);
  while (!FLoaded) Handle(Next());
  json Params = {{"format", "png"}};
  if (OptimizeForSpeed) Params["optimizeForSpeed"] = true;
  std::string Data = Call("Page.captureScreenshot", Params, FSession)["data"];
  gsize Size = 0;
  guchar* Png = g_base64_decode(Data.c_str(), &Size);
  g_free(Png);
  return Size;
}

json TPlainClient::Call(const std::string& Method, const json& Params, const std::string& Session) {
  json M = {{"id", ++FLastId}, {"method", Method}, {"params", Params}};
  if (!Session.empty()) M["sessionId"] = Session;
  std::string Text = M.dump();
  Text.push_back('\0');
  if (write(FWriteFd, Text.data(), Text.size()) != static_cast<ssize_t>(Text.size()))
    throw std::runtime_error("cannot write to the plain client's browser");
  for (;;) {
    json R = Next();
    if (R.contains("id") && R["id"] == FLastId) {
      if (R.contains("error")) throw std::runtime_error(R["error"].dump());
      return R["result"];
    }
    Handle(R);
  }
}

void TPlainClient::Handle(const json& Event) {
  if (Event.value("method", "") == "Page.loadEventFired") FLoaded = true;
}

json TPlainClient::Next() {
  for (;;) {
    std::size_t End = FBuffer.find('\0');
    if (End != std::string::npos) {
      json M = json::parse(FBuffer.begin(), FBuffer.begin() + static_cast<long>(End));
      FBuffer.erase(0, End + 1);
      return M;
    }
    char Chunk[65536];
    ssize_t N = read(FReadFd, Chunk, sizeof Chunk);
    if (N <= 0) throw std::runtime_error("the plain client's browser is gone");
    FBuffer.append(Chunk, static_cast<std::size_t>(N));
  }
}

}  // namespace snapkit::bench
