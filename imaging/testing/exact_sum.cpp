#include "imaging/testing/exact_sum.h"

#include <cmath>
#include <cstdlib>

namespace snapkit::testing {
namespace {

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// F = M x 2^E with M an integer of at most 24 bits.
void Split(float F, std::int64_t& M, int& E) {
  if (F == 0) {
    M = 0;
    E = 0;
    return;
  }
  int exponent;
  const float fraction = std::frexp(F, &exponent);
  M = static_cast<std::int64_t>(std::ldexp(fraction, 24));
  E = exponent - 24;
}

int BitLength(UInt128 V) {
  int n = 0;
  for (; V; V >>= 1) ++n;
  return n;
}

}  // namespace

float ExactSingleSum(float Sum, std::uint8_t Byte, float Weight) {
  std::int64_t ms, mw;
  int es, ew;
  Split(Sum, ms, es);
  Split(Weight, mw, ew);
  Int128 a = ms, b = static_cast<Int128>(Byte) * mw;
  int ea = es, eb = ew;
  if (b == 0) return Sum;
  if (a == 0) {
    a = b;
    ea = eb;
    b = 0;
  }
  if (b != 0) {
    // Keep the term with the higher top bit in a.
    if (ea + BitLength(a < 0 ? -a : a) < eb + BitLength(b < 0 ? -b : b)) {
      std::swap(a, b);
      std::swap(ea, eb);
    }
    if (ea - eb > 90) {
      // Far below the rounding point: only its sign can matter, on a tie.
      b = b < 0 ? -1 : 1;
      eb = ea - 90;
    }
    if (ea > eb) {
      a = a * (static_cast<Int128>(1) << (ea - eb));
      ea = eb;
    } else {
      b = b * (static_cast<Int128>(1) << (eb - ea));
    }
    a += b;
  }
  if (a == 0) return 0.0f;
  const bool negative = a < 0;
  UInt128 v = negative ? -a : a;
  const int n = BitLength(v);
  // The lowest bit a single keeps: 24 significant bits, or 2^-149.
  int low = ea + n - 24;
  if (low < -149) low = -149;
  const int drop = low - ea;
  float result;
  if (drop > 0) {
    UInt128 q = v >> drop;
    const UInt128 rest = v - (q << drop);
    const UInt128 half = static_cast<UInt128>(1) << (drop - 1);
    if (rest > half || (rest == half && (q & 1))) ++q;
    result = std::ldexp(static_cast<float>(static_cast<std::uint64_t>(q)), low);
  } else {
    result = std::ldexp(static_cast<float>(static_cast<std::uint64_t>(v)), ea);
  }
  return negative ? -result : result;
}

}  // namespace snapkit::testing
