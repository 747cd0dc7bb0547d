#pragma once
// The modification-time chunk: year (2 bytes), month, day, hour, minute, second.

#include "host/system/datetime.h"
#include "png/chunk.h"

namespace snapkit {

class TChunkTIME : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  // Starts with the current local time.
  explicit TChunkTIME(TChunkList* Owner) : TChunkTIME(Owner, &ClassInfo) {}

  host::TDateTime GetDateTime() const;
  void SetDateTime(host::TDateTime DateTime);

 protected:
  TChunkTIME(TChunkList* Owner, TChunkClass OwnClass);
};

}  // namespace snapkit
