#pragma once
// Memory for a bitmap's pixels, zeroed by calloc: large blocks are fresh
// pages from the system, zero already, so a new bitmap is black without the
// pass over it that std::vector's value-initialisation makes.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace host {

// For std::vector: value-initialised elements are left as allocated, that
// is zero. That holds for vectors sized once and then only copied or moved
// into, as the bitmap's are: never shrunk and grown again.
template <typename T>
struct TPixelAllocator {
  using value_type = T;
  TPixelAllocator() = default;
  template <typename U>
  TPixelAllocator(const TPixelAllocator<U>&) {}
  T* allocate(std::size_t N) {
    void* P = std::calloc(N, sizeof(T));
    if (!P && N) throw std::bad_alloc();
    return static_cast<T*>(P);
  }
  void deallocate(T* P, std::size_t) { std::free(P); }
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
