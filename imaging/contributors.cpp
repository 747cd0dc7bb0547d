#include "imaging/contributors.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "host/system/exception.h"
#include "host/system/numeric.h"
#include "imaging/numeric.h"

namespace snapkit {

float ResampleScale(int SrcSize, int NewSize) {
  if (SrcSize == 1) return static_cast<float>(static_cast<long double>(NewSize) / SrcSize);
  if (NewSize == 1) return static_cast<float>(1.0L / SrcSize);
  return static_cast<float>(static_cast<long double>(NewSize - 1) / (SrcSize - 1));
}

std::int32_t ReflectIndex(std::int64_t J, std::int32_t Size) {
  if (J >= 0 && J < Size) return static_cast<std::int32_t>(J);
  if (Size <= 1) return 0;
  // The two reflections together repeat with this period.
  std::int64_t period = 2 * static_cast<std::int64_t>(Size) - 1;
  std::int64_t m = J % period;
  if (m < 0) m += period;
  return static_cast<std::int32_t>(m < Size ? m : period - m);
}

TContributorTable TContributorTable::Build(int SrcSize, int NewSize, TResampleFilter Filter,
                                           float FWidth, TImageProgressProc Progress) {
  TContributorTable table;
  if (NewSize <= 0 || SrcSize <= 0) return table;
  const float scale = ResampleScale(SrcSize, NewSize);
  float width, fscale;
  if (scale < 1) {
    // Shrinking widens the kernel and scales its weights down to match.
    width = FWidth / scale;
    fscale = 1 / scale;
  } else {
    width = FWidth;
    fscale = 1;
  }
  if (std::isnan(width)) throw host::EConvertError("Invalid filter width");

  // A list holds every candidate from left to right, which can be one more
  // than 2 * width + 1 when the width is below the kernel's support.
  const long double room = std::floor(2.0L * width) + 3;
  if (room > static_cast<long double>(std::numeric_limits<std::int32_t>::max()) / NewSize)
    throw host::EOutOfMemory("Out of memory");
  try {
    table.FStart.reserve(static_cast<std::size_t>(NewSize) + 1);
    table.FReach.reserve(static_cast<std::size_t>(NewSize));
    if (room > 0) table.FEntries.reserve(static_cast<std::size_t>(room) * NewSize);
  } catch (const std::bad_alloc&) {
    throw host::EOutOfMemory("Out of memory");
  }

  // A single output pixel of a longer axis sits in the middle of it.
  const bool single = NewSize == 1 && SrcSize > 1;
  std::int32_t reach = 0;
  for (int i = 0; i < NewSize; ++i) {
    if (Progress)
      Progress(0, 100,
               static_cast<std::int32_t>(host::Round(static_cast<long double>(i) / NewSize * 100)));
    const float center = single ? static_cast<float>((SrcSize - 1) / 2.0L)
                                : static_cast<float>(static_cast<long double>(i) / scale);
    const std::int32_t left = xFloor(static_cast<long double>(center) - width);
    const std::int32_t right = xCeil(static_cast<long double>(center) + width);
    for (std::int64_t j = left; j <= right; ++j) {
      const float x = static_cast<float>((static_cast<long double>(center) - j) / fscale);
      const float weight = static_cast<float>(static_cast<long double>(Filter(x)) / fscale);
      if (weight == 0) continue;
      const std::int32_t pixel = ReflectIndex(j, SrcSize);
      table.FEntries.push_back({pixel, weight});
      if (pixel >= reach) reach = pixel + 1;
    }
    const std::int32_t end = static_cast<std::int32_t>(table.FEntries.size());
    if (end - table.FStart.back() > table.FMaxSize) table.FMaxSize = end - table.FStart.back();
    table.FStart.push_back(end);
    table.FReach.push_back(reach);
  }
  return table;
}

TContributorTable TContributorTable::FromLists(
    const std::vector<std::vector<TContributor>>& Lists) {
  TContributorTable table;
  std::int32_t reach = 0;
  for (const std::vector<TContributor>& list : Lists) {
    for (const TContributor& c : list) {
      table.FEntries.push_back(c);
      if (c.Pixel >= reach) reach = c.Pixel + 1;
    }
    table.FStart.push_back(static_cast<std::int32_t>(table.FEntries.size()));
    table.FReach.push_back(reach);
    table.FMaxSize = std::max(table.FMaxSize, static_cast<int>(list.size()));
  }
  return table;
}

}  // namespace snapkit
