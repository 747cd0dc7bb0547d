#include "imaging/testing/images.h"

#include <cstring>

namespace snapkit::testing {

TPlainImage MakeImage(int Width, int Height, std::uint8_t Fill) {
  TPlainImage image;
  image.Width = Width;
  image.Height = Height;
  image.Pixels.assign(3 * std::size_t(Width) * Height, Fill);
  return image;
}

TPlainImage RandomImage(int Width, int Height, std::mt19937& Rng) {
  TPlainImage image = MakeImage(Width, Height);
  std::uniform_int_distribution<int> byte(0, 255), kind(0, 3);
  for (int y = 0; y < Height; ++y) {
    int mode = kind(Rng);
    std::uint8_t flat = static_cast<std::uint8_t>(byte(Rng));
    for (int x = 0; x < Width; ++x) {
      if (x % 7 == 0) mode = kind(Rng);
      for (int c = 0; c < 3; ++c) {
        std::uint8_t v;
        switch (mode) {
          case 0:
            v = flat;
            break;
          case 1:
            v = (x + y) % 2 ? 255 : 0;
            break;
          default:
            v = static_cast<std::uint8_t>(byte(Rng));
            break;
        }
        image.Pixel(x, y)[c] = v;
      }
    }
  }
  return image;
}

TPlainImage GreyImage(int Width, int Height, const std::vector<std::uint8_t>& Grey) {
  TPlainImage image = MakeImage(Width, Height);
  for (std::size_t i = 0; i < Grey.size() && i < std::size_t(Width) * Height; ++i)
    std::memset(image.Pixels.data() + 3 * i, Grey[i], 3);
  return image;
}

void ToBitmap(const TPlainImage& Image, host::TBitmap& Bitmap) {
  Bitmap.SetPixelFormat(host::pf24bit);
  Bitmap.SetSize(Image.Width, Image.Height);
  if (Image.Width == 0) return;
  for (int y = 0; y < Image.Height; ++y)
    std::memcpy(Bitmap.ScanLine(y), Image.Pixel(0, y), 3 * std::size_t(Image.Width));
}

TPlainImage FromBitmap(const host::TBitmap& Bitmap) {
  if (Bitmap.PixelFormat() != host::pf24bit) {
    host::TBitmap copy;
    copy.Assign(Bitmap);
    copy.SetPixelFormat(host::pf24bit);
    return FromBitmap(copy);
  }
  TPlainImage image = MakeImage(Bitmap.Width(), Bitmap.Height());
  if (Bitmap.Width() == 0) return image;
  for (int y = 0; y < Bitmap.Height(); ++y)
    std::memcpy(image.Pixel(0, y), Bitmap.ScanLine(y), 3 * std::size_t(Bitmap.Width()));
  return image;
}

}  // namespace snapkit::testing
