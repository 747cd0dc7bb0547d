#pragma once
// The chunk container: a PNG file held as an ordered list of typed chunks.
// Each chunk keeps its data exactly as it stands in the file between the type
// field and the CRC; the concrete classes read and write fields of that data.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "host/system/list.h"
#include "host/system/metaclass.h"
#include "host/system/stream.h"

namespace snapkit {

class TChunk;
class TChunkList;
class TChunkIHDR;
class TChunkGAMA;
class TPNGImage;

// Four bytes, case as in the file.
using TChunkName = std::array<char, 4>;
constexpr TChunkName ChunkName(const char (&Text)[5]) {
  return {Text[0], Text[1], Text[2], Text[3]};
}
std::string ChunkNameText(const TChunkName& Name);

using TChunkClassRef = host::TClassRef<TChunk, TChunkList*>;
using TChunkClass = const TChunkClassRef*;

// Declares the class reference of a chunk class; the matching definition is
// SNAPKIT_CHUNK_CLASS in the class's source file.
#define SNAPKIT_DECLARE_CHUNK_CLASS                 \
 public:                                            \
  static const ::snapkit::TChunkClassRef ClassInfo; \
  ::snapkit::TChunkClass ClassType() const override { return &ClassInfo; }

#define SNAPKIT_CHUNK_CLASS(Class, ParentClass)        \
  const ::snapkit::TChunkClassRef Class::ClassInfo = { \
      #Class, &ParentClass::ClassInfo,                 \
      &::host::CreateInstance<Class, ::snapkit::TChunk, ::snapkit::TChunkList*>}

class TChunk {
 public:
  static const TChunkClassRef ClassInfo;
  virtual TChunkClass ClassType() const { return &ClassInfo; }

  // Takes its type name from the registry entry of its own class; it is not
  // added to Owner.
  explicit TChunk(TChunkList* Owner) : TChunk(Owner, &ClassInfo) {}
  virtual ~TChunk() = default;
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  // Runs once per chunk after a whole file has been read.
  virtual void DoAction() {}
  // Copies Source's data and type name.
  virtual void Assign(const TChunk& Source);
  // Writes length, type, data and CRC, or nothing for a type whose fourth
  // letter is not upper case.
  virtual void SaveToStream(host::TStream& Stream);

  TChunkList* Owner() const { return FOwner; }
  host::TMemoryStream& Data() { return FData; }
  const host::TMemoryStream& Data() const { return FData; }
  const TChunkName& Name() const { return FName; }
  void SetName(const TChunkName& Value) { FName = Value; }

  std::uint32_t GetSize() const;
  int GetIndex() const;
  TPNGImage* GetBitmap() const;
  // Item 0 of the owner list.
  TChunkIHDR* GetIHDR() const;
  // The first chunk of exactly class TChunkGAMA in the owner list, or null.
  TChunkGAMA* GetGAMA() const;

  // CRC-32 over the type name and the first Length bytes of the data.
  std::uint32_t ComputeCRC(std::uint32_t Length) const;

 protected:
  // Subclasses pass their own class so that the type name is looked up for
  // the most derived class, as a virtual constructor would.
  TChunk(TChunkList* Owner, TChunkClass OwnClass);
  // Replaces the data by Count bytes (the data stream's position ends at Count).
  void SetData(const void* Bytes, std::size_t Count);

 private:
  TChunkList* FOwner;
  host::TMemoryStream FData;
  TChunkName FName{};
};

class TChunkList {
 public:
  explicit TChunkList(TPNGImage* Image) : FImage(Image) {}
  ~TChunkList() { Clear(); }
  TChunkList(const TChunkList&) = delete;
  TChunkList& operator=(const TChunkList&) = delete;

  TPNGImage* Image() const { return FImage; }
  int GetCount() const { return FList.Count(); }
  TChunk* GetItem(int Index) const;
  TChunk* operator[](int Index) const { return GetItem(Index); }

  void Move(int CurIndex, int NewIndex);
  // Frees Chunk, which must belong to this list.
  void Remove(TChunk* Chunk);
  // Takes ownership of Chunk and appends it unchecked.
  TChunk* AddItem(std::unique_ptr<TChunk> Chunk);
  TChunk* AddClass(TChunkClass ChunkClass);
  template <class T>
  T* Add() {
    return static_cast<T*>(AddClass(&T::ClassInfo));
  }
  // The first chunk of exactly this class (descendants do not count), or -1.
  int IndexOfClass(TChunkClass ChunkClass) const;
  int IndexOfChunk(const TChunk* Chunk) const;
  // Reads one framed chunk; image data chunks after the first are merged
  // into it, so the returned chunk may be one already in the list.
  TChunk* AddStream(host::TStream& Stream);
  // Frees every chunk, last first.
  void Clear();

 private:
  TPNGImage* FImage;
  host::TList<std::unique_ptr<TChunk>> FList;
};

struct TChunkClassEntry {
  TChunkName Name;
  TChunkClass ChunkClass;
};

class TChunkClasses {
 public:
  int Add(const TChunkName& Name, TChunkClass ChunkClass);
  int GetCount() const { return FList ? FList->Count() : 0; }
  TChunkClassEntry GetItem(int Index) const;
  // First match wins, byte for byte.
  int IndexOfType(const TChunkName& Name) const;
  int IndexOfClass(TChunkClass ChunkClass) const;

 private:
  std::unique_ptr<host::TList<TChunkClassEntry>> FList;
};

// The process-wide registry, filled when the library is loaded.
TChunkClasses& ChunkClasses();

}  // namespace snapkit
