#pragma once
// Where and how the commands write a picture: the format by OUT's extension
// (or --format), "-" for standard output, and a file published whole by a
// rename, so that OUT is never seen half written.

#include <functional>
#include <optional>
#include <string>

namespace snapkit::tools {

enum class TPictureFormat { Png, Jpeg, Bmp };

// --format's word: png, jpg or jpeg, bmp (any case). Raises TUsageError.
TPictureFormat ParseFormatName(const std::string& Name);
// The format that File's extension names: .png; .jpg, .jpeg, .jpe; .bmp (any
// case). Nothing for other extensions, none, and "-".
std::optional<TPictureFormat> FormatOfName(const std::string& File);
// The format to write File in: its extension's, else Given's. Empty, with
// Why set, when neither names one or the two disagree.
std::optional<TPictureFormat> OutputFormat(const std::string& File,
                                           const std::optional<TPictureFormat>& Given,
                                           std::string* Why);
// ".png", ".jpg" or ".bmp".
const char* FormatExtension(TPictureFormat Format);
// "PNG", "JPEG" or "BMP".
const char* FormatName(TPictureFormat Format);

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
