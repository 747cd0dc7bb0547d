#include "host/ole/global_memory.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace host {

namespace {

struct TGlobalBlock {
  std::unique_ptr<unsigned char[]> Bytes;
  SIZE_T Size = 0;
  int Locks = 0;
};

// Data objects may be filled on another thread than the one that drops.
struct TGlobalHeap {
  std::mutex Lock;
  std::map<HGLOBAL, TGlobalBlock> Blocks;
  std::uintptr_t LastHandle = 0;
};

TGlobalHeap& Heap() {
  static TGlobalHeap H;
  return H;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  TGlobalBlock Block;
  // A zero-byte block still gets an address of its own to lock.
  Block.Bytes.reset(new (std::nothrow) unsigned char[dwBytes ? dwBytes : 1]());
  if (!Block.Bytes) return nullptr;
  Block.Size = dwBytes;
  TGlobalHeap& H = Heap();
  std::lock_guard<std::mutex> Guard(H.Lock);
  HGLOBAL Handle = reinterpret_cast<HGLOBAL>(++H.LastHandle);
  H.Blocks.emplace(Handle, std::move(Block));
  return Handle;
}

void* GlobalLock(HGLOBAL hMem) {
  TGlobalHeap& H = Heap();
  std::lock_guard<std::mutex> Guard(H.Lock);
  auto it = H.Blocks.find(hMem);
  if (it == H.Blocks.end()) return nullptr;
  ++it->second.Locks;
  return it->second.Bytes.get();
}

BOOL GlobalUnlock(HGLOBAL hMem) {
  TGlobalHeap& H = Heap();
  std::lock_guard<std::mutex> Guard(H.Lock);
  auto it = H.Blocks.find(hMem);
  if (it == H.Blocks.end() || it->second.Locks == 0) return 0;
  return --it->second.Locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
  TGlobalHeap& H = Heap();
  std::lock_guard<std::mutex> Guard(H.Lock);
  return H.Blocks.erase(hMem) ? nullptr : hMem;
}

SIZE_T GlobalSize(HGLOBAL hMem) {
  TGlobalHeap& H = Heap();
  std::lock_guard<std::mutex> Guard(H.Lock);
  auto it = H.Blocks.find(hMem);
  return it == H.Blocks.end() ? 0 : it->second.Size;
}

std::size_t GlobalBlocksInUse() {
  TGlobalHeap& H = Heap();
  std::lock_guard<std::mutex> Guard(H.Lock);
  return H.Blocks.size();
}

}  // namespace host
