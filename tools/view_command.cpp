#include "tools/view_command.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "capture/sitelens.h"
#include "host/forms/application.h"
#include "host/forms/backend.h"
#include "host/forms/form_reader.h"
#include "host/forms/timer.h"
#include "tools/convert_command.h"

namespace snapkit::tools {

const char* const ViewUsage =
    "snapkit view URL [--view screen|full|custom] [--area WxH]\n"
    "  Shows the page's thumbnail in a window (needs a display); right click\n"
    "  for its menu, drop a link on it to show that page, close to end.\n";

namespace {

bool ParseArea(const std::string& Text, int& W, int& H) {
  char X = 0;
  char Rest = 0;
  return std::sscanf(Text.c_str(), "%d%c%d%c", &W, &X, &H, &Rest) == 3 && (X == 'x' || X == 'X') &&
         W >= 32 && H >= 32 && W <= MaxCaptureSide && H <= MaxCaptureSide;
}

// A local file is shown through a file URL, as a browser opens it.
std::string PageUrl(const std::string& Given) {
  struct stat Info;
  if (Given.find("://") != std::string::npos || ::stat(Given.c_str(), &Info) != 0) return Given;
  std::unique_ptr<char, decltype(&std::free)> Full(::realpath(Given.c_str(), nullptr), &std::free);
  return Full ? "file://" + std::string(Full.get()) : Given;
}

}  // namespace

TViewOptions ParseViewArgs(const std::vector<std::string>& Args) {
  TViewOptions O;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& A = Args[i];
    auto Value = [&]() -> const std::string& {
      if (i + 1 >= Args.size()) throw TUsageError{A + " needs a value"};
      return Args[++i];
    };
    if (A == "--view") {
      O.View = Value();
      if (O.View != "screen" && O.View != "full" && O.View != "custom")
        throw TUsageError{"--view takes screen, full or custom, not " + O.View};
    } else if (A == "--area") {
      if (!ParseArea(Value(), O.AreaWidth, O.AreaHeight))
        throw TUsageError{"--area takes WIDTHxHEIGHT, each 32 to 16384"};
    } else if (!A.empty() && A[0] == '-') {
      throw TUsageError{"unknown option " + A};
    } else if (O.Url.empty()) {
      O.Url = A;
    } else {
      throw TUsageError{"view shows one page"};
    }
  }
  if (O.Url.empty()) throw TUsageError{"view needs a URL"};
  if (O.AreaWidth && O.View != "custom") throw TUsageError{"--area goes with --view custom"};
  return O;
}

int RunView(const TViewOptions& Options) {
  const char* Display = std::getenv("DISPLAY");
  const char* Wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!Display || !*Display) && (!Wayland || !*Wayland))
    throw host::EInvalidOperation("view needs a display, and none is set (DISPLAY)");
  host::UseWindowBackend(host::bkDesktop);

  host::TForm Form;
  Form.AddHandler(
      "Sitelens1CaptureError",
      TOnCaptureErrorEvent([](host::TObject*, const std::string& Url, const std::string& Why) {
        std::fprintf(stderr, "snapkit: %s: %s\n", Url.c_str(), Why.c_str());
      }));
  host::ReadForm(Form, std::string(ViewFormText));
  auto* Lens = dynamic_cast<TSitelens*>(Form.FindComponent("Sitelens1"));
  if (!Lens) throw host::EInvalidOperation("The view form has no Sitelens1");
  Lens->SetWebPageView(Options.View == "full"     ? wvFull
                       : Options.View == "custom" ? wvCustom
                                                  : wvScreen);
  Lens->SetViewWidth(static_cast<unsigned>(Options.AreaWidth));
  Lens->SetViewHeight(static_cast<unsigned>(Options.AreaHeight));
  const std::string Url = PageUrl(Options.Url);
  Form.SetCaption(Url + " - snapkit");
  Form.HandleNeeded();
  // The title says what the window shows: the page being loaded, the page
  // shown, or why it could not be, also for a link dropped on it.
  host::TTimer Status(&Form);
  Status.SetInterval(100);
  Status.OnTimer = [&](host::TObject*) {
    std::string Title = !Lens->CaptureDone()         ? "Loading " + Lens->URL()
                        : !Lens->LastError().empty() ? Lens->URL() + " (failed: " + Lens->LastError() + ")"
                                                     : Lens->URL();
    Form.SetCaption(Title + " - snapkit");
  };
  Status.SetEnabled(true);
  Lens->setUrl(Url);
  // Closing the window ends the loop; the form then frees the control, its
  // browser page and the windows.
  host::Application->Run();
  return 0;
}

}  // namespace snapkit::tools
