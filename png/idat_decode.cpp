// Loading side of the image data chunk: inflate, unfilter, de-interlace and
// place the rows into the owning image.

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/system/numeric.h"
#include "png/chunk_gama.h"
#include "png/chunk_idat.h"
#include "png/chunk_ihdr.h"
#include "png/chunk_plte.h"
#include "png/decode_filter.h"
#include "png/decode_pixels.h"
#include "png/errors.h"
#include "png/inflate_exactly.h"
#include "png/png_image.h"
#include "png/row_geometry.h"
#include "zstream/decompression_stream.h"
#include "zstream/errors.h"

namespace snapkit {

namespace {

constexpr std::uint8_t PC_NOCOLLAPSE = 4;

// Rows are inflated this many bytes at a time (at least one row): zlib works
// fastest with a large output window, and the block stays in cache while its
// rows are unfiltered and placed.
constexpr std::int64_t kBlockBytes = 128 * 1024;

// Where the image data is inflated beside the bitmap (interlaced images, or
// with a progress handler), data inflating to more than this is decoded a
// block at a time instead.
constexpr std::int64_t kWholeLimit = std::int64_t(128) << 20;

// The correction table, or null when there is none or it changes nothing.
const std::uint8_t* EffectiveGamma(const TChunkGAMA* Gamma) {
  if (!Gamma) return nullptr;
  const std::uint8_t* table = Gamma->GammaTable();
  for (int i = 0; i < 256; ++i)
    if (table[i] != i) return table;
  return nullptr;
}

host::HPALETTE GreyRamp(int Entries, const TChunkGAMA* Gamma) {
  host::LOGPALETTE log;
  log.palVersion = 0x300;
  const int used = Entries == 4 ? 16 : Entries;
  log.palPalEntry.resize(std::size_t(used));
  for (int i = 0; i < used; ++i) {
    const int v = i % Entries;
    auto grey = std::uint8_t(host::MulDiv(v, 255, Entries - 1));
    if (Gamma) grey = Gamma->GammaTable()[grey];
    log.palPalEntry[std::size_t(i)] = host::PALETTEENTRY{grey, grey, grey, PC_NOCOLLAPSE};
  }
  return host::CreatePalette(log);
}

// Refuses a header whose pixels the bitmap could not hold before anything is
// allocated; the 32-bit header fields are beyond what a bitmap accepts long
// before they overflow anything here.
void CheckImageSize(std::uint32_t Width, std::uint32_t Height, int BitsPerPixel) {
  const auto limit = std::uint32_t(host::TBitmap::MaxDimension);
  const bool tooLarge = Width > limit || Height > limit ||
                        host::BytesPerScanLine(int(Width), BitsPerPixel) * std::int64_t(Height) >
                            host::TBitmap::MaxBytes;
  if (tooLarge)
    throw host::EOutOfMemory("The PNG image is too large to load: " + std::to_string(Width) +
                             " x " + std::to_string(Height) + " pixels");
}

// What a file whose image data could never fill its pixels may still make
// us allocate for the bitmap. Such data is either a download cut very short
// or a tiny hostile file declaring a huge size; 64 MiB holds any ordinary
// picture (4096 x 4096 RGB is 48 MiB) so cut-short files load with their
// missing rows blank, and bounds what a few hundred bytes can cost.
constexpr std::int64_t kShortDataBudget = std::int64_t(64) << 20;

// Deflate expands at most 1032 times: data shorter than that cannot hold
// the pixels the header declares.
bool DataCanFillImage(std::int64_t InflatedBytes, std::int64_t CompressedBytes) {
  return InflatedBytes <= CompressedBytes * 1032 + 4096;
}

int BitmapBits(std::uint8_t ColorType, std::uint8_t BitDepth) {
  if (ColorType == 2 || ColorType == 6) return 24;
  return BitDepth == 1 ? 1 : BitDepth <= 4 ? 4 : 8;
}

// Feeds rows of one image or Adam7 pass, each unfiltered against the
// previous one: out of the image data inflated whole when there is such a
// buffer, else out of the decompression stream, many rows per inflate call.
class TRowDecoder {
 public:
  // Either Whole holds all inflated image data, or Stream delivers it.
  TRowDecoder(std::uint8_t* Whole, TZDecompressionStream* Stream, std::int64_t MaxRowBytes)
      : FWhole(Whole),
        FStream(Stream),
        FRowsPerBlock(std::max<std::int64_t>(1, kBlockBytes / (MaxRowBytes + 1))),
        FBlock(Whole ? 0 : std::size_t(FRowsPerBlock * (MaxRowBytes + 1))),
        FPrior(std::size_t(MaxRowBytes)) {}

  // Decodes Rows rows of RowBytes bytes (plus the filter type byte) with
  // filter distance Offset and hands each unfiltered row to Place, in order.
  // Image data that ends early reads as zero bytes. After corrupt data the
  // rows that arrived complete are still placed before the error goes on.
  void Run(std::int64_t Rows, std::int64_t RowBytes, std::int32_t Offset,
           const std::function<void(std::int64_t Row, const std::uint8_t* Bytes)>& Place) {
    // Every image and pass starts against a row of zeros.
    std::fill_n(FPrior.begin(), RowBytes, 0);
    const std::int64_t stride = RowBytes + 1;
    for (std::int64_t first = 0; first < Rows;) {
      const std::int64_t count = std::min(FRowsPerBlock, Rows - first);
      const std::int64_t wanted = count * stride;
      std::exception_ptr failure;
      std::uint8_t* block = FWhole;
      std::int64_t got = wanted;
      if (FWhole) {
        FWhole += wanted;
      } else {
        block = FBlock.data();
        got = Inflate(block, wanted, failure);
      }
      std::int64_t usable = count;
      if (failure)
        usable = got / stride;
      else if (got < wanted)
        std::fill(block + got, block + wanted, 0);

      const std::uint8_t* prior = FPrior.data();
      const auto length = std::int32_t(RowBytes);
      for (std::int64_t i = 0; i < usable; ++i) {
        std::uint8_t* row = block + i * stride;
        std::uint8_t* next = row + stride;
        if (i + 1 < usable && next[0] == row[0] &&
            UnfilterRowPair(row[0], row + 1, next + 1, prior, Offset, length)) {
          Place(first + i, row + 1);
          Place(first + ++i, next + 1);
          prior = next + 1;
          continue;
        }
        if (!UnfilterRow(row[0], row + 1, prior, Offset, length))
          RaisePNGError(_PNG_ERROR_INVALID_FILTER_TYPE);
        Place(first + i, row + 1);
        prior = row + 1;
      }
      if (failure) std::rethrow_exception(failure);
      std::copy_n(prior, RowBytes, FPrior.begin());
      first += count;
    }
  }

 private:
  // Returns the bytes that arrived. The end of the data, clean or cut
  // short, stops further reading; damaged data is handed back in Failure
  // with the count of bytes inflated before it.
  std::int64_t Inflate(std::uint8_t* Buffer, std::int64_t Count, std::exception_ptr& Failure) {
    if (FEnded) return 0;
    try {
      const std::int64_t got = FStream->Read(Buffer, std::int32_t(Count));
      FDelivered += got;
      if (FStream->State() != zsReading) FEnded = true;
      return got;
    } catch (const EZLibError&) {
      const std::int64_t got = FStream->Seek(0, host::soCurrent) - FDelivered;
      FDelivered += got;
      FEnded = true;
      Failure = std::current_exception();
      return got;
    }
  }

  std::uint8_t* FWhole;
  TZDecompressionStream* FStream;
  const std::int64_t FRowsPerBlock;
  std::vector<std::uint8_t> FBlock;
  std::vector<std::uint8_t> FPrior;
  std::int64_t FDelivered = 0;
  bool FEnded = false;
};

// Bytes the image data inflates to: every row of the image, or of every
// non-empty Adam7 pass, with its filter type byte. 0 for an interlace
// method PNG does not define.
std::int64_t InflatedSize(std::uint32_t Width, std::uint32_t Height, std::uint8_t ColorType,
                          std::uint8_t BitDepth, std::uint8_t InterlaceMethod) {
  if (InterlaceMethod == 0)
    return std::int64_t(Height) * (GetBufferWidth(Width, BitDepth, ColorType) + 1);
  if (InterlaceMethod != 1) return 0;
  std::int64_t size = 0;
  for (const TAdam7Pass& pass : Adam7) {
    const std::int64_t passWidth = Adam7PassWidth(pass, Width);
    const std::int64_t rows = Adam7PassRows(pass, Height);
    if (passWidth > 0 && rows > 0)
      size += rows * (GetBufferWidth(std::uint32_t(passWidth), BitDepth, ColorType) + 1);
  }
  return size;
}

}  // namespace

void TChunkIDAT::DoAction() {
  TPNGImage* image = GetBitmap();
  const TChunkIHDR* header = GetIHDR();
  const TChunkGAMA* gamma = GetGAMA();
  const std::int32_t offset = GetOffset();
  const bool progress = bool(image->OnProgress);
  const std::int64_t rowBytes = GetBufferWidth();
  const std::uint8_t depth = header->BitDepth(), colorType = header->ColorType();
  if (!IsValidFormat(colorType, depth)) RaisePNGError(_PNG_ERROR_INVALID_COLOR_TYPE);
  const std::uint32_t width = header->GetWidth(), height = header->GetHeight();
  const int bitmapBits = BitmapBits(colorType, depth);
  CheckImageSize(width, height, bitmapBits);
  const std::int64_t inflatedSize =
      InflatedSize(width, height, colorType, depth, header->InterlaceMethod());
  // An unknown interlace method is refused only after sizing; its data is
  // held to what plain rows would need, or a tiny file could still ask for
  // gigabytes.
  const bool canFill = DataCanFillImage(
      inflatedSize > 0 ? inflatedSize : InflatedSize(width, height, colorType, depth, 0),
      Data().Size());
  if (!canFill &&
      host::BytesPerScanLine(int(width), bitmapBits) * std::int64_t(height) > kShortDataBudget)
    RaisePNGError(_PNG_ERROR_CHUNK_INVALID_CRC);

  SetupPixelFormat();
  const int w = int(width), h = int(height);
  const int pixelBits = host::BitsPerPixel(image->PixelFormat());
  const std::int64_t stride = host::BytesPerScanLine(w, pixelBits);
  // Image data is inflated in one go where it can be; the streaming decoder
  // takes what does not inflate exactly (damaged or cut-short data, and data
  // too short to fill the image never does).
  const bool inflateWhole = canFill && inflatedSize > 0 && w > 0 && h > 0;
  // Rows inflated into the bitmap's own memory, which then holds its padding
  // bytes to clear.
  bool inPlace = false;
  std::uint8_t* whole = nullptr;
  std::unique_ptr<std::uint8_t[]> wholeBuffer;
  std::unique_ptr<TZDecompressionStream> stream;
  if (inflateWhole && header->InterlaceMethod() == 0 && !progress) {
    // Into the bitmap's memory, far enough behind where the rows go that
    // each row is placed before its inflated bytes, over rows already used:
    // no second picture-sized buffer, and half the memory touched. (A
    // progress handler could reallocate the pixels under us, hence not then.)
    const std::int64_t at = stride + std::max<std::int64_t>(0, (h - 1) * (stride - rowBytes - 1));
    const std::int64_t room = std::max<std::int64_t>(0, at + inflatedSize - stride * h);
    std::uint8_t* pixels = image->SetSizeWithRoom(w, h, std::size_t(room));
    if (InflateExactly(Data().Memory(), std::size_t(Data().Size()), pixels + at,
                       std::size_t(inflatedSize))) {
      whole = pixels + at;
      inPlace = true;
    } else {
      std::fill_n(pixels, stride * h, 0);
    }
  } else {
    if (inflateWhole && inflatedSize <= kWholeLimit) {
      wholeBuffer.reset(new std::uint8_t[std::size_t(inflatedSize)]);
      if (InflateExactly(Data().Memory(), std::size_t(Data().Size()), wholeBuffer.get(),
                         std::size_t(inflatedSize)))
        whole = wholeBuffer.get();
    }
    image->SetWidth(w);
    image->SetHeight(h);
  }
  if (!whole) {
    stream = std::make_unique<TZDecompressionStream>(Data());
    stream->Seek(0, host::soBeginning);
  }
  TRowDecoder decoder(whole, stream.get(), rowBytes);
  const host::TPixelFormat format = image->PixelFormat();
  const TRowFormat rowFormat{colorType, depth, EffectiveGamma(gamma)};
  const std::int64_t used = (std::int64_t(w) * pixelBits + 7) / 8;

  // The progress handler must leave the image alone; if it does not, stop
  // rather than write into rows that are gone.
  auto report = [&](int Percent, const host::TRect& R) {
    image->OnProgress(*image, psRunning, std::uint8_t(Percent), true, R, "Drawing...");
    if (image->Width() != w || image->Height() != h || image->PixelFormat() != format)
      throw host::EInvalidGraphicOperation("The image was changed while it was being decoded");
  };

  switch (header->InterlaceMethod()) {
    case 0: {
      int placed = 0;
      try {
        decoder.Run(h, rowBytes, offset, [&](std::int64_t Row, const std::uint8_t* Bytes) {
          const int y = int(Row);
          if (w > 0) {
            std::uint8_t* line = image->ScanLine(y);
            // Samples widened into a bitmap byte keep its other bits.
            if (inPlace) line[used - 1] = 0;
            PlaceRow(rowFormat, line, Bytes, std::int32_t(rowBytes), w);
            if (inPlace) std::fill(line + used, line + stride, 0);
          }
          placed = y + 1;
          if (progress) report(host::MulDiv(y, 100, h), host::Rect(0, y - 1, w, y));
        });
      } catch (...) {
        // Rows not reached still hold inflated bytes there: blank them.
        if (inPlace && placed < h)
          std::fill(image->ScanLine(placed), image->ScanLine(h - 1) + stride, 0);
        throw;
      }
      break;
    }
    case 1:
      for (int p = 0; p < 7; ++p) {
        const TAdam7Pass& pass = Adam7[p];
        const std::int64_t passWidth = Adam7PassWidth(pass, w);
        const std::int64_t rows = Adam7PassRows(pass, h);
        if (passWidth > 0 && rows > 0) {
          const std::int64_t passBytes =
              snapkit::GetBufferWidth(std::uint32_t(passWidth), depth, colorType);
          decoder.Run(rows, passBytes, offset, [&](std::int64_t Row, const std::uint8_t* Bytes) {
            const int y = int(pass.FirstRow + Row * pass.RowStep);
            PlaceInterlacedRow(rowFormat, image->ScanLine(y), Bytes, pass.FirstCol, pass.ColStep,
                               std::int32_t(passBytes), pass.Mask, w);
          });
        }
        if (progress) report(host::MulDiv(100, p, 6), host::Rect(0, 0, w, h));
      }
      break;
    default:
      RaisePNGError(_PNG_ERROR_INVALID_INTERLACE);
  }
}

void TChunkIDAT::SetupPixelFormat() {
  TPNGImage* image = GetBitmap();
  const TChunkIHDR* header = GetIHDR();
  const std::uint8_t depth = header->BitDepth(), colorType = header->ColorType();

  switch (colorType) {
    case 0:
    case 3:
    case 4:
      if (depth == 1)
        image->SetPixelFormat(host::pf1bit);
      else if (depth == 2 || depth == 4)
        image->SetPixelFormat(host::pf4bit);
      else if (depth == 8 || depth == 16)
        image->SetPixelFormat(host::pf8bit);
      break;
    case 2:
    case 6:
      if (depth == 8 || depth == 16) image->SetPixelFormat(host::pf24bit);
      break;
    default:
      break;
  }

  if (colorType == 0 || colorType == 4) {
    // A palette holds at most 256 entries: no ramp for depths PNG does not
    // allow, which the decoder refuses anyway.
    if (depth == 1 || depth == 2 || depth == 4 || depth == 8)
      image->SetPalette(GreyRamp(1 << depth, GetGAMA()));
    else if (depth == 16)
      image->SetPalette(GreyRamp(256, GetGAMA()));
  } else if (colorType == 3) {
    const int index = Owner()->IndexOfClass(&TChunkPLTE::ClassInfo);
    if (index < 0) RaisePNGError(_PNG_ERROR_NO_PALETTE);
    image->SetPalette(static_cast<TChunkPLTE*>(Owner()->GetItem(index))->GetPalette());
  }
}

void TChunkIDAT::FilterRow(std::uint8_t FilterType, std::uint8_t* Row, const std::uint8_t* PriorRow,
                           std::int32_t Offset, std::int32_t Count) {
  if (!UnfilterRow(FilterType, Row, PriorRow, Offset, Count))
    RaisePNGError(_PNG_ERROR_INVALID_FILTER_TYPE);
}

void TChunkIDAT::DecodeNonInterlacedRow(std::uint8_t* Dest, const std::uint8_t* Src,
                                        std::int32_t RowBytes, const TChunkGAMA* Gamma) {
  const TChunkIHDR* header = GetIHDR();
  const TRowFormat format{header->ColorType(), header->BitDepth(), EffectiveGamma(Gamma)};
  PlaceRow(format, Dest, Src, RowBytes, GetBitmap()->Width());
}

void TChunkIDAT::DecodeInterlacedRow(std::uint8_t* Dest, const std::uint8_t* Src,
                                     std::int32_t ColStart, std::int32_t ColStep,
                                     std::int32_t RowBytes, std::int32_t Pass,
                                     const TChunkGAMA* Gamma) {
  if (Pass < 0 || Pass > 6) return;
  const TChunkIHDR* header = GetIHDR();
  const TRowFormat format{header->ColorType(), header->BitDepth(), EffectiveGamma(Gamma)};
  PlaceInterlacedRow(
      format, Dest, Src, ColStart, ColStep, RowBytes, Adam7[Pass].Mask,
      int(std::min<std::uint32_t>(header->GetWidth(), std::uint32_t(host::TBitmap::MaxDimension))));
}

void TChunkIDAT::CopyPackedSamples(const std::uint8_t* Src, std::uint8_t* Dest, std::uint32_t Count,
                                   std::uint8_t Mask, std::uint8_t SrcBits, std::uint8_t DestBits) {
  snapkit::CopyPackedSamples(Src, Dest, Count, Mask, SrcBits, DestBits);
}

}  // namespace snapkit
