// The context menu: open the page in the user's browser, or the full-size
// capture in the desktop's picture viewer.

#include <unistd.h>

#include <cctype>

#include "capture/sitelens.h"
#include "host/system/shell.h"
#include "host/system/tempfiles.h"

namespace snapkit {

std::string MakeTempFileName(const std::string& Prefix, const std::string& Extension) {
  std::string Name = host::GetTempFileName(host::GetTempPath(), Prefix);
  ::unlink(Name.c_str());
  if (Extension.empty()) return Name;
  return Name.substr(0, Name.find_last_of('.')) + "." + Extension;
}

void TSitelens::Image1MouseDown(host::TObject*, host::TMouseButton Button, host::TShiftState, int X,
                                int Y) {
  if (Button != host::mbRight) return;
  host::TPoint P = ClientToScreen({X, Y});
  FPopup->Popup(P.X, P.Y);
}

void TSitelens::LaunchHandler(host::TObject*) {
  // Only what a desktop browser opens as a page; anything else (a data:
  // address, about:blank#blocked) would go to whatever claims the scheme.
  std::string Scheme = FURL.substr(0, FURL.find(':'));
  for (char& C : Scheme) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  if (FURL.find(':') == std::string::npos ||
      (Scheme != "http" && Scheme != "https" && Scheme != "file"))
    return;
  host::ShellExecute("open", FURL);
}

void TSitelens::ViewHandler(host::TObject*) {
  if (FViewFile.empty()) FViewFile = MakeTempFileName("SLX", "BMP");
  FCapture->SaveToFile(FViewFile);
  host::ShellExecute("open", FViewFile);
}

}  // namespace snapkit
