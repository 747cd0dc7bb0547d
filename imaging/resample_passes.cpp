#include "imaging/resample_passes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// GCC 12 warns about the deliberately undefined upper halves inside its own
// AVX-512 conversion intrinsics.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

namespace snapkit {
namespace {

// The three implementations below differ only in how many values one
// instruction handles. A fused multiply-add rounds once, correctly, in every
// instruction set (and in the C library's fmaf), so all three give the same
// bytes.

constexpr int kLanes = kResampleLanes;

#define SNAPKIT_AVX2 __attribute__((target("avx2,fma")))
#define SNAPKIT_AVX512 __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq,avx2,fma")))
#define SNAPKIT_INLINE inline __attribute__((always_inline))

// ---- one value at a time

inline std::uint8_t ClampToByte(float Sum) {
  // 255 and up give 255; negative sums and NaN give 0; the rest truncate.
  if (Sum >= 255.0f) return 255;
  if (Sum >= 0.0f) return static_cast<std::uint8_t>(Sum);
  return 0;
}

void WidenScalar(const std::uint8_t* Src, std::ptrdiff_t Stride, int Count, float* Dst) {
  for (int c = 0; c < Count; ++c, Src += Stride, Dst += kLanes)
    for (int l = 0; l < kLanes; ++l) Dst[l] = Src[l];
}

template <int N>
void AccumulateScalar(const float* Base, const TContributor* const* Lists, const int* Counts,
                      std::uint8_t* const* Out) {
  for (int o = 0; o < N; ++o) {
    float sum[kLanes] = {};
    for (int j = 0; j < Counts[o]; ++j) {
      const float* p = Base + static_cast<std::ptrdiff_t>(Lists[o][j].Pixel) * kLanes;
      const float weight = Lists[o][j].Weight;
      for (int l = 0; l < kLanes; ++l) sum[l] = std::fma(p[l], weight, sum[l]);
    }
    for (int l = 0; l < kLanes; ++l) Out[o][l] = ClampToByte(sum[l]);
  }
}

// ---- AVX2: eight floats per instruction; two outputs at once keep twelve
// sums in flight, enough to hide the latency of the additions

SNAPKIT_AVX2 SNAPKIT_INLINE void Widen256(const std::uint8_t* Src, std::ptrdiff_t Stride, int Count,
                                          float* Dst) {
  for (int c = 0; c < Count; ++c, Src += Stride, Dst += kLanes)
#pragma GCC unroll 6
    for (int k = 0; k < kLanes / 8; ++k)
      _mm256_store_ps(Dst + 8 * k, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(
                                       reinterpret_cast<const __m128i*>(Src + 8 * k)))));
}

SNAPKIT_AVX2 SNAPKIT_INLINE void Step256(__m256* Sum, const float* Base, const TContributor& C) {
  const float* p = Base + static_cast<std::ptrdiff_t>(C.Pixel) * kLanes;
  const __m256 weight = _mm256_set1_ps(C.Weight);
#pragma GCC unroll 6
  for (int k = 0; k < kLanes / 8; ++k)
    Sum[k] = _mm256_fmadd_ps(_mm256_load_ps(p + 8 * k), weight, Sum[k]);
}

SNAPKIT_AVX2 SNAPKIT_INLINE void Store256(const __m256* Sum, std::uint8_t* Out) {
  const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f);
#pragma GCC unroll 3
  for (int k = 0; k < kLanes / 8; k += 2) {
    // max returns its second operand for NaN, so NaN becomes 0 too.
    const __m256i a = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(Sum[k], zero), top));
    const __m256i b = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(Sum[k + 1], zero), top));
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8);
    const __m128i bytes =
        _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + 8 * k), bytes);
  }
}

template <int N>
SNAPKIT_AVX2 SNAPKIT_INLINE void Accumulate256(const float* Base, const TContributor* const* Lists,
                                               const int* Counts, std::uint8_t* const* Out) {
  __m256 sum[N][kLanes / 8];
#pragma GCC unroll 4
  for (int o = 0; o < N; ++o)
#pragma GCC unroll 6
    for (int k = 0; k < kLanes / 8; ++k) sum[o][k] = _mm256_setzero_ps();
  int both = Counts[0];
  for (int o = 1; o < N; ++o) both = std::min(both, Counts[o]);
  for (int j = 0; j < both; ++j)
#pragma GCC unroll 4
    for (int o = 0; o < N; ++o) Step256(sum[o], Base, Lists[o][j]);
#pragma GCC unroll 4
  for (int o = 0; o < N; ++o) {
    for (int j = both; j < Counts[o]; ++j) Step256(sum[o], Base, Lists[o][j]);
    Store256(sum[o], Out[o]);
  }
}

// ---- AVX-512: sixteen floats per instruction, four outputs at once

SNAPKIT_AVX512 SNAPKIT_INLINE void Widen512(const std::uint8_t* Src, std::ptrdiff_t Stride,
                                            int Count, float* Dst) {
  for (int c = 0; c < Count; ++c, Src += Stride, Dst += kLanes)
#pragma GCC unroll 3
    for (int k = 0; k < kLanes / 16; ++k)
      _mm512_store_ps(Dst + 16 * k, _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_loadu_si128(
                                        reinterpret_cast<const __m128i*>(Src + 16 * k)))));
}

SNAPKIT_AVX512 SNAPKIT_INLINE void Step512(__m512* Sum, const float* Base, const TContributor& C) {
  const float* p = Base + static_cast<std::ptrdiff_t>(C.Pixel) * kLanes;
  const __m512 weight = _mm512_set1_ps(C.Weight);
#pragma GCC unroll 3
  for (int k = 0; k < kLanes / 16; ++k)
    Sum[k] = _mm512_fmadd_ps(_mm512_load_ps(p + 16 * k), weight, Sum[k]);
}

SNAPKIT_AVX512 SNAPKIT_INLINE void Store512(const __m512* Sum, std::uint8_t* Out) {
  const __m512 zero = _mm512_setzero_ps(), top = _mm512_set1_ps(255.0f);
#pragma GCC unroll 3
  for (int k = 0; k < kLanes / 16; ++k) {
    // max returns its second operand for NaN, so NaN becomes 0 too.
    const __m512i v = _mm512_cvttps_epi32(_mm512_min_ps(_mm512_max_ps(Sum[k], zero), top));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + 16 * k), _mm512_cvtepi32_epi8(v));
  }
}

template <int N>
SNAPKIT_AVX512 SNAPKIT_INLINE void Accumulate512(const float* Base,
                                                 const TContributor* const* Lists,
                                                 const int* Counts, std::uint8_t* const* Out) {
  __m512 sum[N][kLanes / 16];
#pragma GCC unroll 4
  for (int o = 0; o < N; ++o)
#pragma GCC unroll 3
    for (int k = 0; k < kLanes / 16; ++k) sum[o][k] = _mm512_setzero_ps();
  int both = Counts[0];
  for (int o = 1; o < N; ++o) both = std::min(both, Counts[o]);
  for (int j = 0; j < both; ++j)
#pragma GCC unroll 4
    for (int o = 0; o < N; ++o) Step512(sum[o], Base, Lists[o][j]);
#pragma GCC unroll 4
  for (int o = 0; o < N; ++o) {
    for (int j = both; j < Counts[o]; ++j) Step512(sum[o], Base, Lists[o][j]);
    Store512(sum[o], Out[o]);
  }
}

// ---- the passes: one sum of 48 values per output position, handed to
// Write(position, bytes); Fill(n) first makes sure that the first n source
// positions are widened in the scratch buffer. Group outputs are computed
// together; the rest one by one.

template <int Group, class TAccumulate, class TFill, class TWrite>
SNAPKIT_INLINE void Outputs(const float* Scratch, const TContributorTable& Table, TFill& Fill,
                            TWrite& Write, TAccumulate Accumulate,
                            void (*Single)(const float*, const TContributor* const*, const int*,
                                           std::uint8_t* const*)) {
  // Room after each output for the writers' four-byte reads.
  alignas(64) std::uint8_t out[Group][kLanes + 16];
  std::uint8_t* outs[Group];
  const TContributor* lists[Group];
  int counts[Group];
  for (int o = 0; o < Group; ++o) outs[o] = out[o];
  const int n = Table.Count();
  int i = 0;
  for (; i + Group <= n; i += Group) {
    Fill(Table.Reach(i + Group - 1));
    for (int o = 0; o < Group; ++o) {
      lists[o] = Table.List(i + o);
      counts[o] = Table.Size(i + o);
    }
    Accumulate(Scratch, lists, counts, outs);
    for (int o = 0; o < Group; ++o) Write(i + o, out[o]);
  }
  for (; i < n; ++i) {
    Fill(Table.Reach(i));
    lists[0] = Table.List(i);
    counts[0] = Table.Size(i);
    Single(Scratch, lists, counts, outs);
    Write(i, out[0]);
  }
}

SNAPKIT_AVX512 void Single512(const float* B, const TContributor* const* L, const int* C,
                              std::uint8_t* const* O) {
  Accumulate512<1>(B, L, C, O);
}
SNAPKIT_AVX2 void Single256(const float* B, const TContributor* const* L, const int* C,
                            std::uint8_t* const* O) {
  Accumulate256<1>(B, L, C, O);
}
void SingleScalar(const float* B, const TContributor* const* L, const int* C,
                  std::uint8_t* const* O) {
  AccumulateScalar<1>(B, L, C, O);
}

template <class TFill, class TWrite>
SNAPKIT_AVX512 void Outputs512(const float* Scratch, const TContributorTable& Table, TFill& Fill,
                               TWrite& Write) {
  Outputs<4>(
      Scratch, Table, Fill, Write,
      [](const float* B, const TContributor* const* L, const int* C, std::uint8_t* const* O)
          SNAPKIT_AVX512 { Accumulate512<4>(B, L, C, O); },
      Single512);
}

template <class TFill, class TWrite>
SNAPKIT_AVX2 void Outputs256(const float* Scratch, const TContributorTable& Table, TFill& Fill,
                             TWrite& Write) {
  Outputs<2>(
      Scratch, Table, Fill, Write,
      [](const float* B, const TContributor* const* L, const int* C, std::uint8_t* const* O)
          SNAPKIT_AVX2 { Accumulate256<2>(B, L, C, O); },
      Single256);
}

template <class TFill, class TWrite>
void OutputsScalar(const float* Scratch, const TContributorTable& Table, TFill& Fill,
                   TWrite& Write) {
  Outputs<1>(Scratch, Table, Fill, Write, SingleScalar, SingleScalar);
}

template <class TFill, class TWrite>
void AllOutputs(const float* Scratch, const TContributorTable& Table, TFill Fill, TWrite Write) {
  switch (ResampleVectorWidth()) {
    case 16:
      return Outputs512(Scratch, Table, Fill, Write);
    case 8:
      return Outputs256(Scratch, Table, Fill, Write);
    default:
      return OutputsScalar(Scratch, Table, Fill, Write);
  }
}

SNAPKIT_AVX512 void Widen512Pass(const std::uint8_t* S, std::ptrdiff_t St, int C, float* D) {
  Widen512(S, St, C, D);
}
SNAPKIT_AVX2 void Widen256Pass(const std::uint8_t* S, std::ptrdiff_t St, int C, float* D) {
  Widen256(S, St, C, D);
}

// Count groups of 48 bytes, Stride apart, to 48 floats each.
void Widen(const std::uint8_t* Src, std::ptrdiff_t Stride, int Count, float* Dst) {
  switch (ResampleVectorWidth()) {
    case 16:
      return Widen512Pass(Src, Stride, Count, Dst);
    case 8:
      return Widen256Pass(Src, Stride, Count, Dst);
    default:
      return WidenScalar(Src, Stride, Count, Dst);
  }
}

// Source columns are regrouped this many at a time, through a tile small
// enough to stay in the first-level cache.
constexpr int kTileColumns = 64;
// Bytes from one column of the tile to the next: the 48 values and room for
// writing each pixel with one four-byte store.
constexpr int kTileStride = 64;

// Columns X0 .. X0 + Count - 1 of the rows, column by column into Tile.
template <int Rows>
inline void Regroup(const std::uint8_t* const* SrcRows, int X0, int Count, int Width,
                    std::uint8_t* Tile) {
  // Four bytes at a time: the fourth lands where the next row's pixel (or the
  // column's spare room) is written right after. A row's last pixel is
  // copied on its own so as not to read past the bitmap.
  const int full = X0 + Count < Width ? Count : Count - 1;
  // The outputs computed between two tiles interrupt the streaming reads:
  // ask for the next tile's bytes now.
  const int ahead = std::min(Width - (X0 + Count), Count);
  for (int r = 0; r < Rows; ++r)
    for (int b = 0; b < 3 * ahead; b += 64) __builtin_prefetch(SrcRows[r] + 3 * (X0 + Count) + b);
  for (int x = 0; x < full; ++x)
    for (int r = 0; r < Rows; ++r)
      std::memcpy(Tile + x * kTileStride + 3 * r, SrcRows[r] + 3 * (X0 + x), 4);
  if (full < Count)
    for (int r = 0; r < Rows; ++r)
      std::memcpy(Tile + full * kTileStride + 3 * r, SrcRows[r] + 3 * (X0 + full), 3);
}

int BestVectorWidth() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("fma"))
    return 16;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return 8;
  return 1;
}

int& CurrentVectorWidth() {
  static int width = BestVectorWidth();
  return width;
}

}  // namespace

int ResampleVectorWidth() { return CurrentVectorWidth(); }

bool SetResampleVectorWidth(int Lanes) {
  if (Lanes != 1 && Lanes != 8 && Lanes != 16) return false;
  if (Lanes > BestVectorWidth()) return false;
  CurrentVectorWidth() = Lanes;
  return true;
}

void ResampleRowBlock(const std::uint8_t* const* SrcRows, int Rows, int Width, float* Scratch,
                      const TContributorTable& Table, std::uint8_t* const* OutRows) {
  // Rows of the tile beyond Rows hold stale values whose sums are dropped.
  alignas(64) std::uint8_t tile[kTileColumns * kTileStride] = {};
  int ready = 0;
  auto fill = [&](int Need) {
    while (ready < Need) {
      const int count = std::min(kTileColumns, Width - ready);
      if (Rows == kLanes / 3)
        Regroup<kLanes / 3>(SrcRows, ready, count, Width, tile);
      else
        for (int r = 0; r < Rows; ++r) Regroup<1>(SrcRows + r, ready, count, Width, tile + 3 * r);
      Widen(tile, kTileStride, count, Scratch + static_cast<std::ptrdiff_t>(ready) * kLanes);
      ready += count;
    }
  };
  // Four bytes per pixel where the fourth is overwritten by the next column
  // (the columns come in order); the last column's three on their own.
  const int last = Table.Count() - 1;
  auto write = [&](int I, const std::uint8_t* Values) {
    if (I < last)
      for (int r = 0; r < Rows; ++r) std::memcpy(OutRows[r] + 3 * I, Values + 3 * r, 4);
    else
      for (int r = 0; r < Rows; ++r) std::memcpy(OutRows[r] + 3 * I, Values + 3 * r, 3);
  };
  AllOutputs(Scratch, Table, fill, write);
}

void ResampleColumnStrip(const std::uint8_t* Strip, std::ptrdiff_t Stride, int Rows, float* Scratch,
                         const TContributorTable& Table, std::uint8_t* const* DstRows,
                         std::ptrdiff_t Offset, int Bytes) {
  int ready = 0;
  auto fill = [&](int Need) {
    if (ready >= Need) return;
    // A few rows ahead at a time, so that the widening runs in longer loops.
    const int until = std::min(Rows, std::max(Need, ready + kTileColumns));
    Widen(Strip + ready * Stride, Stride, until - ready,
          Scratch + static_cast<std::ptrdiff_t>(ready) * kLanes);
    ready = until;
  };
  auto write = [&](int I, const std::uint8_t* Values) {
    std::memcpy(DstRows[I] + Offset, Values, Bytes);
  };
  AllOutputs(Scratch, Table, fill, write);
}

}  // namespace snapkit
