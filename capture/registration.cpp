// The package's registration with the designer, and its palette picture.

#include "capture/registration.h"

#include <cstdint>
#include <vector>

#include "capture/sitelens_published.h"
#include "host/forms/palette.h"
#include "host/graphics/bitmap.h"
#include "host/system/stream.h"

namespace snapkit {

const char* const PalettePage = "Corvane";

namespace {

// The palette picture: a page of text under a magnifying lens. One letter
// per pixel, top row first; the colours are the 16 of the classic palette,
// which every designer draws palette pictures with.
// clang-format off
constexpr const char* IconRows[24] = {
    "........................",
    "..kkkkkkkkk.............",
    "..kwwwwwwwkk............",
    "..kwwwwwwwkgk...........",
    "..kwgggggwkggk..........",
    "..kwwwwwwwkkkkk.........",
    "..kwwwwwwwwwwwk.........",
    "..kwgggggggggwbbb.......",
    "..kwwwwwwwwwbbbbbbb.....",
    "..kwwwwwwwwbbcccccbb....",
    "..kwggggggbbcwwccccbb...",
    "..kwwwwwwwbcwcccccccb...",
    "..kwwwwwwbbcccccccccbb..",
    "..kwgggggbbcccccccccbb..",
    "..kwwwwwwbbcccccccccbb..",
    "..kwwwwwwwbcccccccccb...",
    "..kwggggggbbcccccccbb...",
    "..kwwwwwwwwbbcccccbrk...",
    "..kwwwwwwwwwbbbbbbb.rk..",
    "..kwgggggggggwbbb....rk.",
    "..kwwwwwwwwwwwk.......rk",
    "..kkkkkkkkkkkkk........r",
    "........................",
    "........................",
};
// clang-format on

constexpr std::uint32_t IconPalette[16] = {  // 0x00RRGGBB
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

constexpr std::uint8_t IconIndex(char C) {
  switch (C) {
    case 'k':
      return 0;  // outlines
    case 'r':
      return 1;  // the handle
    case 'b':
      return 4;  // the lens's rim
    case 'g':
      return 8;  // text and the folded corner
    case 'c':
      return 14;  // glass
    case 'w':
      return 15;  // paper and the glint
    default:
      return 7;  // background: the lower-left pixel, drawn transparent
  }
}

constexpr int IconSide = 24;

// The picture as a BMP file, the form a bitmap resource has.
std::vector<std::uint8_t> IconFile() {
  host::TBitmap Icon;
  Icon.SetPixelFormat(host::pf4bit);
  host::LOGPALETTE Palette;
  for (std::uint32_t C : IconPalette)
    Palette.palPalEntry.push_back({std::uint8_t(C >> 16), std::uint8_t(C >> 8), std::uint8_t(C), 0});
  Icon.SetPalette(host::CreatePalette(Palette));
  Icon.SetSize(IconSide, IconSide);
  for (int Y = 0; Y < IconSide; ++Y) {
    std::uint8_t* Row = Icon.ScanLine(Y);
    for (int X = 0; X < IconSide; X += 2)
      Row[X / 2] =
          static_cast<std::uint8_t>(IconIndex(IconRows[Y][X]) << 4 | IconIndex(IconRows[Y][X + 1]));
  }
  host::TMemoryStream File;
  Icon.SaveToStream(File);
  return std::vector<std::uint8_t>(File.Memory(), File.Memory() + File.Size());
}

const char* const ResourceName = "TSITELENS";

// The picture is there from package load to unload; so is TSitelens on the
// palette once Register has put it there, as nothing of an unloaded
// package may stay behind.
struct TPackageResources {
  TPackageResources() {
    const auto File = IconFile();
    host::RegisterBitmapResource(ResourceName, File.data(), File.size());
  }
  ~TPackageResources() {
    host::UnregisterComponents({&SitelensClass});
    host::UnregisterBitmapResource(ResourceName);
  }
};

const TPackageResources Resources;

}  // namespace

void Register() { host::RegisterComponents(PalettePage, {&SitelensClass}); }

const char* PackageDescription() {
  return __cplusplus >= 202002L
             ? "snapkit: TSitelens, a live web-page thumbnail control, for the snapkit host "
               "framework runtime 5 (C++20)"
             : "snapkit: TSitelens, a live web-page thumbnail control, for the snapkit host "
               "framework runtime 4 (C++17)";
}

}  // namespace snapkit

void Register() { snapkit::Register(); }
const char* PackageDescription() { return snapkit::PackageDescription(); }
