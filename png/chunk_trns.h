#pragma once
// The transparency chunk: one transparent colour of a truecolour image, held
// as three bytes red, green, blue.

#include "host/graphics/types.h"
#include "png/chunk.h"

namespace snapkit {

class TChunkTRNS : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  explicit TChunkTRNS(TChunkList* Owner) : TChunkTRNS(Owner, &ClassInfo) {}

  // Only for truecolour images (colour type 2).
  host::TColor GetRGBColor() const;
  // Writes the bitmap's transparent colour; nothing at all for an image
  // that is not truecolour.
  void SaveToStream(host::TStream& Stream) override;

 protected:
  TChunkTRNS(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {}
};

}  // namespace snapkit
