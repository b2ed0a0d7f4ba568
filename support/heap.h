// Process-heap blocks, zero-filled, and 16-byte aligned blocks for the
// signal-processing tables and states.
#pragma once

#include <cstddef>

extern "C" {
// Zero-filled block from the process heap, or null when memory runs out.
void *heap_alloc_zeroed(size_t size);
// Releases a block from heap_alloc_zeroed; null is ignored.
void heap_release(void *block);

// A zero-filled block whose address is a multiple of 16. The heap block is
// 16 bytes larger; its address is kept in the word just below the aligned
// address. Null when memory runs out.
void *aligned_block_alloc(size_t size);
// Releases a block from aligned_block_alloc; null is ignored.
void aligned_block_release(void *aligned);
}
