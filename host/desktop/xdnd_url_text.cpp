#include "host/desktop/xdnd_url_text.h"

#include <glib.h>

#include <memory>

namespace host::desktop {

namespace {

// Sources differ in whether they send the terminating zero and which line
// ending they use; neither belongs to the URL.
std::string Trimmed(std::string Line) {
  while (!Line.empty() && (Line.back() == '\0' || Line.back() == '\r' || Line.back() == ' ' ||
                           Line.back() == '\t'))
    Line.pop_back();
  std::size_t Start = Line.find_first_not_of(" \t");
  return Start == std::string::npos ? std::string() : Line.substr(Start);
}

std::optional<std::string> NonEmpty(std::string S) {
  if (S.empty()) return std::nullopt;
  return S;
}

// Up to the newline before the title, or the zero that ends the text.
std::string FirstLine(const std::string& Text) {
  return Text.substr(0, Text.find_first_of(std::string("\n\0", 2)));
}

}  // namespace

std::optional<std::string> URLFromNetscapeURL(const std::string& Bytes) {
  return NonEmpty(Trimmed(FirstLine(Bytes)));
}

std::optional<std::string> URLFromMozURL(const std::string& Bytes) {
  std::size_t Units = Bytes.size() / 2;
  std::u16string Text;
  Text.reserve(Units);
  bool BigEndian = false;
  for (std::size_t i = 0; i < Units; ++i) {
    auto Lo = static_cast<unsigned char>(Bytes[2 * i]);
    auto Hi = static_cast<unsigned char>(Bytes[2 * i + 1]);
    if (i == 0 && Lo == 0xFE && Hi == 0xFF) {
      BigEndian = true;
      continue;
    }
    if (i == 0 && Lo == 0xFF && Hi == 0xFE) continue;
    char16_t Unit = BigEndian ? char16_t(Lo << 8 | Hi) : char16_t(Hi << 8 | Lo);
    if (Unit == 0) break;
    Text.push_back(Unit);
  }
  std::unique_ptr<gchar, decltype(&g_free)> Utf8(
      g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(Text.data()), glong(Text.size()),
                      nullptr, nullptr, nullptr),
      g_free);
  if (!Utf8) return std::nullopt;  // broken surrogates: no text to trust
  return URLFromNetscapeURL(Utf8.get());
}

std::optional<std::string> URLFromURIList(const std::string& Bytes) {
  std::size_t Start = 0;
  while (Start < Bytes.size()) {
    std::size_t End = Bytes.find('\n', Start);
    if (End == std::string::npos) End = Bytes.size();
    std::string Line = Trimmed(Bytes.substr(Start, End - Start));
    if (!Line.empty() && Line[0] != '#') return Line;
    Start = End + 1;
  }
  return std::nullopt;
}

}  // namespace host::desktop
