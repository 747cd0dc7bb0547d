#pragma once
// The benchmarks' baseline: a bare DevTools client over Chromium's pipe, with
// nothing of ours in it (no events routed, no pages tracked, no pixels
// decoded). What it takes is what the browser itself takes.

#include <sys/types.h>

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace snapkit::bench {

class TPlainClient {
 public:
  // Starts Executable with Arguments (the pipe and a profile of its own are
  // added) and opens one page laid out at Width x Height.
  TPlainClient(const std::string& Executable, std::vector<std::string> Arguments, int Width,
               int Height);
  ~TPlainClient();
  TPlainClient(const TPlainClient&) = delete;
  TPlainClient& operator=(const TPlainClient&) = delete;

  // Navigates, waits for the load event and captures the page as PNG;
  // returns the PNG's size in bytes.
  std::size_t Capture(const std::string& Url, bool OptimizeForSpeed = true);

 private:
  nlohmann::json Call(const std::string& Method, const nlohmann::json& Params,
                      const std::string& Session = {});
  void Handle(const nlohmann::json& Event);
  nlohmann::json Next();

  pid_t FPid = -1;
  int FWriteFd = -1, FReadFd = -1;
  int FLastId = 0;
  bool FLoaded = false;
  std::string FBuffer, FSession, FProfile;
};

}  // namespace snapkit::bench
