#pragma once
// What a person sees: the X screen grabbed by ImageMagick's import, a
// program outside ours, read back as a bitmap.

#include <string>
#include <vector>

#include "host/graphics/bitmap.h"

namespace host::desktop::testing {

// Runs Argv (program first) and waits; returns its exit status, or -1 when
// it could not run or was killed.
int RunProgram(const std::vector<std::string>& Argv);
// Like RunProgram, and returns what the program wrote to standard output.
std::string ProgramOutput(const std::vector<std::string>& Argv, int* Status = nullptr);

// The whole screen as a 24-bit bitmap. Throws when import fails.
std::unique_ptr<TBitmap> GrabScreen();

struct TRgb {
  int R, G, B;
};
TRgb PixelAt(const TBitmap& Bitmap, int X, int Y);

}  // namespace host::desktop::testing
