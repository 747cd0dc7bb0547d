#include <cstring>
#include <string>

#include "png/byte_order.h"
#include "png/chunk.h"
#include "png/chunk_idat.h"
#include "png/errors.h"

namespace snapkit {

TChunk* TChunkList::GetItem(int Index) const {
  if (Index < 0 || Index >= GetCount()) RaisePNGError(_PNG_ERROR_INVALID_CHUNK_INDEX);
  return FList.Items(Index).get();
}

void TChunkList::Move(int CurIndex, int NewIndex) {
  if (CurIndex < 0 || CurIndex >= GetCount()) RaisePNGError(_PNG_ERROR_INVALID_CHUNK_INDEX);
  FList.Move(CurIndex, NewIndex);
}

void TChunkList::Remove(TChunk* Chunk) {
  const int index = Chunk && Chunk->Owner() == this ? IndexOfChunk(Chunk) : -1;
  // A chunk that names this list as owner but was never added is not a child either.
  if (index < 0) RaisePNGError(_CHUNK_NOT_CHILD);
  FList.Delete(index);
}

TChunk* TChunkList::AddItem(std::unique_ptr<TChunk> Chunk) {
  TChunk* result = Chunk.get();
  FList.Add(std::move(Chunk));
  return result;
}

TChunk* TChunkList::AddClass(TChunkClass ChunkClass) { return AddItem(ChunkClass->Create(this)); }

int TChunkList::IndexOfClass(TChunkClass ChunkClass) const {
  for (int i = 0; i < GetCount(); ++i)
    if (FList.Items(i)->ClassType() == ChunkClass) return i;
  return -1;
}

int TChunkList::IndexOfChunk(const TChunk* Chunk) const {
  for (int i = 0; i < GetCount(); ++i)
    if (FList.Items(i).get() == Chunk) return i;
  return -1;
}

void TChunkList::Clear() {
  while (GetCount() > 0) FList.Delete(GetCount() - 1);
}

namespace {

// A stream that ends inside a chunk fails with the stream's read error, and
// says where: a file cut short is the commonest damage there is.
void ReadOrRaise(host::TStream& Stream, void* Buffer, std::int64_t Count,
                 const std::string& Where) {
  try {
    Stream.ReadBuffer(Buffer, Count);
  } catch (const host::EReadError&) {
    throw host::EReadError("The PNG file is cut short inside " + Where);
  }
}

std::string ChunkPlace(const TChunkName& Name) { return "its " + ChunkNameText(Name) + " chunk"; }

}  // namespace

TChunk* TChunkList::AddStream(host::TStream& Stream) {
  std::uint8_t field[8];
  ReadOrRaise(Stream, field, 8, "a chunk's length and type");
  const std::uint32_t length = GetBE32(field);
  TChunkName name;
  std::memcpy(name.data(), field + 4, 4);

  const int entry = ChunkClasses().IndexOfType(name);
  if (!(field[4] & 0x20) && entry < 0) RaisePNGError(_PNG_ERROR_UNKOWN_CRITICAL_CHUNK);
  // PNG caps lengths at 2^31 - 1; larger ones can only be corruption.
  if (length > 0x7FFFFFFFu) RaisePNGError(_PNG_ERROR_CHUNK_INVALID_CRC);
  // Refuse before allocating when the stream cannot hold the data.
  if (static_cast<std::int64_t>(length) > Stream.Size() - Stream.Position())
    throw host::EReadError("The PNG file is cut short inside " + ChunkPlace(name));

  std::unique_ptr<TChunk> chunk = entry >= 0
                                      ? ChunkClasses().GetItem(entry).ChunkClass->Create(this)
                                      : std::make_unique<TChunk>(this);
  chunk->SetName(name);
  host::TMemoryStream& data = chunk->Data();
  if (length > 0) {
    // Over the class's default bytes; any beyond the file's data remain.
    if (data.Size() < length) data.SetSize(length);
    ReadOrRaise(Stream, data.Memory(), length, ChunkPlace(name));
  }
  ReadOrRaise(Stream, field, 4, "the CRC of " + ChunkPlace(name));
  if (GetBE32(field) != chunk->ComputeCRC(length)) RaisePNGError(_PNG_ERROR_CHUNK_INVALID_CRC);

  if (chunk->ClassType()->InheritsFrom(&TChunkIDAT::ClassInfo)) {
    const int first = IndexOfClass(&TChunkIDAT::ClassInfo);
    if (first >= 0) {
      // One contiguous compressed stream for the decoder. Room for the rest
      // of the stream at once: growing chunk by chunk would copy the image
      // data over and over, and hold two copies while it moves.
      host::TMemoryStream& target = GetItem(first)->Data();
      target.Reserve(target.Size() + data.Size() + (Stream.Size() - Stream.Position()));
      target.Seek(0, host::soEnd);
      target.WriteBuffer(data.Memory(), data.Size());
      return GetItem(first);
    }
  }
  return AddItem(std::move(chunk));
}

}  // namespace snapkit
