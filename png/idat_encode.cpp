#include <cstring>
#include <memory>

#include "png/chunk_gama.h"
#include "png/chunk_idat.h"
#include "png/chunk_ihdr.h"
#include "png/encode_filters.h"
#include "png/errors.h"
#include "png/png_image.h"
#include "png/row_geometry.h"
#include "zstream/compression_stream.h"

namespace snapkit {

SNAPKIT_CHUNK_CLASS(TChunkIDAT, TChunk);

std::int64_t TChunkIDAT::GetBufferWidth() const {
  const TChunkIHDR* header = GetIHDR();
  return snapkit::GetBufferWidth(header->GetWidth(), header->BitDepth(), header->ColorType());
}

std::int32_t TChunkIDAT::GetOffset() const {
  const TChunkIHDR* header = GetIHDR();
  return snapkit::GetOffset(header->BitDepth(), header->ColorType());
}

namespace {

// Fills the enabled filters' buffers for Row against Prior and picks the
// filter. The None output is Row itself. Rows with the most runs of five
// equal bytes deflate best; ties keep the lower filter type.
std::uint8_t ChooseFilter(const std::uint8_t* Row, const std::uint8_t* Prior,
                          std::uint8_t* const Buffers[5], std::uint32_t Width, std::uint32_t Offset,
                          TEncodeFilterSet Set) {
  ComputeFilters(Row, Prior, Buffers, Width, Offset, Set);
  if (Set == FilterBit(efNone)) return 0;
  std::uint8_t best = 0;
  std::uint32_t bestScore = 0;
  for (std::uint8_t t = 0; t <= 4; ++t) {
    if (!(Set & (1u << t))) continue;
    const std::uint32_t score = RunScore(t == 0 ? Row : Buffers[t], Width);
    if (score > bestScore) {
      best = t;
      bestScore = score;
    }
  }
  return best;
}

}  // namespace

std::uint8_t TChunkIDAT::EncodeFilterRow(const std::uint8_t* Row, std::uint8_t* const Buffers[5],
                                         std::uint32_t Width, std::uint32_t Offset) {
  const TPNGImage* image = GetBitmap();
  const TEncodeFilterSet set = image ? image->Filter() : DefaultFilterSet;
  const std::uint8_t t = ChooseFilter(Row, Buffers[0], Buffers, Width, Offset, set);
  std::memcpy(Buffers[0], Row, Width);
  return t;
}

namespace {

// Which bitmap formats the encoder reads, and the header each needs.
bool HeaderMatches(host::TPixelFormat Format, std::uint8_t ColorType, std::uint8_t BitDepth) {
  switch (Format) {
    case host::pf1bit:
      return ColorType == 3 && BitDepth == 1;
    case host::pf4bit:
      return ColorType == 3 && BitDepth == 4;
    case host::pf8bit:
      return ColorType == 3 && BitDepth == 8;
    case host::pf24bit:
      return ColorType == 2 && BitDepth == 8;
    default:
      return false;
  }
}

}  // namespace

void TChunkIDAT::EncodeImage() {
  TPNGImage* image = GetBitmap();
  const TChunkIHDR* header = GetIHDR();
  // Rows are read from the bitmap with the header's geometry; a header that
  // does not describe the bitmap would read outside its rows.
  if (!image || !HeaderMatches(image->PixelFormat(), header->ColorType(), header->BitDepth()) ||
      header->GetWidth() != static_cast<std::uint32_t>(image->Width()))
    RaisePNGError(_PNG_ERROR_INVALID_COLOR_TYPE);

  const TChunkGAMA* gamma = GetGAMA();
  Data().Clear();
  TZCompressionStream deflater(Data(), zcDefault);

  const auto length = static_cast<std::uint32_t>(GetBufferWidth());
  const auto offset = static_cast<std::uint32_t>(GetOffset());
  const bool rgb = image->PixelFormat() == host::pf24bit;
  const TEncodeFilterSet set = image->Filter();

  // Each filter buffer has one byte in front for the filter type, so that a
  // row goes to the deflater in a single write.
  std::unique_ptr<std::uint8_t[]> storage[5];
  std::uint8_t* buffers[5] = {};
  for (int t = 0; t <= 4; ++t) {
    if (t != 0 && !(set & (1u << t))) continue;
    storage[t].reset(new std::uint8_t[std::size_t(length) + 1]());
    buffers[t] = storage[t].get() + 1;
  }
  std::unique_ptr<std::uint8_t[]> converted(rgb ? new std::uint8_t[std::size_t(length) + 1]()
                                                : nullptr);

  image->SetInterlacing(false);
  const std::uint8_t* map = gamma ? gamma->InverseTable() : nullptr;
  for (int y = 0; y < image->Height(); ++y) {
    if (length == 0) {
      // A bitmap without columns has no scan lines: only filter bytes.
      deflater.WriteBuffer("", 1);
    } else if (rgb) {
      // Converted rows take turns with buffer 0 as the previous row, so
      // nothing is copied.
      std::uint8_t* row = converted.get() + 1;
      SwapToRGB(image->ScanLine(y), row, static_cast<std::uint32_t>(image->Width()), map);
      const std::uint8_t t = ChooseFilter(row, buffers[0], buffers, length, offset, set);
      std::uint8_t* out = t == 0 ? row : buffers[t];
      out[-1] = t;
      deflater.WriteBuffer(out - 1, std::int64_t(length) + 1);
      converted.swap(storage[0]);
      buffers[0] = storage[0].get() + 1;
    } else {
      const std::uint8_t t = EncodeFilterRow(image->ScanLine(y), buffers, length, offset);
      buffers[t][-1] = t;
      deflater.WriteBuffer(buffers[t] - 1, std::int64_t(length) + 1);
    }
  }
  deflater.Finish();
}

void TChunkIDAT::SaveToStream(host::TStream& Stream) {
  EncodeImage();
  TChunk::SaveToStream(Stream);
}

}  // namespace snapkit
