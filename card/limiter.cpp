// The output limiter. For each frame entering, the gain the frame must have
// to stay under the ceiling feeds an envelope that follows it down at once
// and recovers slowly. The gain of the frame leaving, LIMITER_LOOKAHEAD
// frames later, is the moving average of sliding minima of that envelope,
// both over LIMITER_LOOKAHEAD + 1 frames: every value averaged has seen the
// leaving frame's own need, so the gain is never above it, and a peak is met
// by a linear ramp over the look-ahead instead of a step.
#include "card/limiter.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t WINDOW = LIMITER_LOOKAHEAD + 1;
constexpr uint32_t UNITY = 1u << 24;
// Frames at unity after which both windows hold nothing but unity.
constexpr uint32_t SETTLED = 2 * WINDOW;
// The release is an exponential with a 24 ms time constant aimed a little
// above unity, so that it arrives at exactly 1 in finite time: at most
// 24 ms * ln((1 + 1/32) / (1/32)) = 84 ms from any depth, plus the two
// windows. STEP is 1 - exp(-1 / (24 ms * 48 kHz)).
constexpr float RELEASE_AIM = 1.0f + 1.0f / 32.0f;
constexpr float RELEASE_STEP = 8.6768e-4f;

// Enters the envelope gain of a new frame and returns the least of the last
// WINDOW frames' (monotonic queue: amortised constant time, where a scan
// of the window would cost WINDOW comparisons a frame).
uint32_t window_minimum(Limiter *l, uint32_t gain) {
  const uint32_t now = ++l->frame;
  if (now - l->candidateFrame[l->first] >= WINDOW) {
    l->first = l->first + 1 == WINDOW ? 0 : l->first + 1;
    --l->candidates;
  }
  while (l->candidates > 0) {
    uint32_t last = (l->first + l->candidates - 1) % WINDOW;
    if (l->candidateGain[last] < gain) break;
    --l->candidates;
  }
  uint32_t slot = (l->first + l->candidates) % WINDOW;
  l->candidateGain[slot] = gain;
  l->candidateFrame[slot] = now;
  ++l->candidates;
  return l->candidateGain[l->first];
}

}  // namespace

void limiter_reset(Limiter *l) {
  std::memset(l->delay, 0, sizeof l->delay);
  for (uint32_t k = 0; k < WINDOW; ++k) l->minima[k] = UNITY;
  l->minimaSum = WINDOW * UNITY;
  l->candidateGain[0] = UNITY;
  l->candidateFrame[0] = 0;
  l->first = 0;
  l->candidates = 1;
  l->frame = 0;
  l->at = 0;
  l->window = 0;
  l->unityRun = SETTLED;
  l->envelope = 1.0f;
  l->lastGain = 1.0f;
}

void limiter_process(Limiter *l, float *lr, uint32_t frames) {
  float envelope = l->envelope;
  float gain = l->lastGain;
  for (uint32_t i = 0; i < frames; ++i) {
    const float inL = lr[i * 2], inR = lr[i * 2 + 1];
    float *slot = l->delay + l->at * 2;
    const float outL = slot[0], outR = slot[1];
    slot[0] = inL;
    slot[1] = inR;
    l->at = l->at + 1 == LIMITER_LOOKAHEAD ? 0 : l->at + 1;

    const float peak = std::fmax(std::fabs(inL), std::fabs(inR));
    if (peak <= LIMITER_CEILING && l->unityRun == SETTLED) {
      // Nothing limited within the windows: the frame leaves untouched.
      lr[i * 2] = outL;
      lr[i * 2 + 1] = outR;
      gain = 1.0f;
      continue;
    }
    if (envelope < 1.0f) {
      envelope += (RELEASE_AIM - envelope) * RELEASE_STEP;
      if (envelope > 1.0f) envelope = 1.0f;
    }
    if (peak > LIMITER_CEILING) envelope = std::fmin(envelope, LIMITER_CEILING / peak);
    if (envelope < 1.0f) {
      l->unityRun = 0;
    } else if (l->unityRun < SETTLED) {
      ++l->unityRun;
    }
    // Scaling by a power of two is exact; the conversion rounds down, so
    // the fixed-point gain never exceeds the envelope.
    const uint32_t least = window_minimum(l, uint32_t(envelope * float(UNITY)));
    l->minimaSum = l->minimaSum - l->minima[l->window] + least;
    l->minima[l->window] = least;
    l->window = l->window + 1 == WINDOW ? 0 : l->window + 1;
    gain = float(double(l->minimaSum) / double(WINDOW * UNITY));
    lr[i * 2] = outL * gain;
    lr[i * 2 + 1] = outR * gain;
  }
  l->envelope = envelope;
  l->lastGain = gain;
}

float limiter_gain(const Limiter *l) { return l->lastGain; }
