#include "dsp/resampler.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "dsp/kernels.h"
#include "support/fpu_guard.h"
#include "support/heap.h"

ResamplerTables resampler_tables = {nullptr, nullptr, nullptr};

namespace {

constexpr int kLongRow = RESAMPLER_LONG_TAPS;
constexpr int kLongFloats = (RESAMPLER_LONG_PHASES + 1) * kLongRow;
constexpr int kShortFloats = RESAMPLER_SHORT_POINTS + RESAMPLER_SHORT_PAD;
constexpr int kProtoLog2 = 17;
constexpr int kProtoSize = 1 << kProtoLog2;
constexpr float kBeta = 29.845131f;  // 9.5 pi
// Extra ring entries past the mirrored copy, so a group read that starts at
// the newest entry never leaves the block.
constexpr uint32_t kRingSlack = 8;

inline uint32_t ring_entries(const ResamplerState *s) { return s->ringCapacity / 4; }

inline void take_sample(ResamplerState *s, float sample) {
  const uint32_t entries = ring_entries(s);
  const uint32_t mask = s->ringCapacity * 4 - 1;
  const uint32_t prev = ((s->ringOffset - 16) & mask) / 16;
  const uint32_t e = s->ringOffset / 16;
  const float *p = s->ring + prev * 4;
  float entry[4] = {p[1], p[2], p[3], sample};
  std::memcpy(s->ring + e * 4, entry, 16);
  std::memcpy(s->ring + (e + entries) * 4, entry, 16);
  s->ringOffset = (s->ringOffset + 16) & mask;
  if (s->flags & RESAMPLER_TAKEN)
    s->position -= 1.0;
  else
    s->flags |= RESAMPLER_TAKEN;
}

// The newest entry in the mirrored copy: entries before it are contiguous.
inline const float *newest_entry(const ResamplerState *s) {
  const uint32_t entries = ring_entries(s);
  const uint32_t mask = s->ringCapacity * 4 - 1;
  const uint32_t newest = ((s->ringOffset - 16) & mask) / 16;
  return s->ring + (newest + entries) * 4;
}

inline float lanes_sum(__m128 acc) {
  // (l0 + l2) + (l1 + l3)
  __m128 pair = _mm_add_ps(acc, _mm_movehl_ps(acc, acc));
  __m128 total = _mm_add_ss(pair, _mm_shuffle_ps(pair, pair, 1));
  return _mm_cvtss_f32(total);
}

// The job for the output at `position`: phase row and fraction, and the
// window, which reads x[N-514 .. N-131] as groups of 4 from the entries
// N-511+4g.
inline ResamplerJob long_job(const ResamplerState *s, double position) {
  const double phi = (1.0 - position) * 128.0;
  int p = static_cast<int>(phi);
  if (p > 127) p = 127;
  ResamplerJob j;
  j.fraction = static_cast<float>(phi - p);
  j.row = resampler_tables.longTable + p * kLongRow;
  j.entry = newest_entry(s) - 511 * 4;
  return j;
}

float long_output(const ResamplerJob &j) {
  const float *row0 = j.row;
  const float *row1 = row0 + kLongRow;
  const __m128 fv = _mm_set1_ps(j.fraction);
  __m128 acc = _mm_setzero_ps();
  for (int g = 0; g < kLongRow / 4; ++g) {
    __m128 a = _mm_load_ps(row0 + 4 * g);
    __m128 b = _mm_load_ps(row1 + 4 * g);
    __m128 tap = _mm_add_ps(a, _mm_mul_ps(fv, _mm_sub_ps(b, a)));
    acc = _mm_add_ps(acc, _mm_mul_ps(_mm_load_ps(j.entry + 16 * g), tap));
  }
  return lanes_sum(acc);
}

// Several outputs in one loop, each with its own sum in the order of
// long_output: independent sums hide the latency of the additions.
#if defined(__x86_64__)
constexpr int kJobsPerPass = 4;
#else
constexpr int kJobsPerPass = 2;  // eight vector registers
#endif

void long_outputs(const ResamplerJob *j, float *out) {
  __m128 acc[kJobsPerPass], fv[kJobsPerPass];
  for (int q = 0; q < kJobsPerPass; ++q) {
    acc[q] = _mm_setzero_ps();
    fv[q] = _mm_set1_ps(j[q].fraction);
  }
  for (int g = 0; g < kLongRow / 4; ++g) {
    for (int q = 0; q < kJobsPerPass; ++q) {
      __m128 a = _mm_load_ps(j[q].row + 4 * g);
      __m128 b = _mm_load_ps(j[q].row + kLongRow + 4 * g);
      __m128 tap = _mm_add_ps(a, _mm_mul_ps(fv[q], _mm_sub_ps(b, a)));
      acc[q] = _mm_add_ps(acc[q], _mm_mul_ps(_mm_load_ps(j[q].entry + 16 * g), tap));
    }
  }
  for (int q = 0; q < kJobsPerPass; ++q) out[q] = lanes_sum(acc[q]);
}

void compute_jobs(ResamplerState *s, uint32_t from, uint32_t to) {
  uint32_t i = from;
  for (; i + kJobsPerPass <= to; i += kJobsPerPass) long_outputs(s->jobs + i, s->outStage + i);
  for (; i < to; ++i) s->outStage[i] = long_output(s->jobs[i]);
}

float short_filter_output(const ResamplerState *s, double position, double r) {
  const double step = 128.0 / r;
  const int back = static_cast<int>(12288.0 / step);
  const int k = static_cast<int>(6144.0 / step);
  const float t0 = static_cast<float>((1.0 - position) * step + 6144.0 - (k - 1) * step);
  const float sf = static_cast<float>(step);
  const float *table = resampler_tables.shortTable;
  // Lanes j = 4g..4g+3 read x[N-back-2+4g ..], the entry N-back+1+4g.
  const float *entry = newest_entry(s) + (1 - back) * 4;
  // Lane l of group g: t = t0 + (4g + l) * s, i = trunc(t), and the tap
  // S[i] + (t - i) * (S[i + 1] - S[i]), each step rounded to float as in
  // scalar code; only the two table reads per lane are scalar.
  const __m128 t0v = _mm_set1_ps(t0), sv = _mm_set1_ps(sf);
  __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
  const __m128i four = _mm_set1_epi32(4);
  __m128 acc = _mm_setzero_ps();
  for (int g = 0;; ++g) {
    const __m128 t = _mm_add_ps(t0v, _mm_mul_ps(_mm_cvtepi32_ps(lane), sv));
    lane = _mm_add_epi32(lane, four);
    if (!(_mm_cvtss_f32(t) < 12288.0f)) break;
    const __m128i iv = _mm_cvttps_epi32(t);
    alignas(16) int32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i *>(i), iv);
    const __m128 lo = _mm_setr_ps(table[i[0]], table[i[1]], table[i[2]], table[i[3]]);
    const __m128 hi =
        _mm_setr_ps(table[i[0] + 1], table[i[1] + 1], table[i[2] + 1], table[i[3] + 1]);
    const __m128 frac = _mm_sub_ps(t, _mm_cvtepi32_ps(iv));
    const __m128 tap = _mm_add_ps(lo, _mm_mul_ps(frac, _mm_sub_ps(hi, lo)));
    acc = _mm_add_ps(acc, _mm_mul_ps(_mm_load_ps(entry + 16 * g), tap));
  }
  return lanes_sum(acc) / static_cast<float>(r);
}

// Outputs dropped at the start as the filter's latency.
uint32_t latency_outputs(double r) { return r > 1.0 ? 48u : static_cast<uint32_t>(std::lround(323.0 / r)); }

// Drops what is left of the start-up latency, converts the rest, at most
// `room` of them.
uint32_t flush(ResamplerState *s, uint32_t staged, double r, unsigned char **dst,
               SampleFormat format, uint32_t room = UINT32_MAX) {
  uint32_t first = 0;
  if (!(s->flags & RESAMPLER_SKIPPED)) {
    const uint32_t delay = latency_outputs(r);
    uint32_t drop = delay > s->dropped ? delay - s->dropped : 0;
    if (drop > staged) drop = staged;
    s->dropped += drop;
    first = drop;
    if (first < staged) s->flags |= RESAMPLER_SKIPPED;
  }
  uint32_t n = staged - first;
  if (n > room) n = room;
  if (n) *dst += convert_from_float(s->outStage + first, *dst, n, format);
  return n;
}

size_t ring_block_bytes(const ResamplerState *s) {
  return (2 * static_cast<size_t>(ring_entries(s)) + kRingSlack) * 16;
}

}  // namespace

// Extended-precision work sits in a function of its own, called once the
// guard has reset the x87 unit, so that no value lives across the reset.
__attribute__((noinline)) static int build_tables() {
  float *block = static_cast<float *>(
      aligned_block_alloc(sizeof(float) * (kLongFloats + kShortFloats)));
  if (!block) return -1;
  double *x = static_cast<double *>(aligned_block_alloc(sizeof(double) * 2 * kProtoSize));
  if (!x) {
    aligned_block_release(block);
    return -1;
  }
  // Flat band of bins -510..511, inverse FFT: the prototype low-pass.
  for (int k = 0; k < 512; ++k) x[2 * k] = 0.0009765625;
  for (int k = kProtoSize - 510; k < kProtoSize; ++k) x[2 * k] = 0.0009765625;
  fft_radix2(-1, kProtoLog2, x);
  const long double beta = kBeta;
  float *longTable = block;
  for (int p = 0; p <= RESAMPLER_LONG_PHASES; ++p) {
    for (int m = 0; m < kLongRow; ++m) {
      int n = 128 * (m - 191) + p;
      long double q = x[2 * (n < 0 ? -n : n)];
      long double w = kaiser_value(static_cast<long double>(n) / 65535.0L, beta);
      longTable[p * kLongRow + m] = static_cast<float>(q * w);
    }
  }
  float *shortTable = block + kLongFloats;
  shortTable[0] = 0.0f;
  for (int n = -6143; n <= 6143; ++n) {
    long double q = x[2 * (n < 0 ? -n : n)];
    long double w = kaiser_value((2.0L * n - 1.0L) / 12287.0L, beta);
    shortTable[6144 + n] = static_cast<float>(q * w);
  }
  aligned_block_release(x);
  resampler_tables.block = block;
  resampler_tables.longTable = longTable;
  resampler_tables.shortTable = shortTable;
  return 0;
}

int resampler_build_tables(void) {
  FpuGuard guard;
  if (!cpu_features().sse2) return -2;
  resampler_release_tables();
  return build_tables();
}

void resampler_release_tables(void) {
  aligned_block_release(resampler_tables.block);
  resampler_tables.block = nullptr;
  resampler_tables.longTable = nullptr;
  resampler_tables.shortTable = nullptr;
}

int resampler_create(ResamplerState **state, float maxRatio) {
  FpuGuard guard;
  if (!state) return -1;
  *state = nullptr;
  if (!cpu_features().sse2) return -2;
  if (!(maxRatio >= 1.0f)) maxRatio = 1.0f;  // also NaN
  if (maxRatio > 64.0f) maxRatio = 64.0f;
  uint32_t want = static_cast<uint32_t>(std::lround(512.0 * maxRatio));
  uint32_t entries = 512;
  while (entries < want) entries <<= 1;
  const size_t ring_bytes = (2 * static_cast<size_t>(entries) + kRingSlack) * 16;
  const size_t head = (sizeof(ResamplerState) + 15) & ~size_t(15);
  // The state and its drain copy, each a head and a ring.
  const size_t one = head + ring_bytes;
  unsigned char *block = static_cast<unsigned char *>(aligned_block_alloc(2 * one));
  if (!block) return -1;
  ResamplerState *s = reinterpret_cast<ResamplerState *>(block);
  ResamplerState *copy = reinterpret_cast<ResamplerState *>(block + one);
  for (ResamplerState *t : {s, copy}) {
    t->ringCapacity = entries * 4;
    t->maxRatio = maxRatio;
    t->flags = RESAMPLER_FRESH;
    t->ring = reinterpret_cast<float *>(reinterpret_cast<unsigned char *>(t) + head);
    t->drainCopy = nullptr;
    t->drainRatio = 0.0;
    t->drainLeft = 0;
  }
  s->drainCopy = copy;
  *state = s;
  return 0;
}

void resampler_reset(ResamplerState *s) {
  if (!s) return;
  std::memset(s->ring, 0, ring_block_bytes(s));
  s->ringOffset = 0;
  s->flags = RESAMPLER_FRESH;
  s->dropped = 0;
  s->position = 0.0;
}

int resampler_destroy(ResamplerState *state) {
  aligned_block_release(state);
  return 0;
}

uint32_t resampler_process(ResamplerState *s, const void *source, void *destination,
                           uint32_t count, float inputRate, float outputRate,
                           SampleFormat inputFormat, SampleFormat outputFormat) {
  FpuGuard guard;
  if (!s || !resampler_tables.block) return 0;
  const double r = static_cast<double>(inputRate) / static_cast<double>(outputRate);
  // A zero, negative or infinite ratio would never advance (or never stop);
  // a ratio above the maximum would read past the ring.
  if (!(r > 0.0) || !std::isfinite(r) || r > s->maxRatio) return 0;
  if (r > 1.0)
    s->flags |= RESAMPLER_DOWN;
  else
    s->flags &= ~RESAMPLER_DOWN;
  if (s->flags & RESAMPLER_FRESH) {
    s->flags &= ~RESAMPLER_FRESH;
    s->position = r / 2.0;
  }
  if (count == 0) return 0;
  const bool down = r > 1.0;
  const unsigned char *src = static_cast<const unsigned char *>(source);
  unsigned char *dst = static_cast<unsigned char *>(destination);
  // A long-filter window reaches entry N-511 of its newest sample N, and a
  // take overwrites the entry one ring length back: pending jobs are
  // computed before the ring could come round to them.
  const uint32_t safe_takes = ring_entries(s) - 512;
  uint32_t written = 0;
  uint32_t staged = 0;    // outputs in the staging, computed or not
  uint32_t computed = 0;  // of them, computed
  uint32_t takes = 0;     // samples taken since the oldest job not computed
  while (count) {
    const uint32_t c = count < 512 ? count : 512;
    count -= c;
    src += convert_to_float(src, s->inStage + 512 - c, c, inputFormat);
    for (uint32_t i = 512 - c; i < 512; ++i) {
      if (computed < staged && takes >= safe_takes) {
        compute_jobs(s, computed, staged);
        computed = staged;
      }
      take_sample(s, s->inStage[i]);
      ++takes;
      while (s->position <= 1.0) {
        if (down) {
          s->outStage[staged++] = short_filter_output(s, s->position, r);
          computed = staged;
        } else {
          if (computed == staged) takes = 0;
          s->jobs[staged++] = long_job(s, s->position);
        }
        s->position += r;
        if (staged == 512) {
          compute_jobs(s, computed, staged);
          written += flush(s, staged, r, &dst, outputFormat);
          staged = computed = 0;
        }
      }
    }
    if (staged) {
      compute_jobs(s, computed, staged);
      written += flush(s, staged, r, &dst, outputFormat);
      staged = computed = 0;
    }
  }
  return written;
}

uint32_t resampler_drain_begin(ResamplerState *s, float inputRate, float outputRate) {
  if (!s || !s->drainCopy || !resampler_tables.block) return 0;
  ResamplerState *c = s->drainCopy;
  c->drainLeft = 0;
  const double r = static_cast<double>(inputRate) / static_cast<double>(outputRate);
  if (!(r > 0.0) || !std::isfinite(r) || r > s->maxRatio) return 0;
  if ((s->flags & RESAMPLER_FRESH) || !(s->flags & RESAMPLER_TAKEN)) return 0;
  // Every output dropped as latency stands for one that is still to come.
  const uint32_t owed = s->dropped;
  if (owed == 0) return 0;
  c->ringOffset = s->ringOffset;
  c->position = s->position;
  c->flags = s->flags;
  c->dropped = s->dropped;
  c->drainRatio = r;
  c->drainLeft = owed;
  std::memcpy(c->ring, s->ring, ring_block_bytes(s));
  return owed;
}

uint32_t resampler_drain_next(ResamplerState *s, void *destination, uint32_t most, SampleFormat outputFormat) {
  FpuGuard guard;
  if (!s || !s->drainCopy || !resampler_tables.block) return 0;
  ResamplerState *c = s->drainCopy;
  const uint32_t want = c->drainLeft < most ? c->drainLeft : most;
  const double r = c->drainRatio;
  const bool down = r > 1.0;
  const uint32_t delay = latency_outputs(r);
  unsigned char *dst = static_cast<unsigned char *>(destination);
  uint32_t written = 0;
  uint32_t staged = 0;
  // Silence is taken until the owed outputs are out; each output is
  // computed as soon as it is due, before any later take could reach its
  // window. A stream shorter than the start-up latency (a few samples at a
  // very low rate) has not dropped all of it yet: the rest is passed over
  // without being computed. A call that stops between two takes leaves the
  // position at the next output due, where the next call goes on.
  while (written + staged < want) {
    if (c->position > 1.0) take_sample(c, 0.0f);
    while (c->position <= 1.0 && written + staged < want) {
      if (!(c->flags & RESAMPLER_SKIPPED) && c->dropped < delay) {
        ++c->dropped;
      } else {
        c->flags |= RESAMPLER_SKIPPED;
        c->outStage[staged++] = down ? short_filter_output(c, c->position, r) : long_output(long_job(c, c->position));
      }
      c->position += r;
      if (staged == 512) {
        dst += convert_from_float(c->outStage, dst, staged, outputFormat);
        written += staged;
        staged = 0;
      }
    }
  }
  if (staged) {
    convert_from_float(c->outStage, dst, staged, outputFormat);
    written += staged;
  }
  c->drainLeft -= written;
  return written;
}

uint32_t resampler_drain(ResamplerState *s, void *destination, float inputRate, float outputRate,
                         SampleFormat outputFormat) {
  if (resampler_drain_begin(s, inputRate, outputRate) == 0) return 0;
  return resampler_drain_next(s, destination, UINT32_MAX, outputFormat);
}
