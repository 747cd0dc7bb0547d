#pragma once
// A plain, slow resampler written straight from the rules (one output pixel
// at a time, row pass then column pass, each sum rounded to single by
// ExactSingleSum), kept to check the fast one against.

#include "imaging/testing/images.h"
#include "imaging/types.h"

namespace snapkit::testing {

TPlainImage ReferenceResample(const TPlainImage& Src, int NewWidth, int NewHeight,
                              TResampleFilter Filter, float FWidth);

}  // namespace snapkit::testing
