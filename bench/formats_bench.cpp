// Thumbnail formats on real captures (two Chromium screenshots of pages in
// bench/data): 1280x800 pages cut from them and 320x240 thumbnails made as
// the control makes them (Mitchell, half-width 3). For each format at
// quality 90: encode time, file size (bytes), PSNR and SSIM of the decoded
// picture; and for the lossy ones the size at the SSIM that JPEG reaches
// at quality 90 (eq_ssim_bytes, the smallest quality that reaches it).
// The AVIF speeds show what the default buys.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/graphics/avif.h"
#include "host/graphics/bitmap.h"
#include "host/graphics/jpeg.h"
#include "host/graphics/webp.h"
#include "host/system/stream.h"
#include "imaging/filters.h"
#include "imaging/resample.h"
#include "png/png_image.h"

namespace {

using snapkit::MitchellFilter;
using snapkit::Resample;
using snapkit::TPNGImage;

using TBytes = std::vector<std::uint8_t>;

struct TSample {
  const char* Name;
  std::unique_ptr<host::TBitmap> Pixels;
};

std::unique_ptr<host::TBitmap> LoadCapture(const char* File) {
  TPNGImage png;
  std::string path = __FILE__;
  png.LoadFromFile(path.substr(0, path.find_last_of('/') + 1) + "data/" + File);
  auto b = std::make_unique<host::TBitmap>();
  b->Assign(png);
  b->SetPixelFormat(host::pf24bit);
  return b;
}

std::unique_ptr<host::TBitmap> Cut(const host::TBitmap& Src, int W, int H) {
  auto b = std::make_unique<host::TBitmap>();
  b->SetPixelFormat(host::pf24bit);
  b->SetSize(W, H);
  for (int y = 0; y < H; ++y) std::memcpy(b->ScanLine(y), Src.ScanLine(y), std::size_t(W) * 3);
  return b;
}

// 0, 1: pages; 2, 3: thumbnails of the same captures (4:3 of the screen).
const std::vector<TSample>& Samples() {
  static const std::vector<TSample> samples = [] {
    std::vector<TSample> s;
    const char* files[] = {"screenshot.png", "web_page_1920x1080.png"};
    for (const char* f : files) s.push_back({f, Cut(*LoadCapture(f), 1280, 800)});
    for (const char* f : files) {
      auto full = LoadCapture(f);
      auto four3 = Cut(*full, 1440, 1080);
      auto thumb = std::make_unique<host::TBitmap>();
      Resample(*four3, *thumb, 320, 240, MitchellFilter, 3.0f);
      thumb->SetPixelFormat(host::pf24bit);
      s.push_back({f, std::move(thumb)});
    }
    return s;
  }();
  return samples;
}

// Luma as BT.601 full range, the plane SSIM is measured on.
std::vector<double> Luma(const host::TBitmap& B) {
  std::vector<double> y(std::size_t(B.Width()) * B.Height());
  for (int r = 0; r < B.Height(); ++r) {
    const std::uint8_t* p = B.ScanLine(r);
    for (int x = 0; x < B.Width(); ++x, p += 3)
      y[std::size_t(r) * B.Width() + x] = 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2];
  }
  return y;
}

// Mean SSIM over 8x8 windows stepped by 4 (Wang et al.'s constants).
double Ssim(const host::TBitmap& A, const host::TBitmap& B) {
  const std::vector<double> a = Luma(A), b = Luma(B);
  const int w = A.Width(), h = A.Height();
  const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
  double sum = 0;
  int n = 0;
  for (int y0 = 0; y0 + 8 <= h; y0 += 4)
    for (int x0 = 0; x0 + 8 <= w; x0 += 4) {
      double ma = 0, mb = 0, va = 0, vb = 0, cov = 0;
      for (int y = y0; y < y0 + 8; ++y)
        for (int x = x0; x < x0 + 8; ++x) {
          ma += a[std::size_t(y) * w + x];
          mb += b[std::size_t(y) * w + x];
        }
      ma /= 64, mb /= 64;
      for (int y = y0; y < y0 + 8; ++y)
        for (int x = x0; x < x0 + 8; ++x) {
          const double da = a[std::size_t(y) * w + x] - ma, db = b[std::size_t(y) * w + x] - mb;
          va += da * da, vb += db * db, cov += da * db;
        }
      va /= 63, vb /= 63, cov /= 63;
      sum += (2 * ma * mb + c1) * (2 * cov + c2) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      ++n;
    }
  return sum / n;
}

double Psnr(const host::TBitmap& A, const host::TBitmap& B) {
  double se = 0;
  for (int y = 0; y < A.Height(); ++y) {
    const std::uint8_t *p = A.ScanLine(y), *q = B.ScanLine(y);
    for (int x = 0; x < A.Width() * 3; ++x) se += double(p[x] - q[x]) * (p[x] - q[x]);
  }
  const double mse = se / (3.0 * A.Width() * A.Height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

enum TFormat { fPng, fJpeg, fWebP, fWebPLossless, fAvif };

std::unique_ptr<host::TGraphic> MakeGraphic(TFormat F, int Quality, int Speed) {
  switch (F) {
    case fPng:
      return std::make_unique<TPNGImage>();
    case fJpeg: {
      auto j = std::make_unique<host::TJPEGImage>();
      j->SetCompressionQuality(Quality);
      return j;
    }
    case fWebP:
    case fWebPLossless: {
      auto w = std::make_unique<host::TWebPImage>();
      w->SetCompressionQuality(Quality);
      w->SetLossless(F == fWebPLossless);
      return w;
    }
    case fAvif:
      break;
  }
  auto a = std::make_unique<host::TAVIFImage>();
  a->SetCompressionQuality(Quality);
  a->SetSpeed(Speed);
  return a;
}

TBytes Encode(TFormat F, const host::TBitmap& Pixels, int Quality, int Speed) {
  std::unique_ptr<host::TGraphic> g = MakeGraphic(F, Quality, Speed);
  g->Assign(Pixels);
  host::TMemoryStream m;
  g->SaveToStream(m);
  return TBytes(m.Memory(), m.Memory() + m.Size());
}

std::unique_ptr<host::TBitmap> Decode(TFormat F, const TBytes& File) {
  std::unique_ptr<host::TGraphic> g = MakeGraphic(F, 90, host::TAVIFImage::DefaultSpeed);
  host::TMemoryStream m;
  m.WriteBuffer(File.data(), std::int64_t(File.size()));
  m.SetPosition(0);
  g->LoadFromStream(m);
  auto b = std::make_unique<host::TBitmap>();
  b->Assign(*g);
  b->SetPixelFormat(host::pf24bit);
  return b;
}

double SsimOf(TFormat F, const host::TBitmap& Pixels, int Quality, std::size_t* Bytes = nullptr) {
  const TBytes file = Encode(F, Pixels, Quality, host::TAVIFImage::DefaultSpeed);
  if (Bytes) *Bytes = file.size();
  return Ssim(*Decode(F, file), Pixels);
}

// The size of the smallest-quality file of F whose SSIM reaches JPEG q90's.
std::size_t BytesAtJpegSsim(TFormat F, int Sample, int* Quality) {
  const host::TBitmap& p = *Samples()[std::size_t(Sample)].Pixels;
  const double target = SsimOf(fJpeg, p, 90);
  int lo = 1, hi = 100;  // SSIM grows with quality
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (SsimOf(F, p, mid) >= target)
      hi = mid;
    else
      lo = mid + 1;
  }
  std::size_t bytes = 0;
  SsimOf(F, p, lo, &bytes);
  *Quality = lo;
  return bytes;
}

void Run(benchmark::State& State, TFormat F, int Speed) {
  const int sample = int(State.range(0));
  const host::TBitmap& p = *Samples()[std::size_t(sample)].Pixels;
  TBytes file;
  for (auto _ : State) {
    file = Encode(F, p, 90, Speed);
    benchmark::DoNotOptimize(file.data());
  }
  auto back = Decode(F, file);
  State.counters["bytes"] = double(file.size());
  State.counters["psnr"] = Psnr(*back, p);
  State.counters["ssim"] = Ssim(*back, p);
  if ((F == fWebP || F == fAvif || F == fJpeg) && Speed == host::TAVIFImage::DefaultSpeed) {
    int q = 0;
    State.counters["eq_ssim_bytes"] = double(BytesAtJpegSsim(F, sample, &q));
    State.counters["eq_ssim_q"] = q;
  }
  State.SetLabel(std::string(sample < 2 ? "page 1280x800 " : "thumb 320x240 ") +
                 Samples()[std::size_t(sample)].Name);
}

void Png(benchmark::State& S) { Run(S, fPng, 0); }
void Jpeg(benchmark::State& S) { Run(S, fJpeg, host::TAVIFImage::DefaultSpeed); }
void WebP(benchmark::State& S) { Run(S, fWebP, host::TAVIFImage::DefaultSpeed); }
void WebPLossless(benchmark::State& S) { Run(S, fWebPLossless, 0); }
void Avif(benchmark::State& S) { Run(S, fAvif, host::TAVIFImage::DefaultSpeed); }
void AvifSpeed(benchmark::State& S) { Run(S, fAvif, int(S.range(1))); }

}  // namespace

BENCHMARK(Png)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(Jpeg)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(WebP)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(WebPLossless)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(Avif)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
// Speeds on the first page and the first thumbnail.
BENCHMARK(AvifSpeed)->ArgsProduct({{0, 2}, {4, 6, 7, 9, 10}})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
