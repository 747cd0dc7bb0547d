#pragma once
// Shared by the graphics tests: test pictures, a scratch folder and Pillow as
// an independent reader and writer of image files.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/graphics/bitmap.h"

namespace host::testing {

// A fresh private folder for one test, removed with its files on destruction.
class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

// A 24-bit picture like a photo: smooth gradients with a fine texture.
std::unique_ptr<TBitmap> MakePhoto(int Width, int Height);
// Every pixel a different-looking colour, for exact round trips.
std::unique_ptr<TBitmap> MakePattern(int Width, int Height, TPixelFormat Format);

// Peak signal-to-noise ratio over all channels of two same-sized bitmaps.
double Psnr(const TBitmap& A, const TBitmap& B);

// Runs Script with Debian's python3 (where Pillow lives) and the given
// arguments; returns the exit status and appends standard output to Output.
int RunPython(const std::string& Script, const std::vector<std::string>& Args,
              std::string* Output = nullptr);

// Pixels of an image file as Pillow decodes it, converted to RGB: Width,
// Height and Width*Height*3 bytes R, G, B. Returns false when Pillow fails.
struct TRgbImage {
  int Width = 0, Height = 0;
  std::vector<std::uint8_t> Rgb;
};
bool ReadWithPillow(const std::string& FileName, TRgbImage& Image, std::string* Mode = nullptr);

// The bitmap's pixels as RGB bytes, for comparing with ReadWithPillow.
TRgbImage ToRgb(const TBitmap& Bitmap);

std::vector<std::uint8_t> ReadFile(const std::string& FileName);
void WriteFile(const std::string& FileName, const std::vector<std::uint8_t>& Data);

}  // namespace host::testing
