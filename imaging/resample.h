#pragma once
// Filtered resampling of 24-bit bitmaps with a separable kernel: each row is
// filtered into an intermediate image NewWidth wide, then each column of that
// into the target.

#include <cstdint>

#include "host/graphics/bitmap.h"
#include "imaging/filters.h"
#include "imaging/types.h"

namespace snapkit {

// Gives Dst the size NewWidth x NewHeight and fills it with Src resampled
// through Filter, whose half-width at scale 1 is FWidth source pixels (the
// kernel's support or more). Src is converted to 24 bits per pixel in place,
// unless it has no pixels: then Dst only gets its new size. Progress, when
// given, is called in four runs climbing from 0 towards 100: building the
// horizontal weights (once per output column), filtering rows (once per
// source row), building the vertical weights (once per output row), and
// filtering columns (once per output column).
//
// Channel sums are single-precision floats: each product of byte and weight
// and its addition are exact, and only the new sum is rounded to single
// (a fused multiply-add). The final sum is truncated into 0 .. 255. The
// bytes are the same on every machine, whatever instruction set is used.
// A negative size raises the bitmap's host::EInvalidGraphicOperation.
void Resample(host::TBitmap& Src, host::TBitmap& Dst, std::int32_t NewWidth, std::int32_t NewHeight,
              TResampleFilter Filter, float FWidth, TImageProgressProc Progress = nullptr);

}  // namespace snapkit
