#pragma once
// The gamma chunk: the image gamma times 100000, and the two lookup tables
// built from it.

#include <cstdint>

#include "png/chunk.h"

namespace snapkit {

class TChunkGAMA : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  explicit TChunkGAMA(TChunkList* Owner) : TChunkGAMA(Owner, &ClassInfo) {}

  std::uint32_t GetValue() const;
  // Leaves the tables as they are until the next DoAction.
  void SetValue(std::uint32_t Value);

  // Builds both tables from the value.
  void DoAction() override;
  void Assign(const TChunk& Source) override;

  // File sample to display sample.
  const std::uint8_t* GammaTable() const { return FGammaTable; }
  // Display sample back to file sample.
  const std::uint8_t* InverseTable() const { return FInverseTable; }

 protected:
  TChunkGAMA(TChunkList* Owner, TChunkClass OwnClass);

 private:
  std::uint8_t FGammaTable[256] = {};
  std::uint8_t FInverseTable[256] = {};
};

}  // namespace snapkit
