#pragma once
// Common ground of the compression and decompression streams: the stream
// they sit on (not owned), where they last left it, and the transfer buffer.

#include <zlib.h>

#include <cstdint>
#include <functional>

#include "host/system/stream.h"

namespace snapkit {

class TCustomZStream : public host::TStream {
 public:
  static constexpr std::int32_t kBufferSize = 0x10000;

  // Fired each time a full buffer moves to or from the underlying stream.
  std::function<void(TCustomZStream& Sender)> OnStreamProgress;

 protected:
  // Strm must outlive this object.
  explicit TCustomZStream(host::TStream& Strm);

  virtual void DoProgress();
  // The caller may move the underlying stream between our calls.
  void RestoreStreamPosition();

  host::TStream& FStrm;
  std::int64_t FStrmPos;
  z_stream FZRec{};
  // Inside the object so that a stream costs one allocation besides zlib's.
  std::uint8_t FBuffer[kBufferSize];
};

}  // namespace snapkit
