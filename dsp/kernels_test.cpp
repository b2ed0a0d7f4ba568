#include "dsp/kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/heap.h"

namespace {

const double kPi = 3.14159265358979323846;

TEST(Convert, RoundsTiesToEvenAndSaturates) {
  const float in[] = {32767.5f, -40000.0f, 2.5f, 3.5f, -2.5f, 1.49f, 40000.0f, -32768.5f};
  const int16_t want[] = {32767, -32768, 2, 4, -2, 1, 32767, -32768};
  int16_t out[8];
  EXPECT_EQ(convert_from_float(in, out, 8, 0), 16u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], want[i]) << i;
}

TEST(Convert, LeftClearsOtherLaneRightKeepsIt) {
  const float left[] = {1.0f, -2.0f}, right[] = {3.0f, 4.0f};
  int16_t frames[4] = {7, 7, 7, 7};
  EXPECT_EQ(convert_from_float(left, frames, 2, SAMPLE_S16_STEREO_LEFT), 8u);
  EXPECT_EQ(frames[0], 1);
  EXPECT_EQ(frames[1], 0);
  EXPECT_EQ(frames[3], 0);
  convert_from_float(right, frames, 2, SAMPLE_S16_STEREO_RIGHT);
  EXPECT_EQ(frames[0], 1);
  EXPECT_EQ(frames[1], 3);
  EXPECT_EQ(frames[2], -2);
  EXPECT_EQ(frames[3], 4);

  float ff[4] = {9, 9, 9, 9};
  EXPECT_EQ(convert_from_float(left, ff, 2, SAMPLE_FLOAT | SAMPLE_STEREO), 16u);
  EXPECT_EQ(ff[1], 0.0f);
  convert_from_float(right, ff, 2, SAMPLE_FLOAT | SAMPLE_STEREO | SAMPLE_CHANNEL_RIGHT);
  EXPECT_EQ(ff[0], 1.0f);
  EXPECT_EQ(ff[3], 4.0f);
}

TEST(Convert, PicksChannelAndReportsBytes) {
  const int16_t frames[] = {-32768, 32767, 5, -6};
  float out[2];
  EXPECT_EQ(convert_to_float(frames, out, 2, SAMPLE_S16_STEREO_RIGHT), 8u);
  EXPECT_EQ(out[0], 32767.0f);
  EXPECT_EQ(out[1], -6.0f);
  EXPECT_EQ(convert_to_float(frames, out, 2, 0), 4u);
  EXPECT_EQ(out[0], -32768.0f);
  const float mono[] = {0.25f, -1e9f};
  EXPECT_EQ(convert_to_float(mono, out, 2, SAMPLE_FLOAT), 8u);
  EXPECT_EQ(out[1], -1e9f);
}

// The window formula in plain double precision with a converged I0.
double reference_i0(double z) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 500 && term > 1e-17 * sum; ++k) {
    term *= (z / 2) * (z / 2) / (double(k) * k);
    sum += term;
  }
  return sum;
}
double reference_w(double x, double beta) {
  if (std::fabs(x) >= 1.0) return 0.0;
  return reference_i0(beta) / reference_i0(beta / std::sqrt(1 - x * x));
}

TEST(KaiserWindow, SymmetricFormMatchesFormula) {
  const uint32_t n = 101;
  std::vector<float> w(n);
  kaiser_window(w.data(), n, 4.712389f, KAISER_SYMMETRIC);
  EXPECT_EQ(w[0], 0.0f);
  EXPECT_EQ(w[n - 1], 0.0f);
  EXPECT_FLOAT_EQ(w[50], 1.0f);
  for (uint32_t i = 0; i < n; ++i) {
    double x = (2.0 * i - (n - 1)) / (n - 1);
    // Where the 26-term series falls short of I0 the window is smaller yet.
    double ref = reference_w(x, 4.712389);
    if (ref > 1e-3) {
      EXPECT_NEAR(w[i], ref, 1e-6 * ref + 1e-7) << i;
    }
    EXPECT_EQ(w[i], w[n - 1 - i]);
  }
}

TEST(KaiserWindow, ZeroPhaseFormIsCentredHalfASampleEarly) {
  const uint32_t n = 1024;
  std::vector<float> w(n, -1.0f);
  kaiser_window(w.data(), n, 4.712389f, KAISER_ZERO_PHASE);
  for (uint32_t i = 0; i < n / 2; ++i) {
    double ref = reference_w((2.0 * i + 1) / (n - 1), 4.712389);
    EXPECT_NEAR(w[i], ref, 1e-6) << i;
    EXPECT_EQ(w[n - 1 - i], w[i]);
  }
  EXPECT_EQ(w[511], 0.0f);  // x = 1 exactly at the edge
}

TEST(KaiserWindow, LargeBetaStillFallsToZero) {
  std::vector<float> w(12288);
  kaiser_window(w.data(), 12288, 29.845131f, KAISER_SYMMETRIC);
  EXPECT_EQ(w[0], 0.0f);
  for (int i = 1; i < 6144; ++i) EXPECT_LE(w[i - 1], w[i]) << i;
}

std::vector<double> naive_dft(const double *in, int n, int direction, const std::vector<int> &bins) {
  std::vector<double> out;
  const double sign = direction < 0 ? 1.0 : -1.0;
  for (int k : bins) {
    long double re = 0, im = 0;
    for (int t = 0; t < n; ++t) {
      double a = sign * 2.0 * kPi * double((int64_t(t) * k) % n) / n;
      re += in[2 * t] * std::cos(a) - in[2 * t + 1] * std::sin(a);
      im += in[2 * t] * std::sin(a) + in[2 * t + 1] * std::cos(a);
    }
    out.push_back(double(re));
    out.push_back(double(im));
  }
  return out;
}

TEST(Fft, MatchesNaiveDftBothDirectionsAllSizes) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int log2n = 1; log2n <= 17; ++log2n) {
    const int n = 1 << log2n;
    double *data = static_cast<double *>(aligned_block_alloc(sizeof(double) * 2 * n));
    std::vector<double> input(2 * n);
    for (auto &v : input) v = u(rng);
    // All bins for small sizes, a sample of bins for the large ones.
    std::vector<int> bins;
    if (n <= 512) {
      for (int k = 0; k < n; ++k) bins.push_back(k);
    } else {
      for (int i = 0; i < 12; ++i) bins.push_back(int(rng() % n));
      bins.push_back(0);
      bins.push_back(n / 2);
      bins.push_back(n - 1);
    }
    for (int direction : {1, -1}) {
      std::copy(input.begin(), input.end(), data);
      fft_radix2(direction, log2n, data);
      std::vector<double> ref = naive_dft(input.data(), n, direction, bins);
      const double tol = 1e-10 * n;
      for (size_t b = 0; b < bins.size(); ++b) {
        ASSERT_NEAR(data[2 * bins[b]], ref[2 * b], tol) << n << " bin " << bins[b];
        ASSERT_NEAR(data[2 * bins[b] + 1], ref[2 * b + 1], tol) << n << " bin " << bins[b];
      }
    }
    aligned_block_release(data);
  }
}

TEST(Fft, ForwardThenInverseScalesByN) {
  const int n = 4096;
  double *data = static_cast<double *>(aligned_block_alloc(sizeof(double) * 2 * n));
  std::vector<double> input(2 * n);
  std::mt19937 rng(9);
  for (auto &v : input) v = std::uniform_real_distribution<double>(-1, 1)(rng);
  std::copy(input.begin(), input.end(), data);
  fft_radix2(0, 12, data);
  fft_radix2(-1, 12, data);
  for (int i = 0; i < 2 * n; ++i) ASSERT_NEAR(data[i], input[i] * n, 1e-9 * n);
  aligned_block_release(data);
}

}  // namespace
