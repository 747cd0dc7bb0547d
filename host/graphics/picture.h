#pragma once
// TPicture: holds one graphic of any registered file format and picks the
// class by file extension when loading or saving.

#include <memory>
#include <string>
#include <vector>

#include "host/graphics/graphic.h"

namespace host {

class TBitmap;

struct TFileFormat {
  std::string Extension;  // lower case, without the dot
  std::string Description;
  TGraphicClass GraphicClass;
};

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  std::string ClassName() const override { return "TPicture"; }

  // Extension without the dot, any case. A later registration of the same
  // extension wins.
  static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                 TGraphicClass GraphicClass);
  // Removes every format served by GraphicClass (or a descendant).
  static void UnregisterGraphicClass(TGraphicClass GraphicClass);
  static std::vector<TFileFormat> FileFormats();
  // The class registered for FileName's extension, or null.
  static TGraphicClass GraphicClassForFile(const std::string& FileName);

  TGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> Value) { FGraphic = std::move(Value); }
  // The graphic as a bitmap: replaces a graphic of another class by a TBitmap
  // copy of it (or an empty bitmap).
  TBitmap& Bitmap();
  int Width() const;
  int Height() const;

  // Raise EInvalidGraphic "Unknown picture file extension (.xyz)" for an
  // unregistered extension.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

  void Assign(const TPersistent& Source) override;

 private:
  std::unique_ptr<TGraphic> FGraphic;
};

}  // namespace host
