#include "imaging/testing/reference_resample.h"

#include <cmath>
#include <vector>

#include "imaging/testing/exact_sum.h"

namespace snapkit::testing {
namespace {

struct TEntry {
  int Pixel;
  float Weight;
};

// Left border: -j; right border: 2S - 1 - j; repeated while still outside.
int Reflect(long long J, int S) {
  while (J < 0 || J >= S) J = J < 0 ? -J : 2LL * S - 1 - J;
  return static_cast<int>(J);
}

std::vector<std::vector<TEntry>> Lists(int S, int N, TResampleFilter Filter, float FWidth) {
  float scale;
  if (S == 1)
    scale = static_cast<float>(static_cast<long double>(N) / S);
  else if (N == 1)
    scale = static_cast<float>(1.0L / S);
  else
    scale = static_cast<float>(static_cast<long double>(N - 1) / (S - 1));
  float width = FWidth, fscale = 1;
  if (scale < 1) {
    width = FWidth / scale;
    fscale = 1 / scale;
  }
  std::vector<std::vector<TEntry>> lists(N);
  for (int i = 0; i < N; ++i) {
    float center = (N == 1 && S > 1) ? static_cast<float>((S - 1) / 2.0L)
                                     : static_cast<float>(static_cast<long double>(i) / scale);
    long long left = static_cast<long long>(std::floor(static_cast<long double>(center) - width));
    long long right = static_cast<long long>(std::ceil(static_cast<long double>(center) + width));
    for (long long j = left; j <= right; ++j) {
      float w = static_cast<float>(
          Filter(static_cast<float>((static_cast<long double>(center) - j) / fscale)) /
          static_cast<long double>(fscale));
      if (w != 0) lists[i].push_back({Reflect(j, S), w});
    }
  }
  return lists;
}

std::uint8_t Clamp(float Sum) {
  if (Sum >= 255) return 255;
  if (Sum < 0) return 0;
  return static_cast<std::uint8_t>(std::trunc(Sum));
}

}  // namespace

TPlainImage ReferenceResample(const TPlainImage& Src, int NewWidth, int NewHeight,
                              TResampleFilter Filter, float FWidth) {
  TPlainImage dst = MakeImage(NewWidth, NewHeight);
  if (Src.Width < 1 || Src.Height < 1) return dst;
  TPlainImage inter = MakeImage(NewWidth, Src.Height);
  auto across = Lists(Src.Width, NewWidth, Filter, FWidth);
  for (int k = 0; k < Src.Height; ++k)
    for (int i = 0; i < NewWidth; ++i)
      for (int c = 0; c < 3; ++c) {
        float sum = 0;
        for (const TEntry& e : across[i])
          sum = ExactSingleSum(sum, Src.Pixel(e.Pixel, k)[c], e.Weight);
        inter.Pixel(i, k)[c] = Clamp(sum);
      }
  auto down = Lists(Src.Height, NewHeight, Filter, FWidth);
  for (int k = 0; k < NewWidth; ++k)
    for (int i = 0; i < NewHeight; ++i)
      for (int c = 0; c < 3; ++c) {
        float sum = 0;
        for (const TEntry& e : down[i])
          sum = ExactSingleSum(sum, inter.Pixel(k, e.Pixel)[c], e.Weight);
        dst.Pixel(k, i)[c] = Clamp(sum);
      }
  return dst;
}

}  // namespace snapkit::testing
