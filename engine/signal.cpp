// The engine's use of the resampler and the equalizer: two states of each,
// left and right, re-created at every full stop so no history carries over.
#include <cstring>

#include "dsp/eq_design.h"
#include "dsp/eq_filter.h"
#include "dsp/resampler.h"
#include "dsp/sample_format.h"
#include "engine/engine_internal.h"

namespace {
const float MAX_RATIO = 8.0f;
// Where the equalizer's end of a stream runs: copies of its two states.
EqState *eq_drain_left = nullptr, *eq_drain_right = nullptr;
// The filter's centre tap: the outputs a state still owes past its last
// input sample are this many plus the samples pending in its block of four.
const uint32_t EQ_CENTRE_TAP = 510;

void destroy_states(void) {
  if (engine.resamplerLeft) resampler_destroy(engine.resamplerLeft);
  if (engine.resamplerRight) resampler_destroy(engine.resamplerRight);
  if (engine.eqLeft) eq_state_destroy(engine.eqLeft);
  if (engine.eqRight) eq_state_destroy(engine.eqRight);
  if (eq_drain_left) eq_state_destroy(eq_drain_left);
  if (eq_drain_right) eq_state_destroy(eq_drain_right);
  eq_drain_left = eq_drain_right = nullptr;
  engine.resamplerLeft = engine.resamplerRight = nullptr;
  engine.eqLeft = engine.eqRight = nullptr;
}

int create_resamplers(void) {
  int r = resampler_create(&engine.resamplerLeft, MAX_RATIO);
  if (r == 0) r = resampler_create(&engine.resamplerRight, MAX_RATIO);
  return r;
}

int create_equalizers(void) {
  int r = eq_state_create(&engine.eqLeft);
  if (r == 0) r = eq_state_create(&engine.eqRight);
  if (r == 0) r = eq_state_create(&eq_drain_left);
  if (r == 0) r = eq_state_create(&eq_drain_right);
  return r;
}
}  // namespace

int signal_init(void) {
  int r = resampler_build_tables();
  if (r == 0) r = create_resamplers();
  if (r == 0) r = create_equalizers();
  if (r == 0) eq_design();
  return r;
}

void signal_release(void) {
  destroy_states();
  resampler_release_tables();
}

int signal_recreate_states(void) {
  destroy_states();
  int r = create_equalizers();
  int s = create_resamplers();
  return r != 0 ? r : s;
}

uint32_t signal_resample(const int16_t *in, int16_t *out, uint32_t frames, int32_t inRate) {
  if (!engine.resamplerLeft || !engine.resamplerRight) return 0;
  uint32_t n = resampler_process(engine.resamplerLeft, in, out, frames, float(inRate), 48000.0f,
                                 SAMPLE_S16_STEREO_LEFT, SAMPLE_S16_STEREO_LEFT);
  uint32_t m = resampler_process(engine.resamplerRight, in, out, frames, float(inRate), 48000.0f,
                                 SAMPLE_S16_STEREO_RIGHT, SAMPLE_S16_STEREO_RIGHT);
  return n < m ? n : m;
}

uint32_t signal_drain(int16_t *out, int32_t inRate) {
  if (!engine.resamplerLeft || !engine.resamplerRight) return 0;
  uint32_t n = resampler_drain(engine.resamplerLeft, out, float(inRate), 48000.0f, SAMPLE_S16_STEREO_LEFT);
  uint32_t m = resampler_drain(engine.resamplerRight, out, float(inRate), 48000.0f, SAMPLE_S16_STEREO_RIGHT);
  return n < m ? n : m;
}

void signal_reset_resamplers(void) {
  resampler_reset(engine.resamplerLeft);
  resampler_reset(engine.resamplerRight);
}

bool signal_eq_on(void) { return eq_enabled.load() != 0 && engine.eqLeft && engine.eqRight; }

uint32_t signal_equalize(const int16_t *in, int16_t *out, uint32_t frames) {
  const EqKernel *kernel = eq_kernel_acquire();
  eq_filter(engine.eqLeft, in, out, kernel, frames, SAMPLE_S16_STEREO_LEFT, SAMPLE_S16_STEREO_LEFT);
  uint32_t n = eq_filter(engine.eqRight, in, out, kernel, frames, SAMPLE_S16_STEREO_RIGHT, SAMPLE_S16_STEREO_RIGHT);
  eq_kernel_release();
  return n;
}

uint32_t signal_drain_begin(int32_t inRate) {
  if (!engine.resamplerLeft || !engine.resamplerRight) return 0;
  uint32_t n = resampler_drain_begin(engine.resamplerLeft, float(inRate), 48000.0f);
  uint32_t m = resampler_drain_begin(engine.resamplerRight, float(inRate), 48000.0f);
  return n < m ? n : m;
}

uint32_t signal_drain_next(int16_t *out, uint32_t most) {
  if (!engine.resamplerLeft || !engine.resamplerRight) return 0;
  uint32_t n = resampler_drain_next(engine.resamplerLeft, out, most, SAMPLE_S16_STEREO_LEFT);
  uint32_t m = resampler_drain_next(engine.resamplerRight, out, most, SAMPLE_S16_STEREO_RIGHT);
  return n < m ? n : m;
}

uint32_t signal_eq_drain_begin(void) {
  if (!signal_eq_on() || !eq_drain_left || !eq_drain_right) return 0;
  *eq_drain_left = *engine.eqLeft;
  *eq_drain_right = *engine.eqRight;
  return EQ_CENTRE_TAP + engine.eqLeft->pending;
}

uint32_t signal_eq_drain_through(const int16_t *in, int16_t *out, uint32_t frames) {
  if (!eq_drain_left || !eq_drain_right) return 0;
  const EqKernel *kernel = eq_kernel_acquire();
  eq_filter(eq_drain_left, in, out, kernel, frames, SAMPLE_S16_STEREO_LEFT, SAMPLE_S16_STEREO_LEFT);
  uint32_t n = eq_filter(eq_drain_right, in, out, kernel, frames, SAMPLE_S16_STEREO_RIGHT, SAMPLE_S16_STEREO_RIGHT);
  eq_kernel_release();
  return n;
}

uint32_t signal_eq_drain_tail(int16_t *out, uint32_t frames) {
  if (!eq_drain_left || !eq_drain_right || frames == 0) return 0;
  // Silence in blocks of four until the copy has given `frames`; what it
  // gives beyond them (up to three) is past the end and left out.
  static const int16_t silence[2 * 64] = {};
  int16_t spare[2 * 64];
  uint32_t made = 0;
  const EqKernel *kernel = eq_kernel_acquire();
  while (made < frames) {
    const uint32_t owe = frames - made;
    uint32_t feed = owe + eq_drain_left->pending;
    feed = (feed + 3) / 4 * 4 - eq_drain_left->pending;
    if (feed > 64) feed = 64;
    int16_t *to = owe >= 64 + 4 ? out + 2 * made : spare;
    eq_filter(eq_drain_left, silence, to, kernel, feed, SAMPLE_S16_STEREO_LEFT, SAMPLE_S16_STEREO_LEFT);
    uint32_t n = eq_filter(eq_drain_right, silence, to, kernel, feed, SAMPLE_S16_STEREO_RIGHT,
                           SAMPLE_S16_STEREO_RIGHT);
    if (n == 0) break;  // no kernel
    if (n > owe) n = owe;
    if (to == spare) std::memcpy(out + 2 * made, spare, 4 * size_t(n));
    made += n;
  }
  eq_kernel_release();
  return made;
}

void signal_eq_take_drain(void) {
  if (!eq_drain_left || !eq_drain_right || !engine.eqLeft || !engine.eqRight) return;
  *engine.eqLeft = *eq_drain_left;
  *engine.eqRight = *eq_drain_right;
}
