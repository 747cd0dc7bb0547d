#include "host/ole/clipboard_formats.h"

#include <cctype>
#include <map>
#include <mutex>
#include <string>

namespace host {

namespace {

constexpr UINT FirstRegistered = 0xC000;
constexpr UINT LastRegistered = 0xFFFF;  // formats travel as 16-bit CLIPFORMAT

struct TFormatTable {
  std::mutex Lock;
  std::map<std::string, UINT> Numbers;  // by lower-case name
};

TFormatTable& Formats() {
  static TFormatTable T;
  return T;
}

}  // namespace

UINT RegisterClipboardFormatA(const char* lpszFormat) {
  if (!lpszFormat || !*lpszFormat) return 0;
  std::string Key(lpszFormat);
  for (char& C : Key) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  TFormatTable& T = Formats();
  std::lock_guard<std::mutex> Guard(T.Lock);
  auto it = T.Numbers.find(Key);
  if (it != T.Numbers.end()) return it->second;
  UINT Next = FirstRegistered + static_cast<UINT>(T.Numbers.size());
  if (Next > LastRegistered) return 0;
  T.Numbers.emplace(std::move(Key), Next);
  return Next;
}

}  // namespace host
