// Equalizer settings and the design of its 1020-tap kernel.
#pragma once

#include <atomic>
#include <cstdint>

struct EqSettings {
  int32_t preamp;     // 0..100, default 100
  int32_t bands[32];  // 0..100, default 50; band 0 lowest
};

struct EqKernel {
  alignas(16) float taps[1024];  // 0..1019 used, tap 510 the centre
};

constexpr int EQ_BANDS = 32;
constexpr int EQ_TAPS = 1020;
extern const int eq_band_bins[EQ_BANDS];

extern EqSettings eq_settings;
// Nonzero: the engine filters. Default 0.
extern std::atomic<int32_t> eq_enabled;
// One highlight flag per band slider, default 1.
extern uint8_t eq_band_highlight[EQ_BANDS];

// Reads eq_settings, computes the gains and designs a new kernel into a free
// buffer, then publishes it. Safe to call from several threads: overlapping
// calls fold into one more design by the running caller. 0 or -1.
int eq_design(void);

// Designs n bands (edges null: the built-in 32 bins) into `kernel`. 0, or -1
// when scratch memory cannot be had or n is out of range (kernel untouched).
int eq_design_kernel(int n, const int *edges, const float *gains, float *kernel);

// Step 1 of the design: fills the real parts of bins 0..512 of a spectrum of
// 1024 complex doubles with the spline through the gains.
void eq_spline(int n, const int *edges, const float *gains, double *spectrum);

// The published kernel for the filtering thread (one such thread): acquire
// before a block, release after it; a buffer held is never redesigned.
const EqKernel *eq_kernel_acquire(void);
void eq_kernel_release(void);
