// Cost of the compression streams over calling zlib directly on the same
// data. Each iteration times both, in alternating order, on this thread's CPU
// clock: the machine is shared, and wall time mostly measures the neighbours.
// The "ratio" counter is stream time over direct time.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "host/system/stream.h"
#include "zstream/testing/sample_data.h"
#include "zstream/zstream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
// This thread's CPU time, user and system (page faults count too).
struct Clock {
  using time_point = double;
  static double now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }
};

constexpr std::size_t kDataSize = 4 << 20;
// Rows of a 1280-pixel, 24-bit image plus a PNG filter byte.
constexpr std::int32_t kPiece = 1280 * 3 + 1;

const Bytes& Sample(int kind) {
  static const Bytes shot = snapkit::testing::ScreenshotLike(kDataSize);
  static const Bytes photo = snapkit::testing::PhotoLike(kDataSize);
  return kind == 0 ? shot : photo;
}

const char* KindName(int kind) { return kind == 0 ? "screenshot" : "photo"; }

struct Totals {
  double direct = 0, stream = 0;
  // Stream time over direct time of each iteration: their median shrugs off
  // load spikes that hit one side only.
  std::vector<double> ratios;
  double Median() const {
    std::vector<double> r = ratios;
    std::sort(r.begin(), r.end());
    return r.empty() ? 0 : r[r.size() / 2];
  }
};
std::map<std::string, Totals> gTotals;

double Seconds(double a, double b) { return b - a; }

Bytes DirectCompress(const Bytes& in, int level) {
  uLongf size = compressBound(in.size());
  Bytes out(size);
  if (compress2(out.data(), &size, in.data(), in.size(), level) != Z_OK) std::abort();
  out.resize(size);
  return out;
}

std::int64_t StreamCompress(const Bytes& in, snapkit::TZCompressionLevel level) {
  host::TMemoryStream dest;
  {
    snapkit::TZCompressionStream z(dest, level);
    for (std::size_t at = 0; at < in.size(); at += kPiece) {
      const auto n = static_cast<std::int32_t>(std::min<std::size_t>(kPiece, in.size() - at));
      z.WriteBuffer(in.data() + at, n);
    }
    z.Finish();
  }
  return dest.Size();
}

void Report(benchmark::State& state, const std::string& name, const Totals& t) {
  const double n = static_cast<double>(state.iterations());
  state.counters["zlib_ms"] = t.direct / n * 1e3;
  state.counters["stream_ms"] = t.stream / n * 1e3;
  state.counters["ratio"] = t.Median();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDataSize));
  // Repetitions add up.
  Totals& all = gTotals[name];
  all.direct += t.direct;
  all.stream += t.stream;
  all.ratios.insert(all.ratios.end(), t.ratios.begin(), t.ratios.end());
}

// Times Direct and Stream alternately, each first in every other iteration.
template <typename D, typename S>
void Alternate(benchmark::State& state, const std::string& name, D&& Direct, S&& Stream) {
  Totals t;
  bool streamFirst = false;
  for (auto _ : state) {
    const auto a = Clock::now();
    if (streamFirst) Stream();
    const auto b = Clock::now();
    Direct();
    const auto c = Clock::now();
    if (!streamFirst) Stream();
    const auto d = Clock::now();
    const double streamTime = streamFirst ? Seconds(a, b) : Seconds(c, d);
    t.direct += Seconds(b, c);
    t.stream += streamTime;
    t.ratios.push_back(streamTime / Seconds(b, c));
    state.SetIterationTime(streamTime);
    streamFirst = !streamFirst;
  }
  Report(state, name, t);
}

// Rows go into the stream one at a time, as the PNG encoder writes them;
// deflate's cost does not depend on how its input is split.
void BM_Compress(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const auto level = static_cast<snapkit::TZCompressionLevel>(state.range(1));
  const int zlevel = snapkit::ZLibLevel(level);
  const Bytes& in = Sample(kind);
  std::int64_t size = 0;
  Alternate(
      state, std::string("compress ") + KindName(kind) + " level " + std::to_string(zlevel),
      [&] { benchmark::DoNotOptimize(DirectCompress(in, zlevel)); },
      [&] { size = StreamCompress(in, level); });
  benchmark::DoNotOptimize(size);
}

// Piece 0 reads everything at once (against uncompress); otherwise both sides
// ask for row-sized pieces, since inflate's own cost grows with the number
// of calls whoever makes them.
void BM_Decompress(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const std::size_t piece = static_cast<std::size_t>(state.range(1));
  const Bytes& in = Sample(kind);
  const Bytes packed = DirectCompress(in, Z_DEFAULT_COMPRESSION);
  host::TMemoryStream source;
  source.WriteBuffer(packed.data(), static_cast<std::int64_t>(packed.size()));
  Bytes out(in.size());
  const std::size_t step = piece ? piece : out.size();

  auto direct = [&] {
    if (!piece) {
      uLongf size = out.size();
      if (uncompress(out.data(), &size, packed.data(), packed.size()) != Z_OK) std::abort();
      return;
    }
    z_stream z{};
    if (inflateInit(&z) != Z_OK) std::abort();
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    for (std::size_t at = 0; at < out.size(); at += step) {
      z.next_out = out.data() + at;
      z.avail_out = static_cast<uInt>(std::min(step, out.size() - at));
      if (inflate(&z, Z_NO_FLUSH) < 0) std::abort();
    }
    inflateEnd(&z);
  };
  auto stream = [&] {
    source.SetPosition(0);
    snapkit::TZDecompressionStream z(source);
    for (std::size_t at = 0; at < out.size(); at += step)
      z.ReadBuffer(out.data() + at, static_cast<std::int64_t>(std::min(step, out.size() - at)));
  };
  Alternate(state, std::string("decompress ") + KindName(kind) + (piece ? " rows" : " whole"),
            direct, stream);
  if (out != in) state.SkipWithError("decompressed data differs");
}

// ZDecompress without an estimate, on input that inflates about a thousand
// times (deflate's limit is 1032): a buffer grown by the input's size per
// step may be copied once per step. Against uncompress into a new buffer of
// the right size, so that both pay for fresh memory; "input_bytes" shows how
// short the input is.
void BM_ZDecompressFar(benchmark::State& state) {
  const std::size_t outBytes = std::size_t(state.range(0)) << 20;
  const Bytes packed = DirectCompress(Bytes(outBytes, 0), 9);
  Totals t;
  for (auto _ : state) {
    const auto a = Clock::now();
    void* buf = nullptr;
    std::int32_t got = 0;
    snapkit::ZDecompress(packed.data(), std::int32_t(packed.size()), buf, got);
    std::free(buf);
    const auto b = Clock::now();
    uLongf size = outBytes;
    auto* out = static_cast<Bytef*>(std::malloc(outBytes));
    if (uncompress(out, &size, packed.data(), packed.size()) != Z_OK) std::abort();
    std::free(out);
    const auto c = Clock::now();
    if (std::size_t(got) != outBytes) state.SkipWithError("wrong size");
    t.stream += Seconds(a, b);
    t.direct += Seconds(b, c);
    t.ratios.push_back(Seconds(a, b) / Seconds(b, c));
    state.SetIterationTime(Seconds(a, b));
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["zdecompress_ms"] = t.stream / n * 1e3;
  state.counters["uncompress_ms"] = t.direct / n * 1e3;
  state.counters["input_bytes"] = double(packed.size());
}

BENCHMARK(BM_ZDecompressFar)
    ->Arg(1)
    ->Arg(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK(BM_Compress)
    ->ArgsProduct({{0, 1}, {snapkit::zcFastest, snapkit::zcDefault}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_Decompress)
    ->ArgsProduct({{0, 1}, {0, kPiece}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nstream time / direct zlib time (goal: at most 1.05)\n");
  std::printf("  %-30s %8s %8s %10s\n", "", "median", "total", "iterations");
  for (const auto& [name, t] : gTotals)
    std::printf("  %-30s %8.3f %8.3f %10zu  %s\n", name.c_str(), t.Median(), t.stream / t.direct,
                t.ratios.size(), t.Median() <= 1.05 ? "ok" : "over");
  return 0;
}
