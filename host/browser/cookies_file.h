#pragma once
// Cookies for a page: Netscape cookies.txt files (as curl, wget and the
// browsers' exporters write them) and NAME=VALUE for the page's own host,
// turned into the parameters of DevTools' Network.setCookies. Messages name
// the line and the field, never a cookie's value.

#include <cstdint>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "host/system/exception.h"

namespace host {

HOST_EXCEPTION(ECookiesError, Exception);

struct TCookie {
  std::string Name, Value;
  std::string Domain;  // the host, without a leading dot
  std::string Path = "/";
  bool IncludeSubdomains = false;
  bool Secure = false;
  bool HttpOnly = false;
  std::int64_t Expires = 0;  // seconds since 1970; 0 for a session cookie
};

// Reads a cookies.txt text: one cookie a line, seven tab-separated fields
// (domain, TRUE/FALSE for subdomains, path, TRUE/FALSE for secure, expiry,
// name, value; the value may be missing), "#HttpOnly_" before the domain,
// other '#' lines and blank lines ignored, LF or CRLF. Cookies expired
// before Now are left out. Raises ECookiesError naming the line.
std::vector<TCookie> ReadCookiesText(std::string_view Text, std::int64_t Now = std::time(nullptr));
// The same from a file; raises ECookiesError when it cannot be read.
std::vector<TCookie> ReadCookiesFile(const std::string& Path,
                                     std::int64_t Now = std::time(nullptr));

// NAME=VALUE as a session cookie of PageUrl's host (path "/", secure for
// https). Raises ECookiesError for a missing name, characters a cookie
// cannot hold, or a URL without an http(s) host.
TCookie ParseCookieArgument(std::string_view NameValue, std::string_view PageUrl);

// The "cookies" array of Network.setCookies: a host-only cookie by its URL,
// a cookie for subdomains by its domain with a leading dot.
nlohmann::json CookiesToDevTools(const std::vector<TCookie>& Cookies);

}  // namespace host
