#include "support/fpu_guard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/format_text.h"

#if defined(__i386__) || defined(__x86_64__)
namespace {

struct FpuState {
  uint16_t x87;
  uint32_t mxcsr;
};

FpuState read_state() {
  FpuState s;
  __asm__ __volatile__("fnstcw %0" : "=m"(s.x87) : : "memory");
  __asm__ __volatile__("stmxcsr %0" : "=m"(s.mxcsr) : : "memory");
  return s;
}

void write_state(FpuState s) {
  __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(s.x87) : "memory");
  __asm__ __volatile__("ldmxcsr %0" : : "m"(s.mxcsr) : "memory");
}

// x87: round up, 24-bit precision, zero-divide and denormal exceptions
// unmasked (nothing here divides by zero or loads a denormal).
constexpr uint16_t kUnusualX87 = 0x0800 | 0x0040 | 0x0039;
// SSE: flush-to-zero, denormals-are-zero, round up, zero-divide unmasked.
constexpr uint32_t kUnusualMxcsr = 0x8000 | 0x0040 | 0x4000 | (0x1F80 & ~0x0200u);
constexpr uint16_t kDefaultX87 = 0x037F;
constexpr uint32_t kDefaultMxcsr = 0x1F80;

TEST(FpuGuard, ResetsInsideAndRestoresTheCallersState) {
  FpuState caller = read_state();
  write_state({kUnusualX87, kUnusualMxcsr});
  FpuState before = read_state();
  FpuState inside, nestedInside, afterNested, after;
  volatile float tiny = 1e-40f;  // a denormal
  volatile float scaled = 0;
  {
    FpuGuard guard;
    inside = read_state();
    scaled = tiny * 2.0f;  // survives only without flush-to-zero
    {
      FpuGuard nested;
      nestedInside = read_state();
    }
    afterNested = read_state();
  }
  after = read_state();
  write_state(caller);

  EXPECT_EQ(before.x87, kUnusualX87);
  EXPECT_EQ(before.mxcsr & 0xFFC0, kUnusualMxcsr & 0xFFC0);
  EXPECT_EQ(inside.x87, kDefaultX87);
  EXPECT_EQ(inside.mxcsr & 0xFFC0, kDefaultMxcsr);
  EXPECT_NE(scaled, 0.0f);
  EXPECT_EQ(nestedInside.x87, kDefaultX87);
  EXPECT_EQ(afterNested.x87, kDefaultX87);
  EXPECT_EQ(afterNested.mxcsr & 0xFFC0, kDefaultMxcsr);
  EXPECT_EQ(after.x87, before.x87);
  // The exception flags (bits 0-5) are sticky and may differ; the rest must not.
  EXPECT_EQ(after.mxcsr & 0xFFC0, before.mxcsr & 0xFFC0);
}

TEST(FpuGuard, FloatFormattingIgnoresAndKeepsTheCallersState) {
  TextArgs args;
  text_args_clear(&args);
  text_args_double(&args, 0.1);
  text_args_single(&args, 9.996f);
  char plain[64], guarded[64];

  FpuState caller = read_state();
  write_state({kUnusualX87, kUnusualMxcsr});
  FpuState before = read_state();
  // With 24-bit precision and rounding up in force, the 18 digits would be
  // wrong unless the formatter sets its own control word.
  format_text(plain, "%.18Qf %.2f", args.bytes);
  FpuState after = read_state();
  {
    FpuGuard guard;
    format_text(guarded, "%.18Qf %.2f", args.bytes);
  }
  FpuState afterGuard = read_state();
  write_state(caller);

  EXPECT_STREQ(plain, "0.100000000000000005 10.00");
  EXPECT_STREQ(guarded, plain);
  EXPECT_EQ(after.x87, before.x87);
  EXPECT_EQ(after.mxcsr & 0xFFC0, before.mxcsr & 0xFFC0);
  EXPECT_EQ(afterGuard.x87, before.x87);
  EXPECT_EQ(afterGuard.mxcsr & 0xFFC0, before.mxcsr & 0xFFC0);
}

}  // namespace
#endif
