// The engine's use of the resampler and the equalizer: two states of each,
// left and right, re-created at every full stop so no history carries over.
#include "dsp/eq_design.h"
#include "dsp/eq_filter.h"
#include "dsp/resampler.h"
#include "dsp/sample_format.h"
#include "engine/engine_internal.h"

namespace {
const float MAX_RATIO = 8.0f;

void destroy_states(void) {
  if (engine.resamplerLeft) resampler_destroy(engine.resamplerLeft);
  if (engine.resamplerRight) resampler_destroy(engine.resamplerRight);
  if (engine.eqLeft) eq_state_destroy(engine.eqLeft);
  if (engine.eqRight) eq_state_destroy(engine.eqRight);
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
