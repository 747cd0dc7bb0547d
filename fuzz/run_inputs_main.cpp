// Runs a fuzz target's LLVMFuzzerTestOneInput over files, without libFuzzer:
// how the corpus and every earlier finding stay tests in the ordinary build.
// Arguments are files or folders (all files in them); folders that do not
// exist are skipped, but no input at all is an error. Memory is bounded as
// the fuzzers bound it, so an input that makes a reader allocate gigabytes
// fails here too instead of slowing the machine down.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define SNAPKIT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SNAPKIT_ASAN 1
#endif
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

namespace fs = std::filesystem;

#ifdef SNAPKIT_ASAN
// The sanitizer's allocator refuses large allocations itself.
extern "C" const char* __asan_default_options() {
  return "max_allocation_size_mb=2048:allocator_may_return_null=0";
}
#else
// What libFuzzer's -malloc_limit_mb does: a single allocation this large is
// a finding, even where the machine could satisfy it. (Readers turn a
// failed allocation into an exception, so only refusing it early shows.)
namespace {
constexpr std::size_t kLargestAllocation = std::size_t(2048) << 20;

void* Allocate(std::size_t Size) {
  if (Size > kLargestAllocation) {
    std::fprintf(stderr, "allocation of %zu bytes is over the limit\n", Size);
    std::abort();
  }
  if (void* p = std::malloc(Size ? Size : 1)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t Size) { return Allocate(Size); }
void* operator new[](std::size_t Size) { return Allocate(Size); }
void operator delete(void* P) noexcept { std::free(P); }
void operator delete[](void* P) noexcept { std::free(P); }
void operator delete(void* P, std::size_t) noexcept { std::free(P); }
void operator delete[](void* P, std::size_t) noexcept { std::free(P); }
#endif

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path p(argv[i]);
    if (fs::is_directory(p)) {
      for (const auto& e : fs::directory_iterator(p))
        if (e.is_regular_file()) inputs.push_back(e.path());
    } else if (fs::is_regular_file(p)) {
      inputs.push_back(p);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "cannot read %s\n", p.c_str());
      return 1;
    }
    // Printed first, so that a crash names its input.
    std::fprintf(stderr, "%s\n", p.c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs passed\n", inputs.size());
  return 0;
}
