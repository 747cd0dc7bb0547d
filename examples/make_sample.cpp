// Draws examples/sample.bmp, the small picture the quick start converts:
// a sky gradient, a sun and two hills, 24 bits, 64 x 48 pixels.
//
//   snapkit_make_sample examples/sample.bmp

#include <cmath>
#include <cstdio>
#include <exception>

#include "host/graphics/bitmap.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.bmp\n", argv[0]);
    return 1;
  }
  try {
    host::TBitmap b;
    b.SetPixelFormat(host::pf24bit);
    b.SetSize(64, 48);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        double sky = y / 48.0;
        int r = static_cast<int>(90 + 120 * sky), g = static_cast<int>(150 + 70 * sky), bl = 235;
        double sun = std::hypot(x - 46.0, y - 12.0);
        if (sun < 7)
          r = 255, g = 215, bl = 60;
        else if (sun < 9)
          r = (r + 255) / 2, g = (g + 215) / 2, bl = (bl + 60) / 2;
        double hill1 = 34 + 6 * std::sin(x / 9.0), hill2 = 40 + 4 * std::cos(x / 6.0 + 1);
        if (y > hill2)
          r = 40, g = static_cast<int>(110 + 2 * (y - 40)), bl = 45;
        else if (y > hill1)
          r = 70, g = 140, bl = 70;
        b.SetPixel(x, y, host::RGB(r, g, bl));
      }
    b.SaveToFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
