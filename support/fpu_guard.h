// Saves the caller's x87 control word and MXCSR, puts the x87 unit into its
// default state (all exceptions masked, round to nearest, extended precision)
// and SSE into masked round-to-nearest, and restores the caller's state when
// it goes out of scope. One per call, on the stack.
#pragma once

#include <cstdint>

class FpuGuard {
 public:
  FpuGuard() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ __volatile__("fnstcw %0" : "=m"(x87_));
    __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr_));
    __asm__ __volatile__("fninit");
    // Keep the caller's denormal handling off: masked exceptions, nearest.
    uint32_t csr = 0x1F80;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
#endif
  }
  ~FpuGuard() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ __volatile__("fnclex");
    __asm__ __volatile__("fldcw %0" : : "m"(x87_));
    __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr_));
#endif
  }
  FpuGuard(const FpuGuard &) = delete;
  FpuGuard &operator=(const FpuGuard &) = delete;

 private:
  uint16_t x87_ = 0;
  uint32_t mxcsr_ = 0;
};
