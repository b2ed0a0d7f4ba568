// Digests of whole resampled and equalized streams. The expected values were
// taken from the first, one-output-at-a-time implementation of both filters;
// every faster loop since must give the same bits, and the 32-bit build must
// compute exactly what the native build computes. Inputs are integer noise
// from a fixed generator and the tables are built by the code under test, so
// nothing here depends on the C library's mathematics.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dsp/eq_filter.h"
#include "dsp/kernels.h"
#include "dsp/resampler.h"

namespace {

uint64_t fnv1a(const void *data, size_t bytes, uint64_t h = 14695981039346656037ull) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  for (size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

std::vector<int16_t> noise_stereo(size_t frames, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<int16_t> v(2 * frames);
  // Full-scale noise: the filters' overshoot saturates on 16-bit output, so
  // the digests cover the rounding and the clamping too.
  for (size_t i = 0; i < v.size(); ++i)
    v[i] = int16_t(int(rng() % 65536) - 32768);
  return v;
}

// Feeds `frames` of 16-bit stereo through both channels of the engine's
// Write path in blocks of varying size; returns the digest of the output.
uint64_t resample_digest(float rate, size_t frames, unsigned seed, float maxRatio = 8.0f) {
  ResamplerState *l = nullptr, *r = nullptr;
  EXPECT_EQ(resampler_create(&l, maxRatio), 0);
  EXPECT_EQ(resampler_create(&r, maxRatio), 0);
  std::vector<int16_t> in = noise_stereo(frames, seed);
  std::vector<int16_t> out(2 * (size_t(frames * 48000.0 / rate) + 64));
  std::mt19937 sizes(seed + 1);
  size_t at = 0, produced = 0;
  while (at < frames) {
    size_t c = std::min<size_t>(frames - at, 1 + sizes() % 2500);
    uint32_t nl = resampler_process(l, in.data() + 2 * at, out.data() + 2 * produced,
                                    uint32_t(c), rate, 48000.0f, 6, 6);
    uint32_t nr = resampler_process(r, in.data() + 2 * at, out.data() + 2 * produced,
                                    uint32_t(c), rate, 48000.0f, 7, 7);
    EXPECT_EQ(nl, nr);
    at += c;
    produced += nl;
  }
  resampler_destroy(l);
  resampler_destroy(r);
  return fnv1a(out.data(), produced * 4);
}

uint64_t eq_digest(uint32_t variant, size_t frames, unsigned seed) {
  EqKernel k;
  std::memset(&k, 0, sizeof k);
  std::mt19937 rng(seed);
  for (int j = 0; j < EQ_TAPS; ++j) k.taps[j] = float(int(rng() % 20001) - 10000) * 1e-6f;
  k.taps[510] = 0.75f;
  EqState *l = nullptr, *r = nullptr;
  EXPECT_EQ(eq_state_create(&l), 0);
  EXPECT_EQ(eq_state_create(&r), 0);
  l->variant = r->variant = variant;
  std::vector<int16_t> in = noise_stereo(frames, seed + 2);
  std::vector<int16_t> out(2 * frames + 16);
  std::mt19937 sizes(seed + 3);
  size_t at = 0, produced = 0;
  while (at < frames) {
    size_t c = std::min<size_t>(frames - at, 1 + sizes() % 3000);
    uint32_t nl = eq_filter(l, in.data() + 2 * at, out.data() + 2 * produced, &k, uint32_t(c), 6, 6);
    uint32_t nr = eq_filter(r, in.data() + 2 * at, out.data() + 2 * produced, &k, uint32_t(c), 7, 7);
    EXPECT_EQ(nl, nr);
    at += c;
    produced += nl;
  }
  eq_state_destroy(l);
  eq_state_destroy(r);
  return fnv1a(out.data(), produced * 4);
}

class StreamDigest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(resampler_build_tables(), 0); }
  static void TearDownTestSuite() { resampler_release_tables(); }
};

TEST_F(StreamDigest, ResamplerStreamsKeepTheirBits) {
  struct Case {
    float rate;
    uint64_t digest;
  } cases[] = {
      {8000.0f, 0x73fd56258813c890ull},  {22050.0f, 0xa03d916e59abc408ull},
      {44100.0f, 0x2595806245b4b2cfull}, {48000.0f, 0x6e3cfa6a3af4e65eull},
      {96000.0f, 0xf7631946fbf16854ull}, {192000.0f, 0x5eef54f4f675a620ull},
  };
  for (const Case &c : cases) {
    uint64_t got = resample_digest(c.rate, 30000, unsigned(c.rate));
    EXPECT_EQ(got, c.digest) << c.rate << " Hz: 0x" << std::hex << got;
  }
}

// Up-sampling outputs wait to be computed several at a time. The smallest
// ring (maximum ratio 1: 512 entries) leaves no room for that, so its state
// computes every waiting output before the next take; a ring that came
// round under a waiting output would change the stream.
TEST_F(StreamDigest, SmallestRingGivesTheSameStream) {
  for (float rate : {8000.0f, 44100.0f, 48000.0f}) {
    EXPECT_EQ(resample_digest(rate, 20000, 5, 1.0f), resample_digest(rate, 20000, 5, 8.0f))
        << rate;
    EXPECT_EQ(resample_digest(rate, 20000, 5, 1.5f), resample_digest(rate, 20000, 5, 8.0f))
        << rate;
  }
}

TEST_F(StreamDigest, EqualizerStreamsKeepTheirBits) {
  // Variant 0 sums each output's lanes as (l0 + l2) + (l1 + l3), variant 3
  // as (l0 + l1) + (l2 + l3): two digests, whichever loop computes them.
  struct Case {
    uint32_t variant;
    uint64_t digest;
  } cases[] = {{0u, 0x5b8331d74f4bdfc0ull}, {3u, 0x4d688cb2e182fd11ull}};
  for (const Case &c : cases) {
    if (c.variant == 3 && cpu_eq_variant() != 3) continue;
    uint64_t got = eq_digest(c.variant, 40000, 11);
    EXPECT_EQ(got, c.digest) << "variant " << c.variant << ": 0x" << std::hex << got;
  }
}

}  // namespace
