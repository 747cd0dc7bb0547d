#include "png/crc.h"

#include <array>

namespace snapkit {

namespace {

using TCRCTable = std::array<std::uint32_t, 256>;

// Built on first use; a function-local static so that chunks saved during
// static initialisation still find it ready.
const TCRCTable& CRCTable() {
  static const TCRCTable table = [] {
    TCRCTable t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

}  // namespace

std::uint32_t UpdateCRC(std::uint32_t Register, const void* Bytes, std::size_t Count) {
  const TCRCTable& table = CRCTable();
  const auto* p = static_cast<const std::uint8_t*>(Bytes);
  for (std::size_t i = 0; i < Count; ++i)
    Register = table[(Register ^ p[i]) & 0xFF] ^ (Register >> 8);
  return Register;
}

}  // namespace snapkit
