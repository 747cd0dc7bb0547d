#include "host/graphics/jpeg.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/graphics/bitmap.h"
#include "host/system/exception.h"
#include "host/system/stream.h"

namespace host {

const TGraphicClassRef TJPEGImage::ClassInfo = {"TJPEGImage", nullptr,
                                                &CreateInstance<TJPEGImage, TGraphic>};

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
// C++ exceptions cannot cross its C frames safely, so it longjmps back to the
// guarded call below. The guarded functions keep only trivially destructible
// locals, so no destructor is skipped; everything owned lives in the callers'
// RAII objects, created before the jump target is set.
struct TErrorManager {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr Info) {
  auto* err = reinterpret_cast<TErrorManager*>(Info->err);
  (*Info->err->format_message)(Info, err->Message);
  std::longjmp(err->Jump, 1);
}

// Warnings that mean the data is damaged (a truncated file, bad entropy
// codes) are errors here: libjpeg would otherwise invent grey pixels.
void EmitMessage(j_common_ptr Info, int Level) {
  if (Level >= 0) return;  // trace messages
  switch (Info->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      ErrorExit(Info);
    default:
      Info->err->num_warnings++;
  }
}

void OutputMessage(j_common_ptr) {}

void InitErrors(TErrorManager& Err) {
  jpeg_std_error(&Err.Pub);
  Err.Pub.error_exit = ErrorExit;
  Err.Pub.emit_message = EmitMessage;
  Err.Pub.output_message = OutputMessage;
  Err.Message[0] = '\0';
}

// A progressive file can ask for very many scans over a tiny input; stop
// files that would keep the decoder busy for no picture.
constexpr long kMaxScans = 1000;

// Progressive and arithmetic-coded files are not bounded by the two bits a
// sequential Huffman block costs: an arithmetic coder spends far less than
// a bit on a blank block. A progressive file's first DC scan still costs a
// bit per block, so real files stay under 512 pixels per byte; twice that is
// allowed, and any picture of up to 4 M pixels whatever its data. Without
// such a bound a header edited to 30000 x 30000 makes a 600-byte file ask
// for a 2.7 GB bitmap.
constexpr std::uint64_t kPixelsPerByte = 1024;
constexpr std::uint64_t kAlwaysAllowedPixels = std::uint64_t(1) << 22;

void ProgressMonitor(j_common_ptr Info) {
  auto* d = reinterpret_cast<j_decompress_ptr>(Info);
  if (Info->is_decompressor && d->input_scan_number > kMaxScans) {
    auto* err = reinterpret_cast<TErrorManager*>(Info->err);
    std::snprintf(err->Message, sizeof err->Message, "too many progressive scans");
    std::longjmp(err->Jump, 1);
  }
}

struct TDecoder {
  TErrorManager Err;
  jpeg_decompress_struct Info;
  jpeg_progress_mgr Progress;
  bool Created = false;
  TDecoder() {
    InitErrors(Err);
    std::memset(&Info, 0, sizeof Info);
    std::memset(&Progress, 0, sizeof Progress);
  }
  ~TDecoder() {
    if (Created) jpeg_destroy_decompress(&Info);
  }
};

struct TEncoder {
  TErrorManager Err;
  jpeg_compress_struct Info;
  bool Created = false;
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  TEncoder() {
    InitErrors(Err);
    std::memset(&Info, 0, sizeof Info);
  }
  ~TEncoder() {
    if (Created) jpeg_destroy_compress(&Info);
    std::free(Buffer);
  }
};

// Each guarded step returns false after a libjpeg error; D.Err.Message says why.
bool ReadHeader(TDecoder& D, const unsigned char* Data, unsigned long Size) {
  if (setjmp(D.Err.Jump)) return false;
  D.Info.err = &D.Err.Pub;
  jpeg_create_decompress(&D.Info);
  D.Created = true;
  D.Progress.progress_monitor = ProgressMonitor;
  D.Info.progress = &D.Progress;
  jpeg_mem_src(&D.Info, Data, Size);
  jpeg_read_header(&D.Info, TRUE);
  return true;
}

// Rows[i] receives output row i: BGR, or CMYK when Cmyk is set.
bool Decompress(TDecoder& D, unsigned char** Rows, bool Cmyk) {
  if (setjmp(D.Err.Jump)) return false;
  D.Info.out_color_space = Cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(&D.Info);
  while (D.Info.output_scanline < D.Info.output_height) {
    JSAMPROW row = Rows[D.Info.output_scanline];
    jpeg_read_scanlines(&D.Info, &row, 1);
  }
  jpeg_finish_decompress(&D.Info);
  return true;
}

bool Compress(TEncoder& E, unsigned char** Rows, int Width, int Height, int Quality) {
  if (setjmp(E.Err.Jump)) return false;
  E.Info.err = &E.Err.Pub;
  jpeg_create_compress(&E.Info);
  E.Created = true;
  jpeg_mem_dest(&E.Info, &E.Buffer, &E.Size);
  E.Info.image_width = static_cast<JDIMENSION>(Width);
  E.Info.image_height = static_cast<JDIMENSION>(Height);
  E.Info.input_components = 3;
  E.Info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&E.Info);
  jpeg_set_quality(&E.Info, Quality, TRUE);
  jpeg_start_compress(&E.Info, TRUE);
  while (E.Info.next_scanline < E.Info.image_height) {
    JSAMPROW row = Rows[E.Info.next_scanline];
    jpeg_write_scanlines(&E.Info, &row, 1);
  }
  jpeg_finish_compress(&E.Info);
  return true;
}

[[noreturn]] void Invalid(const char* Why) {
  throw EInvalidGraphic(std::string("JPEG image is not valid: ") + Why);
}

// The whole rest of Stream.
std::vector<std::uint8_t> ReadRest(TStream& Stream) {
  std::vector<std::uint8_t> data;
  std::int64_t left = -1;
  try {
    left = Stream.Size() - Stream.Position();
  } catch (const EStreamError&) {
  }
  if (left >= 0) {
    data.resize(static_cast<std::size_t>(left));
    Stream.ReadBuffer(data.data(), left);
    return data;
  }
  std::uint8_t buf[65536];
  for (std::int32_t n; (n = Stream.Read(buf, sizeof buf)) > 0;)
    data.insert(data.end(), buf, buf + n);
  return data;
}

// Decodes Data into a new pf24bit bitmap; Gray tells whether the file had one channel.
std::unique_ptr<TBitmap> Decode(const std::vector<std::uint8_t>& Data, bool& Gray) {
  if (Data.size() < 4) Invalid("file too short");
  TDecoder d;
  if (!ReadHeader(d, Data.data(), static_cast<unsigned long>(Data.size()))) Invalid(d.Err.Message);
  const JDIMENSION w = d.Info.image_width, h = d.Info.image_height;
  if (w == 0 || h == 0) Invalid("zero image size");
  if (w > static_cast<JDIMENSION>(TBitmap::MaxDimension) ||
      h > static_cast<JDIMENSION>(TBitmap::MaxDimension) ||
      BytesPerScanLine(static_cast<int>(w), 24) * h > TBitmap::MaxBytes)
    Invalid(
        ("image size " + std::to_string(w) + "x" + std::to_string(h) + " is too large").c_str());
  // Every block of a sequential Huffman-coded file costs at least two bits,
  // so a short file cannot make us allocate a huge bitmap.
  if (!d.Info.progressive_mode && !d.Info.arith_code) {
    std::uint64_t blocks = 0;
    for (int c = 0; c < d.Info.num_components; ++c)
      blocks +=
          std::uint64_t(d.Info.comp_info[c].width_in_blocks) * d.Info.comp_info[c].height_in_blocks;
    if (blocks / 4 > Data.size())
      Invalid(("image size " + std::to_string(w) + "x" + std::to_string(h) +
               " is too large for its data")
                  .c_str());
  } else if (std::uint64_t(w) * h > std::max(kAlwaysAllowedPixels, Data.size() * kPixelsPerByte)) {
    Invalid(
        ("image size " + std::to_string(w) + "x" + std::to_string(h) + " is too large for its data")
            .c_str());
  }
  const bool cmyk = d.Info.jpeg_color_space == JCS_CMYK || d.Info.jpeg_color_space == JCS_YCCK;
  Gray = d.Info.jpeg_color_space == JCS_GRAYSCALE;

  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(static_cast<int>(w), static_cast<int>(h));
  std::vector<std::uint8_t> cmykRows;
  std::vector<unsigned char*> rows(h);
  if (cmyk) {
    cmykRows.resize(std::size_t(w) * 4 * h);
    for (JDIMENSION y = 0; y < h; ++y) rows[y] = cmykRows.data() + std::size_t(y) * w * 4;
  } else {
    for (JDIMENSION y = 0; y < h; ++y) rows[y] = bitmap->ScanLine(static_cast<int>(y));
  }
  if (!Decompress(d, rows.data(), cmyk)) Invalid(d.Err.Message);
  if (cmyk) {
    // Adobe writes CMYK inverted (255 = no ink), which is what libjpeg returns.
    const bool inverted = d.Info.saw_Adobe_marker;
    for (JDIMENSION y = 0; y < h; ++y) {
      const std::uint8_t* s = rows[y];
      std::uint8_t* o = bitmap->ScanLine(static_cast<int>(y));
      for (JDIMENSION x = 0; x < w; ++x, s += 4, o += 3) {
        unsigned c = s[0], m = s[1], yy = s[2], k = s[3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          yy = 255 - yy;
          k = 255 - k;
        }
        o[0] = static_cast<std::uint8_t>((yy * k + 127) / 255);
        o[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        o[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
      }
    }
  }
  return bitmap;
}

}  // namespace

TJPEGImage::TJPEGImage() : FBitmap(std::make_unique<TBitmap>()) {
  FBitmap->SetPixelFormat(pf24bit);
}
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::SetCompressionQuality(int Value) {
  if (Value < 1 || Value > 100)
    throw EInvalidGraphicOperation("JPEG quality must be between 1 and 100");
  if (Value == FQuality) return;
  FQuality = Value;
  // The next save compresses the pixels again at the new quality.
  if (!FBitmap->Empty()) FData.clear();
}

bool TJPEGImage::Empty() const { return FBitmap->Empty(); }
int TJPEGImage::Width() const { return FBitmap->Width(); }
int TJPEGImage::Height() const { return FBitmap->Height(); }

void TJPEGImage::SetWidth(int) {
  throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}
void TJPEGImage::SetHeight(int) {
  throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

const TBitmap& TJPEGImage::Bitmap() const { return *FBitmap; }

void TJPEGImage::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  if (auto* j = dynamic_cast<const TJPEGImage*>(&Source)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*j->FBitmap);
    FData = j->FData;
    FBitmap = std::move(copy);
    FQuality = j->FQuality;
    FGrayscale = j->FGrayscale;
    return;
  }
  if (auto* b = dynamic_cast<const TBitmap*>(&Source)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*b);
    copy->SetPixelFormat(pf24bit);
    FBitmap = std::move(copy);
    FData.clear();
    FGrayscale = false;
    return;
  }
  TGraphic::Assign(Source);
}

bool TJPEGImage::AssignTo(TPersistent& Dest) const {
  if (auto* b = dynamic_cast<TBitmap*>(&Dest)) {
    b->Assign(*FBitmap);
    return true;
  }
  return false;
}

void TJPEGImage::LoadFromStream(TStream& Stream) {
  std::vector<std::uint8_t> data = ReadRest(Stream);
  bool gray = false;
  std::unique_ptr<TBitmap> bitmap = Decode(data, gray);
  FBitmap = std::move(bitmap);
  FData = std::move(data);
  FGrayscale = gray;
}

void TJPEGImage::SaveToStream(TStream& Stream) {
  if (FData.empty()) {
    if (FBitmap->Empty()) throw EInvalidGraphicOperation("Cannot save an empty JPEG image");
    const int h = FBitmap->Height();
    std::vector<unsigned char*> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) rows[static_cast<std::size_t>(y)] = FBitmap->ScanLine(y);
    TEncoder e;
    if (!Compress(e, rows.data(), FBitmap->Width(), h, FQuality))
      throw EInvalidGraphic(std::string("Cannot write JPEG image: ") + e.Err.Message);
    FData.assign(e.Buffer, e.Buffer + e.Size);
  }
  Stream.WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size()));
}

void TJPEGImage::Draw(TCanvas& Canvas, const TRect& Rect) { FBitmap->Draw(Canvas, Rect); }

}  // namespace host
