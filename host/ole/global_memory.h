#pragma once
// Global memory blocks: what a data object hands over in a storage medium.
// A handle names a block until GlobalFree; handles are never reused, so a
// stale one finds nothing instead of another block.

#include <cstddef>

#include "host/system/ole_types.h"

namespace host {

struct HGLOBAL__;
using HGLOBAL = HGLOBAL__*;
using SIZE_T = std::size_t;
using UINT = std::uint32_t;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// Every block is reached through GlobalLock, whatever the flags; its bytes
// start zeroed. Null when the memory cannot be had.
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
// The block's bytes, or null for a handle that names no block. Each lock
// needs its GlobalUnlock.
void* GlobalLock(HGLOBAL hMem);
// Nonzero while the block stays locked after this call; zero once it is
// unlocked, or for a handle that names no block or a block not locked.
BOOL GlobalUnlock(HGLOBAL hMem);
// Null when the block was freed; the handle itself when it names no block.
HGLOBAL GlobalFree(HGLOBAL hMem);
// The size asked for at GlobalAlloc; 0 for a handle that names no block.
SIZE_T GlobalSize(HGLOBAL hMem);

// How many blocks are allocated and not yet freed, so that a test can see
// that whoever took a medium also let it go.
std::size_t GlobalBlocksInUse();

}  // namespace host
