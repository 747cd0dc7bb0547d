#include "tools/picture_info.h"

#include <webp/decode.h>

#include <cstring>
#include <memory>

#include "host/graphics/avif_library.h"

namespace snapkit::tools {

namespace {

std::uint32_t Le32(const std::uint8_t* P) {
  return std::uint32_t(P[0]) | std::uint32_t(P[1]) << 8 | std::uint32_t(P[2]) << 16 |
         std::uint32_t(P[3]) << 24;
}
std::uint32_t Be32(const std::uint8_t* P) {
  return std::uint32_t(P[0]) << 24 | std::uint32_t(P[1]) << 16 | std::uint32_t(P[2]) << 8 |
         std::uint32_t(P[3]);
}

std::string FourCC(const std::uint8_t* P) {
  std::string s(reinterpret_cast<const char*>(P), 4);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  return s;
}

std::string Line(const std::string& Name, std::uint64_t Offset, std::uint64_t Length,
                 const char* Note = "") {
  return "  " + Name + "  at " + std::to_string(Offset) + ", " + std::to_string(Length) + " bytes" +
         Note + "\n";
}

struct TDecoderFree {
  void operator()(avifDecoder* D) const { host::Avif().avifDecoderDestroy(D); }
};

}  // namespace

TCodedKind CodedKindOf(const std::vector<std::uint8_t>& Head) {
  if (Head.size() >= 12 && std::memcmp(Head.data(), "RIFF", 4) == 0 &&
      std::memcmp(Head.data() + 8, "WEBP", 4) == 0)
    return TCodedKind::WebP;
  if (Head.size() >= 12 && std::memcmp(Head.data() + 4, "ftyp", 4) == 0 &&
      (std::memcmp(Head.data() + 8, "avif", 4) == 0 ||
       std::memcmp(Head.data() + 8, "avis", 4) == 0))
    return TCodedKind::AVIF;
  return TCodedKind::None;
}

std::string DescribeWebP(const std::vector<std::uint8_t>& File, std::string& Listing) {
  std::string problem;
  WebPBitstreamFeatures f;
  const VP8StatusCode status = WebPGetFeatures(File.data(), File.size(), &f);
  if (status == VP8_STATUS_OK) {
    Listing += "WebP, size " + std::to_string(f.width) + "x" + std::to_string(f.height) + ", " +
               (f.format == 2   ? "lossless"
                : f.format == 1 ? "lossy"
                                : "mixed") +
               (f.has_alpha ? ", with alpha" : ", no alpha") +
               (f.has_animation ? ", animated" : "") + "\n";
  } else {
    problem = status == VP8_STATUS_NOT_ENOUGH_DATA ? "the header is cut short"
                                                   : "the header is not valid WebP";
  }
  const std::uint64_t riff = std::uint64_t(Le32(File.data() + 4)) + 8;
  Listing +=
      "RIFF length " + std::to_string(riff) + ", file " + std::to_string(File.size()) + " bytes\n";
  if (problem.empty() && riff > File.size()) problem = "the file is cut short";
  const std::uint64_t end = std::min<std::uint64_t>(riff, File.size());
  for (std::uint64_t at = 12; at < end;) {
    if (at + 8 > end) {
      if (problem.empty()) problem = "a chunk header is cut short";
      break;
    }
    const std::uint64_t length = Le32(&File[at + 4]);
    const bool cut = at + 8 + length > end;
    Listing += Line(FourCC(&File[at]), at, length, cut ? " (CUT SHORT)" : "");
    if (cut) {
      if (problem.empty()) problem = "chunk " + FourCC(&File[at]) + " is cut short";
      break;
    }
    at += 8 + length + (length & 1);
  }
  return problem;
}

std::string DescribeAVIF(const std::vector<std::uint8_t>& File, std::string& Listing) {
  std::string problem;
  std::unique_ptr<avifDecoder, TDecoderFree> d(host::Avif().avifDecoderCreate());
  avifResult r = d ? host::Avif().avifDecoderSetIOMemory(d.get(), File.data(), File.size())
                   : AVIF_RESULT_OUT_OF_MEMORY;
  if (r == AVIF_RESULT_OK) r = host::Avif().avifDecoderParse(d.get());
  if (r == AVIF_RESULT_OK) {
    const avifImage* im = d->image;
    Listing += "AVIF, size " + std::to_string(im->width) + "x" + std::to_string(im->height) + ", " +
               std::to_string(im->depth) + "-bit " +
               host::Avif().avifPixelFormatToString(im->yuvFormat) +
               (d->alphaPresent ? ", with alpha" : ", no alpha");
    if (d->imageCount > 1) Listing += ", " + std::to_string(d->imageCount) + " frames";
    Listing += "\n";
  } else {
    problem = std::string("the file is not valid AVIF: ") + host::Avif().avifResultToString(r);
  }
  Listing += "file " + std::to_string(File.size()) + " bytes\n";
  for (std::uint64_t at = 0; at < File.size();) {
    if (at + 8 > File.size()) {
      if (problem.empty()) problem = "a box header is cut short";
      break;
    }
    std::uint64_t length = Be32(&File[at]), head = 8;
    if (length == 1 && at + 16 <= File.size()) {
      length = std::uint64_t(Be32(&File[at + 8])) << 32 | Be32(&File[at + 12]);
      head = 16;
    } else if (length == 0) {
      length = File.size() - at;  // to the end of the file
    }
    const bool bad = length < head || at + length > File.size();
    Listing += Line(FourCC(&File[at + 4]), at, length, bad ? " (CUT SHORT)" : "");
    if (bad) {
      if (problem.empty()) problem = "box " + FourCC(&File[at + 4]) + " is cut short";
      break;
    }
    at += length;
  }
  return problem;
}

}  // namespace snapkit::tools
