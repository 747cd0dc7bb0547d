#pragma once
// Comparing two pictures pixel by pixel, the way pixelmatch (up to its
// release 7) does: a pixel differs when its colour difference in YIQ space
// passes a threshold, and differences that look like anti-aliasing (the
// pixel sits on a brightness ramp between two flat areas) are left out.
// The arithmetic is pixelmatch's own, in doubles and in its order, so the
// count is the same as pixelmatch's and the same on every machine.

#include <cstdint>

#include "host/graphics/bitmap.h"
#include "host/graphics/types.h"

namespace snapkit {

struct TDiffOptions {
  // 0 to 1; smaller is more sensitive. 0.1 is pixelmatch's default.
  double Threshold = 0.1;
  // Count anti-aliased pixels as differences instead of leaving them out.
  bool IncludeAA = false;
  // How strongly the first picture shows through in the diff picture.
  double Alpha = 0.1;
};

struct TDiffResult {
  int Width1 = 0, Height1 = 0, Width2 = 0, Height2 = 0;
  // False when the sizes differ: then every pixel of the larger extent
  // counts as different and the box is all of it.
  bool SameSize = true;
  std::int64_t Different = 0;
  // Pixels beyond the threshold left out as anti-aliasing (0 with IncludeAA).
  std::int64_t AntiAliased = 0;
  std::int64_t Total = 0;
  // Different / Total; 0 for empty pictures.
  double Ratio = 0;
  // The smallest rectangle holding every different pixel (Right and Bottom
  // exclusive); empty (all zero) when none differs.
  host::TRect Box;
};

// Any pixel format; pf24bit pictures are read in place, others through a
// 24-bit copy. When Diff is given it becomes a pf24bit picture of the
// comparison: different pixels red, anti-aliasing yellow, the rest a faded
// grey copy of A (pixelmatch's diff image, byte for byte). With sizes that
// differ, Diff is all red at the larger extent.
TDiffResult ComparePictures(const host::TBitmap& A, const host::TBitmap& B,
                            const TDiffOptions& Options = {}, host::TBitmap* Diff = nullptr);

// The vector code the comparison uses: 8 (AVX2) or 1 (none), chosen from
// the processor at start. Tests narrow it to check that both give the same
// results; false when the processor lacks it.
int DiffVectorWidth();
bool SetDiffVectorWidth(int Lanes);

}  // namespace snapkit
