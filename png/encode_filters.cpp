#include "png/encode_filters.h"

#include "png/row_geometry.h"

#if defined(__SSE2__)
#include <emmintrin.h>
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

#if defined(__SSE2__)

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

void FilterVector(int Type, const std::uint8_t* R, const std::uint8_t* P, std::uint8_t* Out,
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
    switch (Type) {
      case 1:
        out = _mm_sub_epi8(r, left);
        break;
      case 2:
        out = _mm_sub_epi8(r, above);
        break;
      case 3: {
        // Rounding-up average less the lost half bit is the floor average.
        const __m128i avg =
            _mm_sub_epi8(_mm_avg_epu8(left, above), _mm_and_si128(_mm_xor_si128(left, above), one));
        out = _mm_sub_epi8(r, avg);
        break;
      }
      default: {
        const __m128i upperLeft = Load(P + i - Offset);
        const __m128i lo = Paeth16(_mm_unpacklo_epi8(left, zero), _mm_unpacklo_epi8(above, zero),
                                   _mm_unpacklo_epi8(upperLeft, zero));
        const __m128i hi = Paeth16(_mm_unpackhi_epi8(left, zero), _mm_unpackhi_epi8(above, zero),
                                   _mm_unpackhi_epi8(upperLeft, zero));
        out = _mm_sub_epi8(r, _mm_packus_epi16(lo, hi));
        break;
      }
    }
    Store(Out + i, out);
  }
  FilterRange(Type, R, P, Out, i, Length, Offset);
}

std::uint32_t ScoreVector(const std::uint8_t* Row, std::uint32_t Length) {
  std::uint32_t k = 4, score = 0;
  const __m128i zero = _mm_setzero_si128();
  while (k + 16 <= Length) {
    // Byte counters overflow after 255 blocks: fold them into the total first.
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

#endif

}  // namespace

void ComputeFiltersPlain(const std::uint8_t* R, const std::uint8_t* P, std::uint8_t* const Out[5],
                         std::uint32_t Length, std::uint32_t Offset, std::uint8_t Set) {
  for (int t = 1; t <= 4; ++t)
    if (Set & (1u << t)) FilterRange(t, R, P, Out[t], 0, Length, Offset);
}

std::uint32_t RunScorePlain(const std::uint8_t* Row, std::uint32_t Length) {
  return Length <= 4 ? 0 : ScoreRange(Row, 4, Length);
}

void ComputeFilters(const std::uint8_t* R, const std::uint8_t* P, std::uint8_t* const Out[5],
                    std::uint32_t Length, std::uint32_t Offset, std::uint8_t Set) {
#if defined(__SSE2__)
  for (int t = 1; t <= 4; ++t)
    if (Set & (1u << t)) FilterVector(t, R, P, Out[t], Length, Offset);
#else
  ComputeFiltersPlain(R, P, Out, Length, Offset, Set);
#endif
}

std::uint32_t RunScore(const std::uint8_t* Row, std::uint32_t Length) {
  if (Length <= 4) return 0;
#if defined(__SSE2__)
  return ScoreVector(Row, Length);
#else
  return ScoreRange(Row, 4, Length);
#endif
}

void SwapToRGB(const std::uint8_t* BGR, std::uint8_t* RGB, std::uint32_t Pixels,
               const std::uint8_t* Map) {
  if (Map) {
    for (std::uint32_t x = 0; x < Pixels; ++x, BGR += 3, RGB += 3) {
      RGB[0] = Map[BGR[2]];
      RGB[1] = Map[BGR[1]];
      RGB[2] = Map[BGR[0]];
    }
  } else {
    for (std::uint32_t x = 0; x < Pixels; ++x, BGR += 3, RGB += 3) {
      RGB[0] = BGR[2];
      RGB[1] = BGR[1];
      RGB[2] = BGR[0];
    }
  }
}

}  // namespace snapkit
