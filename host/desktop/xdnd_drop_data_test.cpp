// What arrives from a drag source, as the bytes X hands over, and what a drop
// target then reads in the two registered URL formats.

#include <gtest/gtest.h>

#include <cstring>

#include "host/desktop/xdnd_drop_data.h"
#include "host/ole/clipboard_formats.h"

namespace host::desktop {
namespace {

// The format's text as a drop target reads it: up to its zero. "-" when
// the data object does not serve the format.
std::string Served(IDataObject& Data, const char* FormatName) {
  FORMATETC Format{CLIPFORMAT(RegisterClipboardFormatA(FormatName)), nullptr, DVASPECT_CONTENT,
                   -1, TYMED_HGLOBAL};
  STGMEDIUM Medium{};
  if (FAILED(Data.GetData(&Format, &Medium))) return "-";
  const char* Text = static_cast<const char*>(GlobalLock(Medium.hGlobal));
  std::string Result(Text, strnlen(Text, GlobalSize(Medium.hGlobal)));
  EXPECT_EQ(Result.size() + 1, GlobalSize(Medium.hGlobal)) << "text without its zero";
  GlobalUnlock(Medium.hGlobal);
  ReleaseStgMedium(&Medium);
  return Result;
}

std::string UTF16LE(const std::u16string& S, bool WithMark = false) {
  std::string Bytes = WithMark ? std::string("\xFF\xFE", 2) : std::string();
  for (char16_t C : S) {
    Bytes += char(C & 0xFF);
    Bytes += char(C >> 8);
  }
  return Bytes;
}

std::string UTF16BE(const std::u16string& S) {
  std::string Bytes("\xFE\xFF", 2);
  for (char16_t C : S) {
    Bytes += char(C >> 8);
    Bytes += char(C & 0xFF);
  }
  return Bytes;
}

TEST(XdndDropData, TargetsBecomeTheFirstURLInTheRegisteredFormats) {
  struct Case {
    const char* Name;
    std::map<std::string, std::string> Received;
    const char* Bookmark;  // "-": not served
    const char* URL;
  } Cases[] = {
      {"netscape url with its title", {{"_NETSCAPE_URL", "http://a/b?c=d\nThe title"}},
       "http://a/b?c=d", "-"},
      {"netscape url with CRLF and a zero", {{"_NETSCAPE_URL", std::string("http://a/\r\nT\0", 13)}},
       "http://a/", "-"},
      {"uri list with comments and blank lines",
       {{"text/uri-list", "# a comment\r\n\r\n  http://one/  \r\nhttp://two/\r\n"}}, "-",
       "http://one/"},
      {"uri list with bare newlines", {{"text/uri-list", "#c\nhttp://lf/\n"}}, "-", "http://lf/"},
      {"uri list of comments only", {{"text/uri-list", "# nothing\r\n"}}, "-", "-"},
      {"moz url, UTF-16 without a mark, non-ASCII",
       {{"text/x-moz-url", UTF16LE(u"http://h/caf\u00e9\nTitle")}}, "-", "http://h/caf\xc3\xa9"},
      {"moz url with a little-endian mark and its zero",
       {{"text/x-moz-url", UTF16LE(std::u16string(u"http://le/\0", 11), true)}}, "-",
       "http://le/"},
      {"moz url, big-endian", {{"text/x-moz-url", UTF16BE(u"http://be/\nT")}}, "-", "http://be/"},
      {"moz url with a lone surrogate is no URL",
       {{"text/x-moz-url", UTF16LE(u"http://x/") + std::string("\x00\xD8", 2)}}, "-", "-"},
      {"moz url preferred to the uri list",
       {{"text/x-moz-url", UTF16LE(u"http://moz/")}, {"text/uri-list", "http://list/\r\n"}}, "-",
       "http://moz/"},
      {"an empty moz url gives way to the uri list",
       {{"text/x-moz-url", ""}, {"text/uri-list", "http://list/\r\n"}}, "-", "http://list/"},
      {"all three", {{"_NETSCAPE_URL", "http://ns/"}, {"text/x-moz-url", UTF16LE(u"http://moz/")},
                     {"text/uri-list", "http://list/"}},
       "http://ns/", "http://moz/"},
      {"an empty netscape url", {{"_NETSCAPE_URL", "\nTitle only"}}, "-", "-"},
      {"nothing received", {}, "-", "-"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::size_t Blocks = GlobalBlocksInUse();
    TComPtr<IDataObject> Data = TComPtr<IDataObject>::Attach(NewDropData(C.Received));
    EXPECT_EQ(Served(*Data.Get(), "Netscape Bookmark"), C.Bookmark);
    EXPECT_EQ(Served(*Data.Get(), "UniformResourceLocator"), C.URL);
    EXPECT_EQ(GlobalBlocksInUse(), Blocks);
  }
}

TEST(XdndDropData, OnlyLinkTargetsAreFetchedNetscapeFirst) {
  EXPECT_EQ(LinkTargetsToFetch({"text/plain", "text/uri-list", "text/html", "text/x-moz-url",
                                "_NETSCAPE_URL", "UTF8_STRING"}),
            (std::vector<std::string>{"_NETSCAPE_URL", "text/x-moz-url", "text/uri-list"}));
  EXPECT_TRUE(LinkTargetsToFetch({"text/plain", "STRING"}).empty());
}

}  // namespace
}  // namespace host::desktop
