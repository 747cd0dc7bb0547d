#pragma once
// TAVIFImage: AVIF files through libavif (AV1 by whichever encoder libavif
// was built with; Debian's uses libaom). Registered with TPicture as "AVIF"
// when the package loads.

#include "host/graphics/coded_image.h"

namespace host {

class TAVIFImage : public TCodedImage {
 public:
  static const TGraphicClassRef ClassInfo;
  TGraphicClass ClassType() const override { return &ClassInfo; }

  // The encoder's speed by default: see the README's figures. Slower
  // speeds gain a few per cent of size for several times the time.
  static constexpr int DefaultSpeed = 8;

  TAVIFImage();

  // 0 (slowest, smallest) .. 10 (fastest).
  int Speed() const { return FSpeed; }
  void SetSpeed(int Value);

 protected:
  const char* FormatName() const override { return "AVIF"; }
  std::unique_ptr<TBitmap> Decode(const std::vector<std::uint8_t>& Data, bool& Alpha) override;
  std::vector<std::uint8_t> Encode(const TBitmap& Pixels, bool Alpha) const override;
  void AssignSettings(const TCodedImage& Source) override;

 private:
  int FSpeed = DefaultSpeed;
};

// The AV1 quantizer (0 best .. 63 worst) that Quality (1 .. 100) gives.
int AVIFQuantizer(int Quality);

}  // namespace host
