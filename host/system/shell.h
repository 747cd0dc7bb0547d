#pragma once
// Opening a document or URL with the desktop's opener. The opener runs with
// an argument vector, never through a shell, and can be replaced so that
// tests see what would have been opened.

#include <functional>
#include <string>
#include <vector>

namespace host {

// Receives the full argument vector (opener first). Returns true on success.
using TShellLauncher = std::function<bool(const std::vector<std::string>& Argv)>;

// The opener program, "xdg-open" by default.
void SetShellOpener(const std::string& Program);
// Replaces how the argument vector is started; returns the previous launcher.
// The default spawns the program detached and does not wait for it; an
// empty launcher puts the default back.
TShellLauncher SetShellLauncher(TShellLauncher Launcher);

// Opens File (a path or URL) with the opener; Operation "open" or empty.
// Returns a value above 32 on success, as the platform call does. A File
// starting with '-' is passed as "./File" so the opener cannot take it for
// an option.
int ShellExecute(const std::string& Operation, const std::string& File);

}  // namespace host
