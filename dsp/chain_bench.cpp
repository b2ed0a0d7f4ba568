// Times the Write-path chain (16-bit stereo in, resample both channels to
// 48 kHz, equalize both, 16-bit out) without Google Benchmark, so that the
// 32-bit Windows build can report its own figure under Wine.
#include <chrono>
#include <cstdio>
#include <ctime>

#include "dsp/eq_filter.h"
#include "dsp/kernels.h"
#include "dsp/write_chain_bench.h"

namespace {

const char *loop_name(uint32_t loop) {
  switch (loop) {
    case EQ_LOOP_AVX: return "AVX";
    case EQ_LOOP_SSE2_PAIRS: return "SSE2, two blocks per pass";
    default: return "SSE2 or SSE3/SSSE3, one block per pass";
  }
}

// Best of several rounds of 30 s of audio each: the least disturbed round
// is the closest to what the code costs.
int time_chain(float rate, int rounds) {
  WriteChain chain;
  if (chain.open(rate, uint32_t(rate / 10)) != 0) return 1;
  const int blocks = 300;
  double best = 1e30, best_cpu = 1e30;
  for (int round = 0; round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    std::clock_t start_cpu = std::clock();
    for (int b = 0; b < blocks; ++b) chain.run_block();
    std::chrono::duration<double> t = std::chrono::steady_clock::now() - start;
    double cpu = double(std::clock() - start_cpu) / CLOCKS_PER_SEC;
    if (t.count() < best) best = t.count();
    if (cpu < best_cpu) best_cpu = cpu;
  }
  const double audio = blocks * chain.block_seconds();
  std::printf("write chain %.1f kHz stereo: %.1f x real time (%.0f s of audio in %.3f s, best of %d)",
              rate / 1000.0, audio / best, audio, best, rounds);
  // clock() is processor time natively; the Windows runtime's is wall time.
  if (best_cpu > 0) std::printf("; by clock(): %.1f x", audio / best_cpu);
  std::printf("\n");
  chain.close();
  return 0;
}

}  // namespace

int main() {
  if (resampler_build_tables() != 0) return 1;
  std::printf("build: %s; equalizer loop: %s\n", sizeof(void *) == 8 ? "64-bit" : "32-bit",
              loop_name(eq_best_loop()));
  int r = time_chain(44100.0f, 7);
  if (!r) r = time_chain(96000.0f, 3);
  resampler_release_tables();
  return r;
}
