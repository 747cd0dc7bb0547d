#pragma once
// Contributor tables: for each output position of one axis, the source
// positions that feed it and their weights. Built once per axis so that the
// pixel loops only multiply and add.

#include <cstdint>
#include <vector>

#include "imaging/types.h"

namespace snapkit {

struct TContributor {
  std::int32_t Pixel;  // source column or row, always inside the source
  float Weight;        // never 0
};

class TContributorTable {
 public:
  // Output positions of the axis.
  int Count() const { return static_cast<int>(FStart.size()) - 1; }
  int Size(int I) const { return FStart[I + 1] - FStart[I]; }
  const TContributor* List(int I) const { return FEntries.data() + FStart[I]; }
  // One more than the largest source position that lists 0 .. I read.
  int Reach(int I) const { return FReach[I]; }
  // The most entries any one list holds.
  int MaxSize() const { return FMaxSize; }

  // One list per output position 0 .. NewSize - 1 for an axis of SrcSize
  // source pixels, calling Progress(0, 100, position) before each one.
  // Raises host::EOutOfMemory when the lists would not fit in memory and
  // host::EConvertError for a filter width that is not a number.
  static TContributorTable Build(int SrcSize, int NewSize, TResampleFilter Filter, float FWidth,
                                 TImageProgressProc Progress);

  // A table of the given lists, as they are.
  static TContributorTable FromLists(const std::vector<std::vector<TContributor>>& Lists);

 private:
  std::vector<std::int32_t> FStart{0};
  std::vector<TContributor> FEntries;
  std::vector<std::int32_t> FReach;
  int FMaxSize = 0;
};

// The axis scale: NewSize / SrcSize for a one-pixel source, else
// (NewSize - 1) / (SrcSize - 1), which maps the first and last output pixels
// onto the first and last source pixels. A single output pixel of a longer
// source uses 1 / SrcSize: it stands for the whole axis.
float ResampleScale(int SrcSize, int NewSize);

// Where index J of the extended source lies inside 0 .. Size - 1. The left
// border reflects without repeating the edge pixel (-1 reads 1), the right
// one with it (Size reads Size - 1); indices beyond a second border keep
// reflecting, so even tiny sources are never read outside.
std::int32_t ReflectIndex(std::int64_t J, std::int32_t Size);

}  // namespace snapkit
