#pragma once
// The pixel loops of the resampler. Both passes work on 48 channel values at
// once (16 pixels of three bytes): the horizontal pass on 16 source rows
// regrouped so that one source column's 48 bytes are adjacent, the vertical
// pass on a strip 16 pixels wide. Every value's sum still runs over its
// contributors in table order, so the bytes do not depend on the grouping.

#include <cstddef>
#include <cstdint>

#include "imaging/contributors.h"

namespace snapkit {

constexpr int kResampleLanes = 48;

// Doubles per vector instruction the pixel loops use: 8 with AVX-512, 4 with
// AVX2, else 2; chosen from the processor at start. Tests set a narrower
// one to check that every width gives the same bytes; false when the
// processor lacks it. Not for use while a resample runs.
int ResampleVectorWidth();
bool SetResampleVectorWidth(int Lanes);

// Block holds the source columns of up to 16 rows, kResampleLanes bytes per
// column (row r at offset 3 r). Writes output column i of row r to
// OutRows[r] + 3 i for r < Rows.
void ResampleRowBlock(const std::uint8_t* Block, const TContributorTable& Table,
                      std::uint8_t* const* OutRows, int Rows);

// Strip points at kResampleLanes readable bytes of row 0 of the
// intermediate image, Stride bytes apart from row to row. Writes the first
// Bytes of output row i to DstRows[i] + Offset.
void ResampleColumnStrip(const std::uint8_t* Strip, std::ptrdiff_t Stride,
                         const TContributorTable& Table, std::uint8_t* const* DstRows,
                         std::ptrdiff_t Offset, int Bytes);

}  // namespace snapkit
