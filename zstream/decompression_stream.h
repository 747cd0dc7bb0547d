#pragma once
// A read-only stream that inflates a zlib stream read from another stream.

#include <cstdint>

#include "zstream/custom_zstream.h"

namespace snapkit {

// Where reading stands: a short Read means the data has ended, and this
// tells a complete zlib stream from one whose source ran dry early.
enum TZDecompressState : std::uint8_t {
  zsReading,    // nothing has ended yet
  zsStreamEnd,  // the zlib stream ended, its checksum checked
  zsSourceDry,  // the source had no more bytes before the stream's end
};

class TZDecompressionStream : public TCustomZStream {
 public:
  // Compressed bytes are read from Source from its current position on; up
  // to 64 KiB may be read ahead of what inflating has used.
  explicit TZDecompressionStream(host::TStream& Source);
  ~TZDecompressionStream() override;

  // Returns fewer than Count bytes when the zlib stream ends or when the
  // source runs dry before its end (truncated data); State() says which.
  // Damaged data raises EZDecompressionError.
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  TZDecompressState State() const { return FState; }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // Seek(0, soBeginning) restarts at position 0 of the source (not where
  // this stream was created); otherwise only forward skips are allowed.
  // Returns the bytes delivered so far.
  std::int64_t Seek(std::int64_t Offset, host::TSeekOrigin Origin) override;

 private:
  void Skip(std::int64_t Count);

  TZDecompressState FState = zsReading;
};

}  // namespace snapkit
