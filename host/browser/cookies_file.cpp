#include "host/browser/cookies_file.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace host {
namespace {

[[noreturn]] void Fail(std::size_t Line, const std::string& What) {
  throw ECookiesError("Cookies file, line " + std::to_string(Line) + ": " + What);
}

bool Flag(std::string_view Field, std::size_t Line, const char* Name) {
  if (Field == "TRUE") return true;
  if (Field == "FALSE") return false;
  Fail(Line, std::string("the ") + Name + " field must be TRUE or FALSE");
}

// Characters a cookie's name or value may not hold in a Cookie header.
bool HasControl(std::string_view S) {
  for (unsigned char c : S)
    if (c < 0x20 || c == 0x7f || c == ';') return true;
  return false;
}

// Letters, digits, '-', '_' and dots (names in other scripts as UTF-8), or
// an IPv6 address in brackets.
bool IsHostName(std::string_view S) {
  if (S.empty()) return false;
  if (S.front() == '[')
    return S.size() > 2 && S.back() == ']' &&
           S.substr(1, S.size() - 2).find_first_not_of("0123456789abcdefABCDEF:.") ==
               std::string_view::npos;
  if (S.front() == '.' || S.back() == '.' || S.find("..") != std::string_view::npos) return false;
  for (unsigned char c : S)
    if (!(std::isalnum(c) || c == '-' || c == '_' || c == '.' || c >= 0x80)) return false;
  return true;
}

// DevTools takes text; a cookie's bytes must be UTF-8.
bool IsUtf8(std::string_view S) {
  for (std::size_t i = 0; i < S.size();) {
    unsigned char c = S[i];
    std::size_t n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (n == 9 || S.size() - i <= n) return false;
    std::uint32_t code = n == 0 ? c : c & (0x3f >> n);
    for (std::size_t k = 1; k <= n; ++k) {
      unsigned char d = S[i + k];
      if ((d >> 6) != 2) return false;
      code = (code << 6) | (d & 0x3f);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (code < kLeast[n] || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff) return false;
    i += n + 1;
  }
  return true;
}

std::string_view Lower(std::string_view S, std::string& Buffer) {
  Buffer.assign(S);
  for (char& c : Buffer)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return Buffer;
}

}  // namespace

std::vector<TCookie> ReadCookiesText(std::string_view Text, std::int64_t Now) {
  std::vector<TCookie> cookies;
  std::size_t number = 0;
  std::string buffer;
  for (std::size_t begin = 0; begin < Text.size();) {
    std::size_t end = Text.find('\n', begin);
    if (end == std::string_view::npos) end = Text.size();
    std::string_view line = Text.substr(begin, end - begin);
    begin = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    bool httpOnly = false;
    constexpr std::string_view kHttpOnly = "#HttpOnly_";
    if (line.substr(0, kHttpOnly.size()) == kHttpOnly) {
      httpOnly = true;
      line.remove_prefix(kHttpOnly.size());
    } else if (line.find_first_not_of(" \t") == std::string_view::npos || line[0] == '#') {
      continue;
    }
    std::vector<std::string_view> f;
    for (std::size_t at = 0;;) {
      std::size_t tab = line.find('\t', at);
      f.push_back(
          line.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at));
      if (tab == std::string_view::npos) break;
      at = tab + 1;
    }
    if (f.size() == 6) f.emplace_back();
    if (f.size() != 7)
      Fail(number, "expected 7 tab-separated fields, found " + std::to_string(f.size()));
    TCookie c;
    c.HttpOnly = httpOnly;
    std::string_view domain = f[0];
    if (!domain.empty() && domain[0] == '.') domain.remove_prefix(1);
    if (!IsHostName(domain)) Fail(number, "the domain field is not a host name");
    c.Domain = std::string(Lower(domain, buffer));
    c.IncludeSubdomains = Flag(f[1], number, "subdomains");
    c.Path = f[2].empty() ? "/" : std::string(f[2]);
    if (c.Path[0] != '/') Fail(number, "the path field must start with '/'");
    c.Secure = Flag(f[3], number, "secure");
    std::string_view expires = f[4];
    if (expires.empty() || expires.size() > 18 ||
        expires.find_first_not_of("0123456789") != std::string_view::npos)
      Fail(number, "the expiry field must be a whole number of seconds");
    c.Expires = std::stoll(std::string(expires));
    if (f[5].empty()) Fail(number, "the cookie has no name");
    if (HasControl(f[5]) || f[5].find_first_of(" =") != std::string_view::npos)
      Fail(number, "the cookie's name holds characters a cookie cannot");
    if (HasControl(f[6])) Fail(number, "the cookie's value holds characters a cookie cannot");
    if (!IsUtf8(f[0]) || !IsUtf8(f[2]) || !IsUtf8(f[5]) || !IsUtf8(f[6]))
      Fail(number, "the line is not UTF-8 text");
    c.Name = std::string(f[5]);
    c.Value = std::string(f[6]);
    if (c.Expires != 0 && c.Expires <= Now) continue;
    cookies.push_back(std::move(c));
  }
  return cookies;
}

std::vector<TCookie> ReadCookiesFile(const std::string& Path, std::int64_t Now) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) throw ECookiesError("Cannot open the cookies file " + Path);
  std::ostringstream text;
  text << in.rdbuf();
  return ReadCookiesText(text.str(), Now);
}

TCookie ParseCookieArgument(std::string_view NameValue, std::string_view PageUrl) {
  std::size_t eq = NameValue.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw ECookiesError("A cookie is given as NAME=VALUE");
  std::string_view name = NameValue.substr(0, eq), value = NameValue.substr(eq + 1);
  if (HasControl(name) || name.find_first_of(" \t") != std::string_view::npos)
    throw ECookiesError("The cookie's name holds characters a cookie cannot");
  if (!IsUtf8(name)) throw ECookiesError("The cookie's name is not UTF-8 text");
  if (HasControl(value) || !IsUtf8(value))
    throw ECookiesError("The cookie " + std::string(name) +
                        " has a value with characters a cookie cannot hold");
  std::string buffer;
  std::string_view url = Lower(PageUrl, buffer);
  bool https = url.substr(0, 8) == "https://";
  if (!https && url.substr(0, 7) != "http://")
    throw ECookiesError("Cookies are for http and https pages");
  std::string_view rest = url.substr(https ? 8 : 7);
  std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
  if (std::size_t at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
  if (!host.empty() && host[0] == '[') {
    host = host.substr(0, host.find(']') + 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  if (host.empty()) throw ECookiesError("The page's address has no host for the cookie");
  TCookie c;
  c.Name = std::string(name);
  c.Value = std::string(value);
  c.Domain = std::string(host);
  c.Secure = https;
  return c;
}

nlohmann::json CookiesToDevTools(const std::vector<TCookie>& Cookies) {
  nlohmann::json out = nlohmann::json::array();
  for (const TCookie& c : Cookies) {
    nlohmann::json p = {{"name", c.Name},
                        {"value", c.Value},
                        {"path", c.Path},
                        {"secure", c.Secure},
                        {"httpOnly", c.HttpOnly}};
    if (c.IncludeSubdomains)
      p["domain"] = "." + c.Domain;
    else
      p["url"] = std::string(c.Secure ? "https://" : "http://") + c.Domain + c.Path;
    if (c.Expires != 0) p["expires"] = double(c.Expires);
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace host
