#include "host/forms/form_parser.h"

#include <cctype>
#include <limits>

namespace host {

namespace {

bool IsIdentStart(char C) { return std::isalpha(static_cast<unsigned char>(C)) || C == '_'; }
bool IsIdentChar(char C) { return IsIdentStart(C) || std::isdigit(static_cast<unsigned char>(C)); }

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (std::tolower(static_cast<unsigned char>(A[I])) !=
        std::tolower(static_cast<unsigned char>(B[I])))
      return false;
  return true;
}

struct TToken {
  enum TKind { tEnd, tIdent, tInteger, tString, tSymbol };
  TKind Kind = tEnd;
  int Line = 1;
  std::string Text;  // identifier, string bytes, or the symbol
  std::int64_t Integer = 0;
};

class TLexer {
 public:
  explicit TLexer(std::string_view Text) : FText(Text) {}

  TToken Next() {
    SkipBlanks();
    TToken T;
    T.Line = FLine;
    // A file that stops short is reported where its text stops.
    if (FPos >= FText.size()) {
      T.Line = FLastLine;
      return T;
    }
    FLastLine = FLine;
    char C = FText[FPos];
    if (IsIdentStart(C)) {
      T.Kind = TToken::tIdent;
      while (FPos < FText.size() && IsIdentChar(FText[FPos])) T.Text += FText[FPos++];
    } else if (std::isdigit(static_cast<unsigned char>(C)) || C == '-' || C == '+' || C == '$') {
      T.Kind = TToken::tInteger;
      T.Integer = ReadInteger();
    } else if (C == '\'' || C == '#') {
      T.Kind = TToken::tString;
      T.Text = ReadString();
    } else if (C == '=' || C == ':' || C == '[' || C == ']' || C == ',') {
      T.Kind = TToken::tSymbol;
      T.Text = std::string(1, C);
      ++FPos;
    } else {
      throw EFormError(FLine, std::string("unexpected character '") + C + "'");
    }
    return T;
  }

 private:
  void SkipBlanks() {
    while (FPos < FText.size()) {
      char C = FText[FPos];
      if (C == '\n')
        ++FLine;
      else if (C != ' ' && C != '\t' && C != '\r')
        break;
      ++FPos;
    }
  }

  std::int64_t ReadInteger() {
    bool Negative = false;
    if (FText[FPos] == '-' || FText[FPos] == '+') Negative = FText[FPos++] == '-';
    int Base = 10;
    if (FPos < FText.size() && FText[FPos] == '$') {
      Base = 16;
      ++FPos;
    }
    // Magnitudes up to 2^63 so that the most negative 64-bit number reads.
    const std::uint64_t Limit = std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1;
    std::uint64_t Value = 0;
    int Digits = 0;
    while (FPos < FText.size() && std::isxdigit(static_cast<unsigned char>(FText[FPos]))) {
      char D = FText[FPos];
      if (Base == 10 && !std::isdigit(static_cast<unsigned char>(D))) break;
      int V = std::isdigit(static_cast<unsigned char>(D))
                  ? D - '0'
                  : std::tolower(static_cast<unsigned char>(D)) - 'a' + 10;
      if (Value > (Limit - V) / Base) throw EFormError(FLine, "number too large");
      Value = Value * Base + V;
      ++Digits;
      ++FPos;
    }
    if (Digits == 0 || (FPos < FText.size() && IsIdentChar(FText[FPos])))
      throw EFormError(FLine, "malformed number");
    if (!Negative && Value == Limit) throw EFormError(FLine, "number too large");
    return Negative ? static_cast<std::int64_t>(0 - Value) : static_cast<std::int64_t>(Value);
  }

  std::string ReadString() {
    std::string S;
    while (FPos < FText.size() && (FText[FPos] == '\'' || FText[FPos] == '#')) {
      if (FText[FPos] == '#') {
        ++FPos;
        int Value = 0, Digits = 0;
        while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos]))) {
          Value = Value * 10 + (FText[FPos++] - '0');
          if (Value > 255) throw EFormError(FLine, "character code above 255");
          ++Digits;
        }
        if (Digits == 0) throw EFormError(FLine, "# without a character code");
        S += static_cast<char>(Value);
        continue;
      }
      ++FPos;
      for (;;) {
        if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r')
          throw EFormError(FLine, "unterminated string");
        char C = FText[FPos++];
        if (C != '\'') {
          S += C;
        } else if (FPos < FText.size() && FText[FPos] == '\'') {
          S += '\'';
          ++FPos;
        } else {
          break;
        }
      }
    }
    return S;
  }

  std::string_view FText;
  std::size_t FPos = 0;
  int FLine = 1;
  int FLastLine = 1;
};

class TParser {
 public:
  explicit TParser(std::string_view Text) : FLexer(Text) { Advance(); }

  TFormObject Root() {
    TFormObject Root = Object(nullptr);
    if (FToken.Kind != TToken::tEnd)
      throw EFormError(FToken.Line, "text after the end of object " + Root.Name);
    return Root;
  }

 private:
  void Advance() { FToken = FLexer.Next(); }

  bool IsWord(const char* Word) const {
    return FToken.Kind == TToken::tIdent && SameText(FToken.Text, Word);
  }

  [[noreturn]] void Fail(const std::string& Expected, const TFormObject* Inside) {
    if (FToken.Kind == TToken::tEnd && Inside)
      throw EFormError(FToken.Line, "the file ends inside object " + Inside->Name +
                                        " (begun at line " + std::to_string(Inside->Line) + ")");
    if (FToken.Kind == TToken::tEnd)
      throw EFormError(FToken.Line, "the file ends where " + Expected + " should be");
    throw EFormError(FToken.Line, "expected " + Expected + Found());
  }

  std::string Found() const {
    switch (FToken.Kind) {
      case TToken::tIdent:
        return ", found " + FToken.Text;
      case TToken::tSymbol:
        return ", found '" + FToken.Text + "'";
      case TToken::tInteger:
        return ", found a number";
      case TToken::tString:
        return ", found a string";
      default:
        return "";
    }
  }

  std::string Ident(const std::string& What, const TFormObject* Inside) {
    if (FToken.Kind != TToken::tIdent) Fail(What, Inside);
    std::string S = FToken.Text;
    Advance();
    return S;
  }

  void Symbol(const char* S, const TFormObject* Inside) {
    if (FToken.Kind != TToken::tSymbol || FToken.Text != S)
      Fail(std::string("'") + S + "'", Inside);
    Advance();
  }

  TFormObject Object(const TFormObject* Outer) {
    if (!IsWord("object")) Fail("'object'", Outer);
    TFormObject O;
    O.Line = FToken.Line;
    Advance();
    O.Name = Ident("a component name", Outer);
    Symbol(":", Outer);
    O.ClassName = Ident("a class name", Outer);
    for (;;) {
      if (IsWord("end")) {
        Advance();
        return O;
      }
      if (IsWord("object")) {
        O.Children.push_back(Object(&O));
        continue;
      }
      if (FToken.Kind != TToken::tIdent) Fail("a property, 'object' or 'end'", &O);
      if (!O.Children.empty())
        throw EFormError(FToken.Line, "property " + FToken.Text + " after a nested object");
      TFormProperty P;
      P.Line = FToken.Line;
      P.Name = Ident("a property name", &O);
      Symbol("=", &O);
      P.Value = Value(&O);
      O.Properties.push_back(std::move(P));
    }
  }

  TFormValue Value(const TFormObject* Inside) {
    TFormValue V;
    V.Line = FToken.Line;
    switch (FToken.Kind) {
      case TToken::tInteger:
        V.Kind = TFormValue::vkInteger;
        V.Integer = FToken.Integer;
        Advance();
        return V;
      case TToken::tString:
        V.Kind = TFormValue::vkString;
        V.Text = FToken.Text;
        Advance();
        return V;
      case TToken::tIdent:
        if (IsWord("object") || IsWord("end")) Fail("a value", Inside);
        V.Kind = TFormValue::vkIdent;
        V.Text = FToken.Text;
        Advance();
        return V;
      default:
        break;
    }
    if (FToken.Kind != TToken::tSymbol || FToken.Text != "[") Fail("a value", Inside);
    V.Kind = TFormValue::vkSet;
    Advance();
    if (FToken.Kind == TToken::tSymbol && FToken.Text == "]") {
      Advance();
      return V;
    }
    for (;;) {
      V.Members.push_back(Ident("a set member", Inside));
      if (FToken.Kind == TToken::tSymbol && FToken.Text == "]") {
        Advance();
        return V;
      }
      Symbol(",", Inside);
    }
  }

  TLexer FLexer;
  TToken FToken;
};

}  // namespace

TFormObject ParseForm(std::string_view Text) { return TParser(Text).Root(); }

std::string QuoteFormString(const std::string& Text) {
  if (Text.empty()) return "''";
  std::string Out;
  bool InQuotes = false;
  for (char C : Text) {
    unsigned char U = static_cast<unsigned char>(C);
    if (U < 32 || U == 127) {
      if (InQuotes) Out += '\'';
      InQuotes = false;
      Out += '#' + std::to_string(U);
      continue;
    }
    if (!InQuotes) Out += '\'';
    InQuotes = true;
    Out += C;
    if (C == '\'') Out += '\'';
  }
  if (InQuotes) Out += '\'';
  return Out;
}

}  // namespace host
