#pragma once
// A fixture for tests that run the resampler at every vector width the
// processor has, and restores its own width afterwards.

#include <gtest/gtest.h>

#include <vector>

#include "imaging/resample_passes.h"

namespace snapkit::testing {

class VectorWidths : public ::testing::Test {
 protected:
  void TearDown() override { SetResampleVectorWidth(best_); }
  std::vector<int> Supported() {
    std::vector<int> widths;
    for (int w : {1, 8, 16})
      if (SetResampleVectorWidth(w)) widths.push_back(w);
    SetResampleVectorWidth(best_);
    return widths;
  }
  int best_ = ResampleVectorWidth();
};

}  // namespace snapkit::testing
