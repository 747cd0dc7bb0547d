#include "png/inflate_exactly.h"

#include <libdeflate.h>

#include <memory>

#include "host/system/exception.h"

namespace snapkit {

namespace {

struct TFreeDecompressor {
  void operator()(libdeflate_decompressor* D) const { libdeflate_free_decompressor(D); }
};

}  // namespace

bool InflateExactly(const std::uint8_t* Data, std::size_t Size, std::uint8_t* Out,
                    std::size_t OutSize) {
  const std::unique_ptr<libdeflate_decompressor, TFreeDecompressor> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) throw host::EOutOfMemory("Out of memory for the image data decompressor");
  // No room for an actual size: libdeflate then insists on exactly OutSize.
  return libdeflate_zlib_decompress(decompressor.get(), Data, Size, Out, OutSize, nullptr) ==
         LIBDEFLATE_SUCCESS;
}

}  // namespace snapkit
