#pragma once
// The row loops of the comparison that run in vector code where the
// processor has it: finding the next pixel that differs, and the faded grey
// copy of a row for the diff picture.

#include <cstdint>

namespace snapkit {

// Index of the first pixel at or after X (0 <= X <= Width) where the two
// rows of 24-bit pixels differ; Width when none does.
int FirstDifferentPixel(const std::uint8_t* A, const std::uint8_t* B, int X, int Width);

// Out's pixels become pixelmatch's grey of Row's: 255 + (Y - 255) * Alpha,
// Y the pixel's luma, truncated; all three bytes alike.
void FadedGreyRow(const std::uint8_t* Row, int Width, double Alpha, std::uint8_t* Out);

// The processor's best width (8 or 1) and the width in use.
int BestDiffWidth();
extern int DiffWidthInUse;

}  // namespace snapkit
