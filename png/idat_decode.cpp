#include "png/chunk_idat.h"

namespace snapkit {

// Placeholders until the decoder lands: loading keeps the chunks but draws nothing.
void TChunkIDAT::DoAction() {}

void TChunkIDAT::SetupPixelFormat() {}

void TChunkIDAT::FilterRow(std::uint8_t FilterType, std::uint8_t* Row, const std::uint8_t* PriorRow,
                           std::int32_t Offset, std::int32_t Count) {}

void TChunkIDAT::DecodeNonInterlacedRow(std::uint8_t* Dest, const std::uint8_t* Src,
                                        std::int32_t RowBytes, const TChunkGAMA* Gamma) {}

void TChunkIDAT::DecodeInterlacedRow(std::uint8_t* Dest, const std::uint8_t* Src,
                                     std::int32_t ColStart, std::int32_t ColStep,
                                     std::int32_t RowBytes, std::int32_t Pass,
                                     const TChunkGAMA* Gamma) {}

void TChunkIDAT::CopyPackedSamples(const std::uint8_t* Src, std::uint8_t* Dest, std::uint32_t Count,
                                   std::uint8_t Mask, std::uint8_t SrcBits, std::uint8_t DestBits) {
}

}  // namespace snapkit
