#include "dsp/resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/kernels.h"

namespace {

const double kPi = 3.14159265358979323846;

class Resampler : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(resampler_build_tables(), 0); }
  static void TearDownTestSuite() { resampler_release_tables(); }
  void SetUp() override {
    ASSERT_EQ(resampler_create(&left, 8.0f), 0);
    ASSERT_EQ(resampler_create(&right, 8.0f), 0);
  }
  void TearDown() override {
    resampler_destroy(left);
    resampler_destroy(right);
  }
  // Mono float in, mono float out, one call.
  std::vector<float> run(ResamplerState *s, const std::vector<float> &in, float rate) {
    std::vector<float> out(size_t(in.size() * 48000.0 / rate) + 16);
    uint32_t n = resampler_process(s, in.data(), out.data(), uint32_t(in.size()), rate, 48000.0f,
                                   SAMPLE_FLOAT, SAMPLE_FLOAT);
    out.resize(n);
    return out;
  }
  ResamplerState *left = nullptr, *right = nullptr;
};

// The window's Bessel sum has 26 terms by definition; at the arguments of
// this beta the truncation shows in the fourth digit.
double ref_i0(double z) {
  double sum = 1, term = 1;
  for (int k = 1; k <= 25; ++k) sum += (term *= (z / 2) * (z / 2) / (double(k) * k));
  return sum;
}
// The prototype: Re of the unscaled inverse DFT of the band -510..511 / 1024.
double prototype(int n) {
  double sum = 1.0 + std::cos(2 * kPi * 511.0 * n / 131072.0);
  for (int k = 1; k <= 510; ++k) sum += 2 * std::cos(2 * kPi * double(k) * n / 131072.0);
  return sum / 1024.0;
}

TEST_F(Resampler, TablesFollowWindowedPrototype) {
  const float *L = resampler_tables.longTable, *S = resampler_tables.shortTable;
  const double beta = 29.845131f;
  auto w = [&](double x) { return ref_i0(beta) / ref_i0(beta / std::sqrt(1 - x * x)); };
  for (int p : {0, 1, 37, 64, 127}) {
    for (int m : {0, 100, 190, 191, 192, 383}) {
      int n = 128 * (m - 191) + p;
      EXPECT_NEAR(L[p * 384 + m], prototype(n) * w(n / 65535.0), 1e-7) << p << "," << m;
    }
  }
  for (int m = 0; m < 383; ++m) EXPECT_EQ(L[128 * 384 + m], L[m + 1]);
  for (int n : {-6000, -128, 0, 1, 64, 3000}) {
    EXPECT_NEAR(S[6144 + n], prototype(n) * w((2.0 * n - 1) / 12287), 1e-7) << n;
  }
  EXPECT_EQ(S[0], 0.0f);
  for (int i = 12288; i < 12800; ++i) ASSERT_EQ(S[i], 0.0f);
  // Each phase sums to about 1; some tail values stay denormal.
  for (int p : {0, 64, 127}) {
    double sum = 0;
    for (int m = 0; m < 384; ++m) sum += L[p * 384 + m];
    EXPECT_NEAR(sum, 1.0, 1e-3);
  }
  bool denormal = false;
  for (int i = 1; i < 12288; ++i) denormal |= std::fpclassify(S[i]) == FP_SUBNORMAL;
  EXPECT_TRUE(denormal);
}

TEST_F(Resampler, EqualRatesDropLatencyAndGiveOneOutputPerInput) {
  std::vector<float> in(4000);
  std::mt19937 rng(1);
  for (auto &v : in) v = std::uniform_real_distribution<float>(-8000, 8000)(rng);
  std::vector<float> out = run(left, in, 48000.0f);
  EXPECT_EQ(out.size(), 4000u - 323u);
  // Phase 64: half-way between input samples k-1 and k, k = output index.
  const float *row = resampler_tables.longTable + 64 * 384;
  for (size_t k = 400; k < 420; ++k) {
    double want = 0;
    for (int m = 0; m < 384; ++m) {
      long idx = long(k) + 323 - 514 + m;
      if (idx >= 0) want += double(row[m]) * in[idx];
    }
    EXPECT_NEAR(out[k], want, 0.05) << k;
  }
}

TEST_F(Resampler, UpsamplingDropsRoundedCentreDelay) {
  std::vector<float> in(44100, 1000.0f);
  std::vector<float> out = run(left, in, 44100.0f);
  // Emissions: one per position step of 0.91875 from 0.459375 while input lasts.
  EXPECT_EQ(left->dropped, 352u);
  EXPECT_NEAR(double(out.size()), 48000.0 - 352.0, 2.0);
  EXPECT_NEAR(out[2000], 1000.0f, 1.0f);
}

TEST_F(Resampler, DownsamplingKeepsLevelAndDrops48) {
  std::vector<float> in(96000, 1234.0f);
  std::vector<float> out = run(left, in, 96000.0f);
  EXPECT_EQ(left->dropped, 48u);
  EXPECT_TRUE(left->flags & RESAMPLER_DOWN);
  EXPECT_NEAR(double(out.size()), 48000.0 - 48.0, 2.0);
  EXPECT_NEAR(out[1000], 1234.0f, 1.5f);
  EXPECT_NEAR(out[40000], 1234.0f, 1.5f);
}

TEST_F(Resampler, RandomBlockSizesGiveExactlyOneCallsOutput) {
  for (float rate : {44100.0f, 96000.0f, 8000.0f, 192000.0f}) {
    ResamplerState *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(resampler_create(&a, 8.0f), 0);
    ASSERT_EQ(resampler_create(&b, 8.0f), 0);
    ASSERT_EQ(resampler_create(&c, 8.0f), 0);
    const size_t frames = 30000;
    std::vector<int16_t> in(2 * frames);
    std::mt19937 rng(3);
    for (auto &v : in) v = int16_t(std::uniform_int_distribution<int>(-32768, 32767)(rng));
    const size_t cap = size_t(frames * 48000.0 / rate) + 16;
    std::vector<int16_t> whole(2 * cap, 0x5555);
    uint32_t n = resampler_process(a, in.data(), whole.data(), frames, rate, 48000.0f, 6, 6);
    std::vector<int16_t> pieces(2 * cap, 0);
    size_t at = 0, out = 0;
    while (at < frames) {
      size_t cnt = std::min<size_t>(frames - at, 1 + rng() % 4000);
      uint32_t l = resampler_process(b, in.data() + 2 * at, pieces.data() + 2 * out, cnt, rate,
                                     48000.0f, 6, 6);
      for (uint32_t i = 0; i < l; ++i) ASSERT_EQ(pieces[2 * (out + i) + 1], 0);
      uint32_t r = resampler_process(c, in.data() + 2 * at, pieces.data() + 2 * out, cnt, rate,
                                     48000.0f, 7, 7);
      ASSERT_EQ(l, r) << rate;
      at += cnt;
      out += l;
    }
    ASSERT_EQ(out, n) << rate;
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(pieces[2 * i], whole[2 * i]) << rate << " at " << i;
    resampler_destroy(a);
    resampler_destroy(b);
    resampler_destroy(c);
  }
}

TEST_F(Resampler, FullScaleStepOvershootSaturates) {
  std::vector<int16_t> in(6000);
  for (size_t i = 0; i < in.size(); ++i) in[i] = (i / 700) % 2 ? 32767 : -32768;
  std::vector<int16_t> out(8000);
  std::vector<float> wide(8000);
  uint32_t n = resampler_process(left, in.data(), out.data(), 6000, 44100.0f, 48000.0f, 0, 0);
  uint32_t m = resampler_process(right, in.data(), wide.data(), 6000, 44100.0f, 48000.0f, 0,
                                 SAMPLE_FLOAT);
  ASSERT_EQ(n, m);
  int over = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (wide[i] > 32767.0f) {
      ++over;
      ASSERT_EQ(out[i], 32767) << i;
    } else if (wide[i] < -32768.0f) {
      ++over;
      ASSERT_EQ(out[i], -32768) << i;
    } else {
      ASSERT_EQ(out[i], int16_t(std::nearbyint(wide[i]))) << i;
    }
  }
  EXPECT_GT(over, 0);  // the filter rings past full scale at each step
}

TEST_F(Resampler, RatiosOutsideTheStateAreRefused) {
  std::vector<float> in(1000, 1.0f), out(1000, 7.0f);
  const uint32_t offset = left->ringOffset;
  EXPECT_EQ(resampler_process(left, in.data(), out.data(), 1000, 400000.0f, 48000.0f, 8, 8), 0u);
  EXPECT_EQ(resampler_process(left, in.data(), out.data(), 1000, 0.0f, 48000.0f, 8, 8), 0u);
  EXPECT_EQ(resampler_process(left, in.data(), out.data(), 1000, NAN, 48000.0f, 8, 8), 0u);
  EXPECT_EQ(resampler_process(left, in.data(), out.data(), 1000, 48000.0f, 0.0f, 8, 8), 0u);
  EXPECT_EQ(left->ringOffset, offset);
  EXPECT_TRUE(left->flags & RESAMPLER_FRESH);
  EXPECT_EQ(out[0], 7.0f);
  // At the maximum ratio a long stream still stays within the state.
  std::vector<float> big(200000, 100.0f), dst(200000 / 8 + 16);
  uint32_t n = resampler_process(left, big.data(), dst.data(), 200000, 384000.0f, 48000.0f, 8, 8);
  EXPECT_NEAR(double(n), 25000.0 - 48.0, 2.0);
  EXPECT_NEAR(dst[n / 2], 100.0f, 0.5f);
}

TEST_F(Resampler, ZeroCountStoresPositionOnly) {
  std::vector<float> out(4);
  EXPECT_EQ(resampler_process(left, nullptr, out.data(), 0, 44100.0f, 48000.0f, 8, 8), 0u);
  EXPECT_FALSE(left->flags & RESAMPLER_FRESH);
  EXPECT_DOUBLE_EQ(left->position, 0.91875 / 2);
  EXPECT_EQ(left->ringOffset, 0u);
}

// The end of a stream: the drain gives what the latency held back, so the
// stream comes out whole (rate x seconds outputs) and in time: an impulse
// near the end lands where it belongs, inside the drained part.
TEST_F(Resampler, DrainEndsAStreamWholeAndInTime) {
  struct Row {
    float rate;
    uint32_t drained;  // the latency dropped at the start
  } rows[] = {{44100.0f, 352}, {22050.0f, 703}, {48000.0f, 323}, {96000.0f, 48}, {192000.0f, 48}};
  for (const Row &row : rows) {
    SCOPED_TRACE(row.rate);
    resampler_reset(left);
    const uint32_t n = uint32_t(row.rate) / 2;  // half a second
    std::vector<float> in(n, 0.0f), out(24000 + 64, 0.0f);
    const uint32_t impulse = n - 40;
    in[impulse] = 10000.0f;
    uint32_t made = resampler_process(left, in.data(), out.data(), n, row.rate, 48000.0f, 8, 8);
    uint32_t drained = resampler_drain(left, out.data() + made, row.rate, 48000.0f, 8);
    EXPECT_EQ(drained, row.drained);
    EXPECT_EQ(made + drained, 24000u);
    uint32_t at = 0;
    for (uint32_t i = 0; i < made + drained; ++i)
      if (std::fabs(out[i]) > std::fabs(out[at])) at = i;
    EXPECT_GE(at, made) << "the impulse was not held back";
    // Within the rounding of the latency dropped at the start.
    EXPECT_NEAR(double(at), impulse * 48000.0 / row.rate, 3.0);
  }
  // Nothing taken, nothing to give; a refused ratio gives nothing either.
  std::vector<float> out(8);
  EXPECT_EQ(resampler_drain(right, out.data(), 44100.0f, 48000.0f, 8), 0u);
  resampler_process(right, std::vector<float>(100, 1.0f).data(), out.data(), 100, 44100.0f, 48000.0f, 8, 8);
  EXPECT_EQ(resampler_drain(right, out.data(), 44100.0f, 0.0f, 8), 0u);
  EXPECT_EQ(resampler_drain(right, out.data(), 400000.0f, 48000.0f, 8), 0u);
}

// A drain changes nothing in the state: a stream that goes on gives exactly
// the outputs it would have given without it, the drained ones first.
TEST_F(Resampler, DrainLeavesTheStateAsItWas) {
  std::vector<float> in(30000);
  for (size_t i = 0; i < in.size(); ++i) in[i] = float(8000.0 * std::sin(0.05 * double(i)) + 3000.0 * std::sin(0.9 * double(i)));
  std::vector<float> a(40000), b(40000), tail(1024);
  uint32_t na = resampler_process(left, in.data(), a.data(), 17001, 44100.0f, 48000.0f, 8, 8);
  uint32_t d = resampler_drain(left, tail.data(), 44100.0f, 48000.0f, 8);
  na += resampler_process(left, in.data() + 17001, a.data() + na, 12999, 44100.0f, 48000.0f, 8, 8);
  uint32_t nb = resampler_process(right, in.data(), b.data(), 30000, 44100.0f, 48000.0f, 8, 8);
  ASSERT_EQ(na, nb);
  EXPECT_EQ(0, std::memcmp(a.data(), b.data(), na * sizeof(float)));
  EXPECT_EQ(d, 352u);
}

// A drain in parts of any size gives what one drain gives, bit for bit; at
// 8 Hz, where the look-ahead (323 inputs, 40 s) is longer than the stream,
// the whole stream comes out of the drain, its impulse in time.
TEST_F(Resampler, DrainInPartsGivesTheWholeDrain) {
  struct Row {
    float rate;
    uint32_t inputs;
  } rows[] = {{44100.0f, 20000}, {315.0f, 1260}, {100.0f, 400}, {8.0f, 32}};
  for (const Row &row : rows) {
    SCOPED_TRACE(row.rate);
    resampler_reset(left);
    std::vector<float> in(row.inputs, 0.0f);
    const uint32_t impulse = row.inputs - row.inputs / 4;
    in[impulse] = 10000.0f;
    const double per = 48000.0 / row.rate;
    std::vector<float> made(size_t(per * row.inputs) + 64);
    const uint32_t n = resampler_process(left, in.data(), made.data(), row.inputs, row.rate, 48000.0f, 8, 8);
    const uint32_t owed = resampler_drain_begin(left, row.rate, 48000.0f);
    EXPECT_EQ(n + owed, uint32_t(std::lround(per * row.inputs))) << "the stream is not whole";
    std::vector<float> whole(owed + 8, 0.0f), parts(owed + 8, 0.0f);
    EXPECT_EQ(resampler_drain_next(left, whole.data(), UINT32_MAX, 8), owed);
    EXPECT_EQ(resampler_drain_next(left, whole.data() + owed, 100, 8), 0u) << "gave more than it owed";
    ASSERT_EQ(resampler_drain_begin(left, row.rate, 48000.0f), owed);
    uint32_t got = 0;
    for (uint32_t most = 1; got < owed; most = most * 3 + 7) {
      const uint32_t k = resampler_drain_next(left, parts.data() + got, most, 8);
      ASSERT_EQ(k, std::min(most, owed - got));
      got += k;
    }
    EXPECT_EQ(0, std::memcmp(whole.data(), parts.data(), owed * sizeof(float)));
    // The impulse: made and drained together, it lands where it belongs.
    made.resize(n);
    made.insert(made.end(), whole.begin(), whole.begin() + owed);
    uint32_t at = 0;
    for (uint32_t i = 0; i < made.size(); ++i)
      if (std::fabs(made[i]) > std::fabs(made[at])) at = i;
    // Within one input sample: the latency dropped at the start is a whole
    // input sample short of the filter's delay (1 output at 48 kHz in).
    EXPECT_NEAR(double(at), impulse * per, per + 3.0);
  }
}

// A reset state gives what a new one gives.
TEST_F(Resampler, ResetForgetsEverySampleTaken) {
  std::vector<float> in(5000, 0.0f), a(6000), b(6000);
  for (size_t i = 0; i < in.size(); ++i) in[i] = float((i * 7919) % 2001) - 1000.0f;
  resampler_process(left, in.data(), a.data(), 3000, 22050.0f, 48000.0f, 8, 8);
  resampler_reset(left);
  uint32_t na = resampler_process(left, in.data() + 3000, a.data(), 2000, 44100.0f, 48000.0f, 8, 8);
  uint32_t nb = resampler_process(right, in.data() + 3000, b.data(), 2000, 44100.0f, 48000.0f, 8, 8);
  ASSERT_EQ(na, nb);
  EXPECT_EQ(0, std::memcmp(a.data(), b.data(), na * sizeof(float)));
}

TEST(ResamplerCpu, NoSse2BuildsAndCreatesNothing) {
  CpuFeatures none = {0, 0, 0, 0};
  cpu_features_override(&none);
  ResamplerState *s = nullptr;
  EXPECT_EQ(resampler_build_tables(), -2);
  EXPECT_EQ(resampler_create(&s, 8.0f), -2);
  EXPECT_EQ(s, nullptr);
  cpu_features_override(nullptr);
}

}  // namespace
