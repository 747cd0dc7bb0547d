#include "imaging/resample.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "host/system/exception.h"
#include "host/system/numeric.h"
#include "imaging/contributors.h"
#include "imaging/resample_passes.h"

namespace snapkit {
namespace {

constexpr int kBlockRows = kResampleLanes / 3;

std::int32_t Percent(int Position, int Count) {
  return static_cast<std::int32_t>(host::Round(static_cast<long double>(Position) / Count * 100));
}

// Filters every row of Src into Inter (rows Stride bytes apart), 16 rows at a
// time.
void HorizontalPass(host::TBitmap& Src, const TContributorTable& Table, std::uint8_t* Inter,
                    std::ptrdiff_t Stride, float* Scratch, TImageProgressProc Progress) {
  const int w = Src.Width();
  const int h = Src.Height();
  for (int k0 = 0; k0 < h; k0 += kBlockRows) {
    const int count = std::min(kBlockRows, h - k0);
    if (Progress)
      for (int r = 0; r < count; ++r) Progress(0, 100, Percent(k0 + r, h));
    const std::uint8_t* src[kBlockRows];
    std::uint8_t* rows[kBlockRows];
    for (int r = 0; r < count; ++r) {
      src[r] = Src.ScanLine(k0 + r);
      rows[r] = Inter + (k0 + r) * Stride;
    }
    ResampleRowBlock(src, count, w, Scratch, Table, rows);
  }
}

// Filters the columns of Inter into Dst in strips 16 pixels wide. The
// progress calls of a strip come before it is filtered; when one raises,
// the columns before it are still written, as column-by-column work would.
void VerticalPass(const std::uint8_t* Inter, std::ptrdiff_t Stride, int Rows, int NewWidth,
                  float* Scratch, const TContributorTable& Table, host::TBitmap& Dst,
                  TImageProgressProc Progress) {
  if (NewWidth == 0) return;
  std::vector<std::uint8_t*> dst(static_cast<std::size_t>(Table.Count()));
  for (int i = 0; i < Table.Count(); ++i) dst[i] = Dst.ScanLine(i);
  for (int col0 = 0; col0 < NewWidth; col0 += kBlockRows) {
    const int cols = std::min(kBlockRows, NewWidth - col0);
    int ready = cols;
    std::exception_ptr failure;
    if (Progress) {
      for (int c = 0; c < cols && !failure; ++c) {
        try {
          Progress(0, 100, Percent(col0 + c, NewWidth));
        } catch (...) {
          failure = std::current_exception();
          ready = c;
        }
      }
    }
    if (ready > 0)
      ResampleColumnStrip(Inter + 3 * col0, Stride, Rows, Scratch, Table, dst.data(), 3 * col0,
                          3 * ready);
    if (failure) std::rethrow_exception(failure);
  }
}

void ResampleInto(host::TBitmap& Src, host::TBitmap& Dst, int NewWidth, int NewHeight,
                  TResampleFilter Filter, float FWidth, TImageProgressProc Progress) {
  const int w = Src.Width();
  const int h = Src.Height();
  // Rows padded to whole strips, so that the last strip reads inside.
  const std::ptrdiff_t stride = (static_cast<std::ptrdiff_t>(NewWidth) * 3 + kResampleLanes - 1) /
                                kResampleLanes * kResampleLanes;
  std::vector<std::uint8_t> inter(static_cast<std::size_t>(stride) * h);
  // The widened values of one row block or column strip, cache-line aligned.
  std::vector<float> scratch(static_cast<std::size_t>(std::max(w, h)) * kResampleLanes + 16);
  float* aligned = scratch.data();
  while (reinterpret_cast<std::uintptr_t>(aligned) % 64) ++aligned;

  Src.SetPixelFormat(host::pf24bit);
  Dst.SetPixelFormat(Src.PixelFormat());
  {
    const TContributorTable table = TContributorTable::Build(w, NewWidth, Filter, FWidth, Progress);
    HorizontalPass(Src, table, inter.data(), stride, aligned, Progress);
  }
  const TContributorTable table = TContributorTable::Build(h, NewHeight, Filter, FWidth, Progress);
  VerticalPass(inter.data(), stride, h, NewWidth, aligned, table, Dst, Progress);
}

}  // namespace

void Resample(host::TBitmap& Src, host::TBitmap& Dst, std::int32_t NewWidth, std::int32_t NewHeight,
              TResampleFilter Filter, float FWidth, TImageProgressProc Progress) {
  if (&Src == &Dst) {
    // Reading and writing one bitmap would overwrite pixels still to be read.
    host::TBitmap copy;
    copy.Assign(Src);
    Resample(copy, Dst, NewWidth, NewHeight, Filter, FWidth, Progress);
    return;
  }
  Dst.SetWidth(NewWidth);
  Dst.SetHeight(NewHeight);
  if (Src.Width() < 1 || Src.Height() < 1) return;
  try {
    ResampleInto(Src, Dst, NewWidth, NewHeight, Filter, FWidth, Progress);
  } catch (const std::bad_alloc&) {
    throw host::EOutOfMemory("Out of memory");
  }
}

}  // namespace snapkit
