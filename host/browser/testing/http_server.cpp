#include "host/browser/testing/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <glib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <stdexcept>

namespace host::testing {

namespace {

int Listen(int& Port) {
  int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int One = 1;
  setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 || listen(Fd, 64) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  socklen_t L = sizeof A;
  getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &L);
  Port = ntohs(A.sin_port);
  return Fd;
}

void WriteAll(int Fd, const std::string& S) {
  std::size_t Done = 0;
  while (Done < S.size()) {
    ssize_t N = send(Fd, S.data() + Done, S.size() - Done, MSG_NOSIGNAL);
    if (N <= 0) return;
    Done += static_cast<std::size_t>(N);
  }
}

const char* Reason(int Status) {
  switch (Status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 403:
      return "Forbidden";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    default:
      return "Status";
  }
}

}  // namespace

int ClosedPort() {
  int Port;
  int Fd = Listen(Port);
  close(Fd);
  return Port;
}

TTestServer::TTestServer() {
  FListen = Listen(FPort);
  if (pipe2(FWake, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  FThread = std::thread([this] { Serve(); });
}

TTestServer::~TTestServer() {
  {
    std::lock_guard<std::mutex> G(FLock);
    FStop = true;
  }
  FStopped.notify_all();
  (void)!write(FWake[1], "x", 1);
  FThread.join();
  for (std::thread& T : FConnections) T.join();
  close(FListen);
  close(FWake[0]);
  close(FWake[1]);
}

void TTestServer::Route(const std::string& Path, TResponse Response) {
  std::lock_guard<std::mutex> G(FLock);
  FRoutes[Path] = std::move(Response);
}

std::string TTestServer::Url(const std::string& Path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + Path;
}

std::vector<std::string> TTestServer::Requests() {
  std::lock_guard<std::mutex> G(FLock);
  return FRequests;
}

std::string TTestServer::RequestHead(const std::string& Path) {
  std::lock_guard<std::mutex> G(FLock);
  auto It = FHeads.find(Path);
  return It == FHeads.end() ? std::string() : It->second;
}

void TTestServer::Serve() {
  for (;;) {
    pollfd P[2] = {{FListen, POLLIN, 0}, {FWake[0], POLLIN, 0}};
    if (poll(P, 2, -1) < 0) continue;
    if (P[1].revents) return;
    int Fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (Fd < 0) continue;
    std::lock_guard<std::mutex> G(FLock);
    FConnections.emplace_back([this, Fd] { Answer(Fd); });
  }
}

void TTestServer::Answer(int Fd) {
  std::string Request;
  char Buf[4096];
  while (Request.find("\r\n\r\n") == std::string::npos) {
    pollfd P[2] = {{Fd, POLLIN, 0}, {FWake[0], POLLIN, 0}};
    if (poll(P, 2, 10000) <= 0 || P[1].revents) break;
    ssize_t N = recv(Fd, Buf, sizeof Buf, 0);
    if (N <= 0) break;
    Request.append(Buf, static_cast<std::size_t>(N));
  }
  std::size_t A = Request.find(' '), B = Request.find(' ', A + 1);
  std::string Path = A == std::string::npos || B == std::string::npos
                         ? std::string()
                         : Request.substr(A + 1, B - A - 1);
  TResponse R;
  bool Found;
  {
    std::lock_guard<std::mutex> G(FLock);
    FRequests.push_back(Path);
    FHeads[Path] = Request.substr(0, Request.find("\r\n\r\n"));
    auto it = FRoutes.find(Path);
    Found = it != FRoutes.end();
    if (Found) R = it->second;
  }
  if (!Found) {
    R = Page("<html><body>not found</body></html>");
    R.Status = 404;
  } else if (!R.Needs.empty() && Request.find(R.Needs) == std::string::npos) {
    R = Page("<html><body>forbidden</body></html>");
    R.Status = 403;
  }
  if (!R.Login.empty()) CheckLogin(Request, R);
  if (R.DelayMs > 0) {
    std::unique_lock<std::mutex> G(FLock);
    if (FStopped.wait_for(G, std::chrono::milliseconds(R.DelayMs), [this] { return FStop; })) {
      close(Fd);
      return;
    }
  }
  if (!R.Hang) {
    std::string Head = "HTTP/1.1 " + std::to_string(R.Status) + " " + Reason(R.Status) +
                       "\r\nContent-Type: " + R.ContentType + "\r\nConnection: close\r\n";
    if (!R.Location.empty()) Head += "Location: " + R.Location + "\r\n";
    Head += R.Headers;
    if (!R.Partial) Head += "Content-Length: " + std::to_string(R.Body.size()) + "\r\n";
    WriteAll(Fd, Head + "\r\n" + R.Body);
  }
  if (R.Hang || R.Partial) {
    std::unique_lock<std::mutex> G(FLock);
    FStopped.wait(G, [this] { return FStop; });
  }
  close(Fd);
}

// ---- logins ------------------------------------------------------------------
// Checked as RFC 7617 (Basic) and RFC 7616 (Digest, MD5, qop=auth) say, with
// GLib's Base64 and MD5: independent of the browser, which computes its
// side itself.
namespace {

constexpr const char* Realm = "snapkit test";
constexpr const char* Nonce = "5f3a9c0e7d41b28a";

std::string Md5(const std::string& Text) {
  gchar* Hex = g_compute_checksum_for_string(G_CHECKSUM_MD5, Text.c_str(), gssize(Text.size()));
  std::string Out = Hex;
  g_free(Hex);
  return Out;
}

// The value of the Authorization header, "" when there is none.
std::string Authorization(const std::string& Head) {
  for (std::size_t At = Head.find("\r\n"); At != std::string::npos; At = Head.find("\r\n", At)) {
    At += 2;
    std::size_t End = Head.find("\r\n", At), Colon = Head.find(':', At);
    if (Colon == std::string::npos || (End != std::string::npos && Colon > End)) continue;
    if (g_ascii_strcasecmp(Head.substr(At, Colon - At).c_str(), "authorization") != 0) continue;
    std::string Value = Head.substr(Colon + 1, End == std::string::npos ? End : End - Colon - 1);
    return Value.substr(std::min(Value.find_first_not_of(' '), Value.size()));
  }
  return std::string();
}

// name=value and name="value" pairs after the scheme.
std::map<std::string, std::string> Parameters(const std::string& Text) {
  std::map<std::string, std::string> Out;
  std::size_t At = 0;
  while (At < Text.size()) {
    std::size_t Eq = Text.find('=', At);
    if (Eq == std::string::npos) break;
    std::string Name = Text.substr(At, Eq - At);
    Name = Name.substr(std::min(Name.find_first_not_of(" ,"), Name.size()));
    std::string Value;
    if (Eq + 1 < Text.size() && Text[Eq + 1] == '"') {
      std::size_t Close = Text.find('"', Eq + 2);
      Value = Text.substr(Eq + 2, Close - Eq - 2);
      At = Close == std::string::npos ? Text.size() : Close + 1;
    } else {
      std::size_t Comma = Text.find(',', Eq);
      Value = Text.substr(Eq + 1, Comma == std::string::npos ? Comma : Comma - Eq - 1);
      At = Comma == std::string::npos ? Text.size() : Comma + 1;
    }
    Out[Name] = Value;
  }
  return Out;
}

bool Accepted(const std::string& Head, const TResponse& R) {
  const std::string Given = Authorization(Head);
  if (!R.Digest) {
    gchar* Encoded =
        g_base64_encode(reinterpret_cast<const guchar*>(R.Login.data()), R.Login.size());
    const bool Ok = Given == std::string("Basic ") + Encoded;
    g_free(Encoded);
    return Ok;
  }
  if (Given.rfind("Digest ", 0) != 0) return false;
  auto P = Parameters(Given.substr(7));
  const std::string User = R.Login.substr(0, R.Login.find(':'));
  const std::string Password = R.Login.substr(R.Login.find(':') + 1);
  const std::string Method = Head.substr(0, Head.find(' '));
  if (P["username"] != User || P["realm"] != Realm || P["nonce"] != Nonce || P["qop"] != "auth")
    return false;
  const std::string Ha1 = Md5(User + ":" + Realm + ":" + Password);
  const std::string Ha2 = Md5(Method + ":" + P["uri"]);
  return P["response"] ==
         Md5(Ha1 + ":" + Nonce + ":" + P["nc"] + ":" + P["cnonce"] + ":auth:" + Ha2);
}

}  // namespace

bool CheckLogin(const std::string& Head, TResponse& R) {
  if (Accepted(Head, R)) return true;
  TResponse Refused;
  Refused.Status = 401;
  Refused.ContentType = "text/plain";
  Refused.Body = "who are you?";
  Refused.Headers = R.Digest ? std::string("WWW-Authenticate: Digest realm=\"") + Realm +
                                   "\", qop=\"auth\", algorithm=MD5, nonce=\"" + Nonce + "\"\r\n"
                             : std::string("WWW-Authenticate: Basic realm=\"") + Realm + "\"\r\n";
  R = Refused;
  return false;
}

}  // namespace host::testing
