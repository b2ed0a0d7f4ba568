#include "support/heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

bool all_zero(const void *p, size_t n) {
  const unsigned char *b = static_cast<const unsigned char *>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

TEST(Heap, ReleasingNullDoesNothing) {
  heap_release(nullptr);
  aligned_block_release(nullptr);
}

TEST(Heap, BlocksAreZeroFilledEvenWhenReused) {
  // Dirty a block and release it, so the next one of that size is likely the
  // same memory.
  const size_t sizes[] = {1, 100, 4096, 1 << 20};
  for (size_t size : sizes) {
    void *dirty = heap_alloc_zeroed(size);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xA5, size);
    heap_release(dirty);
    void *p = heap_alloc_zeroed(size);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(all_zero(p, size)) << size;
    heap_release(p);
  }
}

TEST(Heap, ZeroSizeGivesAReleasableBlock) {
  void *p = heap_alloc_zeroed(0);
  EXPECT_NE(p, nullptr);
  heap_release(p);
}

TEST(Heap, AlignedBlocksAre16AlignedZeroedAndReleased) {
  const size_t sizes[] = {1, 15, 16, 17, 1000, 65536};
  void *blocks[6];
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 6; ++i) {
      blocks[i] = aligned_block_alloc(sizes[i]);
      ASSERT_NE(blocks[i], nullptr);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[i]) % 16, 0u) << sizes[i];
      EXPECT_TRUE(all_zero(blocks[i], sizes[i])) << sizes[i];
      // The whole requested size is usable (the sanitizer build checks it).
      std::memset(blocks[i], 0xC3, sizes[i]);
    }
    for (void *b : blocks) aligned_block_release(b);
  }
}

TEST(Heap, AlignedSizeThatWouldWrapIsRefused) {
  EXPECT_EQ(aligned_block_alloc(SIZE_MAX), nullptr);
  EXPECT_EQ(aligned_block_alloc(SIZE_MAX - 15), nullptr);
}

}  // namespace
