#pragma once
// The syntax of form files, apart from what the names in them mean:
//
//   object Form1: TForm
//     Caption = 'Pages'#13#10'and more'
//     object Timer1: TTimer
//       Interval = 500
//       OnTimer = Timer1Timer
//     end
//   end
//
// Values are integers (decimal, or $ and hex digits), strings (quoted
// pieces with '' for a quote, and #n for byte n, written together), bare
// identifiers (enumerations, True and False, component and handler names,
// nil) and sets of identifiers in brackets. Properties come before the
// nested objects.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/system/exception.h"

namespace host {

// A form file that cannot be read; the message starts with the file's name
// when there is one, then the line.
class EFormError : public EReadError {
 public:
  EFormError(int Line, const std::string& Text, const std::string& FileName = "")
      : EReadError((FileName.empty() ? "" : FileName + ", ") + "line " + std::to_string(Line) +
                   ": " + Text),
        FLine(Line),
        FText(Text) {}
  int Line() const { return FLine; }
  // The message without file and line.
  const std::string& Text() const { return FText; }

 private:
  int FLine;
  std::string FText;
};

struct TFormValue {
  enum TKind { vkInteger, vkString, vkIdent, vkSet };
  TKind Kind = vkInteger;
  int Line = 0;
  std::int64_t Integer = 0;
  std::string Text;                  // vkString's bytes, vkIdent's name
  std::vector<std::string> Members;  // vkSet
};

struct TFormProperty {
  std::string Name;
  int Line = 0;
  TFormValue Value;
};

struct TFormObject {
  std::string Name;
  std::string ClassName;
  int Line = 0;
  std::vector<TFormProperty> Properties;
  std::vector<TFormObject> Children;
};

// One object and everything in it; raises EFormError.
TFormObject ParseForm(std::string_view Text);

// Text as a form file writes it: printable runs quoted, other bytes below
// 32 (and 127) as #n.
std::string QuoteFormString(const std::string& Text);

}  // namespace host
