#pragma once
// Exceptions of the compression layer. Their messages are zlib's own texts
// for its result codes, so callers see the same words zlib's tools print.

#include <string>

#include "host/system/exception.h"

namespace snapkit {

class EZLibError : public host::Exception {
 public:
  using Exception::Exception;
};
HOST_EXCEPTION(EZCompressionError, EZLibError);
HOST_EXCEPTION(EZDecompressionError, EZLibError);

// Raised for calls that a one-directional stream cannot serve.
extern const char* const sZInvalidOperation;

// The text for a zlib result code; empty for codes zlib does not define.
std::string ZErrorMessage(int Code);

// Negative codes raise; 0 and the positive codes come back unchanged.
int CheckCompress(int Code);
int CheckDecompress(int Code);

}  // namespace snapkit
