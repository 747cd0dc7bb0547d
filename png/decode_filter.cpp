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
  std::int32_t i = ForEachPixel<Bpp>(Bpp, Count, [&](std::int32_t i, auto N) {
    a += LoadBytes<N()>(Row + i);
    StoreBytes<Bpp>(Row + i, a);
  });
  for (; i < Count; ++i) Row[i] = std::uint8_t(Row[i] + Row[i - Bpp]);
}

template <int Bpp>
SNAPKIT_INLINE void AveragePixels(std::uint8_t* Row, const std::uint8_t* Prior,
                                  std::int32_t Count) {
  const V8i16 lowByte = V8i16{} + 0xFF;
  V8i16 a = {};
  std::int32_t i = ForEachPixel<Bpp>(0, Count, [&](std::int32_t i, auto N) {
    // ((a + b) >> 1) + x == (a + b + 2x) >> 1: one add fewer after a is known.
    const V8i16 k = LoadPixel<N()>(Prior + i) + (LoadPixel<N()>(Row + i) << 1);
    a = ((a + k) >> 1) & lowByte;
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
template <int Bpp>
SNAPKIT_INLINE void PaethPixels(std::uint8_t* Row, const std::uint8_t* Prior, std::int32_t Count) {
  const V8i16 lowByte = V8i16{} + 0xFF;
  V8i16 a = {}, c = {};
  std::int32_t i = ForEachPixel<Bpp>(0, Count, [&](std::int32_t i, auto N) {
    const V8i16 b = LoadPixel<N()>(Prior + i);
    const V8i16 x = LoadPixel<N()>(Row + i);
    const V8i16 t2 = c * 3 - b * 2;
    const V8i16 lo = b < t2 ? b : t2;
    const V8i16 hi = b < t2 ? t2 : b;
    const V8i16 flip = c > b;
    const V8i16 w = (c * 3 - b) ^ flip;
    const V8i16 bx = (b + x) & lowByte;
    const V8i16 cx = (c + x) & lowByte;

    const V8i16 inside = (a > lo) & (a < hi);
    const V8i16 takeC = w > ((a + a) ^ flip);
    const V8i16 ax = (a + x) & lowByte;
    const V8i16 bc = takeC ? cx : bx;
    a = inside ? bc : ax;
    StorePixel<Bpp>(Row + i, a);
    c = b;
  });
  for (; i < Count; ++i)
    Row[i] = std::uint8_t(Row[i] + PaethPredictor(Row[i - Bpp], Prior[i], Prior[i - Bpp]));
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

}  // namespace

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
