// A cookies.txt text through ReadCookiesText. What must hold: it reads or
// raises ECookiesError; every cookie read goes into DevTools' parameters as
// valid JSON text; written back as a line of the same format, the cookies
// read back the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/browser/cookies_file.h"

using snapkit::fuzz::Check;

namespace {

std::string Line(const host::TCookie& C) {
  return std::string(C.HttpOnly ? "#HttpOnly_" : "") + (C.IncludeSubdomains ? "." : "") + C.Domain +
         "\t" + (C.IncludeSubdomains ? "TRUE" : "FALSE") + "\t" + C.Path + "\t" +
         (C.Secure ? "TRUE" : "FALSE") + "\t" + std::to_string(C.Expires) + "\t" + C.Name + "\t" +
         C.Value + "\n";
}

bool Same(const host::TCookie& A, const host::TCookie& B) {
  return A.Name == B.Name && A.Value == B.Value && A.Domain == B.Domain && A.Path == B.Path &&
         A.IncludeSubdomains == B.IncludeSubdomains && A.Secure == B.Secure &&
         A.HttpOnly == B.HttpOnly && A.Expires == B.Expires;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  constexpr std::int64_t kNow = 1700000000;
  std::vector<host::TCookie> cookies;
  try {
    cookies = host::ReadCookiesText(Text, kNow);
  } catch (const host::ECookiesError& E) {
    Check(E.Message().rfind("Cookies file, line ", 0) == 0, "errors name the line");
    return 0;
  }
  std::string json;
  try {
    json = host::CookiesToDevTools(cookies).dump();
  } catch (const std::exception& E) {
    Check(false, std::string("cookies make valid JSON: ") + E.what());
  }
  Check(!json.empty(), "cookies make a JSON array");
  std::string written;
  for (const host::TCookie& c : cookies) written += Line(c);
  std::vector<host::TCookie> again;
  try {
    again = host::ReadCookiesText(written, kNow);
  } catch (const host::ECookiesError& E) {
    Check(false, "written cookies read back: " + E.Message() + "\n" + written);
  }
  Check(again.size() == cookies.size(), "as many cookies read back");
  for (std::size_t i = 0; i < cookies.size(); ++i)
    Check(Same(cookies[i], again[i]), "a cookie reads back the same: " + Line(cookies[i]));
  return 0;
}
