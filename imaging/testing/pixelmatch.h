#pragma once
// pixelmatch, from the npm registry, run by Debian's node: the independent
// judge of the comparison. Installed once into a cache folder beside the
// test programs; where the registry cannot be reached the tests skip.

#include <cstdint>
#include <string>
#include <vector>

#include "host/graphics/bitmap.h"

namespace snapkit::testing {

// Empty when pixelmatch (and pngjs, its companion PNG decoder) are ready,
// else why not, for GTEST_SKIP.
std::string PixelmatchUnavailable();

// A picture as pngjs decodes a PNG file: width, height, RGBA bytes.
struct TRGBAImage {
  int Width = 0, Height = 0;
  std::vector<std::uint8_t> Pixels;
};
TRGBAImage DecodeWithPngjs(const std::string& File);

void ToRGBA(const host::TBitmap& Bitmap, TRGBAImage& Image);    // opaque
void FromRGBA(const TRGBAImage& Image, host::TBitmap& Bitmap);  // pf24bit

struct TPixelmatchJob {
  const TRGBAImage* A;
  const TRGBAImage* B;
  double Threshold = 0.1;
  bool IncludeAA = false;
};
struct TPixelmatchAnswer {
  // pixelmatch's count, or -1 with Error set (it refuses sizes that differ).
  std::int64_t Count = -1;
  std::string Error;
  TRGBAImage Diff;  // its diff image, RGBA
};
// All jobs in one run of node.
std::vector<TPixelmatchAnswer> RunPixelmatch(const std::vector<TPixelmatchJob>& Jobs);

}  // namespace snapkit::testing
