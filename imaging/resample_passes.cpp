#include "imaging/resample_passes.h"

#include <cstring>

// GCC 12 warns about the deliberately undefined upper halves inside its own
// AVX-512 conversion intrinsics.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

namespace snapkit {
namespace {

// The three implementations below differ only in how many channel values one
// instruction handles. Each sum is a float rounded after every addition; the
// product of a byte and a float weight is exact in double and is added in
// double, and these are correctly rounded IEEE operations in every
// instruction set, so all three give the same bytes.

inline std::uint8_t ClampToByte(float Sum) {
  // 255 and up give 255; negative sums and NaN give 0; the rest truncate.
  if (Sum >= 255.0f) return 255;
  if (Sum >= 0.0f) return static_cast<std::uint8_t>(Sum);
  return 0;
}

inline void AccumulateScalar(const std::uint8_t* Base, std::ptrdiff_t Step,
                             const TContributor* List, int Count, std::uint8_t* Out) {
  float sum[kResampleLanes] = {};
  for (int j = 0; j < Count; ++j) {
    const std::uint8_t* p = Base + static_cast<std::ptrdiff_t>(List[j].Pixel) * Step;
    const double weight = List[j].Weight;
    for (int l = 0; l < kResampleLanes; ++l) sum[l] = static_cast<float>(sum[l] + p[l] * weight);
  }
  for (int l = 0; l < kResampleLanes; ++l) Out[l] = ClampToByte(sum[l]);
}

#define SNAPKIT_AVX2 __attribute__((target("avx2"), always_inline))
#define SNAPKIT_AVX512 \
  __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq,avx2"), always_inline))

SNAPKIT_AVX2 inline void Accumulate256(const std::uint8_t* Base, std::ptrdiff_t Step,
                                       const TContributor* List, int Count, std::uint8_t* Out) {
  constexpr int kVectors = kResampleLanes / 4;
  __m128 sum[kVectors];
#pragma GCC unroll 12
  for (int k = 0; k < kVectors; ++k) sum[k] = _mm_setzero_ps();
  for (int j = 0; j < Count; ++j) {
    const std::uint8_t* p = Base + static_cast<std::ptrdiff_t>(List[j].Pixel) * Step;
    const __m256d weight = _mm256_set1_pd(List[j].Weight);
#pragma GCC unroll 12
    for (int k = 0; k < kVectors; ++k) {
      std::int32_t four;
      std::memcpy(&four, p + 4 * k, 4);
      const __m256d bytes = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(four)));
      sum[k] =
          _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(sum[k]), _mm256_mul_pd(bytes, weight)));
    }
  }
  const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f);
  for (int k = 0; k < kVectors; k += 4) {
    __m128i v[4];
    // max returns its second operand for NaN, so NaN becomes 0 too.
    for (int q = 0; q < 4; ++q)
      v[q] = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(sum[k + q], zero), top));
    const __m128i packed =
        _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + 4 * k), packed);
  }
}

SNAPKIT_AVX512 inline void Accumulate512(const std::uint8_t* Base, std::ptrdiff_t Step,
                                         const TContributor* List, int Count, std::uint8_t* Out) {
  constexpr int kVectors = kResampleLanes / 8;
  __m256 sum[kVectors];
#pragma GCC unroll 12
  for (int k = 0; k < kVectors; ++k) sum[k] = _mm256_setzero_ps();
  for (int j = 0; j < Count; ++j) {
    const std::uint8_t* p = Base + static_cast<std::ptrdiff_t>(List[j].Pixel) * Step;
    const __m512d weight = _mm512_set1_pd(List[j].Weight);
#pragma GCC unroll 12
    for (int k = 0; k < kVectors; ++k) {
      const __m512d bytes = _mm512_cvtepi32_pd(
          _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8 * k))));
      sum[k] =
          _mm512_cvtpd_ps(_mm512_add_pd(_mm512_cvtps_pd(sum[k]), _mm512_mul_pd(bytes, weight)));
    }
  }
  const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f);
  for (int k = 0; k < kVectors; k += 2) {
    // max returns its second operand for NaN, so NaN becomes 0 too.
    const __m256i a = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(sum[k], zero), top));
    const __m256i b = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(sum[k + 1], zero), top));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + 8 * k),
                     _mm512_cvtepi32_epi8(_mm512_inserti64x4(_mm512_castsi256_si512(a), b, 1)));
  }
}

// One function per instruction set, so that each is compiled for its own.
#define SNAPKIT_PASSES(Suffix, Attr, Acc)                                                     \
  Attr void RowBlock##Suffix(const std::uint8_t* Block, const TContributorTable& Table,       \
                             std::uint8_t* const* OutRows, int Rows) {                        \
    alignas(64) std::uint8_t out[kResampleLanes];                                             \
    const int n = Table.Count();                                                              \
    for (int i = 0; i < n; ++i) {                                                             \
      Acc(Block, kResampleLanes, Table.List(i), Table.Size(i), out);                          \
      for (int r = 0; r < Rows; ++r) std::memcpy(OutRows[r] + 3 * i, out + 3 * r, 3);         \
    }                                                                                         \
  }                                                                                           \
  Attr void ColumnStrip##Suffix(const std::uint8_t* Strip, std::ptrdiff_t Stride,             \
                                const TContributorTable& Table, std::uint8_t* const* DstRows, \
                                std::ptrdiff_t Offset, int Bytes) {                           \
    alignas(64) std::uint8_t out[kResampleLanes];                                             \
    const int n = Table.Count();                                                              \
    for (int i = 0; i < n; ++i) {                                                             \
      Acc(Strip, Stride, Table.List(i), Table.Size(i), out);                                  \
      std::memcpy(DstRows[i] + Offset, out, Bytes);                                           \
    }                                                                                         \
  }

SNAPKIT_PASSES(512, __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq,avx2"))),
               Accumulate512)
SNAPKIT_PASSES(256, __attribute__((target("avx2"))), Accumulate256)
SNAPKIT_PASSES(Scalar, , AccumulateScalar)

int BestVectorWidth() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq"))
    return 8;
  if (__builtin_cpu_supports("avx2")) return 4;
  return 2;
}

int& CurrentVectorWidth() {
  static int width = BestVectorWidth();
  return width;
}

}  // namespace

int ResampleVectorWidth() { return CurrentVectorWidth(); }

bool SetResampleVectorWidth(int Lanes) {
  if (Lanes != 2 && Lanes != 4 && Lanes != 8) return false;
  if (Lanes > BestVectorWidth()) return false;
  CurrentVectorWidth() = Lanes;
  return true;
}

void ResampleRowBlock(const std::uint8_t* Block, const TContributorTable& Table,
                      std::uint8_t* const* OutRows, int Rows) {
  switch (ResampleVectorWidth()) {
    case 8:
      return RowBlock512(Block, Table, OutRows, Rows);
    case 4:
      return RowBlock256(Block, Table, OutRows, Rows);
    default:
      return RowBlockScalar(Block, Table, OutRows, Rows);
  }
}

void ResampleColumnStrip(const std::uint8_t* Strip, std::ptrdiff_t Stride,
                         const TContributorTable& Table, std::uint8_t* const* DstRows,
                         std::ptrdiff_t Offset, int Bytes) {
  switch (ResampleVectorWidth()) {
    case 8:
      return ColumnStrip512(Strip, Stride, Table, DstRows, Offset, Bytes);
    case 4:
      return ColumnStrip256(Strip, Stride, Table, DstRows, Offset, Bytes);
    default:
      return ColumnStripScalar(Strip, Stride, Table, DstRows, Offset, Bytes);
  }
}

}  // namespace snapkit
