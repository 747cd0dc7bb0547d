#pragma once
// Which addresses the browser control loads.

#include <string>

namespace host {

// UTF-8 of a wide string; a lone surrogate half or a value past Unicode
// becomes the replacement character.
std::string ToUtf8(const std::wstring& Text);

// Raises EOleException for an address that is malformed or whose scheme
// the control does not load (http, https, file, data and about are).
void CheckAddress(const std::string& URL);

// A file: address, in any case.
bool IsFileUrl(const std::string& URL);

}  // namespace host
