#include "tools/view_command.h"

#include <glib.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "capture/sitelens.h"
#include "host/forms/application.h"
#include "host/forms/backend.h"
#include "host/forms/form_reader.h"
#include "host/forms/timer.h"
#include "host/graphics/canvas.h"
#include "host/graphics/picture.h"
#include "tools/convert_command.h"

namespace snapkit::tools {

const char* const ViewUsage =
    "snapkit view URL [--view screen|full|custom] [--area WxH] [--every SECONDS]\n"
    "  Shows the page's thumbnail in a window (needs a display); right click\n"
    "  for its menu, drop a link on it to show that page, close to end.\n"
    "  --every SECONDS captures the page again that often, and frames what\n"
    "  changed in red for two seconds.\n";

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

void DrawChangeBox(host::TBitmap& Shown, int CaptureWidth, int CaptureHeight,
                   const host::TRect& Box) {
  if (Box.Right <= Box.Left || CaptureWidth <= 0 || CaptureHeight <= 0 || Shown.Empty()) return;
  auto sx = [&](int X) { return int(std::int64_t(X) * Shown.Width() / CaptureWidth); };
  auto sy = [&](int Y) { return int(std::int64_t(Y) * Shown.Height() / CaptureHeight); };
  // Two pixels wide, just outside the changed pixels where there is room,
  // and never thinner than the box's own scaled size allows.
  const int l = sx(Box.Left) - 2, t = sy(Box.Top) - 2;
  const int r = std::max(sx(Box.Right), sx(Box.Left) + 1) + 2;
  const int b = std::max(sy(Box.Bottom), sy(Box.Top) + 1) + 2;
  host::TCanvas& c = Shown.Canvas();
  c.Brush.Color = host::clRed;
  c.FillRect(host::Rect(l, t, r, t + 2));
  c.FillRect(host::Rect(l, b - 2, r, b));
  c.FillRect(host::Rect(l, t, l + 2, b));
  c.FillRect(host::Rect(r - 2, t, r, b));
}

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
    } else if (A == "--every") {
      const std::string& V = Value();
      char* end = nullptr;
      const double seconds = std::strtod(V.c_str(), &end);
      if (V.empty() || *end || !(seconds >= 0.1 && seconds <= 86400))
        throw TUsageError{"--every takes seconds from 0.1 to 86400, not " + V};
      O.EveryMs = int(seconds * 1000 + 0.5);
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
    std::string Title = !Lens->CaptureDone() ? "Loading " + Lens->URL()
                        : !Lens->LastError().empty()
                            ? Lens->URL() + " (failed: " + Lens->LastError() + ")"
                            : Lens->URL();
    Form.SetCaption(Title + " - snapkit");
  };
  // A change is framed on the picture shown for two seconds, also over the
  // pictures of the captures in between.
  host::TBitmap Clean;
  host::TRect Changed;
  bool Framed = false;
  gint64 FramedUntil = 0;
  auto Frame = [&] {
    host::TBitmap& Shown = Lens->Image().Picture().Bitmap();
    Clean.Assign(Shown);
    DrawChangeBox(Shown, Lens->Capture().Width(), Lens->Capture().Height(), Changed);
    Lens->Image().Repaint();
    Framed = true;
  };
  if (Options.EveryMs) {
    Lens->SetTimerInterval(unsigned(Options.EveryMs));
    Lens->SetTimedUpdate(true);
    Lens->OnWebImageReady = [&](host::TObject*, const std::string&) {
      Framed = false;
      if (g_get_monotonic_time() < FramedUntil) Frame();
    };
    Lens->OnPageChanged = [&](host::TObject*, const std::string&, double, const host::TRect& Box) {
      // Over the picture of the capture that changed: the frame a capture
      // before may still be on it.
      if (Framed) Lens->Image().Picture().Bitmap().Assign(Clean);
      Changed = Box;
      FramedUntil = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
      Frame();
    };
  }
  Status.OnTimer = [&, Title = std::move(Status.OnTimer)](host::TObject* Sender) {
    Title(Sender);
    if (!Framed || g_get_monotonic_time() < FramedUntil) return;
    Framed = false;
    Lens->Image().Picture().Bitmap().Assign(Clean);
    Lens->Image().Repaint();
  };
  Status.SetEnabled(true);
  Lens->setUrl(Url);
  // Closing the window ends the loop; the form then frees the control, its
  // browser page and the windows.
  host::Application->Run();
  return 0;
}

}  // namespace snapkit::tools
