#pragma once
// Shared by the WebP and AVIF tests: real captures as bitmaps, files in
// memory, and the command-line programs of the formats' own projects as
// independent writers and readers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/graphics/bitmap.h"
#include "host/graphics/graphic.h"
#include "host/graphics/testing/images.h"

namespace host::testing {

// Part of a page captured by Chromium (bench/data/screenshot.png, 1920 x
// 1080), cut at X, Y to W x H and, when ToW is set, scaled by Pillow to
// ToW x ToH, as a thumbnail is.
std::unique_ptr<TBitmap> RealCapture(int X, int Y, int W, int H, int ToW = 0, int ToH = 0);
std::unique_ptr<TBitmap> FromRgb(const TRgbImage& Image);
// Writes Bitmap as a PNG file through Pillow (RGB, or RGBA from a 32-bit
// bitmap's fourth bytes).
void WritePngWithPillow(const TBitmap& Bitmap, const std::string& FileName, bool Alpha = false);

std::vector<std::uint8_t> SaveToBytes(TGraphic& Graphic);
void LoadFromBytes(TGraphic& Graphic, const std::vector<std::uint8_t>& Data);

// The same size and every pixel's colour the same.
bool SamePixels(const TBitmap& A, const TBitmap& B);

// Runs a program with arguments (no shell); its exit status, -1 when it
// cannot be started. Standard output and error go to Output.
int RunProgram(const std::vector<std::string>& Argv, std::string* Output = nullptr);
bool HaveProgram(const std::string& Name);

}  // namespace host::testing
