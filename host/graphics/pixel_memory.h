#pragma once
// Memory for a bitmap's pixels. It comes zeroed from the system (calloc, or
// fresh pages for large sizes), so a new bitmap is black without a pass
// over it. Large blocks ask for huge pages: a 4K picture is 25 MB, which
// would otherwise take 6000 page faults to touch and as many to free.

#include <cstddef>
#include <new>
#include <utility>

namespace host {

void* AllocatePixels(std::size_t Bytes);  // zeroed; raises std::bad_alloc
void FreePixels(void* Memory, std::size_t Bytes);

// For std::vector: value-initialised elements are left as allocated, that
// is zero. That holds for vectors sized once and then only copied or moved
// into, as the bitmap's are: never shrunk and grown again.
template <typename T>
struct TPixelAllocator {
  using value_type = T;
  TPixelAllocator() = default;
  template <typename U>
  TPixelAllocator(const TPixelAllocator<U>&) {}
  T* allocate(std::size_t N) { return static_cast<T*>(AllocatePixels(N * sizeof(T))); }
  void deallocate(T* P, std::size_t N) { FreePixels(P, N * sizeof(T)); }
  template <typename U>
  void construct(U*) {}
  template <typename U, typename... A>
  void construct(U* P, A&&... Args) {
    ::new (static_cast<void*>(P)) U(std::forward<A>(Args)...);
  }
  template <typename U>
  bool operator==(const TPixelAllocator<U>&) const {
    return true;
  }
  template <typename U>
  bool operator!=(const TPixelAllocator<U>&) const {
    return false;
  }
};

}  // namespace host
