#include "zstream/errors.h"

#include <zlib.h>

namespace snapkit {

const char* const sZInvalidOperation = "Invalid ZStream operation!";

std::string ZErrorMessage(int Code) {
  switch (Code) {
    case Z_NEED_DICT:
      return "need dictionary";
    case Z_STREAM_END:
      return "stream end";
    case Z_OK:
      return "";
    case Z_ERRNO:
      return "file error";
    case Z_STREAM_ERROR:
      return "stream error";
    case Z_DATA_ERROR:
      return "data error";
    case Z_MEM_ERROR:
      return "insufficient memory";
    case Z_BUF_ERROR:
      return "buffer error";
    case Z_VERSION_ERROR:
      return "incompatible version";
    default:
      return "";
  }
}

int CheckCompress(int Code) {
  if (Code < 0) throw EZCompressionError(ZErrorMessage(Code));
  return Code;
}

int CheckDecompress(int Code) {
  if (Code < 0) throw EZDecompressionError(ZErrorMessage(Code));
  return Code;
}

}  // namespace snapkit
