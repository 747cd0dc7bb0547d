#include "png/decode_filter.h"

#include <cstring>
#include <type_traits>

#include "png/row_geometry.h"

namespace snapkit {

namespace {

// GCC vector types: the compiler picks the instructions for each clone, so
// one source serves every machine and all of them compute the same bytes.
typedef std::uint8_t V16u8 __attribute__((vector_size(16)));
typedef std::uint8_t V8u8 __attribute__((vector_size(8)));
typedef std::int16_t V8i16 __attribute__((vector_size(16)));

#define SNAPKIT_INLINE inline __attribute__((always_inline))
#define SNAPKIT_LAMBDA_INLINE __attribute__((always_inline))

// Pixels of Bpp bytes (at most 8) move between memory and vector registers
// through a general register: a partial vector load from memory would go
// through the stack and stall. Loads take N bytes: Bpp, or 4 and 8 for the
// 3 and 6-byte pixels where the row has the bytes (the extra lanes only
// carry along what the next pixel holds and are never stored).
template <int N>
SNAPKIT_INLINE V8u8 LoadBytes(const std::uint8_t* P) {
  std::uint64_t u = 0;
  if (N == 8) {
    std::memcpy(&u, P, 8);
  } else if (N == 4 || N == 6) {
    std::uint32_t lo;
    std::memcpy(&lo, P, 4);
    u = lo;
    if (N == 6) u |= std::uint64_t(P[4] | (P[5] << 8)) << 32;
  } else {
    for (int k = 0; k < N; ++k) u |= std::uint64_t(P[k]) << (8 * k);
  }
  V8u8 v;
  std::memcpy(&v, &u, 8);
  return v;
}

template <int Bpp>
SNAPKIT_INLINE void StoreBytes(std::uint8_t* P, V8u8 V) {
  std::uint64_t u;
  std::memcpy(&u, &V, 8);
  if (Bpp == 8) {
    std::memcpy(P, &u, 8);
  } else if (Bpp == 4 || Bpp == 6) {
    const std::uint32_t lo = std::uint32_t(u);
    std::memcpy(P, &lo, 4);
    if (Bpp == 6) {
      const std::uint16_t hi = std::uint16_t(u >> 32);
      std::memcpy(P + 4, &hi, 2);
    }
  } else {
    const std::uint16_t lo = std::uint16_t(u);
    std::memcpy(P, &lo, 2);
    P[2] = std::uint8_t(u >> 16);
  }
}

template <int N>
SNAPKIT_INLINE V8i16 LoadPixel(const std::uint8_t* P) {
  return __builtin_convertvector(LoadBytes<N>(P), V8i16);
}

template <int Bpp>
SNAPKIT_INLINE void StorePixel(std::uint8_t* P, V8i16 V) {
  StoreBytes<Bpp>(P, __builtin_convertvector(V, V8u8));
}

// Runs Step<N>(i) for every whole pixel, N the load width, then returns the
// index of the first byte not handled (bytes of a partial pixel, which only
// headers with depths PNG does not allow produce).
template <int Bpp, class StepFn>
SNAPKIT_INLINE std::int32_t ForEachPixel(std::int32_t Start, std::int32_t Count, StepFn Step) {
  constexpr int Wide = Bpp == 3 ? 4 : Bpp == 6 ? 8 : Bpp;
  std::int32_t i = Start;
  for (; i + Wide <= Count; i += Bpp) Step(i, std::integral_constant<int, Wide>());
  for (; i + Bpp <= Count; i += Bpp) Step(i, std::integral_constant<int, Bpp>());
  return i;
}

template <int Bpp>
SNAPKIT_INLINE void SubPixels(std::uint8_t* Row, std::int32_t Count) {
  V8u8 a = LoadBytes<Bpp>(Row);
  std::int32_t i = ForEachPixel<Bpp>(Bpp, Count, [&](std::int32_t i, auto N) SNAPKIT_LAMBDA_INLINE {
    a += LoadBytes<N()>(Row + i);
    StoreBytes<Bpp>(Row + i, a);
  });
  for (; i < Count; ++i) Row[i] = std::uint8_t(Row[i] + Row[i - Bpp]);
}

const V8i16 kLowByte = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// ((a + b) >> 1) + x == (a + b + 2x) >> 1: one add fewer after a is known.
SNAPKIT_INLINE V8i16 AverageStep(V8i16 A, V8i16 B, V8i16 X) {
  return ((A + (B + (X << 1))) >> 1) & kLowByte;
}

template <int Bpp>
SNAPKIT_INLINE void AveragePixels(std::uint8_t* Row, const std::uint8_t* Prior,
                                  std::int32_t Count) {
  V8i16 a = {};
  std::int32_t i = ForEachPixel<Bpp>(0, Count, [&](std::int32_t i, auto N) SNAPKIT_LAMBDA_INLINE {
    a = AverageStep(a, LoadPixel<N()>(Prior + i), LoadPixel<N()>(Row + i));
    StorePixel<Bpp>(Row + i, a);
  });
  for (; i < Count; ++i) Row[i] = std::uint8_t(Row[i] + ((Row[i - Bpp] + Prior[i]) >> 1));
}

// The Paeth choice rewritten so that little work waits for the left pixel a.
// With b above and c upper-left, a is the prediction unless it lies strictly
// between lo = min(b, 3c - 2b) and hi = max(b, 3c - 2b); inside that range
// the prediction is b when 2a >= 3c - b (b >= c) or 2a <= 3c - b (b < c),
// else c. Flipping both sides of the last comparison with ~ when b < c turns
// the two cases into one.
SNAPKIT_INLINE V8i16 PaethStep(V8i16 A, V8i16 B, V8i16 C, V8i16 X) {
  const V8i16 t2 = C * 3 - B * 2;
  const V8i16 lo = B < t2 ? B : t2;
  const V8i16 hi = B < t2 ? t2 : B;
  const V8i16 flip = C > B;
  const V8i16 w = (C * 3 - B) ^ flip;
  const V8i16 bx = (B + X) & kLowByte;
  const V8i16 cx = (C + X) & kLowByte;

  const V8i16 inside = (A > lo) & (A < hi);
  const V8i16 takeC = w > ((A + A) ^ flip);
  const V8i16 ax = (A + X) & kLowByte;
  const V8i16 bc = takeC ? cx : bx;
  return inside ? bc : ax;
}

template <int Bpp>
SNAPKIT_INLINE void PaethPixels(std::uint8_t* Row, const std::uint8_t* Prior, std::int32_t Count) {
  V8i16 a = {}, c = {};
  std::int32_t i = ForEachPixel<Bpp>(0, Count, [&](std::int32_t i, auto N) SNAPKIT_LAMBDA_INLINE {
    const V8i16 b = LoadPixel<N()>(Prior + i);
    a = PaethStep(a, b, c, LoadPixel<N()>(Row + i));
    StorePixel<Bpp>(Row + i, a);
    c = b;
  });
  for (; i < Count; ++i)
    Row[i] = std::uint8_t(Row[i] + PaethPredictor(Row[i - Bpp], Prior[i], Prior[i - Bpp]));
}

// Two rows with the same filter at once, to run two dependency chains side
// by side: lanes 0-3 hold pixel j of Row, lanes 4-7 pixel j - 1 of Next,
// whose pixel above is the one Row finished the step before. Pixels of 3 or
// 4 bytes, Count a whole number of them, at least two.
template <int Bpp, int Type>
SNAPKIT_INLINE void PixelPair(std::uint8_t* Row, std::uint8_t* Next, const std::uint8_t* Prior,
                              std::int32_t Count) {
  const std::int32_t n = Count / Bpp;
  auto join = [](V8u8 Low, V8u8 High) SNAPKIT_LAMBDA_INLINE {
    std::uint64_t lo, hi;
    std::memcpy(&lo, &Low, 8);
    std::memcpy(&hi, &High, 8);
    const std::uint64_t u = (lo & 0xFFFFFFFFu) | hi << 32;
    V8u8 v;
    std::memcpy(&v, &u, 8);
    return __builtin_convertvector(v, V8i16);
  };
  auto step = [](V8i16 A, V8i16 B, V8i16 C, V8i16 X) SNAPKIT_LAMBDA_INLINE {
    return Type == 3 ? AverageStep(A, B, X) : PaethStep(A, B, C, X);
  };
  auto store = [&](std::int32_t J, V8i16 A, bool First, bool Second) SNAPKIT_LAMBDA_INLINE {
    std::uint64_t u;
    const V8u8 v = __builtin_convertvector(A, V8u8);
    std::memcpy(&u, &v, 8);
    V8u8 half;
    if (First) {
      std::memcpy(&half, &u, 8);
      StoreBytes<Bpp>(Row + J * Bpp, half);
    }
    if (Second) {
      const std::uint64_t h = u >> 32;
      std::memcpy(&half, &h, 8);
      StoreBytes<Bpp>(Next + (J - 1) * Bpp, half);
    }
  };
  // b moves Row's finished pixel (low lanes of a) up to be Next's pixel above.
  auto above = [](V8i16 Prior, V8i16 A) SNAPKIT_LAMBDA_INLINE {
    return __builtin_shufflevector(Prior, A, 0, 1, 2, 3, 8, 9, 10, 11);
  };

  // Pixel 0 of Row alone; Next has nothing on its left yet.
  V8i16 b = LoadPixel<Bpp>(Prior);
  V8i16 a = step(V8i16{}, b, V8i16{}, LoadPixel<Bpp>(Row));
  store(0, a, true, false);
  // Now a holds Row's left pixel and zero for Next's, c the pixels above-left.
  V8i16 c = b;
  auto pair = [&](std::int32_t J, auto W) SNAPKIT_LAMBDA_INLINE {
    b = above(join(LoadBytes<W()>(Prior + J * Bpp), V8u8{}), a);
    a = step(a, b, c, join(LoadBytes<W()>(Row + J * Bpp), LoadBytes<W()>(Next + (J - 1) * Bpp)));
    store(J, a, true, true);
    c = b;
  };
  constexpr int Wide = Bpp == 3 ? 4 : Bpp;
  std::int32_t j = 1;
  for (; j < n - 1; ++j) pair(j, std::integral_constant<int, Wide>());
  pair(j, std::integral_constant<int, Bpp>());
  // The last pixel of Next alone.
  b = above(V8i16{}, a);
  a = step(a, b, c, join(V8u8{}, LoadBytes<Bpp>(Next + (n - 1) * Bpp)));
  store(n, a, false, true);
}

__attribute__((target_clones("avx2", "default"))) void UpBytes(std::uint8_t* Row,
                                                               const std::uint8_t* Prior,
                                                               std::int32_t Count) {
  std::int32_t i = 0;
  for (; i + 16 <= Count; i += 16) {
    V16u8 r, p;
    std::memcpy(&r, Row + i, 16);
    std::memcpy(&p, Prior + i, 16);
    r += p;
    std::memcpy(Row + i, &r, 16);
  }
  for (; i < Count; ++i) Row[i] = std::uint8_t(Row[i] + Prior[i]);
}

template <int Bpp>
SNAPKIT_INLINE bool PixelFilter(std::uint8_t FilterType, std::uint8_t* Row,
                                const std::uint8_t* Prior, std::int32_t Count) {
  switch (FilterType) {
    case 1:
      SubPixels<Bpp>(Row, Count);
      return true;
    case 3:
      AveragePixels<Bpp>(Row, Prior, Count);
      return true;
    case 4:
      PaethPixels<Bpp>(Row, Prior, Count);
      return true;
    default:
      return false;
  }
}

// Whole-pixel filters for the pixel sizes of 8 and 16-bit colour images; the
// blend of the Paeth choice is one instruction with SSE4.1. Needs Count >= Offset.
__attribute__((target_clones("sse4.1", "default"))) bool VectorFilter(std::uint8_t FilterType,
                                                                      std::uint8_t* Row,
                                                                      const std::uint8_t* Prior,
                                                                      std::int32_t Offset,
                                                                      std::int32_t Count) {
  switch (Offset) {
    case 3:
      return PixelFilter<3>(FilterType, Row, Prior, Count);
    case 4:
      return PixelFilter<4>(FilterType, Row, Prior, Count);
    case 6:
      return PixelFilter<6>(FilterType, Row, Prior, Count);
    case 8:
      return PixelFilter<8>(FilterType, Row, Prior, Count);
    default:
      return false;
  }
}

__attribute__((target_clones("sse4.1", "default"))) void VectorPair(
    std::uint8_t FilterType, std::uint8_t* Row, std::uint8_t* Next, const std::uint8_t* Prior,
    std::int32_t Offset, std::int32_t Count) {
  if (Offset == 3)
    FilterType == 3 ? PixelPair<3, 3>(Row, Next, Prior, Count)
                    : PixelPair<3, 4>(Row, Next, Prior, Count);
  else
    FilterType == 3 ? PixelPair<4, 3>(Row, Next, Prior, Count)
                    : PixelPair<4, 4>(Row, Next, Prior, Count);
}

}  // namespace

bool UnfilterRowPair(std::uint8_t FilterType, std::uint8_t* Row, std::uint8_t* Next,
                     const std::uint8_t* PriorRow, std::int32_t Offset, std::int32_t Count) {
  if ((FilterType != 3 && FilterType != 4) || (Offset != 3 && Offset != 4) || Count % Offset != 0 ||
      Count < 2 * Offset)
    return false;
  VectorPair(FilterType, Row, Next, PriorRow, Offset, Count);
  return true;
}

bool UnfilterRowScalar(std::uint8_t FilterType, std::uint8_t* Row, const std::uint8_t* PriorRow,
                       std::int32_t Offset, std::int32_t Count) {
  if (FilterType > 4) return false;
  // A distance below one byte would read the byte being written, or past it.
  if (Offset < 1) Offset = 1;
  const std::int32_t head = Offset < Count ? Offset : (Count > 0 ? Count : 0);
  switch (FilterType) {
    case 1:
      for (std::int32_t i = Offset; i < Count; ++i) Row[i] = std::uint8_t(Row[i] + Row[i - Offset]);
      break;
    case 2:
      for (std::int32_t i = 0; i < Count; ++i) Row[i] = std::uint8_t(Row[i] + PriorRow[i]);
      break;
    case 3:
      for (std::int32_t i = 0; i < head; ++i) Row[i] = std::uint8_t(Row[i] + (PriorRow[i] >> 1));
      for (std::int32_t i = head; i < Count; ++i)
        Row[i] = std::uint8_t(Row[i] + ((Row[i - Offset] + PriorRow[i]) >> 1));
      break;
    case 4:
      for (std::int32_t i = 0; i < head; ++i)
        Row[i] = std::uint8_t(Row[i] + PaethPredictor(0, PriorRow[i], 0));
      for (std::int32_t i = head; i < Count; ++i)
        Row[i] = std::uint8_t(Row[i] +
                              PaethPredictor(Row[i - Offset], PriorRow[i], PriorRow[i - Offset]));
      break;
    default:
      break;
  }
  return true;
}

bool UnfilterRow(std::uint8_t FilterType, std::uint8_t* Row, const std::uint8_t* PriorRow,
                 std::int32_t Offset, std::int32_t Count) {
  if (FilterType == 0) return true;
  if (FilterType == 2) {
    if (Count > 0) UpBytes(Row, PriorRow, Count);
    return true;
  }
  if (FilterType <= 4 && Count >= Offset && VectorFilter(FilterType, Row, PriorRow, Offset, Count))
    return true;
  return UnfilterRowScalar(FilterType, Row, PriorRow, Offset, Count);
}

}  // namespace snapkit
