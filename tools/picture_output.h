#pragma once
// Where and how the commands write a picture: the format by OUT's extension
// (or --format), "-" for standard output, and a file published whole by a
// rename, so that OUT is never seen half written.

#include <functional>
#include <optional>
#include <string>

namespace host {
class TPicture;
}

namespace snapkit::tools {

enum class TPictureFormat { Png, Jpeg, Bmp, Webp, Avif };

// --format's word: png, jpg or jpeg, bmp, webp, avif (any case). Raises
// TUsageError.
TPictureFormat ParseFormatName(const std::string& Name);
// The format that File's extension names: .png; .jpg, .jpeg, .jpe; .bmp;
// .webp; .avif (any case). Nothing for other extensions, none, and "-".
std::optional<TPictureFormat> FormatOfName(const std::string& File);
// The format to write File in: its extension's, else Given's. Empty, with
// Why set, when neither names one or the two disagree.
std::optional<TPictureFormat> OutputFormat(const std::string& File,
                                           const std::optional<TPictureFormat>& Given,
                                           std::string* Why);
// ".png", ".jpg", ".bmp", ".webp" or ".avif".
const char* FormatExtension(TPictureFormat Format);
// "PNG", "JPEG", "BMP", "WebP" or "AVIF".
const char* FormatName(TPictureFormat Format);
// The formats --quality applies to: JPEG, WebP and AVIF.
bool IsLossyFormat(TPictureFormat Format);

// How a lossy format compresses; zero and false leave the format's own
// defaults (quality 90, lossy).
struct TEncoding {
  int Quality = 0;        // 1 .. 100 for JPEG, WebP, AVIF
  bool Lossless = false;  // WebP
};
// Empty when the settings do not fit Format, else why, naming Format.
std::string EncodingProblem(TPictureFormat Format, const TEncoding& Encoding);
// Saves Picture as the format registered for File's extension, with
// Encoding's settings.
void SavePicture(host::TPicture& Picture, const std::string& File, const TEncoding& Encoding);

// Empty when File's folder exists and can be written into (always for
// "-"), else what is wrong with it, naming the folder.
std::string OutputFolderProblem(const std::string& File);

// Has Save write the picture to a file whose extension gives Format, then
// publishes it as File, or copies it to standard output when File is "-".
// Errors are host::Exception whose messages name File, never the temporary
// name.
void WritePicture(const std::string& File, TPictureFormat Format,
                  const std::function<void(const std::string& Temporary)>& Save);

}  // namespace snapkit::tools
