#include "platform/win32.h"
#include "support/heap.h"

extern "C" void *heap_alloc_zeroed(size_t size) {
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
}

extern "C" void heap_release(void *block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
