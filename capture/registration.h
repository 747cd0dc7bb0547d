#pragma once
// What the package tells the designer. Both entry points are also exported
// with C names ("Register", "PackageDescription") so that a designer can
// find them in a library it opens at run time.

namespace snapkit {

// Puts TSitelens, and nothing else, on the palette page "Corvane".
void Register();

// The palette page and the short text for the designer's package list.
extern const char* const PalettePage;
const char* PackageDescription();

}  // namespace snapkit

extern "C" {
void Register();
const char* PackageDescription();
}
