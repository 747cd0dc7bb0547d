#include "host/graphics/pixel_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace host {

namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;

// From here on a block is mapped on its own, aligned to huge pages.
constexpr std::size_t LargeBlock = 2 * HugePage;

std::size_t Mapped(std::size_t Bytes) { return (Bytes + HugePage - 1) / HugePage * HugePage; }

}  // namespace

void* AllocatePixels(std::size_t Bytes) {
  if (Bytes == 0) return nullptr;
  static const char* Mode = getenv("PIXMODE");
  if (Bytes < LargeBlock || (Mode && *Mode == 'm')) {
    void* P = std::calloc(1, Bytes);
    if (!P) throw std::bad_alloc();
    return P;
  }
  const std::size_t Size = Mapped(Bytes);
  if (Size < Bytes) throw std::bad_alloc();
  // One huge page more than needed, then the ends trimmed to alignment.
  void* Raw =
      mmap(nullptr, Size + HugePage, PROT_READ | PROT_WRITE,
           MAP_PRIVATE | MAP_ANONYMOUS | ((Mode && *Mode == 'p') ? MAP_POPULATE : 0), -1, 0);
  if (Raw == MAP_FAILED) throw std::bad_alloc();
  const auto Start = reinterpret_cast<std::uintptr_t>(Raw);
  const std::uintptr_t Aligned = (Start + HugePage - 1) / HugePage * HugePage;
  if (Aligned > Start) munmap(Raw, Aligned - Start);
  if (const std::size_t Tail = Start + HugePage - Aligned)
    munmap(reinterpret_cast<void*>(Aligned + Size), Tail);
  // Only a hint: without huge pages the block works all the same.
  if (!(Mode && (*Mode == 'n' || *Mode == 'p')))
    madvise(reinterpret_cast<void*>(Aligned), Size, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(Aligned);
}

void FreePixels(void* Memory, std::size_t Bytes) {
  if (!Memory) return;
  static const char* Mode = getenv("PIXMODE");
  if (Bytes < LargeBlock || (Mode && *Mode == 'm'))
    std::free(Memory);
  else
    munmap(Memory, Mapped(Bytes));
}

}  // namespace host
