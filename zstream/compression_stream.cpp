#include "zstream/compression_stream.h"

#include "zstream/errors.h"

namespace snapkit {

TZCompressionStream::TZCompressionStream(host::TStream& Dest, TZCompressionLevel Level)
    : TCustomZStream(Dest) {
  FZRec.next_out = FBuffer;
  FZRec.avail_out = kBufferSize;
  ZDeflateInit(FZRec, Level);
}

TZCompressionStream::~TZCompressionStream() {
  try {
    Finish();
  } catch (...) {
    // Nowhere to report it; Finish() exists for callers who must know.
  }
  deflateEnd(&FZRec);
}

std::int32_t TZCompressionStream::Read(void*, std::int32_t) {
  throw EZCompressionError(sZInvalidOperation);
}

std::int32_t TZCompressionStream::Write(const void* Buffer, std::int32_t Count) {
  if (FFinished) throw EZCompressionError(sZInvalidOperation);
  if (Count <= 0) return 0;
  FZRec.next_in = static_cast<Bytef*>(const_cast<void*>(Buffer));
  FZRec.avail_in = static_cast<uInt>(Count);
  RestoreStreamPosition();
  while (FZRec.avail_in > 0) {
    CheckCompress(deflate(&FZRec, Z_NO_FLUSH));
    if (FZRec.avail_out == 0) {
      FStrm.WriteBuffer(FBuffer, kBufferSize);
      FZRec.next_out = FBuffer;
      FZRec.avail_out = kBufferSize;
      FStrmPos = FStrm.Position();
      DoProgress();
    }
  }
  // The caller's buffer may be gone before zlib is next called.
  FZRec.next_in = nullptr;
  return Count;
}

std::int64_t TZCompressionStream::Seek(std::int64_t Offset, host::TSeekOrigin Origin) {
  if (Offset == 0 && Origin == host::soCurrent) return static_cast<std::int64_t>(FZRec.total_in);
  throw EZCompressionError(sZInvalidOperation);
}

float TZCompressionStream::GetCompressionRate() const {
  if (FZRec.total_in == 0) return 0.0f;
  const double ratio = static_cast<double>(FZRec.total_out) / static_cast<double>(FZRec.total_in);
  return static_cast<float>((1.0 - ratio) * 100.0);
}

void TZCompressionStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  FZRec.next_in = nullptr;
  FZRec.avail_in = 0;
  RestoreStreamPosition();
  while (CheckCompress(deflate(&FZRec, Z_FINISH)) != Z_STREAM_END) {
    FStrm.WriteBuffer(FBuffer, kBufferSize - FZRec.avail_out);
    FZRec.next_out = FBuffer;
    FZRec.avail_out = kBufferSize;
  }
  if (FZRec.avail_out < static_cast<uInt>(kBufferSize))
    FStrm.WriteBuffer(FBuffer, kBufferSize - FZRec.avail_out);
}

}  // namespace snapkit
