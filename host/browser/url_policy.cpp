#include "host/browser/url_policy.h"

#include <glib.h>

#include <algorithm>
#include <vector>

#include "host/browser/web_browser.h"

namespace host {

std::string ToUtf8(const std::wstring& Text) {
  static_assert(sizeof(wchar_t) == sizeof(gunichar), "wide strings hold UCS-4 here");
  std::vector<gunichar> Chars(Text.begin(), Text.end());
  // GLib refuses the whole text for one lone surrogate half or a value past
  // Unicode; such a character becomes the replacement character instead.
  for (gunichar& C : Chars)
    if (!g_unichar_validate(C)) C = 0xFFFD;
  glong Bytes = 0;
  gchar* Utf8 = g_ucs4_to_utf8(Chars.data(), glong(Chars.size()), nullptr, &Bytes, nullptr);
  if (!Utf8) return std::string();
  std::string Out(Utf8, static_cast<std::size_t>(Bytes));
  g_free(Utf8);
  return Out;
}

void CheckAddress(const std::string& URL) {
  GError* Error = nullptr;
  GUri* Uri = g_uri_parse(URL.c_str(), G_URI_FLAGS_PARSE_RELAXED, &Error);
  if (!Uri) {
    g_clear_error(&Error);
    throw EAddressRefused("Cannot navigate to invalid URL", URL);
  }
  std::string Scheme = g_uri_get_scheme(Uri);
  const char* Host = g_uri_get_host(Uri);
  bool HasHost = Host && *Host;
  bool BadHost = HasHost && std::string(Host).find_first_of(" ^<>\"{}|\\`") != std::string::npos;
  g_uri_unref(Uri);
  std::transform(Scheme.begin(), Scheme.end(), Scheme.begin(),
                 [](unsigned char C) { return char(g_ascii_tolower(char(C))); });
  bool Web = Scheme == "http" || Scheme == "https";
  if ((Web && (!HasHost || BadHost)) || (!Web && BadHost))
    throw EAddressRefused("Cannot navigate to invalid URL", URL);
  if (!Web && Scheme != "file" && Scheme != "data" && Scheme != "about")
    throw EAddressRefused("The browser does not load " + Scheme + ": addresses", URL);
}

bool IsFileUrl(const std::string& URL) { return g_ascii_strncasecmp(URL.c_str(), "file:", 5) == 0; }

}  // namespace host
