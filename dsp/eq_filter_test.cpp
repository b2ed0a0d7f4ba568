#include "dsp/eq_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/kernels.h"

namespace {

struct States {
  EqState *left = nullptr, *right = nullptr;
  States() {
    EXPECT_EQ(eq_state_create(&left), 0);
    EXPECT_EQ(eq_state_create(&right), 0);
  }
  ~States() {
    eq_state_destroy(left);
    eq_state_destroy(right);
  }
};

EqKernel random_kernel(unsigned seed) {
  EqKernel k;
  std::memset(&k, 0, sizeof k);
  std::mt19937 rng(seed);
  for (int j = 0; j < 1020; ++j) k.taps[j] = std::uniform_real_distribution<float>(-0.01f, 0.01f)(rng);
  return k;
}

std::vector<int16_t> random_mono(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<int16_t> v(n);
  for (auto &s : v) s = int16_t(std::uniform_int_distribution<int>(-32768, 32767)(rng));
  return v;
}

TEST(EqFilter, OneSampleIntoFreshStateWaitsForABlock) {
  States st;
  EqKernel k = random_kernel(1);
  int16_t in = 100, out[8] = {0};
  EXPECT_EQ(eq_filter(st.left, &in, out, &k, 1, 0, 0), 0u);
  EXPECT_EQ(st.left->pending, 3u);
  EXPECT_EQ(eq_filter(st.left, &in, out, &k, 1, 0, 0), 4u);
  EXPECT_EQ(eq_filter(st.left, &in, out, &k, 0, 0, 0), 0u);
}

TEST(EqFilter, UnitImpulseAtCentreDelaysBy512) {
  for (uint32_t variant : {0u, 3u}) {
    States st;
    if (variant == 3 && cpu_eq_variant() != 3) continue;
    st.left->variant = variant;
    EqKernel k;
    std::memset(&k, 0, sizeof k);
    k.taps[510] = 1.0f;
    std::vector<int16_t> in = random_mono(3000, 2), out(3004);
    uint32_t n = eq_filter(st.left, in.data(), out.data(), &k, 3000, 0, 0);
    EXPECT_EQ(n, 3000u);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(out[i], 0) << i;
    for (uint32_t i = 512; i < n; ++i) ASSERT_EQ(out[i], in[i - 512]) << i;
  }
}

// Direct convolution in double over the stream with its two leading zeros:
// output t sums kernel[j] * x[t - 1020 + j].
TEST(EqFilter, BothLoopsMatchDirectConvolution) {
  EqKernel k = random_kernel(3);
  const size_t n = 5000;
  std::vector<int16_t> in = random_mono(n, 4);
  std::vector<double> x(n + 2, 0.0);
  for (size_t i = 0; i < n; ++i) x[i + 2] = in[i];
  for (uint32_t variant : {0u, 3u}) {
    if (variant == 3 && cpu_eq_variant() != 3) continue;
    States st;
    st.left->variant = variant;
    std::vector<float> fin(in.begin(), in.end()), out(n + 4);
    uint32_t got = eq_filter(st.left, fin.data(), out.data(), &k, n, SAMPLE_FLOAT, SAMPLE_FLOAT);
    ASSERT_EQ(got, 5000u);
    for (uint32_t t = 0; t < got; ++t) {
      double y = 0, mag = 0;
      for (int j = 0; j < 1020; ++j) {
        long idx = long(t) - 1020 + j;
        if (idx >= 0) {
          y += double(k.taps[j]) * x[idx];
          mag += std::fabs(double(k.taps[j]) * x[idx]);
        }
      }
      ASSERT_NEAR(out[t], y, 1e-6 * mag + 1e-6) << variant << " at " << t;
    }
  }
}

TEST(EqFilter, RandomBlockSizesGiveTheSameStreamAndLanesAreKept) {
  EqKernel k = random_kernel(5);
  const size_t frames = 20000;
  std::vector<int16_t> stereo(2 * frames);
  std::vector<int16_t> mono = random_mono(2 * frames, 6);
  stereo = mono;
  std::vector<int16_t> whole(2 * frames + 8, 0x7777);
  uint32_t wl, wr;
  {
    States st;
    wl = eq_filter(st.left, stereo.data(), whole.data(), &k, frames, 6, 6);
    for (uint32_t i = 0; i < wl; ++i) ASSERT_EQ(whole[2 * i + 1], 0) << i;
    wr = eq_filter(st.right, stereo.data(), whole.data(), &k, frames, 7, 7);
  }
  EXPECT_EQ(wl, wr);
  std::vector<int16_t> pieces(2 * frames + 8, 0);
  std::mt19937 rng(7);
  States st;
  size_t at = 0, out = 0;
  while (at < frames) {
    size_t c = std::min<size_t>(frames - at, 1 + rng() % 3000);
    uint32_t l = eq_filter(st.left, stereo.data() + 2 * at, pieces.data() + 2 * out, &k, c, 6, 6);
    uint32_t r = eq_filter(st.right, stereo.data() + 2 * at, pieces.data() + 2 * out, &k, c, 7, 7);
    ASSERT_EQ(l, r);
    at += c;
    out += l;
  }
  ASSERT_EQ(out, wl);
  for (size_t i = 0; i < 2 * out; ++i) ASSERT_EQ(pieces[i], whole[i]) << i;
}

// Taps and samples over many binary orders of magnitude, so that any change
// in the order of the additions shows in the low bits of the outputs.
std::vector<float> wide_floats(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<float> v(n);
  for (auto &x : v) {
    float m = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
    x = std::ldexp(m, int(rng() % 24) - 8);
  }
  return v;
}

std::vector<float> filter_floats(uint32_t loop, uint32_t variant, const EqKernel &k,
                                 const std::vector<float> &in, unsigned seed) {
  States st;
  st.left->loop = loop;
  st.left->variant = variant;
  std::vector<float> out(in.size() + 8);
  std::mt19937 sizes(seed);
  size_t at = 0, produced = 0;
  while (at < in.size()) {
    size_t c = std::min<size_t>(in.size() - at, 1 + sizes() % 2100);
    produced += eq_filter(st.left, in.data() + at, out.data() + produced, &k, uint32_t(c),
                          SAMPLE_FLOAT, SAMPLE_FLOAT);
    at += c;
  }
  out.resize(produced);
  return out;
}

TEST(EqFilter, EveryLoopGivesTheBitsOfTheOneBlockLoop) {
  std::vector<uint32_t> loops = {EQ_LOOP_SSE2_PAIRS};
  if (cpu_features().avx) loops.push_back(EQ_LOOP_AVX);
  for (unsigned seed : {21u, 22u, 23u}) {
    EqKernel k;
    std::memset(&k, 0, sizeof k);
    std::vector<float> taps = wide_floats(EQ_TAPS, seed);
    std::memcpy(k.taps, taps.data(), sizeof(float) * EQ_TAPS);
    std::vector<float> in = wide_floats(12001, seed + 100);
    for (uint32_t variant : {0u, 3u}) {
      if (variant == 3 && cpu_eq_variant() != 3) continue;
      std::vector<float> ref = filter_floats(EQ_LOOP_SINGLE, variant, k, in, seed);
      ASSERT_EQ(ref.size(), 12000u);
      for (uint32_t loop : loops) {
        std::vector<float> got = filter_floats(loop, variant, k, in, seed + 7);
        ASSERT_EQ(got.size(), ref.size());
        for (size_t i = 0; i < ref.size(); ++i)
          ASSERT_EQ(std::memcmp(&got[i], &ref[i], 4), 0)
              << "loop " << loop << " variant " << variant << " at " << i << ": " << got[i]
              << " vs " << ref[i];
      }
    }
    // The two summation orders do differ on such input, so the comparison
    // above would see a loop that summed in the other order.
    if (cpu_eq_variant() == 3) {
      std::vector<float> a = filter_floats(EQ_LOOP_SINGLE, 0, k, in, seed);
      std::vector<float> b = filter_floats(EQ_LOOP_SINGLE, 3, k, in, seed);
      EXPECT_NE(std::memcmp(a.data(), b.data(), a.size() * 4), 0);
    }
  }
}

TEST(EqFilter, CreateChoosesTheBestLoop) {
  States st;
  EXPECT_EQ(st.left->loop, eq_best_loop());
#if defined(__x86_64__)
  if (cpu_features().avx) {
    EXPECT_EQ(eq_best_loop(), uint32_t(EQ_LOOP_AVX));
  }
#endif
  CpuFeatures sse2_only = {1, 0, 0, 0};
  cpu_features_override(&sse2_only);
  EXPECT_NE(eq_best_loop(), uint32_t(EQ_LOOP_AVX));
  cpu_features_override(nullptr);
}

TEST(EqFilter, NoSse2CreatesNothing) {
  CpuFeatures none = {0, 0, 0, 0};
  cpu_features_override(&none);
  EqState *s = reinterpret_cast<EqState *>(1);
  EXPECT_EQ(eq_state_create(&s), -2);
  EXPECT_EQ(s, nullptr);
  cpu_features_override(nullptr);
}

}  // namespace
