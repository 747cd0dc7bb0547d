#pragma once
// TPersistent and TGraphic: the base of everything a TPicture can hold.

#include <string>

#include "host/system/metaclass.h"

namespace host {

class TStream;
class TCanvas;
struct TRect;
class TGraphic;

using TGraphicClassRef = TClassRef<TGraphic>;
using TGraphicClass = const TGraphicClassRef*;

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Copies Source into this object. The default asks Source to AssignTo this
  // object and raises EConvertError "Cannot assign a X to a Y" when neither
  // side knows how.
  virtual void Assign(const TPersistent& Source);
  virtual std::string ClassName() const = 0;

 protected:
  // Returns false when this object cannot copy itself into Dest.
  virtual bool AssignTo(TPersistent& Dest) const { return false; }
};

class TGraphic : public TPersistent {
 public:
  virtual TGraphicClass ClassType() const = 0;
  std::string ClassName() const override { return std::string(ClassType()->ClassName); }

  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  virtual bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value) { FTransparent = Value; }

  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);

  // How a canvas draws this graphic into Rect (scaled to fit it).
  virtual void Draw(TCanvas& Canvas, const TRect& Rect) = 0;

 private:
  bool FTransparent = false;
};

}  // namespace host
