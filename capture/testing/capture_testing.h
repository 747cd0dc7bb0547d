#pragma once
// Shared by the capture tests: a control on a form, the events it fired and
// waiting for them through the message loop.

#include <memory>
#include <string>
#include <vector>

#include "capture/sitelens.h"
#include "host/forms/application.h"

namespace snapkit::testing {

struct TReady {
  std::string Url;
  int ShownWidth, ShownHeight;  // the picture shown when the event fired
};

// A control (owned by a form component) that records its events.
class TLens {
 public:
  TLens();
  ~TLens();
  TSitelens& operator*() { return *Lens; }
  TSitelens* operator->() { return Lens; }

  // Runs the message loop until Count OnWebImageReady events in all have
  // arrived (default: one more than now).
  bool WaitReady(int Count = -1, int TimeoutMs = 15000);
  // Runs the loop for Ms with nothing to wait for, so late events would
  // show.
  void Settle(int Ms);

  std::unique_ptr<host::TComponent> Form;
  TSitelens* Lens;
  std::vector<TReady> Ready;
  std::vector<std::string> Errors;
};

// The picture shown by the control, as a 24-bit bitmap.
host::TBitmap& Shown(TSitelens& Lens);

// The colour (R, G, B packed as 0xRRGGBB) of the 24-bit pixel at (X, Y).
unsigned PixelAt(const host::TBitmap& Bitmap, int X, int Y);

// Writes Html to a file in Dir and returns its file URL.
std::string FileUrl(const std::string& Dir, const std::string& Name, const std::string& Html);

}  // namespace snapkit::testing
