#include "png/chunk_gama.h"

#include <cmath>
#include <cstring>

#include "png/byte_order.h"

namespace snapkit {

SNAPKIT_CHUNK_CLASS(TChunkGAMA, TChunk);

TChunkGAMA::TChunkGAMA(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {
  const std::uint8_t one[4] = {0, 0, 0, 1};
  SetData(one, sizeof one);
}

std::uint32_t TChunkGAMA::GetValue() const { return GetSize() >= 4 ? GetBE32(Data().Memory()) : 0; }

void TChunkGAMA::SetValue(std::uint32_t Value) {
  if (GetSize() < 4) Data().SetSize(4);
  PutBE32(Data().Memory(), Value);
}

void TChunkGAMA::DoAction() {
  const std::uint32_t value = GetValue();
  for (int i = 0; i < 256; ++i) {
    long double v;
    if (value == 0) {
      // The exponent grows without bound: everything below full scale goes to 0.
      v = i == 255 ? 255 : 0;
    } else {
      const long double e = 1.0L / (static_cast<long double>(value) / 100000.0L * 2.2L);
      v = i == 0 ? 0.0L
                 : std::nearbyint(255.0L * std::pow(static_cast<long double>(i) / 255.0L, e));
    }
    const auto c = static_cast<std::uint8_t>(v);
    FGammaTable[i] = c;
    FInverseTable[c] = static_cast<std::uint8_t>(i);
  }
}

void TChunkGAMA::Assign(const TChunk& Source) {
  TChunk::Assign(Source);
  if (Source.ClassType()->InheritsFrom(&ClassInfo)) {
    const auto& gama = static_cast<const TChunkGAMA&>(Source);
    std::memcpy(FGammaTable, gama.FGammaTable, sizeof FGammaTable);
    std::memcpy(FInverseTable, gama.FInverseTable, sizeof FInverseTable);
  }
}

}  // namespace snapkit
