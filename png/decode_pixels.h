#pragma once
// Placing unfiltered PNG rows into bitmap scan lines. Greyscale and palette
// images land in 1, 4 or 8-bit indexed rows (2-bit samples as the 4-bit
// index 5v, 16-bit samples by their high byte, alpha dropped); colour images
// in 24-bit blue, green, red rows through an optional gamma table.

#include <cstdint>

namespace snapkit {

struct TRowFormat {
  std::uint8_t ColorType = 0;
  std::uint8_t BitDepth = 0;
  // File sample to display sample for colour types 2 and 6; null means the
  // identity.
  const std::uint8_t* Gamma = nullptr;
};

// The colour type and bit depth pairs that PNG allows; only these are placed.
bool IsValidFormat(std::uint8_t ColorType, std::uint8_t BitDepth);

// Bytes of one complete pixel in a PNG row of a valid format (1 for the
// packed sub-byte depths).
int SourcePixelBytes(const TRowFormat& Format);

// One full row of Width pixels, RowBytes bytes in Src. Writes nothing for a
// format PNG does not allow.
void PlaceRow(const TRowFormat& Format, std::uint8_t* Dest, const std::uint8_t* Src,
              std::int32_t RowBytes, std::int32_t Width);

// One row of an Adam7 pass: its pixels go to columns ColStart, ColStart +
// ColStep, ... (below Width); Mask names the pass's columns in each group of
// eight, bit 7 for the first. Other columns are left as they are.
void PlaceInterlacedRow(const TRowFormat& Format, std::uint8_t* Dest, const std::uint8_t* Src,
                        std::int32_t ColStart, std::int32_t ColStep, std::int32_t RowBytes,
                        std::uint8_t Mask, std::int32_t Width);

// Copies SrcBits-wide samples into the DestBits-wide fields of Count columns
// (1, 2, 4 or 8 bits, leftmost in the high bits), scaling each sample to the
// wider range. Only columns whose bit 7 - (c mod 8) is set in Mask take a
// sample, and only they consume one; other bits of Dest stay as they are.
void CopyPackedSamples(const std::uint8_t* Src, std::uint8_t* Dest, std::uint32_t Count,
                       std::uint8_t Mask, std::uint8_t SrcBits, std::uint8_t DestBits);

}  // namespace snapkit
