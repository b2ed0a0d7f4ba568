// The 1020-tap equalizer filter: direct convolution, four outputs per pass.
#pragma once

#include <cstdint>

#include "dsp/eq_design.h"
#include "dsp/sample_format.h"

// How many blocks of four outputs one pass over the taps computes. Every
// loop gives the same bits: each output lane is summed in the same order.
enum : uint32_t {
  EQ_LOOP_SINGLE = 0,      // one block per pass (SSE2, or SSE3/SSSE3 for variant 3)
  EQ_LOOP_SSE2_PAIRS = 1,  // two blocks per pass, SSE2 (64-bit builds: 16 registers)
  EQ_LOOP_AVX = 2,         // two or four blocks per pass in 256-bit registers (64-bit builds)
};

struct EqState {
  uint32_t pending;  // 0..3 samples waiting for a block of four
  uint32_t variant;  // 3: lanes summed (l0 + l1) + (l2 + l3), else (l0 + l2) + (l1 + l3)
  uint32_t loop;     // EQ_LOOP_*, the fastest this processor runs
  // The last 1020 input samples, oldest first, followed by the staged ones:
  // block b of a round is line[1020 + 4b ..] and reads line[4b .. 4b + 1023],
  // so the windows of consecutive blocks are plain offsets into one array.
  alignas(16) float line[2048];
  alignas(16) float out[1024];  // the outputs of one round
};

// 0, -1 (out of memory), -2 (no SSE2).
int eq_state_create(EqState **state);
int eq_state_destroy(EqState *state);

// The loop eq_state_create chooses on this processor.
uint32_t eq_best_loop(void);

// Returns the outputs written: a multiple of 4, within 3 of count plus the
// pending samples. Null kernel: nothing is done, 0.
uint32_t eq_filter(EqState *state, const void *source, void *destination,
                   const EqKernel *kernel, uint32_t count, SampleFormat inputFormat,
                   SampleFormat outputFormat);
