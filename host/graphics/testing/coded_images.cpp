#include "host/graphics/testing/coded_images.h"

#include <unistd.h>

#include <cstdio>

#include "host/system/stream.h"

namespace host::testing {

std::unique_ptr<TBitmap> FromRgb(const TRgbImage& Image) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(Image.Width, Image.Height);
  for (int y = 0; y < Image.Height; ++y) {
    std::uint8_t* row = b->ScanLine(y);
    const std::uint8_t* p = &Image.Rgb[std::size_t(y) * Image.Width * 3];
    for (int x = 0; x < Image.Width; ++x, p += 3, row += 3) {
      row[0] = p[2];
      row[1] = p[1];
      row[2] = p[0];
    }
  }
  return b;
}

std::unique_ptr<TBitmap> RealCapture(int X, int Y, int W, int H, int ToW, int ToH) {
  TScratchDir dir;
  const std::string cut = dir.File("cut.png");
  const int rc = RunPython(
      "import sys\nfrom PIL import Image\n"
      "x, y, w, h, tw, th = map(int, sys.argv[2:8])\n"
      "im = Image.open(sys.argv[1]).convert('RGB').crop((x, y, x + w, y + h))\n"
      "if tw: im = im.resize((tw, th), Image.LANCZOS)\n"
      "im.save(sys.argv[8])\n",
      {std::string(SNAPKIT_SOURCE_DIR) + "/bench/data/screenshot.png", std::to_string(X),
       std::to_string(Y), std::to_string(W), std::to_string(H), std::to_string(ToW),
       std::to_string(ToH), cut});
  TRgbImage image;
  if (rc != 0 || !ReadWithPillow(cut, image)) return nullptr;
  return FromRgb(image);
}

void WritePngWithPillow(const TBitmap& Bitmap, const std::string& FileName, bool Alpha) {
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < Bitmap.Height(); ++y) {
    const std::uint8_t* p = Bitmap.ScanLine(y);
    const int step = Bitmap.PixelFormat() == pf24bit ? 3 : 4;
    for (int x = 0; x < Bitmap.Width(); ++x, p += step) {
      raw.insert(raw.end(), {p[2], p[1], p[0]});
      if (Alpha) raw.push_back(p[3]);
    }
  }
  WriteFile(FileName + ".raw", raw);
  RunPython(
      "import sys\nfrom PIL import Image\n"
      "Image.frombytes(sys.argv[2], (int(sys.argv[3]), int(sys.argv[4])),"
      " open(sys.argv[1] + '.raw', 'rb').read()).save(sys.argv[1])\n",
      {FileName, Alpha ? "RGBA" : "RGB", std::to_string(Bitmap.Width()),
       std::to_string(Bitmap.Height())});
  std::remove((FileName + ".raw").c_str());
}

std::vector<std::uint8_t> SaveToBytes(TGraphic& Graphic) {
  TMemoryStream m;
  Graphic.SaveToStream(m);
  return std::vector<std::uint8_t>(m.Memory(), m.Memory() + m.Size());
}

void LoadFromBytes(TGraphic& Graphic, const std::vector<std::uint8_t>& Data) {
  TMemoryStream m;
  if (!Data.empty()) m.WriteBuffer(Data.data(), std::int64_t(Data.size()));
  m.SetPosition(0);
  Graphic.LoadFromStream(m);
}

bool SamePixels(const TBitmap& A, const TBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height()) return false;
  for (int y = 0; y < A.Height(); ++y)
    for (int x = 0; x < A.Width(); ++x)
      if ((A.GetPixel(x, y) & 0xFFFFFF) != (B.GetPixel(x, y) & 0xFFFFFF)) return false;
  return true;
}

int RunProgram(const std::vector<std::string>& Argv, std::string* Output) {
  std::string out;
  const int rc = RunPython(
      "import subprocess, sys\n"
      "try:\n"
      "  r = subprocess.run(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)\n"
      "except OSError as e:\n"
      "  print(e); sys.exit(255)\n"
      "sys.stdout.buffer.write(r.stdout)\n"
      "sys.exit(r.returncode & 255)\n",
      Argv, &out);
  if (Output) *Output += out;
  return rc == 255 ? -1 : rc;
}

bool HaveProgram(const std::string& Name) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
    if (::access((std::string(dir) + Name).c_str(), X_OK) == 0) return true;
  return false;
}

}  // namespace host::testing
