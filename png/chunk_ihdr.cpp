#include "png/chunk_ihdr.h"

#include <algorithm>
#include <climits>

#include "png/byte_order.h"
#include "png/png_image.h"

namespace snapkit {

SNAPKIT_CHUNK_CLASS(TChunkIHDR, TChunk);
SNAPKIT_CHUNK_CLASS(TChunkIEND, TChunk);

namespace {
constexpr std::int64_t kHeaderSize = 13;

int BitmapDimension(std::uint32_t Value) {
  // The bitmap refuses sizes this large with its own error.
  return static_cast<int>(std::min<std::uint32_t>(Value, INT_MAX));
}
}  // namespace

TChunkIHDR::TChunkIHDR(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {
  const std::uint8_t zeros[kHeaderSize] = {};
  SetData(zeros, sizeof zeros);
}

// A header assigned from a short chunk reads its missing fields as zero and
// grows to its full size when written to.
static void EnsureHeaderSize(host::TMemoryStream& Data) {
  if (Data.Size() < kHeaderSize) Data.SetSize(kHeaderSize);
}

std::uint32_t TChunkIHDR::GetWidth() const { return GetSize() >= 4 ? GetBE32(Bytes()) : 0; }

std::uint32_t TChunkIHDR::GetHeight() const { return GetSize() >= 8 ? GetBE32(Bytes() + 4) : 0; }

void TChunkIHDR::SetWidth(std::uint32_t Value) {
  EnsureHeaderSize(Data());
  PutBE32(Bytes(), Value);
  TPNGImage* image = GetBitmap();
  if (image && static_cast<std::uint32_t>(image->Width()) != Value)
    image->SetWidth(BitmapDimension(Value));
}

void TChunkIHDR::SetHeight(std::uint32_t Value) {
  EnsureHeaderSize(Data());
  PutBE32(Bytes() + 4, Value);
  TPNGImage* image = GetBitmap();
  if (image && static_cast<std::uint32_t>(image->Height()) != Value)
    image->SetHeight(BitmapDimension(Value));
}

std::uint8_t TChunkIHDR::GetValue(std::int32_t Index) const {
  if (Index < 0 || Index > 4 || GetSize() <= std::uint32_t(8 + Index)) return 0;
  return Bytes()[8 + Index];
}

void TChunkIHDR::SetValue(std::int32_t Index, std::uint8_t Value) {
  if (Index < 0 || Index > 4) return;
  EnsureHeaderSize(Data());
  Bytes()[8 + Index] = Value;
}

void TChunkIHDR::SaveToStream(host::TStream& Stream) {
  if (TPNGImage* image = GetBitmap()) {
    SetValue(2, 0);
    SetValue(3, 0);
    SetValue(4, image->Interlacing() ? 1 : 0);
    SetWidth(static_cast<std::uint32_t>(image->Width()));
    SetHeight(static_cast<std::uint32_t>(image->Height()));
    switch (image->PixelFormat()) {
      case host::pf1bit:
        SetValue(1, 3);
        SetValue(0, 1);
        break;
      case host::pf4bit:
        SetValue(1, 3);
        SetValue(0, 4);
        break;
      case host::pf8bit:
        SetValue(1, 3);
        SetValue(0, 8);
        break;
      default:
        // The encoder writes palette rows or 8-bit RGB only.
        image->SetPixelFormat(host::pf24bit);
        SetValue(1, 2);
        SetValue(0, 8);
        break;
    }
  }
  TChunk::SaveToStream(Stream);
}

}  // namespace snapkit
