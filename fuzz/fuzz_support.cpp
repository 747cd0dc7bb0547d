#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

namespace snapkit::fuzz {

void Fill(host::TMemoryStream& Stream, const std::uint8_t* Data, std::size_t Size) {
  Stream.Clear();
  if (Size > 0) Stream.WriteBuffer(Data, static_cast<std::int64_t>(Size));
  Stream.SetPosition(0);
}

void Check(bool Condition, const std::string& What) {
  if (Condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", What.c_str());
  std::abort();
}

}  // namespace snapkit::fuzz
