#pragma once
// A small HTTP server on 127.0.0.1 for tests, on threads of its own so that
// it answers while the test's thread waits on the browser.

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace host::testing {

struct TResponse {
  int Status = 200;
  std::string ContentType = "text/html";
  std::string Body;
  std::string Location;  // for redirects
  std::string Headers;   // more header lines, each ending in "\r\n"
  bool Hang = false;     // never answers
  bool Partial = false;  // sends the headers and Body, then never finishes
  int DelayMs = 0;       // waits this long before answering
  // Not empty: only a request whose head holds this text (a cookie, say)
  // gets this answer; others get 403 Forbidden.
  std::string Needs;
  // Not empty: the "USER:PASSWORD" the request must log in with, by HTTP
  // Basic or, with Digest, by Digest; without it the
  // answer is 401 with a challenge.
  std::string Login;
  bool Digest = false;
};

// Whether the request (its request line and headers) logs in as R.Login
// says; when not, R becomes the 401 answer with its challenge.
bool CheckLogin(const std::string& Head, TResponse& R);
inline TResponse LoggedIn(TResponse R, std::string Login, bool Digest = false) {
  R.Login = std::move(Login);
  R.Digest = Digest;
  return R;
}

class TTestServer {
 public:
  TTestServer();
  ~TTestServer();
  void Route(const std::string& Path, TResponse Response);
  std::string Url(const std::string& Path) const;
  int Port() const { return FPort; }
  // The paths asked for so far, in order.
  std::vector<std::string> Requests();
  // The request line and header lines of the last request for Path, empty
  // when none came.
  std::string RequestHead(const std::string& Path);

 private:
  void Serve();
  void Answer(int Fd);

  int FListen = -1;
  int FPort = 0;
  int FWake[2] = {-1, -1};
  std::thread FThread;
  std::mutex FLock;
  std::condition_variable FStopped;
  bool FStop = false;
  std::map<std::string, TResponse> FRoutes;
  std::vector<std::string> FRequests;
  std::map<std::string, std::string> FHeads;
  std::vector<std::thread> FConnections;
};

inline TResponse Page(std::string Body, std::string ContentType = "text/html") {
  TResponse R;
  R.Body = std::move(Body);
  R.ContentType = std::move(ContentType);
  return R;
}
inline TResponse Slow(TResponse R, int DelayMs) {
  R.DelayMs = DelayMs;
  return R;
}
inline TResponse Redirect(int Status, std::string Location) {
  TResponse R;
  R.Status = Status;
  R.Location = std::move(Location);
  return R;
}
inline TResponse Hanging() {
  TResponse R;
  R.Hang = true;
  return R;
}
inline TResponse Unfinished(std::string Body) {
  TResponse R;
  R.Body = std::move(Body);
  R.Partial = true;
  return R;
}

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort();

}  // namespace host::testing
