#include <algorithm>
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

// Gathers the pixels of one Adam7 pass out of a full row of Bits bits per
// pixel: Count pixels from column First on, every Step-th. Bits of the last
// byte past the pass's pixels are zero.
void GatherPassRow(const std::uint8_t* Row, std::uint8_t* Out, std::int64_t Count, int First,
                   int Step, int Bits) {
  if (Bits % 8 == 0) {
    const int bytes = Bits / 8;
    for (std::int64_t k = 0; k < Count; ++k)
      std::memcpy(Out + k * bytes, Row + (First + k * Step) * bytes, std::size_t(bytes));
    return;
  }
  std::memset(Out, 0, std::size_t((Count * Bits + 7) / 8));
  const unsigned mask = (1u << Bits) - 1;
  for (std::int64_t k = 0; k < Count; ++k) {
    const std::int64_t from = (First + k * Step) * Bits, to = k * Bits;
    const unsigned v = (Row[from / 8] >> (8 - Bits - from % 8)) & mask;
    Out[to / 8] |= std::uint8_t(v << (8 - Bits - to % 8));
  }
}

}  // namespace

void TChunkIDAT::EncodeAdam7(TZCompressionStream& Deflater) {
  TPNGImage* image = GetBitmap();
  const TChunkIHDR* header = GetIHDR();
  const TChunkGAMA* gamma = GetGAMA();
  const std::uint8_t* map = gamma ? gamma->InverseTable() : nullptr;
  const auto length = std::size_t(GetBufferWidth());
  const auto offset = static_cast<std::uint32_t>(GetOffset());
  const bool rgb = image->PixelFormat() == host::pf24bit;
  const int bits = rgb ? 24 : header->BitDepth();
  const TEncodeFilterSet set = image->Filter();

  // Filter outputs and the pass row carry the filter type byte in front.
  std::unique_ptr<std::uint8_t[]> storage[6];
  std::uint8_t* buffers[5] = {};
  for (int t = 0; t <= 5; ++t) {
    if (t != 0 && t != 5 && !(set & (1u << t))) continue;
    storage[t].reset(new std::uint8_t[length + 1]());
    if (t < 5) buffers[t] = storage[t].get() + 1;
  }
  std::uint8_t* passRow = storage[5].get() + 1;
  std::unique_ptr<std::uint8_t[]> converted(rgb ? new std::uint8_t[length] : nullptr);

  const int width = image->Width(), height = image->Height();
  for (const TAdam7Pass& pass : Adam7) {
    const std::int64_t passWidth = Adam7PassWidth(pass, width);
    const std::int64_t rows = Adam7PassRows(pass, height);
    if (passWidth == 0 || rows == 0) continue;
    const auto passBytes = static_cast<std::uint32_t>(
        snapkit::GetBufferWidth(std::uint32_t(passWidth), header->BitDepth(), header->ColorType()));
    // Each pass is filtered as an image of its own.
    std::fill_n(buffers[0], passBytes, 0);
    for (std::int64_t r = 0; r < rows; ++r) {
      const int y = int(pass.FirstRow + r * pass.RowStep);
      const std::uint8_t* row = image->ScanLine(y);
      if (rgb) {
        SwapToRGB(row, converted.get(), static_cast<std::uint32_t>(width), map);
        row = converted.get();
      }
      GatherPassRow(row, passRow, passWidth, pass.FirstCol, pass.ColStep, bits);
      const std::uint8_t t = ChooseFilter(passRow, buffers[0], buffers, passBytes, offset, set);
      std::uint8_t* out = t == 0 ? passRow : buffers[t];
      out[-1] = t;
      Deflater.WriteBuffer(out - 1, std::int64_t(passBytes) + 1);
      std::memcpy(buffers[0], passRow, passBytes);
    }
  }
}

void TChunkIDAT::EncodeImage() {
  TPNGImage* image = GetBitmap();
  const TChunkIHDR* header = GetIHDR();
  // Rows are read from the bitmap with the header's geometry; a header that
  // does not describe the bitmap would read outside its rows.
  if (!image || !HeaderMatches(image->PixelFormat(), header->ColorType(), header->BitDepth()) ||
      header->GetWidth() != static_cast<std::uint32_t>(image->Width()))
    RaisePNGError(_PNG_ERROR_INVALID_COLOR_TYPE);

  // The data follows the header's interlace method, so that the file
  // never declares one its data does not use.
  const std::uint8_t interlace = header->InterlaceMethod();
  if (interlace > 1) RaisePNGError(_PNG_ERROR_INVALID_INTERLACE);

  const TChunkGAMA* gamma = GetGAMA();
  Data().Clear();
  TZCompressionStream deflater(Data(), zcDefault);
  if (interlace == 1) {
    EncodeAdam7(deflater);
    deflater.Finish();
    return;
  }

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
