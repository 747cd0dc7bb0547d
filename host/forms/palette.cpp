#include "host/forms/palette.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "host/graphics/bitmap.h"
#include "host/system/stream.h"

namespace host {

namespace {

std::string Upper(std::string S) {
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return std::toupper(C); });
  return S;
}

struct TRegistry {
  std::mutex Lock;
  std::vector<TPaletteItem> Items;
  std::map<std::string, std::vector<std::uint8_t>> Resources;
};

TRegistry& Registry() {
  static TRegistry R;
  return R;
}

}  // namespace

void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  for (TComponentClass C : Classes) {
    if (!C) continue;
    R.Items.erase(std::remove_if(R.Items.begin(), R.Items.end(),
                                 [&](const TPaletteItem& I) { return I.ComponentClass == C; }),
                  R.Items.end());
    R.Items.push_back({Page, C});
  }
}

void UnregisterComponents(const std::vector<TComponentClass>& Classes) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  R.Items.erase(std::remove_if(R.Items.begin(), R.Items.end(),
                               [&](const TPaletteItem& I) {
                                 return std::find(Classes.begin(), Classes.end(),
                                                  I.ComponentClass) != Classes.end();
                               }),
                R.Items.end());
}

std::vector<TPaletteItem> PaletteItems() {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  return R.Items;
}

TComponentClass FindComponentClass(const std::string& ClassName) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  for (const TPaletteItem& I : R.Items)
    if (Upper(std::string(I.ComponentClass->ClassName)) == Upper(ClassName))
      return I.ComponentClass;
  return nullptr;
}

void RegisterBitmapResource(const std::string& Name, const std::uint8_t* Data, std::size_t Size) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  R.Resources[Upper(Name)].assign(Data, Data + Size);
}

void UnregisterBitmapResource(const std::string& Name) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  R.Resources.erase(Upper(Name));
}

bool LoadBitmapResource(const std::string& Name, TBitmap& Bitmap) {
  std::vector<std::uint8_t> Data;
  {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> G(R.Lock);
    auto it = R.Resources.find(Upper(Name));
    if (it == R.Resources.end()) return false;
    Data = it->second;
  }
  TMemoryStream Stream;
  Stream.WriteBuffer(Data.data(), static_cast<std::int64_t>(Data.size()));
  Stream.SetPosition(0);
  Bitmap.LoadFromStream(Stream);
  return true;
}

}  // namespace host
