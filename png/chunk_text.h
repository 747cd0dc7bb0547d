#pragma once
// Text chunks: a keyword and a text, plain or deflated. Their type names end
// in a lower-case letter, so neither is ever written to a file.

#include <cstdint>
#include <string>

#include "png/chunk.h"

namespace snapkit {

class TChunkTEXT : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  explicit TChunkTEXT(TChunkList* Owner) : TChunkTEXT(Owner, &ClassInfo) {}

  // Index 0 is the keyword, any other the text.
  std::string GetValue(std::int32_t Index) const;
  void SetValue(std::int32_t Index, const std::string& Value);

 protected:
  TChunkTEXT(TChunkList* Owner, TChunkClass OwnClass);
};

class TChunkZTXT : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  explicit TChunkZTXT(TChunkList* Owner) : TChunkZTXT(Owner, &ClassInfo) {}

  std::string GetValue(std::int32_t Index);
  void SetValue(std::int32_t Index, const std::string& Value);

 protected:
  TChunkZTXT(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {}
};

}  // namespace snapkit
