#pragma once
// The CRC-32 of PNG chunks (reflected polynomial EDB88320, initial value all
// ones, result complemented).

#include <cstddef>
#include <cstdint>

namespace snapkit {

// Feeds Count bytes into a running CRC register. Start with 0xFFFFFFFF and
// complement the final register.
std::uint32_t UpdateCRC(std::uint32_t Register, const void* Bytes, std::size_t Count);
// The finished CRC of one buffer.
inline std::uint32_t CRC32(const void* Bytes, std::size_t Count) {
  return ~UpdateCRC(0xFFFFFFFFu, Bytes, Count);
}

}  // namespace snapkit
