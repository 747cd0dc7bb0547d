#pragma once
// Compression levels and the version-checked zlib initialisation shared by
// the streams and the one-shot functions.

#include <zlib.h>

#include <cstdint>

namespace snapkit {

enum TZCompressionLevel : std::uint8_t { zcNone, zcFastest, zcDefault, zcMax };

// zlib's level for Level; an out-of-range value raises EZCompressionError.
int ZLibLevel(TZCompressionLevel Level);

// Zero the record first: zlib then uses its default allocators.
void ZDeflateInit(z_stream& Rec, TZCompressionLevel Level);
void ZInflateInit(z_stream& Rec);

}  // namespace snapkit
