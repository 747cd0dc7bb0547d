#pragma once
// The palette chunk: red, green, blue per entry.

#include "host/graphics/types.h"
#include "png/chunk.h"

namespace snapkit {

class TChunkPLTE : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  explicit TChunkPLTE(TChunkList* Owner) : TChunkPLTE(Owner, &ClassInfo) {}
  // Takes its palette back from the bitmap before releasing it.
  ~TChunkPLTE() override;

  // Builds a new palette from the data (gamma-corrected when the list has a
  // gamma chunk); the chunk keeps it until the next call.
  host::HPALETTE GetPalette();
  host::HPALETTE Palette() const { return FPalette; }

  // Rebuilds the data from the bitmap's palette; writes nothing when the
  // bitmap has none.
  void SaveToStream(host::TStream& Stream) override;

 protected:
  TChunkPLTE(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {}

 private:
  host::HPALETTE FPalette;
};

}  // namespace snapkit
