// Filtered downscaling and upscaling of 8-bit RGB pictures with the Mitchell
// kernel, side by side with stb_image_resize on the same pixels.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>

#include "host/graphics/bitmap.h"
#include "imaging/filters.h"
#include "imaging/resample.h"
#include "imaging/resample_passes.h"

namespace {

struct TCase {
  int W, H, NewW, NewH;
};
constexpr TCase kCases[] = {{1920, 1080, 320, 180}, {1024, 768, 128, 96}, {640, 480, 1280, 960}};

// A screenshot-like picture: smooth gradients, flat panels and noisy
// photo-like areas, packed rows of three bytes.
std::vector<std::uint8_t> Picture(int W, int H) {
  std::vector<std::uint8_t> p(3 * std::size_t(W) * H);
  std::mt19937 rng(W * 7919 + H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      std::uint8_t* px = &p[3 * (std::size_t(y) * W + x)];
      const int panel = (x / 160 + y / 120) % 3;
      for (int c = 0; c < 3; ++c) {
        int v;
        if (panel == 0)
          v = (x * (c + 1) + y) & 255;
        else if (panel == 1)
          v = 40 + 70 * c;
        else
          v = int(rng() & 255);
        px[c] = static_cast<std::uint8_t>(v);
      }
    }
  return p;
}

// Second argument: floats per vector instruction (16 AVX-512, 8 AVX2, 1 scalar).
void Snapkit(benchmark::State& State) {
  const TCase& c = kCases[State.range(0)];
  const int best = snapkit::ResampleVectorWidth();
  if (!snapkit::SetResampleVectorWidth(static_cast<int>(State.range(1)))) {
    State.SkipWithError("instruction set not available");
    return;
  }
  const std::vector<std::uint8_t> pixels = Picture(c.W, c.H);
  host::TBitmap src, dst;
  src.SetPixelFormat(host::pf24bit);
  src.SetSize(c.W, c.H);
  for (int y = 0; y < c.H; ++y)
    std::memcpy(src.ScanLine(y), &pixels[3 * std::size_t(y) * c.W], 3 * std::size_t(c.W));
  for (auto _ : State) {
    snapkit::Resample(src, dst, c.NewW, c.NewH, snapkit::MitchellFilter, 3.0f);
    benchmark::DoNotOptimize(dst.ScanLine(0));
  }
  snapkit::SetResampleVectorWidth(best);
  State.SetLabel(std::to_string(c.W) + "x" + std::to_string(c.H) + " to " + std::to_string(c.NewW) +
                 "x" + std::to_string(c.NewH));
}

void Stb(benchmark::State& State) {
  const TCase& c = kCases[State.range(0)];
  const std::vector<std::uint8_t> pixels = Picture(c.W, c.H);
  std::vector<std::uint8_t> out(3 * std::size_t(c.NewW) * c.NewH);
  for (auto _ : State) {
    stbir_resize_uint8_generic(pixels.data(), c.W, c.H, 0, out.data(), c.NewW, c.NewH, 0, 3,
                               STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_REFLECT,
                               STBIR_FILTER_MITCHELL, STBIR_COLORSPACE_LINEAR, nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  State.SetLabel(std::to_string(c.W) + "x" + std::to_string(c.H) + " to " + std::to_string(c.NewW) +
                 "x" + std::to_string(c.NewH));
}

}  // namespace

BENCHMARK(Snapkit)->ArgsProduct({{0, 1, 2}, {16, 8}})->Unit(benchmark::kMillisecond);
BENCHMARK(Stb)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
