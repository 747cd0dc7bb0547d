#pragma once
// Whole-buffer compression and decompression.

#include <cstdint>
#include <string>

#include "zstream/level.h"

namespace snapkit {

// Produces a complete zlib stream of OutBytes bytes in OutBuf. OutBuf is
// allocated with std::malloc and belongs to the caller (release it with
// std::free). On an exception nothing is allocated and the out parameters
// are not valid.
void ZCompress(const void* InBuf, std::int32_t InBytes, void*& OutBuf, std::int32_t& OutBytes,
               TZCompressionLevel Level = zcDefault);

// Inflates a zlib stream into OutBuf (std::malloc, the caller frees it).
// OutEstimate, when not 0, is the first buffer size tried. OutLimit, when not
// 0, caps the output: more data than that raises EZDecompressionError
// "buffer error", as zlib's own uncompress reports a buffer too small. Without
// it the output is bounded only by the 32-bit size.
void ZDecompress(const void* InBuf, std::int32_t InBytes, void*& OutBuf, std::int32_t& OutBytes,
                 std::int32_t OutEstimate = 0, std::int32_t OutLimit = 0);

std::string ZCompressStr(const std::string& S, TZCompressionLevel Level = zcDefault);
std::string ZDecompressStr(const std::string& S, std::int32_t OutLimit = 0);

}  // namespace snapkit
