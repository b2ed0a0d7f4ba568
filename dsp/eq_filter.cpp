#include "dsp/eq_filter.h"

#include <emmintrin.h>
#include <immintrin.h>
#include <pmmintrin.h>
#include <tmmintrin.h>

#include <cstring>

#include "dsp/kernels.h"
#include "support/fpu_guard.h"
#include "support/heap.h"

namespace {

constexpr uint32_t kHistory = EQ_TAPS;  // samples kept before the staged ones

// Lane sums of four accumulators into four outputs. Sequential (variant 0):
// (l0 + l2) + (l1 + l3); adjacent (variant 3): (l0 + l1) + (l2 + l3).
template <bool kAdjacent>
inline __m128 reduce_sse2(__m128 a0, __m128 a1, __m128 a2, __m128 a3) {
  __m128 t0 = _mm_unpacklo_ps(a0, a1);  // a0l0 a1l0 a0l1 a1l1
  __m128 t1 = _mm_unpackhi_ps(a0, a1);  // a0l2 a1l2 a0l3 a1l3
  __m128 t2 = _mm_unpacklo_ps(a2, a3);
  __m128 t3 = _mm_unpackhi_ps(a2, a3);
  __m128 l0 = _mm_movelh_ps(t0, t2), l1 = _mm_movehl_ps(t2, t0);
  __m128 l2 = _mm_movelh_ps(t1, t3), l3 = _mm_movehl_ps(t3, t1);
  if (kAdjacent) return _mm_add_ps(_mm_add_ps(l0, l1), _mm_add_ps(l2, l3));
  return _mm_add_ps(_mm_add_ps(l0, l2), _mm_add_ps(l1, l3));
}

// Four outputs from one pass over the 1020 taps; samples are s[0..1023],
// oldest first, the new block being s[1020..1023]. Lane l of accumulator q
// sums k[4g + l] * s[4g + l + q] over g in order; every loop below keeps
// exactly these sums.
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
  _mm_store_ps(out, reduce_sse2<false>(a0, a1, a2, a3));
}

// The same sums with the shifted sample vectors built by byte alignment.
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

#if defined(__x86_64__)
// Two blocks per pass: the second block's window starts one entry later, so
// each loaded sample vector serves both. Eight independent sums hide the
// latency of the additions, which bounds the one-block loop.
template <bool kAdjacent>
void pair_sse2(const float *s, const float *k, float *out) {
  __m128 a0 = _mm_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
  __m128 b0 = a0, b1 = a0, b2 = a0, b3 = a0;
  __m128 e0 = _mm_load_ps(s), e1 = _mm_load_ps(s + 4);
  for (int g = 0; g < EQ_TAPS / 4; ++g) {
    const __m128 kv = _mm_load_ps(k + 4 * g);
    const __m128 e2 = _mm_load_ps(s + 4 * g + 8);
    const __m128 s2 = _mm_shuffle_ps(e0, e1, _MM_SHUFFLE(1, 0, 3, 2));
    const __m128 s1 = _mm_shuffle_ps(e0, s2, _MM_SHUFFLE(2, 1, 2, 1));
    const __m128 s3 = _mm_shuffle_ps(s2, e1, _MM_SHUFFLE(2, 1, 2, 1));
    const __m128 u2 = _mm_shuffle_ps(e1, e2, _MM_SHUFFLE(1, 0, 3, 2));
    const __m128 u1 = _mm_shuffle_ps(e1, u2, _MM_SHUFFLE(2, 1, 2, 1));
    const __m128 u3 = _mm_shuffle_ps(u2, e2, _MM_SHUFFLE(2, 1, 2, 1));
    a0 = _mm_add_ps(a0, _mm_mul_ps(kv, e0));
    a1 = _mm_add_ps(a1, _mm_mul_ps(kv, s1));
    a2 = _mm_add_ps(a2, _mm_mul_ps(kv, s2));
    a3 = _mm_add_ps(a3, _mm_mul_ps(kv, s3));
    b0 = _mm_add_ps(b0, _mm_mul_ps(kv, e1));
    b1 = _mm_add_ps(b1, _mm_mul_ps(kv, u1));
    b2 = _mm_add_ps(b2, _mm_mul_ps(kv, u2));
    b3 = _mm_add_ps(b3, _mm_mul_ps(kv, u3));
    e0 = e1;
    e1 = e2;
  }
  _mm_store_ps(out, reduce_sse2<kAdjacent>(a0, a1, a2, a3));
  _mm_store_ps(out + 4, reduce_sse2<kAdjacent>(b0, b1, b2, b3));
}
#endif

// AVX without FMA: a fused multiply-add rounds once and would change the
// sums. Each 128-bit half of a register does what the SSE2 loop does, the
// upper half on the window of the next block.
template <bool kAdjacent>
__attribute__((target("avx"))) inline __m256 reduce_avx(__m256 a0, __m256 a1, __m256 a2,
                                                        __m256 a3) {
  if (kAdjacent) return _mm256_hadd_ps(_mm256_hadd_ps(a0, a1), _mm256_hadd_ps(a2, a3));
  const __m256d t0 = _mm256_castps_pd(_mm256_unpacklo_ps(a0, a1));
  const __m256d t1 = _mm256_castps_pd(_mm256_unpackhi_ps(a0, a1));
  const __m256d t2 = _mm256_castps_pd(_mm256_unpacklo_ps(a2, a3));
  const __m256d t3 = _mm256_castps_pd(_mm256_unpackhi_ps(a2, a3));
  const __m256 l0 = _mm256_castpd_ps(_mm256_unpacklo_pd(t0, t2));
  const __m256 l1 = _mm256_castpd_ps(_mm256_unpackhi_pd(t0, t2));
  const __m256 l2 = _mm256_castpd_ps(_mm256_unpacklo_pd(t1, t3));
  const __m256 l3 = _mm256_castpd_ps(_mm256_unpackhi_pd(t1, t3));
  return _mm256_add_ps(_mm256_add_ps(l0, l2), _mm256_add_ps(l1, l3));
}

// Two blocks per pass, one in each half of the 256-bit registers.
template <bool kAdjacent>
__attribute__((target("avx"))) void pair_avx(const float *s, const float *k, float *out) {
  __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
  __m256 e0 = _mm256_loadu_ps(s);
  for (int g = 0; g < EQ_TAPS / 4; ++g) {
    const __m256 kv = _mm256_broadcast_ps(reinterpret_cast<const __m128 *>(k + 4 * g));
    const __m256 e1 = _mm256_loadu_ps(s + 4 * g + 4);
    const __m256 s2 = _mm256_shuffle_ps(e0, e1, _MM_SHUFFLE(1, 0, 3, 2));
    const __m256 s1 = _mm256_shuffle_ps(e0, s2, _MM_SHUFFLE(2, 1, 2, 1));
    const __m256 s3 = _mm256_shuffle_ps(s2, e1, _MM_SHUFFLE(2, 1, 2, 1));
    a0 = _mm256_add_ps(a0, _mm256_mul_ps(kv, e0));
    a1 = _mm256_add_ps(a1, _mm256_mul_ps(kv, s1));
    a2 = _mm256_add_ps(a2, _mm256_mul_ps(kv, s2));
    a3 = _mm256_add_ps(a3, _mm256_mul_ps(kv, s3));
    e0 = e1;
  }
  _mm256_storeu_ps(out, reduce_avx<kAdjacent>(a0, a1, a2, a3));
}

#if defined(__x86_64__)
// Four blocks per pass: two pairs that share the taps' loads.
template <bool kAdjacent>
__attribute__((target("avx"))) void quad_avx(const float *s, const float *k, float *out) {
  __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
  __m256 b0 = a0, b1 = a0, b2 = a0, b3 = a0;
  __m256 e0 = _mm256_loadu_ps(s), f0 = _mm256_loadu_ps(s + 8);
  for (int g = 0; g < EQ_TAPS / 4; ++g) {
    const __m256 kv = _mm256_broadcast_ps(reinterpret_cast<const __m128 *>(k + 4 * g));
    const __m256 e1 = _mm256_loadu_ps(s + 4 * g + 4);
    const __m256 f1 = _mm256_loadu_ps(s + 4 * g + 12);
    const __m256 s2 = _mm256_shuffle_ps(e0, e1, _MM_SHUFFLE(1, 0, 3, 2));
    const __m256 s1 = _mm256_shuffle_ps(e0, s2, _MM_SHUFFLE(2, 1, 2, 1));
    const __m256 s3 = _mm256_shuffle_ps(s2, e1, _MM_SHUFFLE(2, 1, 2, 1));
    const __m256 u2 = _mm256_shuffle_ps(f0, f1, _MM_SHUFFLE(1, 0, 3, 2));
    const __m256 u1 = _mm256_shuffle_ps(f0, u2, _MM_SHUFFLE(2, 1, 2, 1));
    const __m256 u3 = _mm256_shuffle_ps(u2, f1, _MM_SHUFFLE(2, 1, 2, 1));
    a0 = _mm256_add_ps(a0, _mm256_mul_ps(kv, e0));
    a1 = _mm256_add_ps(a1, _mm256_mul_ps(kv, s1));
    a2 = _mm256_add_ps(a2, _mm256_mul_ps(kv, s2));
    a3 = _mm256_add_ps(a3, _mm256_mul_ps(kv, s3));
    b0 = _mm256_add_ps(b0, _mm256_mul_ps(kv, f0));
    b1 = _mm256_add_ps(b1, _mm256_mul_ps(kv, u1));
    b2 = _mm256_add_ps(b2, _mm256_mul_ps(kv, u2));
    b3 = _mm256_add_ps(b3, _mm256_mul_ps(kv, u3));
    e0 = e1;
    f0 = f1;
  }
  _mm256_storeu_ps(out, reduce_avx<kAdjacent>(a0, a1, a2, a3));
  _mm256_storeu_ps(out + 8, reduce_avx<kAdjacent>(b0, b1, b2, b3));
}
#endif

// Outputs of `blocks` consecutive blocks of the round into s->out.
template <bool kAdjacent>
void run_blocks(EqState *s, const float *k, uint32_t blocks) {
  uint32_t b = 0;
  if (s->loop == EQ_LOOP_AVX) {
#if defined(__x86_64__)
    for (; b + 4 <= blocks; b += 4) quad_avx<kAdjacent>(s->line + 4 * b, k, s->out + 4 * b);
#endif
    for (; b + 2 <= blocks; b += 2) pair_avx<kAdjacent>(s->line + 4 * b, k, s->out + 4 * b);
  }
#if defined(__x86_64__)
  if (s->loop == EQ_LOOP_SSE2_PAIRS)
    for (; b + 2 <= blocks; b += 2) pair_sse2<kAdjacent>(s->line + 4 * b, k, s->out + 4 * b);
#endif
  for (; b < blocks; ++b) {
    if (kAdjacent)
      block_ssse3(s->line + 4 * b, k, s->out + 4 * b);
    else
      block_sse2(s->line + 4 * b, k, s->out + 4 * b);
  }
}

}  // namespace

uint32_t eq_best_loop(void) {
#if defined(__x86_64__)
  if (cpu_features().avx) return EQ_LOOP_AVX;
  return EQ_LOOP_SSE2_PAIRS;
#else
  // Eight vector registers: the AVX pair loop spills inside its loop and
  // measured three times slower than the one-block loop in the 32-bit build
  // (under Wine); a second block's SSE2 sums would spill as well.
  return EQ_LOOP_SINGLE;
#endif
}

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
  s->loop = eq_best_loop();
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
  const bool adjacent = s->variant == 3;
  uint32_t written = 0;
  while (count) {
    uint32_t take = 1024 - s->pending;
    if (take > count) take = count;
    count -= take;
    src += convert_to_float(src, s->line + kHistory + s->pending, take, inputFormat);
    const uint32_t total = s->pending + take;
    const uint32_t blocks = total / 4;
    if (adjacent)
      run_blocks<true>(s, kernel->taps, blocks);
    else
      run_blocks<false>(s, kernel->taps, blocks);
    if (blocks) dst += convert_from_float(s->out, dst, 4 * blocks, outputFormat);
    written += 4 * blocks;
    s->pending = total % 4;
    // The newest 1020 samples become the history of the next round, the
    // pending ones follow them.
    if (blocks)
      std::memmove(s->line, s->line + 4 * blocks, (kHistory + s->pending) * sizeof(float));
  }
  return written;
}
