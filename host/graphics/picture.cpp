#include "host/graphics/picture.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "host/graphics/bitmap.h"
#include "host/graphics/jpeg.h"
#include "host/system/exception.h"

namespace host {

namespace {

struct TRegistry {
  std::mutex Lock;
  std::vector<TFileFormat> Formats;
};

// A function-local static, so that other libraries' static initialisers can
// register formats whatever the order in which libraries start.
TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

std::string Lower(std::string S) {
  for (char& c : S) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return S;
}

// The extension of the last path component, without the dot; empty if none.
std::string ExtensionOf(const std::string& FileName) {
  std::size_t slash = FileName.find_last_of('/');
  std::size_t dot = FileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return Lower(FileName.substr(dot + 1));
}

[[noreturn]] void UnknownExtension(const std::string& FileName) {
  std::string ext = ExtensionOf(FileName);
  throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
}

struct TBuiltInFormats {
  TBuiltInFormats() {
    TPicture::RegisterFileFormat("bmp", "Bitmaps", &TBitmap::ClassInfo);
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", &TJPEGImage::ClassInfo);
    TPicture::RegisterFileFormat("jpeg", "JPEG Image File", &TJPEGImage::ClassInfo);
  }
} builtInFormats;

}  // namespace

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  TGraphicClass GraphicClass) {
  if (!GraphicClass) throw EInvalidOperation("No graphic class for file format " + Extension);
  std::string ext = Lower(Extension);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  auto& f = r.Formats;
  f.erase(
      std::remove_if(f.begin(), f.end(), [&](const TFileFormat& x) { return x.Extension == ext; }),
      f.end());
  f.push_back({ext, Description, GraphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass GraphicClass) {
  if (!GraphicClass) return;
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  auto& f = r.Formats;
  f.erase(std::remove_if(
              f.begin(), f.end(),
              [&](const TFileFormat& x) { return x.GraphicClass->InheritsFrom(GraphicClass); }),
          f.end());
}

std::vector<TFileFormat> TPicture::FileFormats() {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  return r.Formats;
}

TGraphicClass TPicture::GraphicClassForFile(const std::string& FileName) {
  std::string ext = ExtensionOf(FileName);
  if (ext.empty()) return nullptr;
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.Lock);
  for (const TFileFormat& f : r.Formats)
    if (f.Extension == ext) return f.GraphicClass;
  return nullptr;
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

TBitmap& TPicture::Bitmap() {
  if (auto* b = dynamic_cast<TBitmap*>(FGraphic.get())) return *b;
  auto bitmap = std::make_unique<TBitmap>();
  if (FGraphic && !FGraphic->Empty()) bitmap->Assign(*FGraphic);
  FGraphic = std::move(bitmap);
  return static_cast<TBitmap&>(*FGraphic);
}

int TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }
int TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

void TPicture::LoadFromFile(const std::string& FileName) {
  TGraphicClass cls = GraphicClassForFile(FileName);
  if (!cls) UnknownExtension(FileName);
  std::unique_ptr<TGraphic> graphic = cls->Create();
  graphic->LoadFromFile(FileName);
  // Replaced only once the file has loaded, so a failure keeps the old picture.
  FGraphic = std::move(graphic);
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (!FGraphic) throw EInvalidGraphicOperation("Cannot save an empty picture");
  TGraphicClass cls = GraphicClassForFile(FileName);
  if (!cls) UnknownExtension(FileName);
  if (FGraphic->ClassType() == cls) {
    FGraphic->SaveToFile(FileName);
    return;
  }
  // Another format: convert through the registered class.
  std::unique_ptr<TGraphic> converted = cls->Create();
  try {
    converted->Assign(*FGraphic);
  } catch (const EConvertError&) {
    // No direct conversion: every graphic can become a bitmap.
    TBitmap pixels;
    pixels.Assign(*FGraphic);
    converted->Assign(pixels);
  }
  converted->SaveToFile(FileName);
}

void TPicture::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  if (auto* p = dynamic_cast<const TPicture*>(&Source)) {
    if (!p->FGraphic) {
      FGraphic.reset();
      return;
    }
    std::unique_ptr<TGraphic> copy = p->FGraphic->ClassType()->Create();
    copy->Assign(*p->FGraphic);
    FGraphic = std::move(copy);
    return;
  }
  if (auto* g = dynamic_cast<const TGraphic*>(&Source)) {
    std::unique_ptr<TGraphic> copy = g->ClassType()->Create();
    copy->Assign(*g);
    FGraphic = std::move(copy);
    return;
  }
  TPersistent::Assign(Source);
}

}  // namespace host
