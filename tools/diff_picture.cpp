#include "tools/diff_picture.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "host/graphics/pixel_memory.h"
#include "host/system/exception.h"
#include "host/system/stream.h"

namespace snapkit::tools {
namespace {

void Put32(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  const std::uint8_t b[4] = {std::uint8_t(V >> 24), std::uint8_t(V >> 16), std::uint8_t(V >> 8),
                             std::uint8_t(V)};
  Out.insert(Out.end(), b, b + 4);
}

void Chunk(std::vector<std::uint8_t>& Out, const char* Type, const std::uint8_t* Data,
           std::size_t Size) {
  Put32(Out, std::uint32_t(Size));
  const std::size_t start = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  if (Size) Out.insert(Out.end(), Data, Data + Size);
  Put32(Out, std::uint32_t(crc32(0, Out.data() + start, uInt(Out.size() - start))));
}

struct TCompressor {
  libdeflate_compressor* C = libdeflate_alloc_compressor(2);
  ~TCompressor() {
    if (C) libdeflate_free_compressor(C);
  }
};

}  // namespace

bool WriteDiffPNG(const host::TBitmap& Diff, const std::string& File) {
  const int w = Diff.Width(), h = Diff.Height();
  if (w == 0 || h == 0) return false;
  // Each row: filter byte 0, then one palette index per pixel. Both large
  // buffers are written whole, so they are not cleared first.
  using TBytes = std::vector<std::uint8_t, host::TPixelAllocator<std::uint8_t>>;
  TBytes raw((std::size_t(w) + 1) * h);
  std::vector<std::uint8_t> palette;
  int index[1 << 12];  // by a 12-bit hash of the colour, for greys, red, yellow
  std::uint32_t colour[1 << 12];
  std::fill(std::begin(index), std::end(index), -1);
  // Runs of one colour are the rule (a page's background): the last one
  // found is asked first.
  std::uint32_t last = 0xFFFFFFFFu;
  std::uint8_t lastIndex = 0;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = Diff.ScanLine(y);
    std::uint8_t* o = raw.data() + (std::size_t(w) + 1) * y;
    *o++ = 0;
    for (int x = 0; x < w; ++x, p += 3) {
      const std::uint32_t c = p[0] | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
      if (c == last) {
        o[x] = lastIndex;
        continue;
      }
      unsigned slot = (c * 2654435761u) >> 20;
      while (index[slot] >= 0 && colour[slot] != c) slot = (slot + 1) & 4095;
      if (index[slot] < 0) {
        if (palette.size() == 3 * 256) return false;
        index[slot] = int(palette.size() / 3);
        colour[slot] = c;
        palette.insert(palette.end(), {p[2], p[1], p[0]});
      }
      last = c;
      lastIndex = o[x] = std::uint8_t(index[slot]);
    }
  }
  TCompressor compressor;
  if (!compressor.C) throw host::EOutOfMemory("Out of memory");
  std::vector<std::uint8_t> head = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::uint8_t header[13];
  for (int i = 0; i < 4; ++i) {
    header[i] = std::uint8_t(std::uint32_t(w) >> (24 - 8 * i));
    header[4 + i] = std::uint8_t(std::uint32_t(h) >> (24 - 8 * i));
  }
  header[8] = 8;  // bit depth
  header[9] = 3;  // palette colour
  header[10] = header[11] = header[12] = 0;
  Chunk(head, "IHDR", header, sizeof header);
  Chunk(head, "PLTE", palette.data(), palette.size());
  // IDAT: its length and type, then the data compressed in place after them.
  TBytes idat(8 + libdeflate_zlib_compress_bound(compressor.C, raw.size()));
  const std::size_t packed = libdeflate_zlib_compress(compressor.C, raw.data(), raw.size(),
                                                      idat.data() + 8, idat.size() - 8);
  for (int i = 0; i < 4; ++i) idat[i] = std::uint8_t(std::uint32_t(packed) >> (24 - 8 * i));
  std::memcpy(idat.data() + 4, "IDAT", 4);
  std::vector<std::uint8_t> tail;
  Put32(tail, std::uint32_t(crc32(0, idat.data() + 4, uInt(packed + 4))));
  Chunk(tail, "IEND", nullptr, 0);
  host::TFileStream out(File, host::fmCreate);
  out.WriteBuffer(head.data(), std::int64_t(head.size()));
  out.WriteBuffer(idat.data(), std::int64_t(8 + packed));
  out.WriteBuffer(tail.data(), std::int64_t(tail.size()));
  return true;
}

}  // namespace snapkit::tools
