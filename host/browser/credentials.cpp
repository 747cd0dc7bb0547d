#include "host/browser/credentials.h"

#include <cstdlib>
#include <fstream>

namespace host {
namespace {

TCredentials Split(std::string_view Text, const std::string& Source) {
  std::size_t colon = Text.find(':');
  if (colon == std::string_view::npos)
    throw ECredentialsError(Source + " must be USER:PASSWORD, with a colon");
  if (colon == 0) throw ECredentialsError(Source + " names no user before the colon");
  for (unsigned char c : Text)
    if (c < 0x20 || c == 0x7f) throw ECredentialsError(Source + " holds a control character");
  return {std::string(Text.substr(0, colon)), std::string(Text.substr(colon + 1))};
}

TCredentials Parse(std::string_view Value, const std::string& Source) {
  if (Value.empty() || Value[0] != '@') return Split(Value, Source);
  std::string path(Value.substr(1));
  if (path.empty()) throw ECredentialsError(Source + ": '@' must be followed by a file name");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ECredentialsError("Cannot open the login file " + path);
  std::string line;
  std::getline(in, line);
  if (in.bad()) throw ECredentialsError("Cannot read the login file " + path);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return Split(line, "The login file " + path);
}

}  // namespace

TCredentials ParseAuthArgument(std::string_view Value) { return Parse(Value, "--auth"); }

TCredentials CredentialsFromEnvironment() {
  const char* value = std::getenv("SNAPKIT_AUTH");
  if (!value || !*value) return {};
  return Parse(value, "SNAPKIT_AUTH");
}

}  // namespace host
