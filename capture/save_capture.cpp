// Writing the last capture to a file, its format chosen by the extension:
// .JPG, .PNG and the rest as BMP by the control's own rule, any other
// extension that names a registered picture format (.WEBP, .AVIF) as that.

#include <algorithm>
#include <cctype>

#include "capture/sitelens.h"
#include "host/graphics/jpeg.h"
#include "host/graphics/picture.h"
#include "host/graphics/webp.h"
#include "imaging/filters.h"
#include "imaging/resample.h"
#include "png/png_image.h"

namespace snapkit {

namespace {

// The extension of the last path component with its dot, in upper case;
// empty when there is none.
std::string UpperExtension(const std::string& FileName) {
  std::size_t Dot = FileName.find_last_of("./");
  if (Dot == std::string::npos || FileName[Dot] != '.') return std::string();
  std::string Ext = FileName.substr(Dot);
  std::transform(Ext.begin(), Ext.end(), Ext.begin(),
                 [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
  return Ext;
}

}  // namespace

void TSitelens::SetJPEGQuality(int Value) {
  if (Value < 1 || Value > 100) throw host::EInvalidOperation("The JPEG quality is from 1 to 100");
  FJPEGQuality = Value;
}

std::int32_t TSitelens::SaveToFile(const std::string& FileName, std::int32_t Width,
                                   std::int32_t Height) {
  host::TGraphic* Shown = FImage->Picture().Graphic();
  if (!Shown || Shown->Empty() || FRenderFailed) return -1;
  host::TBitmap Work;
  if (Width > 0) {
    int W = Width, H = Height;
    if (FProportional) {
      W = FCapture->Width();
      H = FCapture->Height();
      ScaleToFit(W, H, Width, Height);
    }
    Resample(*FCapture, Work, W, H, MitchellFilter, 3.0f);
  } else {
    Work.Assign(*FCapture);
  }
  const std::string Ext = UpperExtension(FileName);
  if (Ext == ".JPG") {
    host::TJPEGImage Jpeg;
    Jpeg.SetCompressionQuality(FJPEGQuality);
    Jpeg.Assign(Work);
    Jpeg.SaveToFile(FileName);
  } else if (Ext == ".PNG") {
    TPNGImage Png;
    Png.Assign(Work);
    Png.SaveToFile(FileName);
  } else if (host::TGraphicClass Class = host::TPicture::GraphicClassForFile(FileName);
             Class && !Class->InheritsFrom(&host::TBitmap::ClassInfo) &&
             !Class->InheritsFrom(&host::TJPEGImage::ClassInfo)) {
    // Formats beyond the three the rule knows; .jpeg and the like stay BMP
    // files as the rule has them.
    std::unique_ptr<host::TGraphic> Out = Class->Create();
    Out->Assign(Work);
    if (auto* Coded = dynamic_cast<host::TCodedImage*>(Out.get()))
      Coded->SetCompressionQuality(FJPEGQuality);
    if (auto* WebP = dynamic_cast<host::TWebPImage*>(Out.get())) WebP->SetLossless(FWebPLossless);
    Out->SaveToFile(FileName);
  } else {
    Work.SaveToFile(FileName);
  }
  FWrittenWidth = Work.Width();
  FWrittenHeight = Work.Height();
  return 0;
}

}  // namespace snapkit
