#include "fuzz/picture_load.h"

#include "fuzz/fuzz_support.h"
#include "host/graphics/graphic.h"
#include "host/system/exception.h"

namespace snapkit::fuzz {

bool LoadPicture(host::TPicture& Picture, const std::string& FileName, const std::uint8_t* Data,
                 std::size_t Size) {
  host::TGraphicClass cls = host::TPicture::GraphicClassForFile(FileName);
  Check(cls != nullptr, "no picture format is registered for " + FileName);
  std::unique_ptr<host::TGraphic> graphic = cls->Create();
  host::TMemoryStream stream;
  Fill(stream, Data, Size);
  try {
    graphic->LoadFromStream(stream);
  } catch (const host::Exception&) {
    return false;
  }
  Check(!graphic->Empty(), "a loaded picture is empty");
  Picture.SetGraphic(std::move(graphic));
  return true;
}

}  // namespace snapkit::fuzz
