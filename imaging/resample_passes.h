#pragma once
// The pixel loops of the resampler. Both passes work on 48 channel values at
// once (16 pixels of three bytes): the horizontal pass on 16 source rows
// regrouped so that one source column's 48 bytes are adjacent, the vertical
// pass on a strip 16 pixels wide. The bytes are widened to floats once, just
// before the first output that needs them, and every value's sum still runs
// over its contributors in table order, so the bytes written do not depend on
// the grouping.
//
// Each step of a sum is a fused multiply-add in single precision: the
// product of byte and weight and its addition to the sum are exact, and only
// the new sum is rounded to single.

#include <cstddef>
#include <cstdint>

#include "imaging/contributors.h"

namespace snapkit {

constexpr int kResampleLanes = 48;

// Floats per vector instruction the pixel loops use: 16 with AVX-512, 8 with
// AVX2 and FMA, else 1; chosen from the processor at start. Tests set a
// narrower one to check that every width gives the same bytes; false when
// the processor lacks it. Not for use while a resample runs.
int ResampleVectorWidth();
bool SetResampleVectorWidth(int Lanes);

// Filters up to 16 rows of Width pixels (SrcRows[r] for r < Rows) and writes
// output column i of row r to OutRows[r] + 3 i. Scratch has room for Width *
// kResampleLanes floats and is 64-byte aligned.
void ResampleRowBlock(const std::uint8_t* const* SrcRows, int Rows, int Width, float* Scratch,
                      const TContributorTable& Table, std::uint8_t* const* OutRows);

// Strip points at kResampleLanes readable bytes of row 0 of the intermediate
// image, which has Rows rows Stride bytes apart. Writes the first Bytes of
// output row i to DstRows[i] + Offset. Scratch as above, for Rows.
void ResampleColumnStrip(const std::uint8_t* Strip, std::ptrdiff_t Stride, int Rows, float* Scratch,
                         const TContributorTable& Table, std::uint8_t* const* DstRows,
                         std::ptrdiff_t Offset, int Bytes);

}  // namespace snapkit
