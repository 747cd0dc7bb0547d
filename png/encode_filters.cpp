#include "png/encode_filters.h"

#include "png/row_geometry.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SNAPKIT_X86 1
#endif

namespace snapkit {

namespace {

// Filter t at position i from the raw bytes around it; left and upper-left
// are 0 for the first Offset bytes.
inline std::uint8_t FilterByte(int Type, std::uint8_t Raw, std::uint8_t Left, std::uint8_t Above,
                               std::uint8_t UpperLeft) {
  switch (Type) {
    case 1:
      return std::uint8_t(Raw - Left);
    case 2:
      return std::uint8_t(Raw - Above);
    case 3:
      return std::uint8_t(Raw - ((int(Left) + int(Above)) >> 1));
    default:
      return std::uint8_t(Raw - PaethPredictor(Left, Above, UpperLeft));
  }
}

void FilterRange(int Type, const std::uint8_t* R, const std::uint8_t* P, std::uint8_t* Out,
                 std::uint32_t Begin, std::uint32_t End, std::uint32_t Offset) {
  for (std::uint32_t i = Begin; i < End; ++i) {
    const bool inside = i >= Offset;
    Out[i] = FilterByte(Type, R[i], inside ? R[i - Offset] : 0, P[i], inside ? P[i - Offset] : 0);
  }
}

std::uint32_t ScoreRange(const std::uint8_t* Row, std::uint32_t Begin, std::uint32_t End) {
  std::uint32_t score = 0;
  for (std::uint32_t k = Begin; k < End; ++k) {
    const std::uint8_t b = Row[k];
    score += b == Row[k - 1] && b == Row[k - 2] && b == Row[k - 3] && b == Row[k - 4];
  }
  return score;
}

void SwapRange(const std::uint8_t* BGR, std::uint8_t* RGB, std::uint32_t Begin, std::uint32_t End,
               const std::uint8_t* Map) {
  for (std::uint32_t x = Begin; x < End; ++x) {
    const std::uint8_t* s = BGR + 3 * x;
    std::uint8_t* d = RGB + 3 * x;
    if (Map) {
      d[0] = Map[s[2]], d[1] = Map[s[1]], d[2] = Map[s[0]];
    } else {
      d[0] = s[2], d[1] = s[1], d[2] = s[0];
    }
  }
}

#if SNAPKIT_X86

// ---- SSE2, the x86-64 baseline ----

inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(std::uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Paeth predictor on eight 16-bit lanes.
inline __m128i Paeth16(__m128i a, __m128i b, __m128i c) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bc = _mm_sub_epi16(b, c);     // p - a
  const __m128i ac = _mm_sub_epi16(a, c);     // p - b
  const __m128i abc = _mm_add_epi16(ac, bc);  // p - c
  const __m128i pa = _mm_max_epi16(bc, _mm_sub_epi16(zero, bc));
  const __m128i pb = _mm_max_epi16(ac, _mm_sub_epi16(zero, ac));
  const __m128i pc = _mm_max_epi16(abc, _mm_sub_epi16(zero, abc));
  // a when pa <= pb and pa <= pc; else b when pb <= pc; else c.
  const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
  const __m128i notB = _mm_cmpgt_epi16(pb, pc);
  const __m128i bOrC = _mm_or_si128(_mm_and_si128(notB, c), _mm_andnot_si128(notB, b));
  return _mm_or_si128(_mm_and_si128(notA, bOrC), _mm_andnot_si128(notA, a));
}

void FilterSSE2(int Type, const std::uint8_t* R, const std::uint8_t* P, std::uint8_t* Out,
                std::uint32_t Length, std::uint32_t Offset) {
  const std::uint32_t head = Offset < Length ? Offset : Length;
  FilterRange(Type, R, P, Out, 0, head, Offset);
  std::uint32_t i = head;
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi8(1);
  for (; i + 16 <= Length; i += 16) {
    const __m128i r = Load(R + i);
    const __m128i left = Load(R + i - Offset);
    const __m128i above = Load(P + i);
    __m128i out;
    if (Type == 1) {
      out = _mm_sub_epi8(r, left);
    } else if (Type == 2) {
      out = _mm_sub_epi8(r, above);
    } else if (Type == 3) {
      // The rounding-up average less the lost half bit is the floor average.
      const __m128i avg =
          _mm_sub_epi8(_mm_avg_epu8(left, above), _mm_and_si128(_mm_xor_si128(left, above), one));
      out = _mm_sub_epi8(r, avg);
    } else {
      const __m128i upperLeft = Load(P + i - Offset);
      const __m128i lo = Paeth16(_mm_unpacklo_epi8(left, zero), _mm_unpacklo_epi8(above, zero),
                                 _mm_unpacklo_epi8(upperLeft, zero));
      const __m128i hi = Paeth16(_mm_unpackhi_epi8(left, zero), _mm_unpackhi_epi8(above, zero),
                                 _mm_unpackhi_epi8(upperLeft, zero));
      out = _mm_sub_epi8(r, _mm_packus_epi16(lo, hi));
    }
    Store(Out + i, out);
  }
  FilterRange(Type, R, P, Out, i, Length, Offset);
}

std::uint32_t ScoreSSE2(const std::uint8_t* Row, std::uint32_t Length) {
  std::uint32_t k = 4, score = 0;
  const __m128i zero = _mm_setzero_si128();
  while (k + 16 <= Length) {
    // Byte counters would overflow after 255 blocks: fold them first.
    __m128i counts = zero;
    for (int n = 0; n < 255 && k + 16 <= Length; ++n, k += 16) {
      const __m128i v = Load(Row + k);
      const __m128i eq = _mm_and_si128(
          _mm_and_si128(_mm_cmpeq_epi8(v, Load(Row + k - 1)), _mm_cmpeq_epi8(v, Load(Row + k - 2))),
          _mm_and_si128(_mm_cmpeq_epi8(v, Load(Row + k - 3)),
                        _mm_cmpeq_epi8(v, Load(Row + k - 4))));
      counts = _mm_sub_epi8(counts, eq);
    }
    const __m128i sums = _mm_sad_epu8(counts, zero);
    score += std::uint32_t(_mm_cvtsi128_si32(sums)) +
             std::uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
  return score + ScoreRange(Row, k, Length);
}

// ---- SSSE3: byte shuffles for the colour swap ----

__attribute__((target("ssse3"))) void SwapSSSE3(const std::uint8_t* BGR, std::uint8_t* RGB,
                                                std::uint32_t Pixels) {
  // Four pixels per step; the 16-byte store overlaps the next step's output.
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
  std::uint32_t x = 0;
  for (; x + 6 <= Pixels; x += 4) {  // 16-byte loads stay inside the row
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(BGR + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(RGB + 3 * x), _mm_shuffle_epi8(v, order));
  }
  SwapRange(BGR, RGB, x, Pixels, nullptr);
}

// ---- AVX2 ----

#define SNAPKIT_AVX2 __attribute__((target("avx2")))

SNAPKIT_AVX2 inline __m256i Load32(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

SNAPKIT_AVX2 inline __m256i Paeth16x16(__m256i a, __m256i b, __m256i c) {
  const __m256i bc = _mm256_sub_epi16(b, c);
  const __m256i ac = _mm256_sub_epi16(a, c);
  const __m256i pa = _mm256_abs_epi16(bc);
  const __m256i pb = _mm256_abs_epi16(ac);
  const __m256i pc = _mm256_abs_epi16(_mm256_add_epi16(ac, bc));
  const __m256i notA = _mm256_or_si256(_mm256_cmpgt_epi16(pa, pb), _mm256_cmpgt_epi16(pa, pc));
  const __m256i notB = _mm256_cmpgt_epi16(pb, pc);
  return _mm256_blendv_epi8(a, _mm256_blendv_epi8(b, c, notB), notA);
}

SNAPKIT_AVX2 void FilterAVX2(int Type, const std::uint8_t* R, const std::uint8_t* P,
                             std::uint8_t* Out, std::uint32_t Length, std::uint32_t Offset) {
  const std::uint32_t head = Offset < Length ? Offset : Length;
  FilterRange(Type, R, P, Out, 0, head, Offset);
  std::uint32_t i = head;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi8(1);
  for (; i + 32 <= Length; i += 32) {
    const __m256i r = Load32(R + i);
    const __m256i left = Load32(R + i - Offset);
    const __m256i above = Load32(P + i);
    __m256i out;
    if (Type == 1) {
      out = _mm256_sub_epi8(r, left);
    } else if (Type == 2) {
      out = _mm256_sub_epi8(r, above);
    } else if (Type == 3) {
      const __m256i avg = _mm256_sub_epi8(_mm256_avg_epu8(left, above),
                                          _mm256_and_si256(_mm256_xor_si256(left, above), one));
      out = _mm256_sub_epi8(r, avg);
    } else {
      // Unpacking and packing both work within 128-bit lanes, so the byte
      // order comes back as it was.
      const __m256i upperLeft = Load32(P + i - Offset);
      const __m256i lo =
          Paeth16x16(_mm256_unpacklo_epi8(left, zero), _mm256_unpacklo_epi8(above, zero),
                     _mm256_unpacklo_epi8(upperLeft, zero));
      const __m256i hi =
          Paeth16x16(_mm256_unpackhi_epi8(left, zero), _mm256_unpackhi_epi8(above, zero),
                     _mm256_unpackhi_epi8(upperLeft, zero));
      out = _mm256_sub_epi8(r, _mm256_packus_epi16(lo, hi));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + i), out);
  }
  FilterRange(Type, R, P, Out, i, Length, Offset);
}

SNAPKIT_AVX2 std::uint32_t ScoreAVX2(const std::uint8_t* Row, std::uint32_t Length) {
  std::uint32_t k = 4, score = 0;
  const __m256i zero = _mm256_setzero_si256();
  while (k + 32 <= Length) {
    __m256i counts = zero;
    for (int n = 0; n < 255 && k + 32 <= Length; ++n, k += 32) {
      const __m256i v = Load32(Row + k);
      const __m256i eq =
          _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(v, Load32(Row + k - 1)),
                                            _mm256_cmpeq_epi8(v, Load32(Row + k - 2))),
                           _mm256_and_si256(_mm256_cmpeq_epi8(v, Load32(Row + k - 3)),
                                            _mm256_cmpeq_epi8(v, Load32(Row + k - 4))));
      counts = _mm256_sub_epi8(counts, eq);
    }
    const __m256i sums = _mm256_sad_epu8(counts, zero);
    score += std::uint32_t(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                           _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
  }
  return score + ScoreRange(Row, k, Length);
}

#endif  // SNAPKIT_X86

}  // namespace

TVectorLevel BestVectorLevel() {
#if SNAPKIT_X86
  static const TVectorLevel level = [] {
    // Needed when the first call comes from a static initialiser.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return vlAVX2;
    if (__builtin_cpu_supports("ssse3")) return vlSSSE3;
    return vlSSE2;
  }();
  return level;
#else
  return vlPlain;
#endif
}

void ComputeFiltersAt(TVectorLevel Level, const std::uint8_t* R, const std::uint8_t* P,
                      std::uint8_t* const Out[5], std::uint32_t Length, std::uint32_t Offset,
                      std::uint8_t Set) {
  for (int t = 1; t <= 4; ++t) {
    if (!(Set & (1u << t))) continue;
#if SNAPKIT_X86
    if (Level >= vlAVX2) {
      FilterAVX2(t, R, P, Out[t], Length, Offset);
      continue;
    }
    if (Level >= vlSSE2) {
      FilterSSE2(t, R, P, Out[t], Length, Offset);
      continue;
    }
#endif
    FilterRange(t, R, P, Out[t], 0, Length, Offset);
  }
}

std::uint32_t RunScoreAt(TVectorLevel Level, const std::uint8_t* Row, std::uint32_t Length) {
  if (Length <= 4) return 0;
#if SNAPKIT_X86
  if (Level >= vlAVX2) return ScoreAVX2(Row, Length);
  if (Level >= vlSSE2) return ScoreSSE2(Row, Length);
#endif
  return ScoreRange(Row, 4, Length);
}

void SwapToRGBAt(TVectorLevel Level, const std::uint8_t* BGR, std::uint8_t* RGB,
                 std::uint32_t Pixels, const std::uint8_t* Map) {
#if SNAPKIT_X86
  if (!Map && Level >= vlSSSE3) return SwapSSSE3(BGR, RGB, Pixels);
#endif
  SwapRange(BGR, RGB, 0, Pixels, Map);
}

void ComputeFilters(const std::uint8_t* R, const std::uint8_t* P, std::uint8_t* const Out[5],
                    std::uint32_t Length, std::uint32_t Offset, std::uint8_t Set) {
  ComputeFiltersAt(BestVectorLevel(), R, P, Out, Length, Offset, Set);
}

std::uint32_t RunScore(const std::uint8_t* Row, std::uint32_t Length) {
  return RunScoreAt(BestVectorLevel(), Row, Length);
}

void SwapToRGB(const std::uint8_t* BGR, std::uint8_t* RGB, std::uint32_t Pixels,
               const std::uint8_t* Map) {
  SwapToRGBAt(BestVectorLevel(), BGR, RGB, Pixels, Map);
}

}  // namespace snapkit
