#include "zstream/level.h"

#include "zstream/errors.h"

namespace snapkit {

int ZLibLevel(TZCompressionLevel Level) {
  static constexpr int kLevels[4] = {Z_NO_COMPRESSION, Z_BEST_SPEED, Z_DEFAULT_COMPRESSION,
                                     Z_BEST_COMPRESSION};
  const unsigned ordinal = static_cast<unsigned>(Level);
  if (ordinal >= 4) throw EZCompressionError(ZErrorMessage(Z_STREAM_ERROR));
  return kLevels[ordinal];
}

void ZDeflateInit(z_stream& Rec, TZCompressionLevel Level) {
  CheckCompress(deflateInit_(&Rec, ZLibLevel(Level), ZLIB_VERSION, sizeof(z_stream)));
}

void ZInflateInit(z_stream& Rec) {
  CheckDecompress(inflateInit_(&Rec, ZLIB_VERSION, sizeof(z_stream)));
}

}  // namespace snapkit
