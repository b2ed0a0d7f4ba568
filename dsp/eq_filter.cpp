#include "dsp/eq_filter.h"

#include <emmintrin.h>
#include <pmmintrin.h>
#include <tmmintrin.h>

#include <cstring>

#include "dsp/kernels.h"
#include "support/fpu_guard.h"
#include "support/heap.h"

namespace {

// Four outputs from one pass over the 1020 taps; samples are s[0..1023],
// oldest first, the new block being s[1020..1023].
void block_sse2(const float *s, const float *k, float *out) {
  __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps(),
         a3 = _mm_setzero_ps();
  __m128 e0 = _mm_load_ps(s);
  for (int g = 0; g < EQ_TAPS / 4; ++g) {
    const __m128 kv = _mm_load_ps(k + 4 * g);
    const __m128 e1 = _mm_load_ps(s + 4 * g + 4);
    const __m128 s2 = _mm_shuffle_ps(e0, e1, _MM_SHUFFLE(1, 0, 3, 2));
    const __m128 s1 = _mm_shuffle_ps(e0, s2, _MM_SHUFFLE(2, 1, 2, 1));
    const __m128 s3 = _mm_shuffle_ps(s2, e1, _MM_SHUFFLE(2, 1, 2, 1));
    a0 = _mm_add_ps(a0, _mm_mul_ps(kv, e0));
    a1 = _mm_add_ps(a1, _mm_mul_ps(kv, s1));
    a2 = _mm_add_ps(a2, _mm_mul_ps(kv, s2));
    a3 = _mm_add_ps(a3, _mm_mul_ps(kv, s3));
    e0 = e1;
  }
  // Each output: (l0 + l2) + (l1 + l3).
  __m128 t0 = _mm_unpacklo_ps(a0, a1);  // a0l0 a1l0 a0l1 a1l1
  __m128 t1 = _mm_unpackhi_ps(a0, a1);  // a0l2 a1l2 a0l3 a1l3
  __m128 t2 = _mm_unpacklo_ps(a2, a3);
  __m128 t3 = _mm_unpackhi_ps(a2, a3);
  __m128 l0 = _mm_movelh_ps(t0, t2), l1 = _mm_movehl_ps(t2, t0);
  __m128 l2 = _mm_movelh_ps(t1, t3), l3 = _mm_movehl_ps(t3, t1);
  _mm_store_ps(out, _mm_add_ps(_mm_add_ps(l0, l2), _mm_add_ps(l1, l3)));
}

__attribute__((target("sse3,ssse3"))) void block_ssse3(const float *s, const float *k,
                                                       float *out) {
  __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps(),
         a3 = _mm_setzero_ps();
  __m128i e0 = _mm_load_si128(reinterpret_cast<const __m128i *>(s));
  for (int g = 0; g < EQ_TAPS / 4; ++g) {
    const __m128 kv = _mm_load_ps(k + 4 * g);
    const __m128i e1 = _mm_load_si128(reinterpret_cast<const __m128i *>(s + 4 * g + 4));
    a0 = _mm_add_ps(a0, _mm_mul_ps(kv, _mm_castsi128_ps(e0)));
    a1 = _mm_add_ps(a1, _mm_mul_ps(kv, _mm_castsi128_ps(_mm_alignr_epi8(e1, e0, 4))));
    a2 = _mm_add_ps(a2, _mm_mul_ps(kv, _mm_castsi128_ps(_mm_alignr_epi8(e1, e0, 8))));
    a3 = _mm_add_ps(a3, _mm_mul_ps(kv, _mm_castsi128_ps(_mm_alignr_epi8(e1, e0, 12))));
    e0 = e1;
  }
  // Each output: (l0 + l1) + (l2 + l3).
  _mm_store_ps(out, _mm_hadd_ps(_mm_hadd_ps(a0, a1), _mm_hadd_ps(a2, a3)));
}

}  // namespace

int eq_state_create(EqState **state) {
  if (!state) return -1;
  *state = nullptr;
  if (!cpu_features().sse2) return -2;
  EqState *s = static_cast<EqState *>(aligned_block_alloc(sizeof(EqState)));
  if (!s) return -1;
  // Two zero samples ahead of the stream: with the centre tap at 510 the
  // delay comes to 512.
  s->pending = 2;
  s->variant = cpu_eq_variant();
  *state = s;
  return 0;
}

int eq_state_destroy(EqState *state) {
  aligned_block_release(state);
  return 0;
}

uint32_t eq_filter(EqState *s, const void *source, void *destination, const EqKernel *kernel,
                   uint32_t count, SampleFormat inputFormat, SampleFormat outputFormat) {
  FpuGuard guard;
  if (!s || !kernel || count == 0) return 0;
  const unsigned char *src = static_cast<const unsigned char *>(source);
  unsigned char *dst = static_cast<unsigned char *>(destination);
  const bool ssse3 = s->variant == 3;
  uint32_t written = 0;
  while (count) {
    uint32_t take = 1024 - s->pending;
    if (take > count) take = count;
    count -= take;
    src += convert_to_float(src, s->staging + s->pending, take, inputFormat);
    const uint32_t total = s->pending + take;
    const uint32_t blocks = total / 4;
    for (uint32_t b = 0; b < blocks; ++b) {
      float *block = s->staging + 4 * b;
      const uint32_t e = s->ringOffset / 16;
      std::memcpy(s->ring + 4 * e, block, 16);
      std::memcpy(s->ring + 4 * (e + 256), block, 16);
      s->ringOffset = (s->ringOffset + 16) & 4095;
      const float *oldest = s->ring + 4 * (s->ringOffset / 16);
      if (ssse3)
        block_ssse3(oldest, kernel->taps, block);
      else
        block_sse2(oldest, kernel->taps, block);
    }
    if (blocks) dst += convert_from_float(s->staging, dst, 4 * blocks, outputFormat);
    written += 4 * blocks;
    s->pending = total % 4;
    std::memmove(s->staging, s->staging + 4 * blocks, s->pending * sizeof(float));
  }
  return written;
}
