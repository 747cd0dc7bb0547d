#include "png/chunk_trns.h"

#include "png/chunk_ihdr.h"
#include "png/errors.h"
#include "png/png_image.h"

namespace snapkit {

SNAPKIT_CHUNK_CLASS(TChunkTRNS, TChunk);

host::TColor TChunkTRNS::GetRGBColor() const {
  if (GetIHDR()->ColorType() != 2) RaisePNGError(_PNG_INVALID_COLOR_TYPE);
  // Missing bytes of a short chunk count as 0.
  std::uint8_t rgb[3] = {0, 0, 0};
  const std::uint32_t size = GetSize();
  for (std::uint32_t i = 0; i < 3 && i < size; ++i) rgb[i] = Data().Memory()[i];
  return host::RGB(rgb[0], rgb[1], rgb[2]);
}

void TChunkTRNS::SaveToStream(host::TStream& Stream) {
  Data().Clear();
  if (GetIHDR()->ColorType() != 2) return;
  const TPNGImage* image = GetBitmap();
  const host::TColor color = image ? image->TransparentColor() : 0;
  const std::uint8_t rgb[3] = {host::GetRValue(color), host::GetGValue(color),
                               host::GetBValue(color)};
  SetData(rgb, sizeof rgb);
  TChunk::SaveToStream(Stream);
}

}  // namespace snapkit
