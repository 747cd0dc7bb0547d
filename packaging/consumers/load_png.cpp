// An outside program: loads a PNG through the framework's picture class and
// prints its size and first pixel. It names nothing of the package; the PNG
// format is there because the package is linked.

#include <cstdio>
#include <exception>

#include "host/graphics/bitmap.h"
#include "host/graphics/picture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: load_png FILE.png\n");
    return 2;
  }
  try {
    host::TPicture Picture;
    Picture.LoadFromFile(argv[1]);
    host::TBitmap& Bitmap = Picture.Bitmap();
    host::TColor C = Bitmap.GetPixel(0, 0);  // 0x00BBGGRR
    std::printf("%dx%d %02x%02x%02x\n", Bitmap.Width(), Bitmap.Height(), C & 0xFF,
                (C >> 8) & 0xFF, (C >> 16) & 0xFF);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "load_png: %s\n", E.what());
    return 1;
  }
  return 0;
}
