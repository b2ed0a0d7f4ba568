// Kaiser-windowed sinc resampler, one channel per state, single precision.
#pragma once

#include <cstdint>

#include "dsp/sample_format.h"

// Built once by resampler_build_tables, read-only afterwards.
struct ResamplerTables {
  void *block;        // the one aligned block holding both tables
  float *longTable;   // 129 phase rows of 384 taps
  float *shortTable;  // 12288 points followed by 512 zeros
};
extern ResamplerTables resampler_tables;

constexpr int RESAMPLER_LONG_TAPS = 384;
constexpr int RESAMPLER_LONG_PHASES = 128;
constexpr int RESAMPLER_SHORT_POINTS = 12288;
constexpr int RESAMPLER_SHORT_PAD = 512;

enum : uint8_t {
  RESAMPLER_SKIPPED = 1,    // start-up latency already dropped
  RESAMPLER_TAKEN = 2,      // at least one input sample taken
  RESAMPLER_DOWN = 4,       // input rate above output rate (last call)
  RESAMPLER_FRESH = 8,      // no call yet
};

// One output of the long filter, waiting to be computed: its two phase
// rows, the interpolation fraction and its window in the ring.
struct ResamplerJob {
  const float *row;    // phase p; phase p + 1 follows it
  const float *entry;  // the ring entry of the window's first group
  float fraction;
};

struct ResamplerState {
  uint32_t ringCapacity;  // floats: 4 x entries
  uint32_t ringOffset;    // bytes of the next entry, wraps by mask
  float maxRatio;
  uint8_t flags;
  uint32_t dropped;       // outputs dropped so far as start-up latency
  double position;        // next output, in input samples past the newest
  alignas(16) float inStage[512];
  alignas(16) float outStage[512];
  // Up-sampling outputs are gathered here and computed several at a time,
  // each summed exactly as alone; the ring is not overwritten under them.
  ResamplerJob jobs[512];
  // The ring follows: entries of 4 floats (samples e-3..e); each entry is
  // stored twice, at e and e + entries, so any window reads contiguously.
  float *ring;
  // A second state of the same size, behind the first in the same block:
  // resampler_drain runs the end of a stream on it and leaves this one as
  // it was.
  ResamplerState *drainCopy;
  // On the drain copy: the ratio of the drain under way and the outputs it
  // still owes.
  double drainRatio;
  uint32_t drainLeft;
};

// 0, -1 (out of memory), -2 (no SSE2).
int resampler_build_tables(void);
void resampler_release_tables(void);

// maxRatio is clamped into 1..64. 0, -1, -2.
int resampler_create(ResamplerState **state, float maxRatio);
int resampler_destroy(ResamplerState *state);

// Converts `count` input samples of one channel. Returns the outputs written
// (at most count / ratio + 2). Refuses (returns 0, touches nothing) when the
// tables are missing or the ratio is not finite, not positive or above the
// state's maximum ratio.
uint32_t resampler_process(ResamplerState *state, const void *source, void *destination,
                           uint32_t count, float inputRate, float outputRate,
                           SampleFormat inputFormat, SampleFormat outputFormat);

// The end of a stream: the outputs its last input samples are still owed
// (the filter's look-ahead, as many as were dropped as start-up latency),
// computed as if silence followed. The state is not changed: a stream that
// continues it gives the same outputs again, exactly, as its first ones;
// the caller takes them off or starts afresh with resampler_reset. Returns
// the outputs written, or 0 (nothing taken yet, or refused as by
// resampler_process).
uint32_t resampler_drain(ResamplerState *state, void *destination, float inputRate, float outputRate,
                         SampleFormat outputFormat);

// The same in parts, for callers whose buffers take less than the whole
// (at 8 Hz in, 48 kHz out, the look-ahead is 40 s): begin returns the
// outputs owed (0 as resampler_drain) and next writes up to `most` of those
// still owed, in order; together they give what resampler_drain gives. The
// state is not changed; begin again restarts the drain from it.
uint32_t resampler_drain_begin(ResamplerState *state, float inputRate, float outputRate);
uint32_t resampler_drain_next(ResamplerState *state, void *destination, uint32_t most,
                              SampleFormat outputFormat);

// Forgets every sample taken, as a state just created.
void resampler_reset(ResamplerState *state);
