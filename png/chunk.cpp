#include "png/chunk.h"

#include "png/byte_order.h"
#include "png/chunk_gama.h"
#include "png/chunk_ihdr.h"
#include "png/crc.h"
#include "png/errors.h"
#include "png/png_image.h"

namespace snapkit {

const TChunkClassRef TChunk::ClassInfo = {"TChunk", nullptr,
                                          &host::CreateInstance<TChunk, TChunk, TChunkList*>};

std::string ChunkNameText(const TChunkName& Name) { return std::string(Name.data(), 4); }

TChunk::TChunk(TChunkList* Owner, TChunkClass OwnClass) : FOwner(Owner) {
  const TChunkClasses& registry = ChunkClasses();
  const int index = registry.IndexOfClass(OwnClass);
  if (index >= 0) FName = registry.GetItem(index).Name;
}

void TChunk::SetData(const void* Bytes, std::size_t Count) {
  FData.Clear();
  FData.WriteBuffer(Bytes, static_cast<std::int64_t>(Count));
}

void TChunk::Assign(const TChunk& Source) {
  SetData(Source.FData.Memory(),
          static_cast<std::size_t>(const_cast<TChunk&>(Source).FData.Size()));
  FName = Source.FName;
}

std::uint32_t TChunk::GetSize() const {
  return static_cast<std::uint32_t>(const_cast<host::TMemoryStream&>(FData).Size());
}

std::uint32_t TChunk::ComputeCRC(std::uint32_t Length) const {
  std::uint32_t reg = UpdateCRC(0xFFFFFFFFu, FName.data(), 4);
  return ~UpdateCRC(reg, FData.Memory(), Length);
}

void TChunk::SaveToStream(host::TStream& Stream) {
  // A fourth letter in lower case (or anything but A..Z) marks a chunk that
  // is safe to copy only by writers that understand it, so it is dropped.
  if (FName[3] < 'A' || FName[3] > 'Z') return;
  const std::uint32_t size = GetSize();
  std::uint8_t field[8];
  PutBE32(field, size);
  for (int i = 0; i < 4; ++i) field[4 + i] = static_cast<std::uint8_t>(FName[i]);
  Stream.WriteBuffer(field, 8);
  Stream.WriteBuffer(FData.Memory(), size);
  PutBE32(field, ComputeCRC(size));
  Stream.WriteBuffer(field, 4);
}

int TChunk::GetIndex() const { return FOwner ? FOwner->IndexOfChunk(this) : -1; }

TPNGImage* TChunk::GetBitmap() const { return FOwner ? FOwner->Image() : nullptr; }

TChunkIHDR* TChunk::GetIHDR() const {
  if (!FOwner) RaisePNGError(_PNG_ERROR_INVALID_CHUNK_INDEX);
  TChunk* first = FOwner->GetItem(0);
  // Fields of any other chunk class would be read as a header's otherwise.
  if (!first->ClassType()->InheritsFrom(&TChunkIHDR::ClassInfo))
    RaisePNGError(_PNG_ERROR_IHDR_NOT_FIRST);
  return static_cast<TChunkIHDR*>(first);
}

TChunkGAMA* TChunk::GetGAMA() const {
  if (!FOwner) return nullptr;
  const int index = FOwner->IndexOfClass(&TChunkGAMA::ClassInfo);
  return index >= 0 ? static_cast<TChunkGAMA*>(FOwner->GetItem(index)) : nullptr;
}

}  // namespace snapkit
