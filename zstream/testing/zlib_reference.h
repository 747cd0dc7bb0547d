#pragma once
// zlib's own one-call functions, the independent side of interop tests.

#include <cstdint>
#include <string>
#include <vector>

namespace snapkit::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes RefCompress(const Bytes& Data, int ZLevel);
// Inflates with zlib's uncompress; fails the test unless the result has
// exactly ExpectedSize bytes.
Bytes RefUncompress(const std::uint8_t* Data, std::size_t Size, std::size_t ExpectedSize);
inline Bytes RefUncompress(const Bytes& Data, std::size_t ExpectedSize) {
  return RefUncompress(Data.data(), Data.size(), ExpectedSize);
}
// What zlib's inflate delivers from Data however far it gets: all of a
// complete stream, the recoverable start of a cut one. At most MaxSize bytes.
Bytes RefInflatePrefix(const Bytes& Data, std::size_t MaxSize);
// A zlib stream that asks for a preset dictionary.
Bytes RefCompressWithDictionary(const Bytes& Data, const std::string& Dictionary);

}  // namespace snapkit::testing
