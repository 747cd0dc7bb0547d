#include "host/graphics/graphic.h"

#include "host/system/exception.h"
#include "host/system/stream.h"

namespace host {

void TPersistent::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  if (!Source.AssignTo(*this))
    throw EConvertError("Cannot assign a " + Source.ClassName() + " to a " + ClassName());
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  // One read into memory: decoders then never wait on small file reads.
  TMemoryStream data;
  data.LoadFromFile(FileName);
  data.SetPosition(0);
  LoadFromStream(data);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  // Encode first so that a failing encoder leaves an existing file untouched.
  TMemoryStream data;
  SaveToStream(data);
  data.SaveToFile(FileName);
}

}  // namespace host
