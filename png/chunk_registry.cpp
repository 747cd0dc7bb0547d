#include "png/chunk.h"
#include "png/errors.h"

namespace snapkit {

int TChunkClasses::Add(const TChunkName& Name, TChunkClass ChunkClass) {
  if (!FList) FList = std::make_unique<host::TList<TChunkClassEntry>>();
  return FList->Add(TChunkClassEntry{Name, ChunkClass});
}

TChunkClassEntry TChunkClasses::GetItem(int Index) const {
  if (Index < 0 || Index >= GetCount()) RaisePNGError(_PNG_ERROR_INVALID_CHUNK_CLASS_INDEX);
  return FList->Items(Index);
}

int TChunkClasses::IndexOfType(const TChunkName& Name) const {
  for (int i = 0; i < GetCount(); ++i)
    if (FList->Items(i).Name == Name) return i;
  return -1;
}

int TChunkClasses::IndexOfClass(TChunkClass ChunkClass) const {
  for (int i = 0; i < GetCount(); ++i)
    if (FList->Items(i).ChunkClass == ChunkClass) return i;
  return -1;
}

TChunkClasses& ChunkClasses() {
  // Function-local so that it exists before any other static initialiser
  // (the library's own registration included) first reaches for it.
  static TChunkClasses registry;
  return registry;
}

}  // namespace snapkit
