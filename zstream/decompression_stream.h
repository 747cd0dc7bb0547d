#pragma once
// A read-only stream that inflates a zlib stream read from another stream.

#include <cstdint>

#include "zstream/custom_zstream.h"

namespace snapkit {

class TZDecompressionStream : public TCustomZStream {
 public:
  // Compressed bytes are read from Source from its current position on; up
  // to 64 KiB may be read ahead of what inflating has used.
  explicit TZDecompressionStream(host::TStream& Source);
  ~TZDecompressionStream() override;

  // Returns fewer than Count bytes only at the end of the zlib stream. A
  // source that runs dry before that raises EZDecompressionError "buffer
  // error", so truncated data never passes for complete data.
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // Seek(0, soBeginning) restarts at position 0 of the source (not where
  // this stream was created); otherwise only forward skips are allowed.
  // Returns the bytes delivered so far.
  std::int64_t Seek(std::int64_t Offset, host::TSeekOrigin Origin) override;

 private:
  void Skip(std::int64_t Count);

  bool FStreamEnd = false;
};

}  // namespace snapkit
