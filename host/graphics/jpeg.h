#pragma once
// TJPEGImage: JPEG files through libjpeg-turbo. Registered with TPicture for
// ".jpg" and ".jpeg".

#include <memory>
#include <vector>

#include "host/graphics/graphic.h"

namespace host {

class TBitmap;

class TJPEGImage : public TGraphic {
 public:
  static const TGraphicClassRef ClassInfo;
  TGraphicClass ClassType() const override { return &ClassInfo; }

  TJPEGImage();
  ~TJPEGImage() override;

  int CompressionQuality() const { return FQuality; }
  void SetCompressionQuality(int Value);  // 1 .. 100
  bool Grayscale() const { return FGrayscale; }

  bool Empty() const override;
  int Width() const override;
  int Height() const override;
  void SetWidth(int) override;   // raises EInvalidGraphicOperation
  void SetHeight(int) override;  // raises EInvalidGraphicOperation

  // Assign takes a copy of a TBitmap (or another TJPEGImage); assigning a
  // TJPEGImage to a TBitmap decodes it.
  void Assign(const TPersistent& Source) override;
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  void Draw(TCanvas& Canvas, const TRect& Rect) override;

  // The decoded pixels (pf24bit).
  const TBitmap& Bitmap() const;

 protected:
  bool AssignTo(TPersistent& Dest) const override;

 private:
  int FQuality = 90;
  bool FGrayscale = false;
  std::unique_ptr<TBitmap> FBitmap;  // pixels, pf24bit
  std::vector<std::uint8_t> FData;   // compressed, kept so a save after a load is lossless
};

}  // namespace host
