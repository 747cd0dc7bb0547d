#pragma once
// A login for HTTP Basic or Digest: USER:PASSWORD given inline, from a file
// (@FILE, so it stays out of process listings) or from SNAPKIT_AUTH.
// No message ever holds the password, nor the text it was read from.

#include <string>
#include <string_view>

#include "host/system/exception.h"

namespace host {

HOST_EXCEPTION(ECredentialsError, Exception);

struct TCredentials {
  std::string User;
  std::string Password;
  bool Empty() const { return User.empty(); }
};

// "USER:PASSWORD" (split at the first colon; the password may be empty or
// hold colons) or "@FILE", whose first line holds USER:PASSWORD.
TCredentials ParseAuthArgument(std::string_view Value);

// The login in SNAPKIT_AUTH (in either form), or none when it is unset or
// empty.
TCredentials CredentialsFromEnvironment();

}  // namespace host
