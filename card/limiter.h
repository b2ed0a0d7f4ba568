// The card's output limiter: a stereo-linked look-ahead peak limiter on the
// float mix, just before the conversion to 16 bits. Peaks that would reach
// full scale are brought down to the ceiling with a gain that falls over the
// look-ahead and recovers smoothly afterwards; a mix that stays below the
// ceiling passes bit-exact, delayed by the look-ahead.
#pragma once

#include <cstdint>

// Look-ahead in frames at 48 kHz (1 ms): long enough for the gain to fall
// as a ramp rather than a step, short enough to add no audible latency.
constexpr uint32_t LIMITER_LOOKAHEAD = 48;
// The largest magnitude the limiter lets through: 32 steps below the largest
// 16-bit code (about -0.01 dBFS). The margin is far above the float error of
// applying the gain, so no limited sample can round to full scale, and the
// threshold is still high enough that anything that played unclipped before
// (peaks up to 32734) still passes untouched.
constexpr float LIMITER_CEILING = 32735.0f;
// After the last peak the gain is back at exactly 1 within this time,
// whatever the depth of the reduction (look-ahead windows included).
constexpr uint32_t LIMITER_RELEASE_MS = 90;

struct Limiter {
  // Frames waiting for their gain, interleaved L, R (a ring).
  float delay[LIMITER_LOOKAHEAD * 2];
  // The gains below are fixed-point fractions of 1 << 24, so that the
  // moving average's running sum is exact and comes back to exactly 1 when
  // the reduction is over.
  // The sliding minimum of the envelope: the envelope gains of the window
  // that no later one undercuts, in rising order, with their frame numbers
  // (a ring of `candidates` entries from `first`).
  uint32_t candidateGain[LIMITER_LOOKAHEAD + 1];
  uint32_t candidateFrame[LIMITER_LOOKAHEAD + 1];
  uint32_t first, candidates;
  uint32_t frame;  // number of the frame entering (wraps)
  // The recent minima, for their moving average.
  uint32_t minima[LIMITER_LOOKAHEAD + 1];
  uint32_t minimaSum;
  uint32_t at;        // ring position of the next frame in `delay`
  uint32_t window;    // ring position in `minima`
  uint32_t unityRun;  // envelope frames at unity in a row (saturates)
  float envelope;     // peak gain with release, 1 when nothing is limited
  float lastGain;     // the gain the last frame out was given
};

// Empties the look-ahead (silence) and sets the gain back to 1.
void limiter_reset(Limiter *l);

// Limits `frames` interleaved stereo frames in place. Each output frame is
// the input frame LIMITER_LOOKAHEAD frames earlier (from earlier calls at
// first) times its gain, so |output| <= LIMITER_CEILING.
void limiter_process(Limiter *l, float *lr, uint32_t frames);

// The gain the last frame out of the limiter was given (1 when idle); for
// tests and meters.
float limiter_gain(const Limiter *l);
