#include "png/errors.h"

namespace snapkit {

// The misspellings are part of the texts users and tests match on.
const char* const _PNG_ERROR_INVALID_HEADER =
    "Invalid Portable Graphics Network image, it has an invalid file header.";
const char* const _PNG_ERROR_INVALID_CHUNK_INDEX =
    "The chunk index especified is out of the range.";
const char* const _PNG_ERROR_INVALID_CHUNK_CLASS_INDEX =
    "The chunk class index especified is  out of range.";
const char* const _PNG_ERROR_CHUNK_INVALID_CRC =
    "Can't read the PNG image, it has corrupted data. ";
const char* const _PNG_ERROR_IHDR_NOT_FIRST =
    "This PNG image is invalid, the IHDR chunk is either not present or it isn't the first chunk.";
const char* const _PNG_ERROR_NO_IDAT =
    "The current image being loaded has no data and could not be loaded.";
const char* const _PNG_ERROR_INVALID_PLTE =
    "The current image being loaded has an invalid palette!";
const char* const _PNG_ERROR_INVALID_COLOR_TYPE =
    "Could not read the image because it has an unknown color type.";
const char* const _PNG_ERROR_INVALID_FILTER_TYPE =
    "The image could not be loaded because it uses an unknown set of filter types.";
const char* const _PNG_ERROR_INVALID_INTERLACE = "The image has an unknown interlace method.";
const char* const _PNG_ERROR_UNKOWN_CRITICAL_CHUNK =
    "The currently being loaded image contains critical(s) chunk(s) not reconized by the "
    "decoder.";
const char* const _PNG_ERROR_NO_PALETTE =
    "The current image requeries a palette but it is not avaliable.";
const char* const _PNG_INVALID_COLOR_TYPE =
    "Can not get transparency information because the current image color type is not RGB "
    "(value 3)";
const char* const _CHUNK_NOT_CHILD =
    "The especified chunk is not inside the chunk list containing the method being used. The "
    "funcion could not be completed.";
const char* const _TIME_CORRUPTED =
    "Could not get informations on the tIME chunk because it is corrupted.";

std::string PNGErrorMessage(const char* Text) {
  return std::string("Portable Network Graphics format handler error") + "\r\n\r\n" + Text;
}

void RaisePNGError(const char* Text) { throw EPNGImageException(PNGErrorMessage(Text)); }

}  // namespace snapkit
