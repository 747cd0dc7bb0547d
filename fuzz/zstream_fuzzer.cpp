// Compressed data through ZDecompress and TZDecompressionStream, each checked
// against zlib's own inflate: the same bytes where zlib finds a complete
// stream; where the data is cut short, an EZLibError from ZDecompress and,
// from the stream, the bytes zlib could make and a dry-source end; an
// EZLibError where the data is damaged.

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/system/exception.h"
#include "zstream/zstream.h"

using snapkit::fuzz::Check;

namespace {

// Output is capped here; a tiny input that inflates past it must be stopped
// by the limit, not by running out of memory.
constexpr std::int32_t kLimit = 64 << 10;

struct TReference {
  bool Complete = false;   // zlib reached the end of the stream
  bool Truncated = false;  // the data ran out before it, undamaged so far
  bool OverLimit = false;  // it would deliver more than kLimit bytes
  std::vector<std::uint8_t> Bytes;
};

TReference Inflate(const std::uint8_t* Data, std::size_t Size) {
  TReference r;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) std::abort();
  z.next_in = const_cast<Bytef*>(Data);
  z.avail_in = static_cast<uInt>(Size);
  std::uint8_t buf[16384];
  for (;;) {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    const int rc = inflate(&z, Z_NO_FLUSH);
    r.Bytes.insert(r.Bytes.end(), buf, buf + (sizeof buf - z.avail_out));
    if (r.Bytes.size() > std::size_t(kLimit)) {
      r.OverLimit = true;
      break;
    }
    if (rc == Z_STREAM_END) {
      r.Complete = true;
      break;
    }
    if (rc != Z_OK) {
      r.Truncated = rc == Z_BUF_ERROR;
      break;
    }
  }
  inflateEnd(&z);
  return r;
}

// Hands out at most Step bytes per read, as pipes and sockets do.
class TTrickleStream : public host::TMemoryStream {
 public:
  explicit TTrickleStream(std::int32_t Step) : FStep(Step) {}
  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    return TMemoryStream::Read(Buffer, std::min(Count, FStep));
  }

 private:
  std::int32_t FStep;
};

void CheckOneShot(const std::uint8_t* Data, std::size_t Size, const TReference& Ref) {
  void* out = nullptr;
  std::int32_t outBytes = 0;
  // Estimates from none to more than the limit, taken from the input's size.
  // Without one a short input grows the buffer in many small steps, which is
  // slow under the sanitizers, so that case is one in four.
  const std::int32_t estimates[] = {0, 1, std::int32_t(Size) * 4, kLimit * 2};
  const std::int32_t estimate = estimates[(Size / 8) % 4];
  try {
    snapkit::ZDecompress(Data, std::int32_t(Size), out, outBytes, estimate, kLimit);
  } catch (const snapkit::EZLibError&) {
    Check(!Ref.Complete || Ref.OverLimit, "ZDecompress refused a complete stream");
    return;
  }
  const auto* first = static_cast<const std::uint8_t*>(out);
  const std::vector<std::uint8_t> got(first, first + outBytes);
  std::free(out);
  Check(Ref.Complete && !Ref.OverLimit, "ZDecompress accepted an incomplete or oversized stream");
  Check(got == Ref.Bytes, "ZDecompress delivered other bytes than zlib");
}

void CheckStream(const std::uint8_t* Data, std::size_t Size, const TReference& Ref) {
  static const std::int32_t kSteps[] = {1, 3, 100, 65536};
  static const std::int32_t kReads[] = {1, 7, 512, 70000};
  TTrickleStream source(kSteps[Size % 4]);
  snapkit::fuzz::Fill(source, Data, Size);
  snapkit::TZDecompressionStream stream(source);
  // Small reads, but not so many that a large output makes the run slow.
  const std::int32_t chunk =
      std::max(kReads[(Size / 4) % 4], std::int32_t(Ref.Bytes.size() / 2048));
  std::vector<std::uint8_t> got;
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(chunk));
  bool failed = false;
  try {
    // A forward skip first, as the image decoder does to restart a pass.
    // (Only over bytes zlib delivers: further would be a read error of the
    // caller's making.)
    const std::size_t skip = Size % 5;
    if (skip && skip <= Ref.Bytes.size()) {
      stream.Seek(std::int64_t(skip), host::soCurrent);
      got.assign(Ref.Bytes.begin(), Ref.Bytes.begin() + std::int64_t(skip));
    }
    while (got.size() <= std::size_t(kLimit)) {
      const std::int32_t n = stream.Read(buf.data(), chunk);
      got.insert(got.end(), buf.begin(), buf.begin() + n);
      if (n < chunk) break;
    }
  } catch (const snapkit::EZLibError&) {
    failed = true;
  }
  if (Ref.OverLimit) return;
  const bool readable = Ref.Complete || Ref.Truncated;
  Check(failed != readable, failed ? "the stream refused a complete or merely cut-short stream"
                                   : "the stream accepted damaged data");
  // Every byte delivered before a failure is one zlib delivers too.
  const std::size_t n = std::min(got.size(), Ref.Bytes.size());
  Check(std::equal(got.begin(), got.begin() + n, Ref.Bytes.begin()),
        "the stream delivered other bytes than zlib");
  if (failed) return;
  Check(got.size() == Ref.Bytes.size(), "the stream delivered a different length");
  Check(stream.State() == (Ref.Complete ? snapkit::zsStreamEnd : snapkit::zsSourceDry),
        "the stream told a clean end and a dry source apart wrongly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const TReference ref = Inflate(Data, Size);
  CheckOneShot(Data, Size, ref);
  CheckStream(Data, Size, ref);
  return 0;
}
