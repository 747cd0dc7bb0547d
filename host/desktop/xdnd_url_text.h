#pragma once
// The URL in what a drag source sends for the X11 targets that carry links.

#include <optional>
#include <string>

namespace host::desktop {

// "_NETSCAPE_URL": the URL, then optionally a newline and the link's title.
std::optional<std::string> URLFromNetscapeURL(const std::string& Bytes);
// "text/x-moz-url": the same layout as UTF-16 (little-endian unless a byte
// order mark says otherwise); the URL comes back as UTF-8.
std::optional<std::string> URLFromMozURL(const std::string& Bytes);
// "text/uri-list": CRLF-separated lines, '#' starting a comment; the first URI.
std::optional<std::string> URLFromURIList(const std::string& Bytes);

}  // namespace host::desktop
