#pragma once
// The codec's one exception class and the texts it carries. Every failure is
// framed as "Portable Network Graphics format handler error\r\n\r\n<text>".

#include <string>

#include "host/system/exception.h"

namespace snapkit {

class EPNGImageException : public host::Exception {
 public:
  using Exception::Exception;
};

extern const char* const _PNG_ERROR_INVALID_HEADER;
extern const char* const _PNG_ERROR_INVALID_CHUNK_INDEX;
extern const char* const _PNG_ERROR_INVALID_CHUNK_CLASS_INDEX;
extern const char* const _PNG_ERROR_CHUNK_INVALID_CRC;
extern const char* const _PNG_ERROR_IHDR_NOT_FIRST;
extern const char* const _PNG_ERROR_NO_IDAT;
extern const char* const _PNG_ERROR_INVALID_PLTE;
extern const char* const _PNG_ERROR_INVALID_COLOR_TYPE;
extern const char* const _PNG_ERROR_INVALID_FILTER_TYPE;
extern const char* const _PNG_ERROR_INVALID_INTERLACE;
extern const char* const _PNG_ERROR_UNKOWN_CRITICAL_CHUNK;
extern const char* const _PNG_ERROR_NO_PALETTE;
extern const char* const _PNG_INVALID_COLOR_TYPE;
extern const char* const _CHUNK_NOT_CHILD;
extern const char* const _TIME_CORRUPTED;

// The full message for one of the texts above.
std::string PNGErrorMessage(const char* Text);
[[noreturn]] void RaisePNGError(const char* Text);

}  // namespace snapkit
