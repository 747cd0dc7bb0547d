#pragma once
// Shared by the codec's tests: building and taking apart PNG files with zlib
// and libpng as independent tools, and test bitmaps.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/graphics/bitmap.h"
#include "png/errors.h"
#include "png/png_image.h"

namespace snapkit::testing {

using TBytes = std::vector<std::uint8_t>;

struct TRawChunk {
  std::string Type;
  TBytes Data;
  std::uint32_t CRC = 0;  // as stored in the file
};

TBytes SaveToBytes(TPNGImage& Image);
void LoadFromBytes(TPNGImage& Image, const TBytes& File);

// The chunks of a file after its signature (fails the test on a bad signature).
std::vector<TRawChunk> SplitChunks(const TBytes& File);
std::vector<std::string> ChunkTypes(const TBytes& File);
// A framed chunk with zlib's CRC.
TBytes FrameChunk(const std::string& Type, const TBytes& Data);
// Signature followed by the given framed chunks.
TBytes BuildFile(const std::vector<TBytes>& Chunks);
// A 13-byte header.
TBytes HeaderData(std::uint32_t Width, std::uint32_t Height, std::uint8_t BitDepth,
                  std::uint8_t ColorType, std::uint8_t Interlace = 0);

TBytes Inflate(const TBytes& Compressed);
TBytes Deflate(const TBytes& Plain);
// All IDAT data of a file, concatenated and inflated.
TBytes InflatedImageData(const TBytes& File);

struct TLibpngResult {
  bool Ok = false;
  std::string Error;
  std::uint32_t Width = 0, Height = 0;
  int BitDepth = 0, ColorType = 0, Interlace = 0;
  std::vector<host::PALETTEENTRY> Palette;  // flags 0
  bool HasGamma = false;
  std::vector<TBytes> Rows;  // unfiltered (and de-interlaced): packed samples
};
// Decodes with libpng, no transformations.
TLibpngResult DecodeWithLibpng(const TBytes& File);

// Bitmaps with reproducible pseudo-random content.
void FillPalette(host::TBitmap& Bitmap, unsigned Entries, unsigned Seed);
std::unique_ptr<host::TBitmap> MakeIndexedBitmap(host::TPixelFormat Format, int Width, int Height,
                                                 unsigned Seed);
// Noise mixed with flat runs, so that every filter gets chosen somewhere.
std::unique_ptr<host::TBitmap> MakeRGBBitmap(host::TPixelFormat Format, int Width, int Height,
                                             unsigned Seed);

// Runs Function and returns the codec error's message ("" when none was raised).
template <class F>
std::string PNGErrorOf(F&& Function) {
  try {
    Function();
  } catch (const EPNGImageException& e) {
    return e.Message();
  }
  return "";
}

// Palette index of pixel X in a packed row of Bits bits per pixel.
unsigned PackedIndex(const std::uint8_t* Row, int X, int Bits);

}  // namespace snapkit::testing
