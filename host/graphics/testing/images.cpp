#include "host/graphics/testing/images.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace host::testing {

TScratchDir::TScratchDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "snapkit-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  FPath = templ;
}

TScratchDir::~TScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::unique_ptr<TBitmap> MakePhoto(int Width, int Height) {
  auto bp = std::make_unique<TBitmap>();
  TBitmap& b = *bp;
  b.SetPixelFormat(pf24bit);
  b.SetSize(Width, Height);
  std::uint32_t seed = 12345;
  for (int y = 0; y < Height; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < Width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      double noise = static_cast<double>((seed >> 24) & 0xF) - 7.5;  // fine grain
      double fx = double(x) / Width, fy = double(y) / Height;
      double texture = 10.0 * std::sin(x * 0.35) * std::cos(y * 0.27);
      double r = 200 * fx + 40 * fy + texture + noise;
      double g = 60 + 120 * std::sin(3.1 * fy) * fx + texture + noise;
      double bl = 230 - 150 * fy + 20 * std::cos(6 * fx) + noise;
      auto clamp = [](double v) {
        return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v));
      };
      row[3 * x] = clamp(bl);
      row[3 * x + 1] = clamp(g);
      row[3 * x + 2] = clamp(r);
    }
  }
  return bp;
}

std::unique_ptr<TBitmap> MakePattern(int Width, int Height, TPixelFormat Format) {
  auto bp = std::make_unique<TBitmap>();
  TBitmap& b = *bp;
  b.SetPixelFormat(Format);
  b.SetSize(Width, Height);
  const int bits = BitsPerPixel(Format);
  for (int y = 0; y < Height; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    std::int64_t used = (static_cast<std::int64_t>(Width) * bits + 7) / 8;
    for (std::int64_t i = 0; i < used; ++i)
      row[i] = static_cast<std::uint8_t>((i * 37 + y * 101 + (i * y) % 13) & 0xFF);
    // Clear the bits beyond the last pixel so that rows compare cleanly.
    if (int rest = static_cast<int>((static_cast<std::int64_t>(Width) * bits) % 8))
      row[used - 1] &= static_cast<std::uint8_t>(0xFF00 >> rest);
  }
  return bp;
}

double Psnr(const TBitmap& A, const TBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.Empty()) return 0;
  double sum = 0;
  for (int y = 0; y < A.Height(); ++y)
    for (int x = 0; x < A.Width(); ++x) {
      TColor a = A.GetPixel(x, y), b = B.GetPixel(x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        double d = double((a >> shift) & 0xFF) - double((b >> shift) & 0xFF);
        sum += d * d;
      }
    }
  double mse = sum / (3.0 * A.Width() * A.Height());
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

namespace {
std::string Quote(const std::string& S) {
  std::string q = "'";
  for (char c : S) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
}  // namespace

int RunPython(const std::string& Script, const std::vector<std::string>& Args,
              std::string* Output) {
  std::string cmd = "/usr/bin/python3 -c " + Quote(Script);
  for (const std::string& a : Args) cmd += " " + Quote(a);
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
    if (Output) Output->append(buf, n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ReadWithPillow(const std::string& FileName, TRgbImage& Image, std::string* Mode) {
  const std::string raw = FileName + ".rgb";
  std::string out;
  int rc = RunPython(
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.open(sys.argv[1])\n"
      "print(im.mode, im.size[0], im.size[1])\n"
      "open(sys.argv[2], 'wb').write(im.convert('RGB').tobytes())\n",
      {FileName, raw}, &out);
  if (rc != 0) return false;
  char mode[32] = {0};
  if (std::sscanf(out.c_str(), "%31s %d %d", mode, &Image.Width, &Image.Height) != 3) return false;
  if (Mode) *Mode = mode;
  Image.Rgb = ReadFile(raw);
  std::remove(raw.c_str());
  return Image.Rgb.size() == std::size_t(Image.Width) * Image.Height * 3;
}

TRgbImage ToRgb(const TBitmap& Bitmap) {
  TRgbImage img;
  img.Width = Bitmap.Width();
  img.Height = Bitmap.Height();
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) {
      TColor c = Bitmap.GetPixel(x, y);
      img.Rgb.push_back(GetRValue(c));
      img.Rgb.push_back(GetGValue(c));
      img.Rgb.push_back(GetBValue(c));
    }
  return img;
}

std::vector<std::uint8_t> ReadFile(const std::string& FileName) {
  std::ifstream f(FileName, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& FileName, const std::vector<std::uint8_t>& Data) {
  std::ofstream f(FileName, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

}  // namespace host::testing
