#include "tools/batch_list.h"

#include <glib.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace snapkit::tools {

std::string PageUrl(const std::string& Text, bool AllowLocal) {
  // The system's calls would read only up to it: "/\0junk" is not "/".
  if (Text.find('\0') != std::string::npos)
    throw TCaptureFailure{ceMalformedUrl, "a NUL byte in " + Text.substr(0, Text.find('\0'))};
  // A scheme first: "http:", "file:", ...
  std::size_t Colon = Text.find(':');
  bool HasScheme = Colon != std::string::npos && Colon > 0 && g_ascii_isalpha(Text[0]);
  for (std::size_t i = 1; HasScheme && i < Colon; ++i)
    HasScheme = g_ascii_isalnum(Text[i]) || Text[i] == '+' || Text[i] == '-' || Text[i] == '.';
  const bool File = HasScheme ? g_ascii_strncasecmp(Text.c_str(), "file:", 5) == 0
                              : ::access(Text.c_str(), F_OK) == 0;
  if (File && !AllowLocal)
    throw TCaptureFailure{ceMalformedUrl, "local files are refused (--no-local): " + Text};
  if (!HasScheme) {
    char* Absolute = realpath(Text.c_str(), nullptr);
    if (!Absolute)
      throw TCaptureFailure{ceMalformedUrl, "neither a URL nor an existing file: " + Text};
    gchar* Uri = g_filename_to_uri(Absolute, nullptr, nullptr);
    std::free(Absolute);
    if (!Uri) throw TCaptureFailure{ceMalformedUrl, "cannot make a file URL of " + Text};
    std::string Url = Uri;
    g_free(Uri);
    return Url;
  }
  for (unsigned char C : Text)
    if (C <= ' ' || C == 0x7F) throw TCaptureFailure{ceMalformedUrl, "malformed URL: " + Text};
  GError* Error = nullptr;
  GUri* Uri = g_uri_parse(Text.c_str(), G_URI_FLAGS_NONE, &Error);
  if (!Uri) {
    std::string Why = Error ? Error->message : "not a URL";
    g_clear_error(&Error);
    throw TCaptureFailure{ceMalformedUrl, "malformed URL: " + Why};
  }
  std::string Scheme = g_uri_get_scheme(Uri);
  const char* Host = g_uri_get_host(Uri);
  bool NeedsHost = Scheme == "http" || Scheme == "https";
  bool HostOk = Host && *Host;
  g_uri_unref(Uri);
  if (Scheme != "http" && Scheme != "https" && Scheme != "file" && Scheme != "about" &&
      Scheme != "data")
    throw TCaptureFailure{ceMalformedUrl,
                          "not a web page's URL (http, https, file, data or "
                          "about): " +
                              Text};
  if (NeedsHost && !HostOk)
    throw TCaptureFailure{ceMalformedUrl, "malformed URL: no host in " + Text};
  return Text;
}

namespace {

std::string Trim(const std::string& S) {
  std::size_t A = S.find_first_not_of(" \t\r\n");
  if (A == std::string::npos) return std::string();
  return S.substr(A, S.find_last_not_of(" \t\r\n") + 1 - A);
}

// "0042-example.com_docs_index.html.png": readable, and unique among the
// made names whatever the URLs are.
std::string NameFor(int Line, const std::string& Url, const std::string& Format) {
  std::string Rest = Url.substr(Url.find("://") == std::string::npos ? 0 : Url.find("://") + 3);
  std::string Safe;
  for (char C : Rest) {
    if (Safe.size() >= 80) break;
    bool Ok = std::isalnum(static_cast<unsigned char>(C)) || C == '.' || C == '-';
    if (Ok)
      Safe += C;
    else if (!Safe.empty() && Safe.back() != '_')
      Safe += '_';
  }
  while (!Safe.empty() && (Safe.back() == '_' || Safe.back() == '.')) Safe.pop_back();
  char Number[16];
  std::snprintf(Number, sizeof Number, "%04d", Line);
  return std::string(Number) + (Safe.empty() ? "" : "-" + Safe) + "." + Format;
}

std::string PlainNameProblem(const std::string& Name) {
  if (Name.find('/') != std::string::npos || Name == "." || Name == ".." || Name == "-")
    return "the output name must be a plain file name: " + Name;
  return std::string();
}

}  // namespace

TBatchList ReadBatchList(std::istream& List, const std::optional<TPictureFormat>& Given,
                         int ShardIndex, int ShardCount) {
  const std::string Extension = FormatExtension(Given ? *Given : TPictureFormat::Png) + 1;
  TBatchList Out;
  // Clashes are looked for in the whole list: every machine refuses it alike.
  std::map<std::string, int> FirstLine;
  std::string Text;
  int Line = 0, Urls = 0;
  while (std::getline(List, Text)) {
    ++Line;
    Text = Trim(Text);
    if (Text.empty() || Text[0] == '#') continue;
    const bool Mine = Urls++ % ShardCount == ShardIndex - 1;
    TBatchEntry E{Line, Text, std::string(), std::string()};
    std::size_t Space = Text.find_first_of(" \t");
    if (Space != std::string::npos) {
      E.Url = Text.substr(0, Space);
      E.Name = Trim(Text.substr(Space));
      E.Problem = PlainNameProblem(E.Name);
      if (E.Problem.empty()) OutputFormat(E.Name, Given, &E.Problem);
    } else {
      E.Name = NameFor(Line, E.Url, Extension);
    }
    if (E.Problem.empty()) {
      try {
        PageUrl(E.Url);
      } catch (const TCaptureFailure& F) {
        E.Problem = F.Message;
      }
    }
    if (E.Problem.empty()) {
      auto [At, New] = FirstLine.emplace(E.Name, Line);
      if (!New) {
        if (!Out.Clashes.empty()) Out.Clashes += "; ";
        Out.Clashes += "lines " + std::to_string(At->second) + " and " + std::to_string(Line) +
                       " both name " + E.Name;
      }
    }
    if (Mine) Out.Entries.push_back(std::move(E));
  }
  return Out;
}

}  // namespace snapkit::tools
