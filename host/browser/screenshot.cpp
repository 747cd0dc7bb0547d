#include "host/browser/screenshot.h"

#include <glib.h>

#include "host/graphics/picture.h"
#include "host/system/exception.h"
#include "host/system/stream.h"

namespace host {

std::vector<std::uint8_t> DecodeBase64(const std::string& Text) {
  // GLib skips characters outside the alphabet; the browser never sends
  // any, so one would mean an answer we do not understand.
  static const char* Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::size_t Size = Text.find_last_not_of('=') + 1;
  if (Text.find_first_not_of(Alphabet) < Size || Size % 4 == 1)
    throw EOleException("Cannot read the browser's picture: bad base64 data");
  std::vector<std::uint8_t> Out(Size / 4 * 3 + 3);
  gint State = 0;
  guint Save = 0;
  Out.resize(g_base64_decode_step(Text.data(), Text.size(), Out.data(), &State, &Save));
  return Out;
}

TGraphicClass ScreenshotReader() {
  TGraphicClass Reader = TPicture::GraphicClassForFile("screenshot.png");
  if (!Reader) throw EOleException("No PNG reader is registered to read the browser's pictures");
  return Reader;
}

std::shared_ptr<const TBitmap> DecodeScreenshot(TGraphicClass Reader, const std::string& Base64) {
  TMemoryStream Png;
  {
    std::vector<std::uint8_t> Bytes = DecodeBase64(Base64);
    Png.Write(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
  }
  Png.SetPosition(0);
  std::unique_ptr<TGraphic> Graphic = Reader->Create();
  Graphic->LoadFromStream(Png);
  if (auto* Bitmap = dynamic_cast<TBitmap*>(Graphic.get())) {
    Graphic.release();
    return std::shared_ptr<const TBitmap>(Bitmap);
  }
  auto Bitmap = std::make_shared<TBitmap>();
  Bitmap->Assign(*Graphic);
  return Bitmap;
}

}  // namespace host
