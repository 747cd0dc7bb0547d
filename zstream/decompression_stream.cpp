#include "zstream/decompression_stream.h"

#include "zstream/errors.h"
#include "zstream/level.h"

namespace snapkit {

TZDecompressionStream::TZDecompressionStream(host::TStream& Source) : TCustomZStream(Source) {
  FZRec.next_in = FBuffer;
  FZRec.avail_in = 0;
  ZInflateInit(FZRec);
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&FZRec); }

std::int32_t TZDecompressionStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0 || FState == zsStreamEnd) return 0;
  FZRec.next_out = static_cast<Bytef*>(Buffer);
  FZRec.avail_out = static_cast<uInt>(Count);
  RestoreStreamPosition();
  while (FZRec.avail_out > 0) {
    bool Dry = false;
    if (FZRec.avail_in == 0) {
      const std::int32_t got = FStrm.Read(FBuffer, kBufferSize);
      if (got <= 0) {
        Dry = true;
      } else {
        FZRec.next_in = FBuffer;
        FZRec.avail_in = static_cast<uInt>(got);
        FStrmPos = FStrm.Position();
        DoProgress();
      }
    }
    // Even without new input zlib may still hold output (the rest of a
    // match when the reads are small): only no progress means a dry source.
    const uInt Room = FZRec.avail_out;
    const int Raw = inflate(&FZRec, Z_NO_FLUSH);
    if (Dry && (Raw == Z_BUF_ERROR || (Raw == Z_OK && FZRec.avail_out == Room))) {
      // The source may grow later; a further Read then carries on.
      FState = zsSourceDry;
      break;
    }
    const int rc = CheckDecompress(Raw);
    if (rc == Z_STREAM_END) {
      FState = zsStreamEnd;
      break;
    }
    // Without the dictionary zlib would answer the same forever.
    if (rc == Z_NEED_DICT) throw EZDecompressionError(ZErrorMessage(Z_NEED_DICT));
    FState = zsReading;
  }
  return Count - static_cast<std::int32_t>(FZRec.avail_out);
}

std::int32_t TZDecompressionStream::Write(const void*, std::int32_t) {
  throw EZDecompressionError(sZInvalidOperation);
}

std::int64_t TZDecompressionStream::Seek(std::int64_t Offset, host::TSeekOrigin Origin) {
  const auto delivered = static_cast<std::int64_t>(FZRec.total_out);
  if (Offset == 0 && Origin == host::soBeginning) {
    CheckDecompress(inflateReset(&FZRec));
    FZRec.next_in = FBuffer;
    FZRec.avail_in = 0;
    FState = zsReading;
    FStrm.SetPosition(0);
    FStrmPos = 0;
  } else if (Origin == host::soCurrent && Offset >= 0) {
    Skip(Offset);
  } else if (Origin == host::soBeginning && Offset - delivered > 0) {
    Skip(Offset - delivered);
  } else {
    throw EZDecompressionError(sZInvalidOperation);
  }
  return static_cast<std::int64_t>(FZRec.total_out);
}

void TZDecompressionStream::Skip(std::int64_t Count) {
  constexpr std::int64_t kChunk = 4096;
  std::uint8_t scratch[kChunk];
  for (std::int64_t i = Count / kChunk; i > 0; --i) ReadBuffer(scratch, kChunk);
  if (Count % kChunk) ReadBuffer(scratch, Count % kChunk);
}

}  // namespace snapkit
