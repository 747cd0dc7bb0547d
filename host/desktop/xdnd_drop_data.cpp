#include "host/desktop/xdnd_drop_data.h"

#include <algorithm>
#include <optional>

#include "host/desktop/xdnd_url_text.h"
#include "host/ole/clipboard_formats.h"

namespace host::desktop {

namespace {

constexpr char NetscapeURL[] = "_NETSCAPE_URL";
constexpr char MozURL[] = "text/x-moz-url";
constexpr char URIList[] = "text/uri-list";

std::optional<std::string> Parsed(const std::map<std::string, std::string>& Received,
                                  const char* Target,
                                  std::optional<std::string> (*Parse)(const std::string&)) {
  auto It = Received.find(Target);
  if (It == Received.end()) return std::nullopt;
  return Parse(It->second);
}

}  // namespace

std::vector<std::string> LinkTargetsToFetch(const std::vector<std::string>& Offered) {
  std::vector<std::string> Wanted;
  for (const char* Target : {NetscapeURL, MozURL, URIList})
    if (std::find(Offered.begin(), Offered.end(), Target) != Offered.end())
      Wanted.push_back(Target);
  return Wanted;
}

TDataObject* NewDropData(const std::map<std::string, std::string>& Received) {
  auto* Data = new TDataObject;
  if (auto URL = Parsed(Received, NetscapeURL, URLFromNetscapeURL))
    Data->OfferText(RegisterClipboardFormatA("Netscape Bookmark"), *URL);
  // Mozilla's own target keeps the link as the page gave it; a URI list may
  // hold it escaped.
  auto URL = Parsed(Received, MozURL, URLFromMozURL);
  if (!URL) URL = Parsed(Received, URIList, URLFromURIList);
  if (URL) Data->OfferText(RegisterClipboardFormatA("UniformResourceLocator"), *URL);
  return Data;
}

}  // namespace host::desktop
