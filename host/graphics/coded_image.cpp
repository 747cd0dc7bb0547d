#include "host/graphics/coded_image.h"

#include <algorithm>
#include <string>

#include "host/graphics/bitmap.h"
#include "host/system/exception.h"
#include "host/system/stream.h"

namespace host {

namespace {

constexpr std::uint64_t kAlwaysAllowedBytes = std::uint64_t(64) << 20;
constexpr std::uint64_t kMaxExpansion = 1032;

// The whole rest of Stream.
std::vector<std::uint8_t> ReadRest(TStream& Stream) {
  std::vector<std::uint8_t> data;
  std::int64_t left = -1;
  try {
    left = Stream.Size() - Stream.Position();
  } catch (const EStreamError&) {
  }
  if (left >= 0) {
    data.resize(static_cast<std::size_t>(left));
    Stream.ReadBuffer(data.data(), left);
    return data;
  }
  std::uint8_t buf[65536];
  for (std::int32_t n; (n = Stream.Read(buf, sizeof buf)) > 0;)
    data.insert(data.end(), buf, buf + n);
  return data;
}

std::uint64_t AllowedBytes(std::size_t FileSize) {
  return std::max(kAlwaysAllowedBytes, std::uint64_t(FileSize) * kMaxExpansion);
}

}  // namespace

void CheckDeclaredSize(const char* Format, std::uint64_t Width, std::uint64_t Height,
                       int BitsPerPixel, std::size_t FileSize) {
  const std::string size = std::to_string(Width) + " x " + std::to_string(Height) + " pixels";
  const auto limit = std::uint64_t(TBitmap::MaxDimension);
  if (Width == 0 || Height == 0)
    throw EInvalidGraphic(std::string(Format) + " image is not valid: zero image size");
  if (Width > limit || Height > limit)
    throw EOutOfMemory(std::string("The ") + Format + " image is too large to load: " + size);
  const auto bytes = std::uint64_t(BytesPerScanLine(int(Width), BitsPerPixel)) * Height;
  if (bytes > std::uint64_t(TBitmap::MaxBytes))
    throw EOutOfMemory(std::string("The ") + Format + " image is too large to load: " + size);
  if (bytes > AllowedBytes(FileSize))
    throw EOutOfMemory(std::string("The ") + Format + " image is too large for its data: " + size +
                       " in " + std::to_string(FileSize) + " bytes");
}

TCodedImage::TCodedImage() : FBitmap(std::make_unique<TBitmap>()) {
  FBitmap->SetPixelFormat(pf24bit);
}
TCodedImage::~TCodedImage() = default;

void TCodedImage::SetCompressionQuality(int Value) {
  if (Value < 1 || Value > 100)
    throw EInvalidGraphicOperation(std::string(FormatName()) +
                                   " quality must be between 1 and 100");
  if (Value == FQuality) return;
  FQuality = Value;
  SettingsChanged();
}

void TCodedImage::SettingsChanged() {
  if (!FBitmap->Empty()) FData.clear();
}

bool TCodedImage::Empty() const { return FBitmap->Empty(); }
int TCodedImage::Width() const { return FBitmap->Width(); }
int TCodedImage::Height() const { return FBitmap->Height(); }

void TCodedImage::SetWidth(int) {
  throw EInvalidGraphicOperation(std::string("Cannot change the size of a ") + FormatName() +
                                 " image");
}
void TCodedImage::SetHeight(int) { SetWidth(0); }

const TBitmap& TCodedImage::Bitmap() const { return *FBitmap; }

void TCodedImage::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  if (auto* c = dynamic_cast<const TCodedImage*>(&Source); c && c->ClassType() == ClassType()) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*c->FBitmap);
    FData = c->FData;
    FBitmap = std::move(copy);
    FQuality = c->FQuality;
    FAlpha = c->FAlpha;
    AssignSettings(*c);
    return;
  }
  if (auto* b = dynamic_cast<const TBitmap*>(&Source)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*b);
    copy->SetPixelFormat(pf24bit);
    FBitmap = std::move(copy);
    FData.clear();
    FAlpha = false;
    return;
  }
  TGraphic::Assign(Source);
}

bool TCodedImage::AssignTo(TPersistent& Dest) const {
  if (auto* b = dynamic_cast<TBitmap*>(&Dest)) {
    b->Assign(*FBitmap);
    return true;
  }
  return false;
}

void TCodedImage::LoadFromStream(TStream& Stream) {
  std::vector<std::uint8_t> data = ReadRest(Stream);
  bool alpha = false;
  std::unique_ptr<TBitmap> bitmap = Decode(data, alpha);
  FBitmap = std::move(bitmap);
  FData = std::move(data);
  FAlpha = alpha;
}

void TCodedImage::SaveToStream(TStream& Stream) {
  if (FData.empty()) {
    if (FBitmap->Empty())
      throw EInvalidGraphicOperation(std::string("Cannot save an empty ") + FormatName() +
                                     " image");
    FData = Encode(*FBitmap, FAlpha);
  }
  Stream.WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size()));
}

void TCodedImage::Draw(TCanvas& Canvas, const TRect& Rect) { FBitmap->Draw(Canvas, Rect); }

}  // namespace host
