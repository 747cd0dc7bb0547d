#pragma once
// A 64-bit perceptual hash of a picture, for telling near-identical pages
// apart from different ones: the difference hash. The picture is averaged
// down to 9 by 8 cells of grey, and bit 8 r + c is set when cell (c, r) is
// brighter than its right neighbour by more than one grey level. It is
// integer arithmetic from the bytes to the bits, so the same picture gives
// the same hash everywhere, and it costs one pass over the pixels; pictures
// that differ by scale, compression or a uniform change of brightness keep
// (nearly) their hash.

#include <cstdint>
#include <string>

#include "host/graphics/bitmap.h"

namespace snapkit {

// Any pixel format; 0 for an empty picture.
std::uint64_t PerceptualHash(const host::TBitmap& Picture);
// The number of bits in which two hashes differ, 0 to 64.
int HashDistance(std::uint64_t A, std::uint64_t B);
// 16 lower-case hex digits, and back (false for anything else).
std::string HashToHex(std::uint64_t Hash);
bool HashFromHex(const std::string& Text, std::uint64_t& Hash);

}  // namespace snapkit
