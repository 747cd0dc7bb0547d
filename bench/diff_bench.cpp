// The comparison alone, in process, on a screenshot and a copy of it with a
// few words' worth of pixels changed: without and with the diff picture, at
// each vector width, and the decoding of the pair for scale. The whole
// commands against odiff and pixelmatch are scripts/diff-bench.sh.
//
//   diff_bench [A.png B.png] [benchmark options]

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "host/graphics/picture.h"
#include "imaging/diff.h"

namespace {

std::string Data(const char* Name) {
  std::string path = __FILE__;
  return path.substr(0, path.find_last_of('/') + 1) + "data/" + Name;
}

std::string A = Data("web_page_1920x1080.png"), B;

struct TPair {
  host::TBitmap First, Second;
};

const TPair& Pair() {
  static TPair p;
  static const bool loaded = [] {
    host::TPicture a;
    a.LoadFromFile(A);
    p.First.Assign(a.Bitmap());
    if (!B.empty()) {
      host::TPicture b;
      b.LoadFromFile(B);
      p.Second.Assign(b.Bitmap());
    } else {
      // Twenty word-sized patches of inverted pixels.
      p.Second.Assign(p.First);
      std::mt19937 rng(5);
      for (int n = 0; n < 20; ++n) {
        const int x0 = int(rng() % unsigned(p.Second.Width() - 60)),
                  y0 = int(rng() % unsigned(p.Second.Height() - 14));
        for (int y = y0; y < y0 + 14; ++y)
          for (int x = 3 * x0; x < 3 * (x0 + 60); ++x)
            p.Second.ScanLine(y)[x] = std::uint8_t(255 - p.Second.ScanLine(y)[x]);
      }
    }
    p.First.SetPixelFormat(host::pf24bit);
    p.Second.SetPixelFormat(host::pf24bit);
    return true;
  }();
  (void)loaded;
  return p;
}

void Compare(benchmark::State& State) {
  const TPair& p = Pair();
  if (!snapkit::SetDiffVectorWidth(int(State.range(0)))) {
    State.SkipWithError("the processor lacks this vector width");
    return;
  }
  host::TBitmap diff;
  std::int64_t different = 0;
  for (auto _ : State) {
    const snapkit::TDiffResult r =
        snapkit::ComparePictures(p.First, p.Second, {}, State.range(1) ? &diff : nullptr);
    different = r.Different;
    benchmark::DoNotOptimize(r);
  }
  State.counters["different"] = double(different);
  State.counters["Mpixels/s"] = benchmark::Counter(double(p.First.Width()) * p.First.Height(),
                                                   benchmark::Counter::kIsIterationInvariantRate,
                                                   benchmark::Counter::kIs1000);
}
BENCHMARK(Compare)
    ->ArgNames({"width", "diff_picture"})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void DecodeOne(benchmark::State& State) {
  for (auto _ : State) {
    host::TPicture a;
    a.LoadFromFile(A);
    benchmark::DoNotOptimize(a.Graphic());
  }
}
BENCHMARK(DecodeOne)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc >= 3) {
    A = argv[1];
    B = argv[2];
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
