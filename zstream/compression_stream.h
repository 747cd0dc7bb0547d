#pragma once
// A write-only stream that deflates what is written into another stream.

#include <cstdint>

#include "zstream/custom_zstream.h"
#include "zstream/level.h"

namespace snapkit {

class TZCompressionStream : public TCustomZStream {
 public:
  // Compressed bytes go to Dest from its current position on.
  explicit TZCompressionStream(host::TStream& Dest, TZCompressionLevel Level = zcDefault);
  // Finishes the zlib stream if Finish() has not run. A destructor cannot
  // report failure, so errors here are dropped: call Finish() to see them.
  ~TZCompressionStream() override;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // Only Seek(0, soCurrent) is allowed: it gives the bytes consumed so far.
  std::int64_t Seek(std::int64_t Offset, host::TSeekOrigin Origin) override;

  // Percentage of space saved so far; 0 before any input.
  float GetCompressionRate() const;

  // Ends the zlib stream and writes everything pending to Dest. Later
  // writes raise. Runs once; the destructor skips it after that.
  void Finish();

 private:
  bool FFinished = false;
};

}  // namespace snapkit
