#include "tools/picture_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "host/graphics/bitmap.h"
#include "host/graphics/jpeg.h"
#include "host/graphics/picture.h"
#include "host/graphics/webp.h"
#include "host/system/exception.h"
#include "host/system/tempfiles.h"
#include "tools/convert_command.h"

namespace snapkit::tools {

namespace {

std::string Lower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

std::string FolderOf(const std::string& File) {
  std::size_t Slash = File.find_last_of('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : File.substr(0, Slash);
}

void ReplaceAll(std::string& Text, const std::string& From, const std::string& To) {
  for (std::size_t At = 0; (At = Text.find(From, At)) != std::string::npos; At += To.size())
    Text.replace(At, From.size(), To);
}

void CopyToStandardOutput(const std::string& Temporary) {
  std::ifstream In(Temporary, std::ios::binary);
  if (!In) throw host::EFOpenError("Cannot open the picture just written");
  char Buffer[65536];
  while (In.read(Buffer, sizeof Buffer) || In.gcount() > 0)
    if (std::fwrite(Buffer, 1, std::size_t(In.gcount()), stdout) != std::size_t(In.gcount())) break;
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw host::EWriteError(std::string("Cannot write to standard output: ") +
                            std::strerror(errno));
}

}  // namespace

TPictureFormat ParseFormatName(const std::string& Name) {
  std::optional<TPictureFormat> F = FormatOfName("." + Name);
  if (!F || Lower(Name) == "jpe") throw TUsageError{"--format is png, jpg, bmp, webp or avif"};
  return *F;
}

std::optional<TPictureFormat> FormatOfName(const std::string& File) {
  std::size_t Dot = File.find_last_of("./");
  if (Dot == std::string::npos || File[Dot] != '.') return std::nullopt;
  const std::string Ext = Lower(File.substr(Dot));
  if (Ext == ".png") return TPictureFormat::Png;
  if (Ext == ".jpg" || Ext == ".jpeg" || Ext == ".jpe") return TPictureFormat::Jpeg;
  if (Ext == ".bmp") return TPictureFormat::Bmp;
  if (Ext == ".webp") return TPictureFormat::Webp;
  if (Ext == ".avif") return TPictureFormat::Avif;
  return std::nullopt;
}

std::optional<TPictureFormat> OutputFormat(const std::string& File,
                                           const std::optional<TPictureFormat>& Given,
                                           std::string* Why) {
  std::optional<TPictureFormat> ByName = File == "-" ? std::nullopt : FormatOfName(File);
  if (ByName && Given && *ByName != *Given) {
    if (Why)
      *Why =
          File + " is named as " + FormatName(*ByName) + " but --format says " + FormatName(*Given);
    return std::nullopt;
  }
  if (ByName) return ByName;
  if (Given) return Given;
  if (Why)
    *Why = File == "-" ? std::string("standard output needs --format png, jpg, bmp, webp or avif")
                       : File +
                             ": the extension names no picture format (.png, .jpg, "
                             ".jpeg, .jpe, .bmp, .webp, .avif); --format png, jpg, bmp, webp "
                             "or avif chooses one";
  return std::nullopt;
}

const char* FormatExtension(TPictureFormat Format) {
  switch (Format) {
    case TPictureFormat::Png:
      return ".png";
    case TPictureFormat::Jpeg:
      return ".jpg";
    case TPictureFormat::Webp:
      return ".webp";
    case TPictureFormat::Avif:
      return ".avif";
    case TPictureFormat::Bmp:
      break;
  }
  return ".bmp";
}

const char* FormatName(TPictureFormat Format) {
  switch (Format) {
    case TPictureFormat::Png:
      return "PNG";
    case TPictureFormat::Jpeg:
      return "JPEG";
    case TPictureFormat::Webp:
      return "WebP";
    case TPictureFormat::Avif:
      return "AVIF";
    case TPictureFormat::Bmp:
      break;
  }
  return "BMP";
}

bool IsLossyFormat(TPictureFormat Format) {
  return Format == TPictureFormat::Jpeg || Format == TPictureFormat::Webp ||
         Format == TPictureFormat::Avif;
}

std::string EncodingProblem(TPictureFormat Format, const TEncoding& Encoding) {
  if (Encoding.Lossless && Format != TPictureFormat::Webp)
    return std::string("--lossless is WebP's, and the output is ") + FormatName(Format);
  if (Encoding.Lossless && Encoding.Quality)
    return "--quality is for lossy pictures, and --lossless makes none";
  if (Encoding.Quality && !IsLossyFormat(Format))
    return std::string("--quality is for JPEG, WebP and AVIF, and the output is ") +
           FormatName(Format);
  return std::string();
}

void SavePicture(host::TPicture& Picture, const std::string& File, const TEncoding& Encoding) {
  if (!Encoding.Quality && !Encoding.Lossless) return Picture.SaveToFile(File);
  host::TGraphicClass Class = host::TPicture::GraphicClassForFile(File);
  if (!Class || !Picture.Graphic()) return Picture.SaveToFile(File);  // its error
  std::unique_ptr<host::TGraphic> Out = Class->Create();
  try {
    Out->Assign(*Picture.Graphic());
  } catch (const host::EConvertError&) {
    Out->Assign(Picture.Bitmap());
  }
  // After the copy, which brings a loaded file's own settings with it.
  if (auto* Jpeg = dynamic_cast<host::TJPEGImage*>(Out.get()); Jpeg && Encoding.Quality)
    Jpeg->SetCompressionQuality(Encoding.Quality);
  if (auto* Coded = dynamic_cast<host::TCodedImage*>(Out.get()); Coded && Encoding.Quality)
    Coded->SetCompressionQuality(Encoding.Quality);
  if (auto* WebP = dynamic_cast<host::TWebPImage*>(Out.get())) WebP->SetLossless(Encoding.Lossless);
  Out->SaveToFile(File);
}

std::string OutputFolderProblem(const std::string& File) {
  if (File == "-") return std::string();
  const std::string Folder = FolderOf(File);
  struct stat St;
  if (::stat(Folder.c_str(), &St) != 0)
    return "the folder " + Folder + (errno == ENOENT ? " does not exist" : " cannot be read");
  if (!S_ISDIR(St.st_mode)) return Folder + " is not a folder";
  if (::access(Folder.c_str(), W_OK | X_OK) != 0)
    return "the folder " + Folder + " cannot be written";
  return std::string();
}

void WritePicture(const std::string& File, TPictureFormat Format,
                  const std::function<void(const std::string& Temporary)>& Save) {
  static unsigned Counter = 0;
  std::string Temporary, Reserved;
  if (File == "-") {
    // A unique name in the private temporary folder, held while its
    // namesake with the format's extension is in use.
    Reserved = host::GetTempFileName(std::string(), "SKO");
    Temporary = Reserved + FormatExtension(Format);
  } else {
    // Beside File, so that the rename stays on one file system.
    const std::size_t Slash = File.find_last_of('/');
    const std::string Dir = Slash == std::string::npos ? std::string() : File.substr(0, Slash + 1);
    Temporary = Dir + "." + File.substr(Dir.size()) + ".part-" + std::to_string(getpid()) + "-" +
                std::to_string(++Counter) + FormatExtension(Format);
  }
  try {
    Save(Temporary);
    if (File == "-") {
      CopyToStandardOutput(Temporary);
      ::unlink(Temporary.c_str());
      ::unlink(Reserved.c_str());
    } else if (std::rename(Temporary.c_str(), File.c_str()) != 0) {
      throw host::EFCreateError("Cannot create file \"" + File + "\": " + std::strerror(errno));
    }
  } catch (const host::Exception& E) {
    ::unlink(Temporary.c_str());
    if (!Reserved.empty()) ::unlink(Reserved.c_str());
    std::string Message = E.Message();
    ReplaceAll(Message, Temporary, File == "-" ? std::string("standard output") : File);
    throw host::Exception(Message);
  }
}

}  // namespace snapkit::tools
