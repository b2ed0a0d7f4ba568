// CPU the output limiter spends per frame, in the mixer's 256-frame chunks:
// music that stays below the ceiling (the usual case, where frames only
// pass through the look-ahead), music that is limited all the time, and
// music with a loud beat every half second (limiting and recovering).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "card/limiter.h"

namespace {

constexpr uint32_t CHUNK = 256;

// One second of stereo noise at `level` (a peak), with a beat of four times
// that level for 10 ms every half second when `beats` is set.
std::vector<float> music(float level, bool beats) {
  std::vector<float> lr(48000 * 2);
  uint32_t seed = 7;
  for (size_t i = 0; i < lr.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    float x = (float(seed >> 8) / float(1u << 23) - 1.0f) * level;
    if (beats && (i / 2) % 24000 < 480) x *= 4.0f;
    lr[i] = x;
  }
  return lr;
}

void run(benchmark::State &state, const std::vector<float> &source) {
  Limiter l;
  limiter_reset(&l);
  std::vector<float> work(source);
  float chunk[CHUNK * 2];
  size_t at = 0;
  for (auto _ : state) {
    for (uint32_t i = 0; i < CHUNK * 2; ++i) chunk[i] = work[at + i];
    limiter_process(&l, chunk, CHUNK);
    benchmark::DoNotOptimize(chunk);
    at = at + CHUNK * 4 >= work.size() ? 0 : at + CHUNK * 2;
  }
  // Seconds of CPU per frame, shown with an SI prefix (n: nanoseconds).
  state.counters["per_frame"] =
      benchmark::Counter(double(state.iterations()) * CHUNK, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LimiterQuiet(benchmark::State &state) { run(state, music(20000.0f, false)); }
void BM_LimiterAlwaysLimiting(benchmark::State &state) { run(state, music(60000.0f, false)); }
void BM_LimiterLoudBeats(benchmark::State &state) { run(state, music(12000.0f, true)); }

}  // namespace

BENCHMARK(BM_LimiterQuiet);
BENCHMARK(BM_LimiterAlwaysLimiting);
BENCHMARK(BM_LimiterLoudBeats);

BENCHMARK_MAIN();
