#pragma once
// The modal message box. Nothing here has a display, so the box goes to a
// hook; tests install one to see what would have been shown. Without a hook
// the text goes to standard error and the default answer is returned.

#include <functional>
#include <string>

namespace host {

enum : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };
enum : unsigned { MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_YESNO = 0x4, MB_ICONERROR = 0x10,
                  MB_ICONWARNING = 0x30, MB_ICONINFORMATION = 0x40 };

using TMessageBoxHook = std::function<int(const std::string& Text, const std::string& Caption,
                                          unsigned Flags)>;

// Returns the previous hook.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook Hook);
int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags);
// The framework's ShowMessage: an OK box captioned with the application title.
void ShowMessage(const std::string& Text);

}  // namespace host
