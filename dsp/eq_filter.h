// The 1020-tap equalizer filter: direct convolution, four outputs per pass.
#pragma once

#include <cstdint>

#include "dsp/eq_design.h"
#include "dsp/sample_format.h"

struct EqState {
  uint32_t ringOffset;  // bytes of the next ring entry, 0..4080
  uint32_t pending;     // 0..3 samples waiting for a block of four
  uint32_t variant;     // 3: SSE3/SSSE3 loop, otherwise SSE2
  // 256 entries of 4 floats, stored twice (entry e at e and e + 256) so
  // the 1024 samples oldest-first are always contiguous.
  alignas(16) float ring[2048];
  alignas(16) float staging[1024];
};

// 0, -1 (out of memory), -2 (no SSE2).
int eq_state_create(EqState **state);
int eq_state_destroy(EqState *state);

// Returns the outputs written: a multiple of 4, within 3 of count plus the
// pending samples. Null kernel: nothing is done, 0.
uint32_t eq_filter(EqState *state, const void *source, void *destination,
                   const EqKernel *kernel, uint32_t count, SampleFormat inputFormat,
                   SampleFormat outputFormat);
