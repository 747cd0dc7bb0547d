#include "zstream/one_shot.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

#include "host/system/exception.h"
#include "zstream/errors.h"

namespace snapkit {

namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int32_t>::max();
// Deflate cannot expand beyond 1032 output bytes per input byte, so a caller's
// estimate above that is never needed and is not allocated.
constexpr std::int64_t kMaxInflateRatio = 1032;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using Block = std::unique_ptr<void, FreeDeleter>;

Block Allocate(std::int64_t Size) {
  Block b(std::malloc(static_cast<std::size_t>(std::max<std::int64_t>(Size, 1))));
  if (!b) throw host::EOutOfMemory("Out of memory");
  return b;
}

void Resize(Block& B, std::int64_t Size) {
  void* p = std::realloc(B.get(), static_cast<std::size_t>(std::max<std::int64_t>(Size, 1)));
  if (!p) throw host::EOutOfMemory("Out of memory");
  B.release();
  B.reset(p);
}

Bytef* At(Block& B, uLong Offset) { return static_cast<Bytef*>(B.get()) + Offset; }

}  // namespace

void ZCompress(const void* InBuf, std::int32_t InBytes, void*& OutBuf, std::int32_t& OutBytes,
               TZCompressionLevel Level) {
  if (InBytes < 0 || (InBytes > 0 && !InBuf))
    throw EZCompressionError(ZErrorMessage(Z_STREAM_ERROR));
  z_stream rec{};
  const std::int64_t in = InBytes;
  std::int64_t size = std::min((in + in / 10 + 12 + 255) & ~std::int64_t{255}, kMaxBytes);
  Block out = Allocate(size);
  rec.next_in = static_cast<Bytef*>(const_cast<void*>(InBuf));
  rec.avail_in = static_cast<uInt>(InBytes);
  rec.next_out = At(out, 0);
  rec.avail_out = static_cast<uInt>(size);
  ZDeflateInit(rec, Level);
  try {
    while (CheckCompress(deflate(&rec, Z_FINISH)) != Z_STREAM_END) {
      if (size + 256 > kMaxBytes) throw EZCompressionError(ZErrorMessage(Z_BUF_ERROR));
      size += 256;
      Resize(out, size);
      rec.next_out = At(out, rec.total_out);
      rec.avail_out = 256;
    }
  } catch (...) {
    deflateEnd(&rec);
    throw;
  }
  CheckCompress(deflateEnd(&rec));
  Resize(out, static_cast<std::int64_t>(rec.total_out));
  OutBytes = static_cast<std::int32_t>(rec.total_out);
  OutBuf = out.release();
}

void ZDecompress(const void* InBuf, std::int32_t InBytes, void*& OutBuf, std::int32_t& OutBytes,
                 std::int32_t OutEstimate, std::int32_t OutLimit) {
  if (InBytes < 0 || OutEstimate < 0 || OutLimit < 0 || (InBytes > 0 && !InBuf))
    throw EZDecompressionError(ZErrorMessage(Z_STREAM_ERROR));
  z_stream rec{};
  const std::int64_t limit = OutLimit ? OutLimit : kMaxBytes;
  const std::int64_t increment = (std::int64_t{InBytes} + 255) & ~std::int64_t{255};
  std::int64_t size = OutEstimate ? OutEstimate : increment;
  size = std::min({size, limit, std::int64_t{InBytes} * kMaxInflateRatio + 256});
  Block out = Allocate(size);
  rec.next_in = static_cast<Bytef*>(const_cast<void*>(InBuf));
  rec.avail_in = static_cast<uInt>(InBytes);
  rec.next_out = At(out, 0);
  rec.avail_out = static_cast<uInt>(size);
  ZInflateInit(rec);
  try {
    Bytef probe;
    for (;;) {
      const int rc = CheckDecompress(inflate(&rec, Z_NO_FLUSH));
      if (rec.next_out == &probe + 1) throw EZDecompressionError(ZErrorMessage(Z_BUF_ERROR));
      if (rc == Z_STREAM_END) break;
      // Without the dictionary zlib would answer the same forever.
      if (rc == Z_NEED_DICT) throw EZDecompressionError(ZErrorMessage(Z_NEED_DICT));
      // Room left means the input ran out: the next call reports it.
      if (rec.avail_out > 0) continue;
      if (size >= limit) {
        // Full at the limit: only the trailer may remain, which needs no room.
        rec.next_out = &probe;
        rec.avail_out = 1;
        continue;
      }
      // Doubling keeps the copies linear in the output: data that inflates
      // far would otherwise be copied once per input-sized step.
      size = std::min(std::max(size * 2, size + increment), limit);
      Resize(out, size);
      rec.next_out = At(out, rec.total_out);
      rec.avail_out = static_cast<uInt>(size - static_cast<std::int64_t>(rec.total_out));
    }
  } catch (...) {
    inflateEnd(&rec);
    throw;
  }
  CheckDecompress(inflateEnd(&rec));
  Resize(out, static_cast<std::int64_t>(rec.total_out));
  OutBytes = static_cast<std::int32_t>(rec.total_out);
  OutBuf = out.release();
}

namespace {

std::int32_t StringBytes(const std::string& S) {
  if (S.size() > static_cast<std::size_t>(kMaxBytes))
    throw EZLibError(ZErrorMessage(Z_STREAM_ERROR));
  return static_cast<std::int32_t>(S.size());
}

std::string Take(void* Buf, std::int32_t Bytes) {
  Block owned(Buf);
  return std::string(static_cast<const char*>(Buf), static_cast<std::size_t>(Bytes));
}

}  // namespace

std::string ZCompressStr(const std::string& S, TZCompressionLevel Level) {
  void* buf = nullptr;
  std::int32_t bytes = 0;
  ZCompress(S.data(), StringBytes(S), buf, bytes, Level);
  return Take(buf, bytes);
}

std::string ZDecompressStr(const std::string& S, std::int32_t OutLimit) {
  void* buf = nullptr;
  std::int32_t bytes = 0;
  ZDecompress(S.data(), StringBytes(S), buf, bytes, 0, OutLimit);
  return Take(buf, bytes);
}

}  // namespace snapkit
