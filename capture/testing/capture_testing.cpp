#include "capture/testing/capture_testing.h"

#include <fstream>

#include "host/graphics/picture.h"

namespace snapkit::testing {

TLens::TLens() : Form(std::make_unique<host::TComponent>(nullptr)) {
  Lens = new TSitelens(Form.get());
  Lens->OnWebImageReady = [this](host::TObject*, const std::string& Url) {
    host::TBitmap& B = Lens->Image().Picture().Bitmap();
    Ready.push_back({Url, B.Width(), B.Height()});
  };
  Lens->OnCaptureError = [this](host::TObject*, const std::string&, const std::string& Message) {
    Errors.push_back(Message);
  };
}

TLens::~TLens() = default;

bool TLens::WaitReady(int Count, int TimeoutMs) {
  std::size_t Want = Count < 0 ? Ready.size() + 1 : static_cast<std::size_t>(Count);
  return host::Application->RunUntil([&] { return Ready.size() >= Want; }, TimeoutMs);
}

void TLens::Settle(int Ms) {
  host::Application->RunUntil([] { return false; }, Ms);
}

host::TBitmap& Shown(TSitelens& Lens) { return Lens.Image().Picture().Bitmap(); }

unsigned PixelAt(const host::TBitmap& Bitmap, int X, int Y) {
  host::TColor C = Bitmap.GetPixel(X, Y);
  // TColor is 0x00BBGGRR.
  return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
}

std::string FileUrl(const std::string& Dir, const std::string& Name, const std::string& Html) {
  std::string Path = Dir + "/" + Name;
  std::ofstream(Path, std::ios::binary) << Html;
  return "file://" + Path;
}

}  // namespace snapkit::testing
