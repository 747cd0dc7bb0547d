// Saving 24-bit images as PNG: the codec against libpng (zlib level 6, its
// default filters) and libspng, on screenshot-like and photo-like pictures.
// Counters: file size in bytes; "deflate6" is zlib level 6 alone on the
// codec's filtered rows, the floor of what any writer here can reach.

#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/graphics/bitmap.h"
#include "host/system/stream.h"
#include "png/png_image.h"

#ifdef SNAPKIT_HAVE_SPNG
#include <spng.h>
#endif

namespace {

using TBytes = std::vector<std::uint8_t>;

struct TPicture {
  int Width, Height;
  TBytes RGB;  // top-down, red first
};

void FillRect(TPicture& P, int X0, int Y0, int W, int H, std::uint8_t R, std::uint8_t G,
              std::uint8_t B) {
  for (int y = std::max(Y0, 0); y < std::min(Y0 + H, P.Height); ++y)
    for (int x = std::max(X0, 0); x < std::min(X0 + W, P.Width); ++x) {
      std::uint8_t* p = &P.RGB[(std::size_t(y) * P.Width + x) * 3];
      p[0] = R, p[1] = G, p[2] = B;
    }
}

// A desktop: flat background, windows with gradient title bars, lines of
// glyph-like strokes, toolbars of small icons, one embedded photo.
TPicture Screenshot(int Width, int Height) {
  TPicture p{Width, Height, TBytes(std::size_t(Width) * Height * 3)};
  std::mt19937 rng(42);
  FillRect(p, 0, 0, Width, Height, 0x2D, 0x5F, 0x8A);
  for (int w = 0; w < 4; ++w) {
    const int x0 = 40 + w * Width / 5, y0 = 30 + w * Height / 9;
    const int ww = Width / 2, wh = Height / 2;
    FillRect(p, x0, y0, ww, wh, 0xF3, 0xF3, 0xF3);
    for (int x = 0; x < ww; ++x)
      FillRect(p, x0 + x, y0, 1, 28, std::uint8_t(0x30 + x * 0x60 / ww), 0x50, 0xA0);
    for (int i = 0; i < 12; ++i) {  // toolbar icons
      const int ix = x0 + 8 + i * 30, iy = y0 + 34;
      for (int y = 0; y < 22; ++y)
        for (int x = 0; x < 22; ++x)
          FillRect(p, ix + x, iy + y, 1, 1, std::uint8_t(rng() % 64 + i * 15),
                   std::uint8_t(rng() % 64 + 100), std::uint8_t(200 - i * 10));
    }
    for (int line = 0; line < (wh - 80) / 18; ++line) {  // text
      int x = x0 + 12;
      const int y = y0 + 70 + line * 18;
      while (x < x0 + ww - 20) {
        const int word = 3 + rng() % 8;
        for (int c = 0; c < word; ++c, x += 7) {
          const unsigned glyph = rng();
          for (int gy = 0; gy < 11; ++gy)
            for (int gx = 0; gx < 6; ++gx)
              if ((glyph >> ((gy * 3 + gx) % 31)) & 1 && (gx % 5 == 0 || gy % 5 == 0))
                FillRect(p, x + gx, y + gy, 1, 1, 0x20, 0x20, 0x20);
        }
        x += 7;
      }
    }
  }
  // An image inside a web page.
  const int px = Width - Width / 4 - 30, py = Height - Height / 4 - 30;
  for (int y = 0; y < Height / 4; ++y)
    for (int x = 0; x < Width / 4; ++x)
      FillRect(p, px + x, py + y, 1, 1, std::uint8_t(128 + 100 * std::sin(x * 0.03)),
               std::uint8_t(128 + 90 * std::cos(y * 0.02 + x * 0.01)),
               std::uint8_t(rng() % 8 + 90));
  return p;
}

// Smooth gradients with sensor-like noise.
TPicture Photo(int Width, int Height) {
  TPicture p{Width, Height, TBytes(std::size_t(Width) * Height * 3)};
  std::mt19937 rng(7);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      std::uint8_t* q = &p.RGB[(std::size_t(y) * Width + x) * 3];
      const double base = 120 + 60 * std::sin(x * 0.004 + y * 0.003) + 40 * std::cos(y * 0.011);
      for (int c = 0; c < 3; ++c)
        q[c] = std::uint8_t(std::clamp(base + c * 20 - 20 + int(rng() % 7) - 3.0, 0.0, 255.0));
    }
  return p;
}

std::unique_ptr<snapkit::TPNGImage> ToImage(const TPicture& P) {
  auto image = std::make_unique<snapkit::TPNGImage>();
  image->SetPixelFormat(host::pf24bit);
  image->SetSize(P.Width, P.Height);
  for (int y = 0; y < P.Height; ++y) {
    std::uint8_t* line = image->ScanLine(y);
    const std::uint8_t* src = &P.RGB[std::size_t(y) * P.Width * 3];
    for (int x = 0; x < P.Width; ++x) {
      line[3 * x] = src[3 * x + 2];
      line[3 * x + 1] = src[3 * x + 1];
      line[3 * x + 2] = src[3 * x];
    }
  }
  return image;
}

// A page rendered by headless Chromium at 1920x1080 (text, table, flat
// boxes), decoded with libpng.
TPicture WebPage() {
  std::string path = __FILE__;
  path = path.substr(0, path.find_last_of('/') + 1) + "data/web_page_1920x1080.png";
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  TPicture p{0, 0, {}};
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  image.format = PNG_FORMAT_RGB;
  p.RGB.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, p.RGB.data(), 0, nullptr)) return {0, 0, {}};
  p.Width = int(image.width);
  p.Height = int(image.height);
  return p;
}

// 0: synthetic desktop, 1: photo, 2: rendered web page.
const TPicture& Picture(int Kind) {
  static const TPicture screenshot = Screenshot(1920, 1080);
  static const TPicture photo = Photo(1920, 1080);
  static const TPicture page = WebPage();
  return Kind == 0 ? screenshot : Kind == 1 ? photo : page;
}

bool Missing(benchmark::State& State, const TPicture& P) {
  if (P.Width > 0) return false;
  State.SkipWithError("bench/data/web_page_1920x1080.png could not be read");
  return true;
}

void Snapkit(benchmark::State& State) {
  if (Missing(State, Picture(int(State.range(0))))) return;
  const std::unique_ptr<snapkit::TPNGImage> image = ToImage(Picture(int(State.range(0))));
  std::int64_t size = 0;
  for (auto _ : State) {
    host::TMemoryStream out;
    image->SaveToStream(out);
    size = out.Size();
    benchmark::DoNotOptimize(out.Memory());
  }
  State.counters["bytes"] = double(size);
}

void WriteToVector(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* out = static_cast<TBytes*>(png_get_io_ptr(Png));
  out->insert(out->end(), Data, Data + Length);
}

void Libpng(benchmark::State& State) {
  const TPicture& p = Picture(int(State.range(0)));
  if (Missing(State, p)) return;
  std::vector<png_const_bytep> rows(p.Height);
  for (int y = 0; y < p.Height; ++y) rows[y] = &p.RGB[std::size_t(y) * p.Width * 3];
  std::size_t size = 0;
  for (auto _ : State) {
    TBytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
      State.SkipWithError("libpng failed");
      png_destroy_write_struct(&png, &info);
      return;
    }
    png_set_write_fn(png, &out, WriteToVector, nullptr);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, p.Width, p.Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_rows(png, const_cast<png_bytepp>(rows.data()), p.Height);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  State.counters["bytes"] = double(size);
}

#ifdef SNAPKIT_HAVE_SPNG
void Libspng(benchmark::State& State) {
  const TPicture& p = Picture(int(State.range(0)));
  if (Missing(State, p)) return;
  std::size_t size = 0;
  for (auto _ : State) {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, 6);
    spng_ihdr ihdr{};
    ihdr.width = p.Width;
    ihdr.height = p.Height;
    ihdr.bit_depth = 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    spng_set_ihdr(ctx, &ihdr);
    int error =
        spng_encode_image(ctx, p.RGB.data(), p.RGB.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    std::size_t length = 0;
    void* png = spng_get_png_buffer(ctx, &length, &error);
    size = length;
    free(png);
    spng_ctx_free(ctx);
    if (error) {
      State.SkipWithError("libspng failed");
      return;
    }
  }
  State.counters["bytes"] = double(size);
}
BENCHMARK(Libspng)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
#endif

// zlib level 6 alone on the filtered rows the codec writes.
void Deflate6(benchmark::State& State) {
  if (Missing(State, Picture(int(State.range(0))))) return;
  const std::unique_ptr<snapkit::TPNGImage> image = ToImage(Picture(int(State.range(0))));
  host::TMemoryStream file;
  image->SaveToStream(file);
  // The single IDAT chunk's data, inflated: filter byte and row, per row.
  const std::uint8_t* m = file.Memory();
  const std::uint32_t length = std::uint32_t(m[33]) << 24 | m[34] << 16 | m[35] << 8 | m[36];
  TBytes filtered(std::size_t(image->Height()) * (image->Width() * 3 + 1));
  uLongf plain = uLongf(filtered.size());
  uncompress(filtered.data(), &plain, m + 41, length);
  std::size_t size = 0;
  for (auto _ : State) {
    uLongf out = compressBound(uLong(filtered.size()));
    TBytes buffer(out);
    compress2(buffer.data(), &out, filtered.data(), uLong(filtered.size()), 6);
    size = out;
    benchmark::DoNotOptimize(buffer.data());
  }
  State.counters["bytes"] = double(size);
}

BENCHMARK(Snapkit)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(Libpng)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(Deflate6)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
