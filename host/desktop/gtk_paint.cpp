// Painting a windowed control: its client area in the panel colour, then
// the controls without a window on it (pictures), in their order.

#include <cstring>
#include <memory>

#include "host/desktop/gtk_backend.h"
#include "host/graphics/bitmap.h"
#include "host/graphics/canvas.h"
#include "host/graphics/picture.h"

namespace host::desktop {

namespace {

// The panel face colour of the platform's default scheme.
constexpr double FaceGrey = 240 / 255.0;

void FreeSurfaceData(void* Data) { delete[] static_cast<unsigned char*>(Data); }

// Our rows are blue, green, red(, unused) from the top; cairo's RGB24 is the
// same bytes in memory on a little-endian machine, with its own row stride.
cairo_surface_t* SurfaceFrom(const TBitmap& Source) {
  const TBitmap* Bitmap = &Source;
  std::unique_ptr<TBitmap> Converted;
  TPixelFormat Format = Source.PixelFormat();
  if (Format != pf24bit && Format != pf32bit && Format != pfDevice) {
    Converted = std::make_unique<TBitmap>();
    Converted->Assign(Source);
    Converted->SetPixelFormat(pf24bit);
    Bitmap = Converted.get();
    Format = pf24bit;
  }
  const int W = Bitmap->Width(), H = Bitmap->Height();
  const int Stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, W);
  auto* Data = new unsigned char[std::size_t(Stride) * std::size_t(H)];
  for (int y = 0; y < H; ++y) {
    const std::uint8_t* From = Bitmap->ScanLine(y);
    unsigned char* To = Data + std::size_t(Stride) * std::size_t(y);
    if (Format == pf24bit) {
      for (int x = 0; x < W; ++x) {
        To[4 * x] = From[3 * x];
        To[4 * x + 1] = From[3 * x + 1];
        To[4 * x + 2] = From[3 * x + 2];
        To[4 * x + 3] = 0xFF;
      }
    } else {
      std::memcpy(To, From, std::size_t(W) * 4);
    }
  }
  cairo_surface_t* Surface = cairo_image_surface_create_for_data(Data, CAIRO_FORMAT_RGB24, W, H,
                                                                 Stride);
  static cairo_user_data_key_t Key;
  cairo_surface_set_user_data(Surface, &Key, Data, FreeSurfaceData);
  return Surface;
}

void PaintImage(TImage& Image, cairo_t* Cr) {
  TGraphic* Graphic = Image.Picture().Graphic();
  if (!Graphic || Graphic->Empty()) return;
  const TBitmap* Bitmap = dynamic_cast<const TBitmap*>(Graphic);
  std::unique_ptr<TBitmap> Drawn;
  if (!Bitmap) {
    Drawn = std::make_unique<TBitmap>();
    Drawn->SetSize(Graphic->Width(), Graphic->Height());
    Drawn->Canvas().Draw(0, 0, *Graphic);
    Bitmap = Drawn.get();
  }
  cairo_surface_t* Surface = SurfaceFrom(*Bitmap);
  const int W = Bitmap->Width(), H = Bitmap->Height();
  cairo_save(Cr);
  cairo_rectangle(Cr, Image.Left(), Image.Top(), Image.Width(), Image.Height());
  cairo_clip(Cr);
  cairo_translate(Cr, Image.Left(), Image.Top());
  if (Image.Stretch()) {
    cairo_scale(Cr, double(Image.Width()) / W, double(Image.Height()) / H);
  } else if (Image.Center()) {
    cairo_translate(Cr, (Image.Width() - W) / 2, (Image.Height() - H) / 2);
  }
  cairo_set_source_surface(Cr, Surface, 0, 0);
  // Pixels as they are: the picture was scaled already where it is shown 1:1.
  cairo_pattern_set_filter(cairo_get_source(Cr), CAIRO_FILTER_NEAREST);
  cairo_paint(Cr);
  cairo_restore(Cr);
  cairo_surface_destroy(Surface);
}

}  // namespace

void PaintControl(TWinControl& Control, cairo_t* Cr) {
  cairo_set_source_rgb(Cr, FaceGrey, FaceGrey, FaceGrey);
  cairo_rectangle(Cr, 0, 0, Control.Width(), Control.Height());
  cairo_fill(Cr);
  for (int i = 0; i < Control.ControlCount(); ++i) {
    auto* Image = dynamic_cast<TImage*>(Control.Controls(i));
    if (Image && Image->Visible()) PaintImage(*Image, Cr);
  }
}

}  // namespace host::desktop
