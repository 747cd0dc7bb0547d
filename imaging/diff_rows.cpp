#include "imaging/diff_rows.h"

#include <immintrin.h>

#include <cstddef>
#include <cstring>

namespace snapkit {
namespace {

#define SNAPKIT_AVX2 __attribute__((target("avx2")))

// ---- without vector code; eight bytes at a time

int FirstDifferentScalar(const std::uint8_t* A, const std::uint8_t* B, int X, int Width) {
  std::size_t i = 3 * std::size_t(X);
  const std::size_t end = 3 * std::size_t(Width);
  for (; i + 8 <= end; i += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, A + i, 8);
    std::memcpy(&b, B + i, 8);
    if (a != b) break;
  }
  for (; i < end; ++i)
    if (A[i] != B[i]) return int(i / 3);
  return Width;
}

// pixelmatch's expression in its order: 255 + (Y - 255) * alpha * a / 255
// with an opaque a, stored into a byte array (which truncates).
inline std::uint8_t FadedGrey(const std::uint8_t* P, double Alpha) {
  const double y = P[2] * 0.29889531 + P[1] * 0.58662247 + P[0] * 0.11448223;
  return std::uint8_t(255 + (y - 255) * Alpha * 255 / 255);
}

void FadedGreyScalar(const std::uint8_t* Row, int X, int Width, double Alpha, std::uint8_t* Out) {
  for (; X < Width; ++X) {
    const std::uint8_t v = FadedGrey(Row + 3 * X, Alpha);
    Out[3 * X] = Out[3 * X + 1] = Out[3 * X + 2] = v;
  }
}

// ---- AVX2: 64 bytes per compare step, four pixels per grey step. The
// grey is the same double arithmetic in the same order, so the same bytes.

SNAPKIT_AVX2 int FirstDifferentAVX2(const std::uint8_t* A, const std::uint8_t* B, int X,
                                    int Width) {
  std::size_t i = 3 * std::size_t(X);
  const std::size_t end = 3 * std::size_t(Width);
  for (; i + 64 <= end; i += 64) {
    const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(A + i));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + i));
    const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(A + i + 32));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + i + 32));
    const __m256i same = _mm256_and_si256(_mm256_cmpeq_epi8(a0, b0), _mm256_cmpeq_epi8(a1, b1));
    if (_mm256_movemask_epi8(same) != -1) break;
  }
  for (; i + 32 <= end; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(A + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + i));
    const unsigned differ = ~unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)));
    if (differ) return int((i + unsigned(__builtin_ctz(differ))) / 3);
  }
  for (; i < end; ++i)
    if (A[i] != B[i]) return int(i / 3);
  return Width;
}

SNAPKIT_AVX2 void FadedGreyAVX2(const std::uint8_t* Row, int Width, double Alpha,
                                std::uint8_t* Out) {
  const __m128i red = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
  const __m128i green = _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
  const __m128i blue = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
  const __m128i spread = _mm_setr_epi8(0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1);
  const __m256d cr = _mm256_set1_pd(0.29889531), cg = _mm256_set1_pd(0.58662247),
                cb = _mm256_set1_pd(0.11448223), top = _mm256_set1_pd(255),
                alpha = _mm256_set1_pd(Alpha);
  int x = 0;
  // Each step reads and writes 16 bytes from pixel x: x + 6 <= Width keeps
  // them inside the row; the 4 bytes past the step's are written again by
  // the next one.
  for (; x + 6 <= Width; x += 4) {
    const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + 3 * x));
    const __m256d r = _mm256_cvtepi32_pd(_mm_shuffle_epi8(px, red));
    const __m256d g = _mm256_cvtepi32_pd(_mm_shuffle_epi8(px, green));
    const __m256d b = _mm256_cvtepi32_pd(_mm_shuffle_epi8(px, blue));
    const __m256d y = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(r, cr), _mm256_mul_pd(g, cg)),
                                    _mm256_mul_pd(b, cb));
    const __m256d v = _mm256_add_pd(
        top, _mm256_div_pd(_mm256_mul_pd(_mm256_mul_pd(_mm256_sub_pd(y, top), alpha), top), top));
    const __m128i bytes = _mm_shuffle_epi8(_mm256_cvttpd_epi32(v), spread);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + 3 * x), bytes);
  }
  FadedGreyScalar(Row, x, Width, Alpha, Out);
}

}  // namespace

int BestDiffWidth() {
  static const int best = __builtin_cpu_supports("avx2") ? 8 : 1;
  return best;
}

int DiffWidthInUse = BestDiffWidth();

int FirstDifferentPixel(const std::uint8_t* A, const std::uint8_t* B, int X, int Width) {
  return DiffWidthInUse == 8 ? FirstDifferentAVX2(A, B, X, Width)
                             : FirstDifferentScalar(A, B, X, Width);
}

void FadedGreyRow(const std::uint8_t* Row, int Width, double Alpha, std::uint8_t* Out) {
  if (DiffWidthInUse == 8)
    FadedGreyAVX2(Row, Width, Alpha, Out);
  else
    FadedGreyScalar(Row, 0, Width, Alpha, Out);
}

}  // namespace snapkit
