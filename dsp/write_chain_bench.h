// The engine's Write path for 16-bit stereo, as both speed programs time it:
// per block, the left and right resampler calls (16-bit in, 16-bit out into
// one shared stereo buffer), then the left and right equalizer calls with a
// designed, non-flat kernel. The input is a 10 s stream played block after
// block, so every block brings new samples as a decoder would.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/eq_design.h"
#include "dsp/eq_filter.h"
#include "dsp/resampler.h"

struct WriteChain {
  float rate = 44100.0f;
  uint32_t blockFrames = 4410;  // 100 ms at 44.1 kHz
  std::vector<int16_t> input;   // interleaved stereo
  std::vector<int16_t> mid, out;
  size_t at = 0;                // next input frame
  ResamplerState *rl = nullptr, *rr = nullptr;
  EqState *el = nullptr, *er = nullptr;

  // 0, or the first failing result.
  int open(float inputRate, uint32_t frames) {
    rate = inputRate;
    blockFrames = frames;
    if (!resampler_tables.block) {
      int r = resampler_build_tables();
      if (r) return r;
    }
    int r = resampler_create(&rl, 8.0f);
    if (!r) r = resampler_create(&rr, 8.0f);
    if (!r) r = eq_state_create(&el);
    if (!r) r = eq_state_create(&er);
    if (r) return r;
    // A smile curve: bass and treble raised, the middle lowered.
    eq_settings.preamp = 90;
    for (int i = 0; i < EQ_BANDS; ++i)
      eq_settings.bands[i] = 30 + int(std::lround(50.0 * std::fabs(i - 15.5) / 15.5));
    r = eq_design();
    if (r) return r;
    const size_t total = size_t(rate) * 10;
    input.resize(2 * total);
    for (size_t i = 0; i < total; ++i) {
      // Two partials per channel and a slow level change: music-like levels.
      const double level = 0.6 + 0.4 * std::sin(i * 2e-5);
      input[2 * i] = int16_t(level * (14000 * std::sin(i * 0.0712) + 6000 * std::sin(i * 0.51)));
      input[2 * i + 1] = int16_t(level * (12000 * std::sin(i * 0.0291 + 1) + 7000 * std::sin(i * 0.83)));
    }
    const size_t most = size_t(blockFrames * 48000.0 / rate) + 8;
    mid.assign(2 * most, 0);
    out.assign(2 * most + 8, 0);
    return 0;
  }

  // One Write block; returns the frames it produced.
  uint32_t run_block() {
    if (at + blockFrames > input.size() / 2) at = 0;
    const int16_t *in = input.data() + 2 * at;
    at += blockFrames;
    uint32_t n = resampler_process(rl, in, mid.data(), blockFrames, rate, 48000.0f,
                                   SAMPLE_S16_STEREO_LEFT, SAMPLE_S16_STEREO_LEFT);
    resampler_process(rr, in, mid.data(), blockFrames, rate, 48000.0f, SAMPLE_S16_STEREO_RIGHT,
                      SAMPLE_S16_STEREO_RIGHT);
    const EqKernel *k = eq_kernel_acquire();
    eq_filter(el, mid.data(), out.data(), k, n, SAMPLE_S16_STEREO_LEFT, SAMPLE_S16_STEREO_LEFT);
    uint32_t m = eq_filter(er, mid.data(), out.data(), k, n, SAMPLE_S16_STEREO_RIGHT,
                           SAMPLE_S16_STEREO_RIGHT);
    eq_kernel_release();
    return m;
  }

  // Seconds of input audio one block stands for.
  double block_seconds() const { return blockFrames / double(rate); }

  void close() {
    resampler_destroy(rl);
    resampler_destroy(rr);
    eq_state_destroy(el);
    eq_state_destroy(er);
    rl = rr = nullptr;
    el = er = nullptr;
  }
};
