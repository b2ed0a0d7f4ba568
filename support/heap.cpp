#include "support/heap.h"

#include <cstdint>

// The heap returns at least pointer alignment, so rounding base + 16 down to
// 16 always leaves room for one pointer below the aligned address.
extern "C" void *aligned_block_alloc(size_t size) {
  if (size > SIZE_MAX - 16) return nullptr;
  void *base = heap_alloc_zeroed(size + 16);
  if (!base) return nullptr;
  uintptr_t aligned = (reinterpret_cast<uintptr_t>(base) + 16) & ~uintptr_t(15);
  reinterpret_cast<void **>(aligned)[-1] = base;
  return reinterpret_cast<void *>(aligned);
}

extern "C" void aligned_block_release(void *aligned) {
  if (!aligned) return;
  heap_release(static_cast<void **>(aligned)[-1]);
}
