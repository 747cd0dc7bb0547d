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

std::uint8_t TChunkIDAT::EncodeFilterRow(const std::uint8_t* Row, std::uint8_t* const Buffers[5],
                                         std::uint32_t Width, std::uint32_t Offset) {
  const TPNGImage* image = GetBitmap();
  const TEncodeFilterSet set = image ? image->Filter() : DefaultFilterSet;
  ComputeFilters(Row, Buffers[0], Buffers, Width, Offset, set);
  std::memcpy(Buffers[0], Row, Width);
  if (set == FilterBit(efNone)) return 0;
  // Rows with the most runs of five equal bytes deflate best; ties keep the
  // lower filter type.
  std::uint8_t best = 0;
  std::uint32_t bestScore = 0;
  for (std::uint8_t t = 0; t <= 4; ++t) {
    if (!(set & (1u << t))) continue;
    const std::uint32_t score = RunScore(Buffers[t], Width);
    if (score > bestScore) {
      best = t;
      bestScore = score;
    }
  }
  return best;
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
  std::unique_ptr<std::uint8_t[]> converted(rgb ? new std::uint8_t[std::size_t(length) + 1]
                                                : nullptr);

  image->SetInterlacing(false);
  const std::uint8_t* map = gamma ? gamma->InverseTable() : nullptr;
  for (int y = 0; y < image->Height(); ++y) {
    // A bitmap without columns has no scan lines; its rows are empty.
    const std::uint8_t* row = length == 0 ? buffers[0] : image->ScanLine(y);
    if (rgb && length > 0) {
      SwapToRGB(row, converted.get(), static_cast<std::uint32_t>(image->Width()), map);
      row = converted.get();
    }
    const std::uint8_t t = EncodeFilterRow(row, buffers, length, offset);
    buffers[t][-1] = t;
    deflater.WriteBuffer(buffers[t] - 1, std::int64_t(length) + 1);
  }
  deflater.Finish();
}

void TChunkIDAT::SaveToStream(host::TStream& Stream) {
  EncodeImage();
  TChunk::SaveToStream(Stream);
}

}  // namespace snapkit
