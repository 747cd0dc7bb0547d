// Loading 24-bit PNG files written by libpng (zlib level 6, its adaptive
// filters): the codec against libpng, libspng and stb_image decoding to their
// native pixel layout, and zlib's inflate alone on the same image data, the
// floor for any zlib-based reader. The first argument is the file: 0 a
// screenshot (a page as Chromium draws it), 1 a photo-like picture, 2 a
// lighter page, all 1920 x 1080. The second is how memory comes to each
// load: 0 reused (freed blocks are handed out again, as in a program that
// loads file after file), 1 fresh (every large block is mapped anew and
// given back, as in a program that opens one file: each load pays the page
// faults of all the memory it touches). "faults" counts them per load.
//
//   Inflate        zlib alone, all image data into one buffer
//   StreamInflate  zlib alone, 128 KiB output windows as a row reader uses
//   Libdeflate     libdeflate alone, all image data into one buffer: the
//                  codec's inflate, so its share of Snapkit

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <malloc.h>
#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/system/stream.h"
#include "png/png_image.h"

#ifdef SNAPKIT_HAVE_SPNG
#include <spng.h>
#endif

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace {

using TBytes = std::vector<std::uint8_t>;

struct TRGB {
  int Width, Height;
  TBytes Pixels;  // red first
  std::uint8_t* At(int X, int Y) { return &Pixels[(std::size_t(Y) * Width + X) * 3]; }
  void Fill(int X0, int Y0, int W, int H, std::uint32_t Colour) {
    for (int y = std::max(Y0, 0); y < std::min(Y0 + H, Height); ++y)
      for (int x = std::max(X0, 0); x < std::min(X0 + W, Width); ++x) {
        std::uint8_t* p = At(x, y);
        p[0] = std::uint8_t(Colour >> 16), p[1] = std::uint8_t(Colour >> 8),
        p[2] = std::uint8_t(Colour);
      }
  }
};

void ReadFromFile(png_structp Png, png_bytep Data, png_size_t Length) {
  if (std::fread(Data, 1, Length, static_cast<std::FILE*>(png_get_io_ptr(Png))) != Length)
    png_error(Png, "short file");
}

// A page as Chromium renders it (bench/data/screenshot.png: text, a table,
// a side bar, a gradient; web_page_1920x1080.png: a lighter page), taken to
// 8-bit RGB.
TRGB Screenshot(const char* Name) {
  std::string path = __FILE__;
  path = path.substr(0, path.find_last_of('/') + 1) + "data/" + Name;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) std::abort();
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  png_set_read_fn(png, file, ReadFromFile);
  png_read_info(png, info);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_palette_to_rgb(png);
  png_set_gray_to_rgb(png);
  png_read_update_info(png, info);
  TRGB s{int(png_get_image_width(png, info)), int(png_get_image_height(png, info)), {}};
  s.Pixels.resize(std::size_t(s.Width) * s.Height * 3);
  std::vector<png_bytep> rows;
  for (int y = 0; y < s.Height; ++y) rows.push_back(s.At(0, y));
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return s;
}

// Random values on a grid of Cell pixels, smoothly interpolated between.
class TValueNoise {
 public:
  TValueNoise(int Width, int Height, int Cell, std::mt19937& Rng)
      : FCell(Cell), FColumns(Width / Cell + 2) {
    std::uniform_real_distribution<double> v(-1.0, 1.0);
    FGrid.resize(std::size_t(FColumns) * (Height / Cell + 2));
    for (double& g : FGrid) g = v(Rng);
  }
  double At(int X, int Y) const {
    const int gx = X / FCell, gy = Y / FCell;
    const double fx = Smooth(double(X % FCell) / FCell), fy = Smooth(double(Y % FCell) / FCell);
    const double top = Lerp(G(gx, gy), G(gx + 1, gy), fx);
    return Lerp(top, Lerp(G(gx, gy + 1), G(gx + 1, gy + 1), fx), fy);
  }

 private:
  static double Smooth(double T) { return T * T * (3 - 2 * T); }
  static double Lerp(double A, double B, double T) { return A + (B - A) * T; }
  double G(int X, int Y) const { return FGrid[std::size_t(Y) * FColumns + X]; }
  int FCell, FColumns;
  std::vector<double> FGrid;
};

// Landscape-like: brightness over several scales, slowly drifting colour,
// a few sharp-edged objects, sensor noise.
TRGB Photo() {
  TRGB s{1920, 1080, TBytes(1920 * 1080 * 3)};
  std::mt19937 rng(5);
  const TValueNoise l1(1920, 1080, 240, rng), l2(1920, 1080, 60, rng), l3(1920, 1080, 12, rng),
      l4(1920, 1080, 3, rng), hue1(1920, 1080, 320, rng), hue2(1920, 1080, 400, rng);
  std::normal_distribution<double> noise(0.0, 2.0);
  struct TDisc {
    int X, Y, R;
    double Light;
  };
  std::vector<TDisc> discs;
  for (int i = 0; i < 25; ++i)
    discs.push_back({int(rng() % 1920), int(rng() % 1080), int(20 + rng() % 140),
                     double(int(rng() % 120) - 60)});
  for (int y = 0; y < s.Height; ++y)
    for (int x = 0; x < s.Width; ++x) {
      double light = 120 + 70 * l1.At(x, y) + 30 * l2.At(x, y) + 12 * l3.At(x, y) + 5 * l4.At(x, y);
      for (const TDisc& d : discs)
        if ((x - d.X) * (x - d.X) + (y - d.Y) * (y - d.Y) < d.R * d.R) light += d.Light;
      const double warm = 30 * hue1.At(x, y), green = 25 * hue2.At(x, y);
      const double rgb[3] = {light + warm, light + green - warm / 2, light - warm - green / 2};
      std::uint8_t* p = s.At(x, y);
      for (int c = 0; c < 3; ++c) p[c] = std::uint8_t(std::clamp(rgb[c] + noise(rng), 0.0, 255.0));
    }
  return s;
}

void Append(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* out = static_cast<TBytes*>(png_get_io_ptr(Png));
  out->insert(out->end(), Data, Data + Length);
}

TBytes EncodeWithLibpng(const TRGB& Picture) {
  TBytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  for (int y = 0; y < Picture.Height; ++y)
    rows.push_back(const_cast<png_bytep>(&Picture.Pixels[std::size_t(y) * Picture.Width * 3]));
  if (setjmp(png_jmpbuf(png))) std::abort();
  png_set_write_fn(png, &out, Append, nullptr);
  png_set_IHDR(png, info, Picture.Width, Picture.Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

struct TFile {
  TBytes Bytes;
  TBytes ImageData;  // the IDAT contents, concatenated
  std::size_t RawSize;
};

TFile MakeFile(const TRGB& Picture) {
  TFile f{EncodeWithLibpng(Picture), {}, std::size_t(Picture.Height) * (Picture.Width * 3 + 1)};
  for (std::size_t at = 8; at + 12 <= f.Bytes.size();) {
    const std::size_t length = std::size_t(f.Bytes[at]) << 24 | f.Bytes[at + 1] << 16 |
                               f.Bytes[at + 2] << 8 | f.Bytes[at + 3];
    if (std::memcmp(&f.Bytes[at + 4], "IDAT", 4) == 0)
      f.ImageData.insert(f.ImageData.end(), &f.Bytes[at + 8], &f.Bytes[at + 8 + length]);
    at += length + 12;
  }
  return f;
}

const TFile& File(int Kind) {
  static const TFile screenshot = MakeFile(Screenshot("screenshot.png"));
  static const TFile photo = MakeFile(Photo());
  static const TFile page = MakeFile(Screenshot("web_page_1920x1080.png"));
  return Kind == 0 ? screenshot : Kind == 1 ? photo : page;
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Sets how memory comes to each load (see the top) for one benchmark, and
// counts the page faults of its loads. Fresh() goes first in every load.
class TMemoryMode {
 public:
  explicit TMemoryMode(benchmark::State& State) : FState(State), FFresh(State.range(1) != 0) {
    // glibc maps blocks from this size on (32 MiB is its largest) and gives
    // back the top of the heap above the same size.
    const int threshold = FFresh ? 128 * 1024 : 32 << 20;
    mallopt(M_MMAP_THRESHOLD, threshold);
    mallopt(M_TRIM_THRESHOLD, threshold);
    FFaults = MinorFaults();
  }
  ~TMemoryMode() {
    FState.counters["faults"] =
        double(MinorFaults() - FFaults) / double(std::max<std::int64_t>(FState.iterations(), 1));
  }
  // Free blocks left inside the heap would be handed out again with their
  // pages in place; giving those pages back makes them cost what new ones do.
  void Fresh() {
    if (!FFresh) return;
    FState.PauseTiming();
    malloc_trim(0);
    FState.ResumeTiming();
  }

 private:
  benchmark::State& FState;
  const bool FFresh;
  long FFaults;
};

void Counters(benchmark::State& State, const TFile& F) {
  State.SetBytesProcessed(std::int64_t(State.iterations() * F.RawSize));
  State.counters["file"] = double(F.Bytes.size());
}

void Snapkit(benchmark::State& State) {
  const TFile& f = File(int(State.range(0)));
  host::TMemoryStream in;
  in.WriteBuffer(f.Bytes.data(), std::int64_t(f.Bytes.size()));
  TMemoryMode memory(State);
  for (auto _ : State) {
    memory.Fresh();
    in.SetPosition(0);
    snapkit::TPNGImage image;
    image.LoadFromStream(in);
    benchmark::DoNotOptimize(image.ScanLine(0));
  }
  Counters(State, f);
}

struct TReadSource {
  const TBytes* Bytes;
  std::size_t Position;
};

void ReadFromMemory(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* source = static_cast<TReadSource*>(png_get_io_ptr(Png));
  std::memcpy(Data, source->Bytes->data() + source->Position, Length);
  source->Position += Length;
}

void Libpng(benchmark::State& State) {
  const TFile& f = File(int(State.range(0)));
  TMemoryMode memory(State);
  for (auto _ : State) {
    memory.Fresh();
    TReadSource source{&f.Bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_read_fn(png, &source, ReadFromMemory);
    png_read_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    TBytes pixels(rowBytes * height);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = &pixels[y * rowBytes];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
  Counters(State, f);
}

#ifdef SNAPKIT_HAVE_SPNG
void Spng(benchmark::State& State) {
  const TFile& f = File(int(State.range(0)));
  TMemoryMode memory(State);
  for (auto _ : State) {
    memory.Fresh();
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, f.Bytes.data(), f.Bytes.size());
    std::size_t size = 0;
    spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
    TBytes pixels(size);
    if (spng_decode_image(ctx, pixels.data(), size, SPNG_FMT_PNG, 0)) std::abort();
    spng_ctx_free(ctx);
    benchmark::DoNotOptimize(pixels.data());
  }
  Counters(State, f);
}
#endif

void Stb(benchmark::State& State) {
  const TFile& f = File(int(State.range(0)));
  TMemoryMode memory(State);
  for (auto _ : State) {
    memory.Fresh();
    int w, h, n;
    stbi_uc* pixels = stbi_load_from_memory(f.Bytes.data(), int(f.Bytes.size()), &w, &h, &n, 0);
    if (!pixels) std::abort();
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
  Counters(State, f);
}

void Inflate(benchmark::State& State) {
  const TFile& f = File(int(State.range(0)));
  TMemoryMode memory(State);
  for (auto _ : State) {
    memory.Fresh();
    TBytes raw(f.RawSize);
    uLongf size = uLongf(raw.size());
    if (uncompress(raw.data(), &size, f.ImageData.data(), uLong(f.ImageData.size())) != Z_OK)
      std::abort();
    benchmark::DoNotOptimize(raw.data());
  }
  Counters(State, f);
}

void StreamInflate(benchmark::State& State) {
  const TFile& f = File(int(State.range(0)));
  TMemoryMode memory(State);
  TBytes window(128 * 1024);
  for (auto _ : State) {
    memory.Fresh();
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<Bytef*>(f.ImageData.data());
    z.avail_in = uInt(f.ImageData.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
      z.next_out = window.data();
      z.avail_out = uInt(window.size());
      rc = inflate(&z, Z_NO_FLUSH);
      benchmark::DoNotOptimize(window.data());
    }
    if (rc != Z_STREAM_END) std::abort();
    inflateEnd(&z);
  }
  Counters(State, f);
}

void Libdeflate(benchmark::State& State) {
  const TFile& f = File(int(State.range(0)));
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  TMemoryMode memory(State);
  for (auto _ : State) {
    memory.Fresh();
    TBytes raw(f.RawSize);
    if (libdeflate_zlib_decompress(decompressor, f.ImageData.data(), f.ImageData.size(), raw.data(),
                                   raw.size(), nullptr) != LIBDEFLATE_SUCCESS)
      std::abort();
    benchmark::DoNotOptimize(raw.data());
  }
  libdeflate_free_decompressor(decompressor);
  Counters(State, f);
}

// Files 0 to 2, memory reused and fresh.
#define FILES_AND_MEMORY ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)
BENCHMARK(Snapkit)->FILES_AND_MEMORY;
BENCHMARK(Libpng)->FILES_AND_MEMORY;
#ifdef SNAPKIT_HAVE_SPNG
BENCHMARK(Spng)->FILES_AND_MEMORY;
#endif
BENCHMARK(Stb)->FILES_AND_MEMORY;
BENCHMARK(Inflate)->FILES_AND_MEMORY;
BENCHMARK(StreamInflate)->FILES_AND_MEMORY;
BENCHMARK(Libdeflate)->FILES_AND_MEMORY;

}  // namespace

BENCHMARK_MAIN();
