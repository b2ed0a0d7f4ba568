#include <cstdlib>

#include "support/heap.h"

extern "C" void *heap_alloc_zeroed(size_t size) { return std::calloc(1, size ? size : 1); }

extern "C" void heap_release(void *block) { std::free(block); }
