#pragma once
// TWebPImage: WebP files through libwebp, lossy (the quality) or lossless.
// Registered with TPicture as "WEBP" when the package loads.

#include "host/graphics/coded_image.h"

namespace host {

class TWebPImage : public TCodedImage {
 public:
  static const TGraphicClassRef ClassInfo;
  TGraphicClass ClassType() const override { return &ClassInfo; }

  TWebPImage();

  // Lossless files give back the exact pixels; CompressionQuality is then
  // unused. Off by default. A loaded lossless file reports true.
  bool Lossless() const { return FLossless; }
  void SetLossless(bool Value);

 protected:
  const char* FormatName() const override { return "WebP"; }
  std::unique_ptr<TBitmap> Decode(const std::vector<std::uint8_t>& Data, bool& Alpha) override;
  std::vector<std::uint8_t> Encode(const TBitmap& Pixels, bool Alpha) const override;
  void AssignSettings(const TCodedImage& Source) override;

 private:
  bool FLossless = false;  // also set by Decode, from the file
};

}  // namespace host
