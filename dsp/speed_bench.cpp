// Speed of the signal path, with the ceilings of its two inner loops and,
// where installed, libsoxr and libsamplerate on the same input.
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/eq_design.h"
#include "dsp/eq_filter.h"
#include "dsp/kernels.h"
#include "dsp/resampler.h"
#include "dsp/write_chain_bench.h"
#include "support/heap.h"

#ifdef SONORIUM_HAVE_SOXR
#include <soxr.h>
#endif
#ifdef SONORIUM_HAVE_SAMPLERATE
#include <samplerate.h>
#endif

namespace {

const size_t kBlock = 4410;  // 100 ms of 44.1 kHz

std::vector<float> mono_input(size_t n) {
  std::vector<float> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = float(20000 * std::sin(i * 0.0712));
  return v;
}

void ensure_tables() {
  if (!resampler_tables.block) resampler_build_tables();
}

void BM_resampler(benchmark::State &state) {
  ensure_tables();
  const float rate = float(state.range(0));
  ResamplerState *s = nullptr;
  resampler_create(&s, 8.0f);
  std::vector<float> in = mono_input(kBlock), out(kBlock * 2 + 16);
  for (auto _ : state) {
    benchmark::DoNotOptimize(resampler_process(s, in.data(), out.data(), kBlock, rate, 48000.0f,
                                               SAMPLE_FLOAT, SAMPLE_FLOAT));
  }
  state.counters["in_samples/s"] =
      benchmark::Counter(double(kBlock) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["out_samples/s"] = benchmark::Counter(
      double(kBlock) * 48000.0 / rate * state.iterations(), benchmark::Counter::kIsRate);
  resampler_destroy(s);
}
BENCHMARK(BM_resampler)->Arg(44100)->Arg(96000);

// Ceiling of the long filter's loop: 384 interpolated taps over a fixed
// window, nothing else, per output sample.
void BM_resampler_inner_ceiling(benchmark::State &state) {
  ensure_tables();
  float *x = static_cast<float *>(aligned_block_alloc(4 * 384 * 4));
  for (int i = 0; i < 384 * 4; ++i) x[i] = float(i % 7);
  const float *L = resampler_tables.longTable;
  int p = 0;
  for (auto _ : state) {
    const float *r0 = L + p * 384, *r1 = r0 + 384;
    __m128 fv = _mm_set1_ps(0.37f), acc = _mm_setzero_ps();
    for (int g = 0; g < 96; ++g) {
      __m128 a = _mm_load_ps(r0 + 4 * g), b = _mm_load_ps(r1 + 4 * g);
      acc = _mm_add_ps(acc, _mm_mul_ps(_mm_load_ps(x + 16 * g),
                                       _mm_add_ps(a, _mm_mul_ps(fv, _mm_sub_ps(b, a)))));
    }
    benchmark::DoNotOptimize(acc);
    p = (p + 11) & 127;
  }
  state.counters["out_samples/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  aligned_block_release(x);
}
BENCHMARK(BM_resampler_inner_ceiling);

// Arguments: the lane-sum order (0 or 3) and the loop (EQ_LOOP_*).
void BM_eq_filter(benchmark::State &state) {
  EqState *s = nullptr;
  eq_state_create(&s);
  s->variant = uint32_t(state.range(0));
  s->loop = uint32_t(state.range(1));
  if (s->variant == 3 && cpu_eq_variant() != 3) {
    state.SkipWithError("no SSE3/SSSE3");
    eq_state_destroy(s);
    return;
  }
  if (s->loop == EQ_LOOP_AVX && !cpu_features().avx) {
    state.SkipWithError("no AVX");
    eq_state_destroy(s);
    return;
  }
  EqKernel k;
  for (int j = 0; j < 1024; ++j) k.taps[j] = j < 1020 ? 0.001f * (j % 13) : 0.0f;
  std::vector<float> in = mono_input(4800), out(4804);
  for (auto _ : state)
    benchmark::DoNotOptimize(eq_filter(s, in.data(), out.data(), &k, 4800, SAMPLE_FLOAT, SAMPLE_FLOAT));
  state.counters["samples/s"] =
      benchmark::Counter(4800.0 * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["madd/s"] =
      benchmark::Counter(4800.0 * 1020 * state.iterations(), benchmark::Counter::kIsRate);
  eq_state_destroy(s);
}
BENCHMARK(BM_eq_filter)
    ->Args({0, EQ_LOOP_SINGLE})
    ->Args({3, EQ_LOOP_SINGLE})
    ->Args({0, EQ_LOOP_SSE2_PAIRS})
    ->Args({0, EQ_LOOP_AVX})
    ->Args({3, EQ_LOOP_AVX});

// Ceiling: a plain SSE2 dot product, four outputs per pass over 1020 taps,
// unaligned loads for the shifted samples, no ring and no conversion.
void BM_eq_dot_ceiling(benchmark::State &state) {
  float *k = static_cast<float *>(aligned_block_alloc(1024 * 4));
  float *x = static_cast<float *>(aligned_block_alloc((4800 + 1032) * 4));
  for (int j = 0; j < 1020; ++j) k[j] = 0.001f * (j % 13);
  for (int i = 0; i < 4800 + 1032; ++i) x[i] = float(i % 101);
  float *y = static_cast<float *>(aligned_block_alloc(4800 * 4));
  for (auto _ : state) {
    for (int t = 0; t < 4800; t += 4) {
      const float *s = x + t;
      __m128 a0 = _mm_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
      for (int j = 0; j < 1020; j += 4) {
        __m128 kv = _mm_load_ps(k + j);
        a0 = _mm_add_ps(a0, _mm_mul_ps(kv, _mm_load_ps(s + j)));
        a1 = _mm_add_ps(a1, _mm_mul_ps(kv, _mm_loadu_ps(s + j + 1)));
        a2 = _mm_add_ps(a2, _mm_mul_ps(kv, _mm_loadu_ps(s + j + 2)));
        a3 = _mm_add_ps(a3, _mm_mul_ps(kv, _mm_loadu_ps(s + j + 3)));
      }
      _mm_store_ps(y + t, _mm_add_ps(_mm_add_ps(a0, a1), _mm_add_ps(a2, a3)));
    }
    benchmark::DoNotOptimize(y[0]);
    benchmark::ClobberMemory();
  }
  state.counters["madd/s"] =
      benchmark::Counter(4800.0 * 1020 * state.iterations(), benchmark::Counter::kIsRate);
  aligned_block_release(k);
  aligned_block_release(x);
  aligned_block_release(y);
}
BENCHMARK(BM_eq_dot_ceiling);

void BM_eq_design(benchmark::State &state) {
  for (auto _ : state) benchmark::DoNotOptimize(eq_design());
}
BENCHMARK(BM_eq_design);

void BM_resampler_build_tables(benchmark::State &state) {
  for (auto _ : state) benchmark::DoNotOptimize(resampler_build_tables());
}
BENCHMARK(BM_resampler_build_tables)->Unit(benchmark::kMillisecond);

// The Write path for 16-bit stereo, the same chain sonorium_dsp_chain
// times: both resampler calls, then both equalizer calls, 100 ms per
// iteration.
void BM_write_chain(benchmark::State &state) {
  WriteChain chain;
  if (chain.open(float(state.range(0)), uint32_t(state.range(0) / 10)) != 0) {
    state.SkipWithError("no tables or states");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(chain.run_block());
    benchmark::ClobberMemory();
  }
  state.counters["x_realtime"] = benchmark::Counter(
      chain.block_seconds() * state.iterations(), benchmark::Counter::kIsRate);
  chain.close();
}
BENCHMARK(BM_write_chain)->Arg(44100)->Arg(96000);

// The peers on the same mono float input as BM_resampler, counted by what
// they actually consumed and produced (a call may hold input back).
#ifdef SONORIUM_HAVE_SOXR
void BM_peer_soxr_vhq(benchmark::State &state) {
  const double rate = double(state.range(0));
  soxr_quality_spec_t q = soxr_quality_spec(SOXR_VHQ, 0);
  soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  soxr_error_t err = nullptr;
  soxr_t s = soxr_create(rate, 48000.0, 1, &err, &io, &q, nullptr);
  if (err) {
    state.SkipWithError("soxr_create failed");
    return;
  }
  std::vector<float> in = mono_input(kBlock), out(kBlock * 2 + 16);
  double consumed = 0, produced = 0;
  for (auto _ : state) {
    size_t at = 0;
    while (at < kBlock) {
      size_t done = 0, made = 0;
      soxr_process(s, in.data() + at, kBlock - at, &done, out.data(), out.size(), &made);
      at += done;
      produced += double(made);
      if (!done && !made) break;
    }
    consumed += double(at);
    benchmark::DoNotOptimize(out[0]);
  }
  state.counters["in_samples/s"] = benchmark::Counter(consumed, benchmark::Counter::kIsRate);
  state.counters["out_samples/s"] = benchmark::Counter(produced, benchmark::Counter::kIsRate);
  soxr_delete(s);
}
BENCHMARK(BM_peer_soxr_vhq)->Arg(44100)->Arg(96000);
#endif

#ifdef SONORIUM_HAVE_SAMPLERATE
void BM_peer_libsamplerate_best(benchmark::State &state) {
  const double rate = double(state.range(0));
  int err = 0;
  SRC_STATE *s = src_new(SRC_SINC_BEST_QUALITY, 1, &err);
  if (!s) {
    state.SkipWithError("src_new failed");
    return;
  }
  std::vector<float> in = mono_input(kBlock), out(kBlock * 2 + 16);
  SRC_DATA d;
  std::memset(&d, 0, sizeof d);
  d.src_ratio = 48000.0 / rate;
  double consumed = 0, produced = 0;
  for (auto _ : state) {
    long at = 0;
    while (at < long(kBlock)) {
      d.data_in = in.data() + at;
      d.input_frames = long(kBlock) - at;
      d.data_out = out.data();
      d.output_frames = long(out.size());
      if (src_process(s, &d) != 0 || (!d.input_frames_used && !d.output_frames_gen)) break;
      at += d.input_frames_used;
      produced += double(d.output_frames_gen);
    }
    consumed += double(at);
    benchmark::DoNotOptimize(out[0]);
  }
  state.counters["in_samples/s"] = benchmark::Counter(consumed, benchmark::Counter::kIsRate);
  state.counters["out_samples/s"] = benchmark::Counter(produced, benchmark::Counter::kIsRate);
  src_delete(s);
}
BENCHMARK(BM_peer_libsamplerate_best)->Arg(44100)->Arg(96000);
#endif

}  // namespace

BENCHMARK_MAIN();
