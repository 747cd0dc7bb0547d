#pragma once
// Registrable domains (example.co.uk for ads.example.co.uk), which decide
// whether a request is third-party to its page. The suffix list is read once
// per process from the Debian copy; without one, the last label is taken as
// the suffix.

#include <string_view>

namespace host {

// The public suffix of a lower-case host ("co.uk"); the host itself for an
// IP address or a host that is all suffix.
std::string_view PublicSuffix(std::string_view Host);

// The suffix and one label more; the host itself when it has no more.
std::string_view RegistrableDomain(std::string_view Host);

}  // namespace host
