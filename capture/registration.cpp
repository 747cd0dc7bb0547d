// The package's registration with the designer, and its palette picture.

#include "capture/registration.h"

#include <array>
#include <cstdint>

#include "capture/sitelens_published.h"
#include "host/forms/palette.h"

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
constexpr int IconRowBytes = IconSide / 2;  // 4 bits a pixel, already a multiple of 4
constexpr int IconHeaderBytes = 14 + 40 + 16 * 4;
constexpr int IconFileBytes = IconHeaderBytes + IconRowBytes * IconSide;

void Put16(std::uint8_t* P, std::uint32_t V) {
  P[0] = static_cast<std::uint8_t>(V);
  P[1] = static_cast<std::uint8_t>(V >> 8);
}
void Put32(std::uint8_t* P, std::uint32_t V) {
  Put16(P, V);
  Put16(P + 2, V >> 16);
}

// The picture as a BMP file, the form a bitmap resource has.
std::array<std::uint8_t, IconFileBytes> IconFile() {
  std::array<std::uint8_t, IconFileBytes> F{};
  std::uint8_t* P = F.data();
  P[0] = 'B';
  P[1] = 'M';
  Put32(P + 2, IconFileBytes);
  Put32(P + 10, IconHeaderBytes);
  Put32(P + 14, 40);
  Put32(P + 18, IconSide);
  Put32(P + 22, IconSide);  // positive: rows stored bottom-up
  Put16(P + 26, 1);
  Put16(P + 28, 4);
  Put32(P + 34, IconRowBytes * IconSide);
  Put32(P + 46, 16);
  for (int I = 0; I < 16; ++I) Put32(P + 54 + 4 * I, IconPalette[I]);  // B, G, R, 0
  for (int Y = 0; Y < IconSide; ++Y) {
    std::uint8_t* Row = P + IconHeaderBytes + (IconSide - 1 - Y) * IconRowBytes;
    for (int X = 0; X < IconSide; X += 2)
      Row[X / 2] =
          static_cast<std::uint8_t>(IconIndex(IconRows[Y][X]) << 4 | IconIndex(IconRows[Y][X + 1]));
  }
  return F;
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
