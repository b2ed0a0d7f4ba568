#include "dsp/eq_design.h"

#include <cstring>

#include "dsp/kernels.h"
#include "support/fpu_guard.h"
#include "support/heap.h"

const int eq_band_bins[EQ_BANDS] = {1,   2,   3,   4,   6,   9,   12,  16,  22,  28,  34,
                                    40,  48,  58,  68,  80,  92,  104, 116, 128, 142, 156,
                                    170, 186, 204, 226, 252, 282, 320, 366, 430, 512};

EqSettings eq_settings = {100, {50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50,
                                50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50}};
std::atomic<int32_t> eq_enabled{0};
uint8_t eq_band_highlight[EQ_BANDS] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                       1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

namespace {

// Three buffers: the published one, the one the filter may still hold, and
// one that is always free to design into.
EqKernel kernels[3];
std::atomic<int> published{0};
std::atomic<int> held{-1};
std::atomic<int> design_busy{0};
std::atomic<int> design_pending{0};

int clamp_index(int i, int n) { return i < 0 ? 0 : (i > n - 1 ? n - 1 : i); }

// Extended-precision work sits in functions of its own, called once the
// guard has reset the x87 unit, so that no value lives across the reset.
__attribute__((noinline)) void band_gains(float *gains) {
  const long double preamp = eq_settings.preamp;
  const long double scaled = preamp >= 50.0L ? preamp : preamp / 2.0L + 25.0L;
  for (int i = 0; i < EQ_BANDS; ++i)
    gains[i] = static_cast<float>(eq_settings.bands[i] * scaled / 5000.0L);
}

int design_once() {
  float gains[EQ_BANDS];
  {
    FpuGuard guard;
    band_gains(gains);
  }
  const int current = published.load();
  const int holding = held.load();
  int target = 0;
  while (target == current || target == holding) ++target;
  int result = eq_design_kernel(EQ_BANDS, nullptr, gains, kernels[target].taps);
  if (result == 0) published.store(target);
  return result;
}

}  // namespace

void eq_spline(int n, const int *edges, const float *gains, double *spectrum) {
  if (!edges) edges = eq_band_bins;
  for (int s = 0; s <= n; ++s) {
    int a = s == 0 ? 0 : edges[s - 1];
    int b = s == n ? 513 : edges[s];
    // Bins outside the spectrum's lower half are never written.
    if (a < 0) a = 0;
    if (b > 513) b = 513;
    if (b <= a) continue;
    const double y0 = gains[clamp_index(s - 2, n)];
    const double y1 = gains[clamp_index(s - 1, n)];
    const double y2 = gains[clamp_index(s, n)];
    const double y3 = gains[clamp_index(s + 1, n)];
    const double A = (3.0 * (y1 - y2) - y0 + y3) / 2.0;
    const double B = y0 + 2.0 * y2 - (5.0 * y1 + y3) / 2.0;
    const double C = (y2 - y0) / 2.0;
    const double D = y1;
    const double dt = 1.0 / (b - a);
    double t = 0.0;
    for (int j = 0; j < b - a; ++j) {
      double h = ((A * t + B) * t + C) * t + D;
      spectrum[2 * (a + j)] = h < 0.0 ? 0.0 : h;
      spectrum[2 * (a + j) + 1] = 0.0;
      t += dt;
    }
  }
}

int eq_design_kernel(int n, const int *edges, const float *gains, float *kernel) {
  FpuGuard guard;
  if (n < 1 || (!edges && n > EQ_BANDS) || !gains || !kernel) return -1;
  unsigned char *scratch = static_cast<unsigned char *>(aligned_block_alloc(16384 + 4096 + 512));
  if (!scratch) return -1;
  double *spectrum = reinterpret_cast<double *>(scratch);
  float *window = reinterpret_cast<float *>(scratch + 16384);
  eq_spline(n, edges, gains, spectrum);
  for (int k = 1; k < 512; ++k) spectrum[2 * (1024 - k)] = spectrum[2 * k];
  fft_radix2(-1, 10, spectrum);
  kaiser_window(window, 1024, 4.712389f, KAISER_ZERO_PHASE);
  for (int j = 0; j < EQ_TAPS; ++j) {
    const int m = (j - 510) & 1023;
    kernel[j] = static_cast<float>(spectrum[2 * m]) * (1.0f / 1024.0f) * window[m];
  }
  kernel[1020] = kernel[1021] = kernel[1022] = kernel[1023] = 0.0f;
  aligned_block_release(scratch);
  return 0;
}

int eq_design(void) {
  design_pending.store(1);
  for (;;) {
    if (design_busy.exchange(1)) return 0;  // the running design repeats
    int result = 0;
    while (design_pending.exchange(0)) result = design_once();
    design_busy.store(0);
    if (!design_pending.load()) return result;
  }
}

const EqKernel *eq_kernel_acquire(void) {
  for (;;) {
    int i = published.load();
    held.store(i);
    if (published.load() == i) return &kernels[i];
  }
}

void eq_kernel_release(void) { held.store(-1); }
