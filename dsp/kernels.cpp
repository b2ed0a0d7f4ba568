#include "dsp/kernels.h"

#include <emmintrin.h>

#include <atomic>
#include <cmath>
#include <cstring>

#include "support/fpu_guard.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

inline int sample_stride(SampleFormat format) {
  int size = (format & SAMPLE_FLOAT) ? 4 : 2;
  return (format & SAMPLE_STEREO) ? size * 2 : size;
}

// Clamp first, then convert under round-to-nearest: ties go to even and a
// NaN lands on 32767 rather than on the converter's 0x80000000.
inline int16_t round_saturate(float v) {
  __m128 x = _mm_set_ss(v);
  x = _mm_min_ss(x, _mm_set_ss(32767.0f));
  x = _mm_max_ss(x, _mm_set_ss(-32768.0f));
  return static_cast<int16_t>(_mm_cvtss_si32(x));
}

std::atomic<int> override_set{0};
CpuFeatures override_value;

}  // namespace

size_t convert_to_float(const void *source, float *destination, uint32_t count,
                        SampleFormat format) {
  const int stride = sample_stride(format);
  const int channel = (format & SAMPLE_STEREO) ? (format & SAMPLE_CHANNEL_RIGHT) : 0;
  if (format & SAMPLE_FLOAT) {
    const float *in = static_cast<const float *>(source) + channel;
    const int step = stride / 4;
    for (uint32_t i = 0; i < count; ++i) destination[i] = in[i * step];
  } else {
    const int16_t *in = static_cast<const int16_t *>(source) + channel;
    const int step = stride / 2;
    for (uint32_t i = 0; i < count; ++i) destination[i] = static_cast<float>(in[i * step]);
  }
  return static_cast<size_t>(count) * stride;
}

size_t convert_from_float(const float *source, void *destination, uint32_t count,
                          SampleFormat format) {
  FpuGuard guard;
  const int stride = sample_stride(format);
  const bool stereo = (format & SAMPLE_STEREO) != 0;
  const bool right = stereo && (format & SAMPLE_CHANNEL_RIGHT);
  if (format & SAMPLE_FLOAT) {
    float *out = static_cast<float *>(destination);
    if (!stereo) {
      std::memcpy(out, source, static_cast<size_t>(count) * 4);
    } else if (right) {
      for (uint32_t i = 0; i < count; ++i) out[2 * i + 1] = source[i];
    } else {
      for (uint32_t i = 0; i < count; ++i) {
        out[2 * i] = source[i];
        out[2 * i + 1] = 0.0f;
      }
    }
  } else {
    int16_t *out = static_cast<int16_t *>(destination);
    if (!stereo) {
      for (uint32_t i = 0; i < count; ++i) out[i] = round_saturate(source[i]);
    } else if (right) {
      for (uint32_t i = 0; i < count; ++i) out[2 * i + 1] = round_saturate(source[i]);
    } else {
      for (uint32_t i = 0; i < count; ++i) {
        out[2 * i] = round_saturate(source[i]);
        out[2 * i + 1] = 0;
      }
    }
  }
  return static_cast<size_t>(count) * stride;
}

// I0(z) = sum over k = 0..25 of (z/2)^(2k) / (k!)^2, each term formed as
// z^(2k) over the running product of (2j)^2.
static long double bessel_i0(long double z) {
  const long double z2 = z * z;
  long double power = 1.0L, product = 1.0L, sum = 1.0L;
  for (int k = 1; k <= 25; ++k) {
    power *= z2;
    product *= static_cast<long double>(2 * k) * static_cast<long double>(2 * k);
    sum += power / product;
  }
  return sum;
}

long double kaiser_value(long double x, long double beta) {
  long double x2 = x * x;
  long double rest = 1.0L - x2;
  // At |x| = 1 the argument becomes infinite and the window exactly 0.
  long double arg = beta * std::sqrt(1.0L / rest);
  return bessel_i0(beta) / bessel_i0(arg);
}

// Extended-precision work sits in functions of its own, called once the
// guard has reset the x87 unit, so that no value lives across the reset.
__attribute__((noinline)) static void kaiser_fill(float *destination, uint32_t length,
                                                  float beta, int form) {
  if (length < 2) {
    if (length == 1) destination[0] = 1.0f;
    return;
  }
  const long double b = beta;
  const long double span = static_cast<long double>(length - 1);
  if (form == KAISER_SYMMETRIC) {
    for (uint32_t i = 0; i < length; ++i) {
      long double x = (2.0L * i - span) / span;
      destination[i] = static_cast<float>(kaiser_value(x, b));
    }
    return;
  }
  const uint32_t half = length / 2;
  for (uint32_t i = 0; i < half; ++i) {
    long double x = (2.0L * i + 1.0L) / span;
    destination[i] = static_cast<float>(kaiser_value(x, b));
  }
  for (uint32_t i = 0; i < half; ++i) {
    uint32_t mirror = length - 1 - i;
    if (mirror >= half + (length & 1)) destination[mirror] = destination[i];
  }
}

void kaiser_window(float *destination, uint32_t length, float beta, int form) {
  FpuGuard guard;
  kaiser_fill(destination, length, beta, form);
}

void fft_radix2(int direction, int log2_size, double *data) {
  FpuGuard guard;
  if (log2_size <= 0) return;
  const uint32_t n = 1u << log2_size;
  // Bit-reversed order by the reversed-carry increment.
  uint32_t j = 0;
  for (uint32_t i = 0; i < n - 1; ++i) {
    if (j > i) {
      double re = data[2 * i], im = data[2 * i + 1];
      data[2 * i] = data[2 * j];
      data[2 * i + 1] = data[2 * j + 1];
      data[2 * j] = re;
      data[2 * j + 1] = im;
    }
    uint32_t bit = n >> 1;
    while (j & bit) {
      j ^= bit;
      bit >>= 1;
    }
    j |= bit;
  }
  // The twiddle step of each stage is the half angle of the previous one.
  double step_re = -1.0, step_im = 0.0;
  for (uint32_t h = 1; h < n; h <<= 1) {
    double w_re = 1.0, w_im = 0.0;
    for (uint32_t k = 0; k < h; ++k) {
      for (uint32_t i = k; i < n; i += 2 * h) {
        double *a = data + 2 * i;
        double *b = data + 2 * (i + h);
        double t_re = b[0] * w_re - b[1] * w_im;
        double t_im = b[0] * w_im + b[1] * w_re;
        b[0] = a[0] - t_re;
        b[1] = a[1] - t_im;
        a[0] += t_re;
        a[1] += t_im;
      }
      double next_re = w_re * step_re - w_im * step_im;
      w_im = w_re * step_im + w_im * step_re;
      w_re = next_re;
    }
    double c = step_re;
    step_re = std::sqrt((1.0 + c) / 2.0);
    step_im = std::sqrt((1.0 - c) / 2.0);
    if (direction >= 0) step_im = -step_im;
  }
}

CpuFeatures cpu_features(void) {
  if (override_set.load(std::memory_order_acquire)) return override_value;
  CpuFeatures f = {0, 0, 0, 0};
#if defined(__i386__) || defined(__x86_64__)
  unsigned a, b, c, d;
  if (__get_cpuid(1, &a, &b, &c, &d)) {
    f.sse2 = (d >> 26) & 1;
    f.sse3 = c & 1;
    f.ssse3 = (c >> 9) & 1;
    if (((c >> 27) & 1) && ((c >> 28) & 1)) {
      // XGETBV 0: bits 1 and 2 say the system saves XMM and YMM registers.
      unsigned lo, hi;
      __asm__ __volatile__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
      f.avx = (lo & 6u) == 6u;
    }
  }
#endif
  return f;
}

void cpu_features_override(const CpuFeatures *features) {
  if (features) {
    override_value = *features;
    override_set.store(1, std::memory_order_release);
  } else {
    override_set.store(0, std::memory_order_release);
  }
}

uint32_t cpu_eq_variant(void) {
  CpuFeatures f = cpu_features();
  return (f.sse3 ? 1u : 0u) | (f.ssse3 ? 2u : 0u);
}
