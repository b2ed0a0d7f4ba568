// The room of one device: early reflections and a late reverberation driven
// by the EAX 2.0 listener properties. All memory is part of the object, so
// it is allocated once with the device and never on the mixer thread.
#pragma once

#include <cstdint>

#include "platform/eax2.h"

constexpr uint32_t REVERB_LINES = 8;
constexpr uint32_t REVERB_TAPS = 6;
constexpr uint32_t REVERB_DIFFUSERS = 4;
// Longest Reflections Delay + Reverb Delay (0.3 s + 0.1 s) plus the spread
// of the early taps, at 48 kHz, rounded up to a power of two.
constexpr uint32_t REVERB_PREDELAY_SIZE = 32768;
constexpr uint32_t REVERB_LINE_SIZE = 4096;
constexpr uint32_t REVERB_DIFFUSER_SIZE = 512;

struct Reverb {
  // Parameters derived from the listener the last time it changed.
  EAXLISTENERPROPERTIES applied;
  bool configured;
  uint32_t tapDelay[REVERB_TAPS];
  float tapLeft[REVERB_TAPS], tapRight[REVERB_TAPS];
  uint32_t lateDelay;
  uint32_t lineLength[REVERB_LINES];
  float lineB[REVERB_LINES];  // damping filter: z = b x + a z
  float lineA[REVERB_LINES];
  float diffusion;            // allpass coefficient
  float earlyTarget, lateTarget;
  float early, late;          // the levels the last chunk ended with

  // State.
  uint32_t pos;  // write index shared by the predelay line and the delay lines
  uint32_t diffuserPos;
  uint32_t silentFrames;  // input frames of silence in a row
  bool idle;              // everything is zero; nothing to compute while input is silent
  float lineZ[REVERB_LINES];
  float predelay[REVERB_PREDELAY_SIZE];
  float lines[REVERB_LINES][REVERB_LINE_SIZE];
  float diffusers[REVERB_DIFFUSERS][REVERB_DIFFUSER_SIZE];
};

// Silences the reverb and forgets its parameters.
void reverb_reset(Reverb *r);
// Takes the listener properties for the next chunk; derived values are
// recomputed only when something changed. Level changes are ramped across
// the next chunk, delay and decay changes apply at once.
void reverb_configure(Reverb *r, const EAXLISTENERPROPERTIES &listener);
// Feeds `n` frames of the mono sum of the voices' sends (16-bit scale) and
// adds the reverberation to the interleaved stereo `mix`.
void reverb_process(Reverb *r, const float *input, float *mix, uint32_t n);
