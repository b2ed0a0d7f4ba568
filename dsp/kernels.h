// Numeric building blocks shared by the resampler and the equalizer:
// sample conversion, the Kaiser window, the radix-2 FFT and the CPUID probe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/sample_format.h"

// Picks `count` samples of one channel out of `source` into floats on the
// 16-bit scale (no scaling). Returns the bytes consumed from the source.
size_t convert_to_float(const void *source, float *destination, uint32_t count,
                        SampleFormat format);

// Writes `count` floats into one channel of `destination`. 16-bit output is
// rounded to nearest (ties to even) and saturated to -32768..32767. Into an
// interleaved pair the left channel clears the other lane, the right channel
// keeps it. Returns the bytes the destination advances by.
size_t convert_from_float(const float *source, void *destination, uint32_t count,
                          SampleFormat format);

enum KaiserForm { KAISER_ZERO_PHASE = 0, KAISER_SYMMETRIC = 1 };

// W(x) = I0(beta) / I0(beta / sqrt(1 - x^2)) with the 26-term series in
// extended precision. Symmetric form: x = (2i - (N-1)) / (N-1). Zero-phase
// form (even N): w[i] at x = (2i+1)/(N-1) for i < N/2, w[N-1-i] = w[i];
// slot N/2 is left unwritten.
void kaiser_window(float *destination, uint32_t length, float beta, int form);

// The window function itself, in extended precision, for table building.
long double kaiser_value(long double x, long double beta);

// In-place radix-2 FFT of 2^log2_size complex doubles (real, imaginary),
// 16-byte aligned. direction < 0: inverse (e^+i), otherwise forward (e^-i).
// No scaling in either direction.
void fft_radix2(int direction, int log2_size, double *data);

// CPUID function 1: EDX bit 26 (SSE2), ECX bit 0 (SSE3), ECX bit 9 (SSSE3);
// avx: ECX bit 28 with OSXSAVE (bit 27) and XGETBV showing that the system
// saves the XMM and YMM state.
struct CpuFeatures {
  int sse2;
  int sse3;
  int ssse3;
  int avx;
};
CpuFeatures cpu_features(void);
// Replaces the probe's answer (tests of the no-SSE2 paths); null restores it.
void cpu_features_override(const CpuFeatures *features);
// 2-bit code: bit 0 SSE3, bit 1 SSSE3; 3 selects the SSE3/SSSE3 loops.
uint32_t cpu_eq_variant(void);
