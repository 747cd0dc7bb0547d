// The test server's logins, checked as RFC 7617 (Basic) and RFC 7616
// (Digest, MD5, qop=auth) say, with GLib's Base64 and MD5: independent of
// the browser, which computes its side itself.

#include <glib.h>

#include <map>
#include <string>

#include "host/browser/testing/http_server.h"

namespace host::testing {

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
