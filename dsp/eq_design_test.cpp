#include "dsp/eq_design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

// Catmull-Rom through the gains at the band bins, in plain double.
std::vector<double> reference_spline(const float *g) {
  std::vector<double> h(513);
  auto y = [&](int i) { return double(g[i < 0 ? 0 : (i > 31 ? 31 : i)]); };
  for (int s = 0; s <= 32; ++s) {
    int a = s == 0 ? 0 : eq_band_bins[s - 1];
    int b = s == 32 ? 513 : eq_band_bins[s];
    for (int k = a; k < b; ++k) {
      double t = double(k - a) / (b - a);
      double p0 = y(s - 2), p1 = y(s - 1), p2 = y(s), p3 = y(s + 1);
      double v = 0.5 * (2 * p1 + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t +
                        (-p0 + 3 * p1 - 3 * p2 + p3) * t * t * t);
      h[k] = v < 0 ? 0 : v;
    }
  }
  return h;
}

double ref_i0(double z) {
  double sum = 1, term = 1;
  for (int k = 1; k < 100; ++k) sum += (term *= (z / 2) * (z / 2) / (double(k) * k));
  return sum;
}

// Frequency sampling by a naive inverse DFT and the window formula.
std::vector<double> reference_kernel(const float *g) {
  std::vector<double> h = reference_spline(g), k(1020);
  for (int j = 0; j < 1020; ++j) {
    int m = j - 510;
    double sum = h[0] + h[512] * std::cos(kPi * m);
    for (int f = 1; f < 512; ++f) sum += 2 * h[f] * std::cos(2 * kPi * f * m / 1024.0);
    double x = std::fabs(2.0 * m + 1) / 1023;
    double w = x >= 1 ? 0 : ref_i0(4.712389) / ref_i0(4.712389 / std::sqrt(1 - x * x));
    k[j] = sum / 1024 * w;
  }
  return k;
}

TEST(EqSpline, PassesThroughBandBinsAndClipsNegatives) {
  float g[32];
  for (int i = 0; i < 32; ++i) g[i] = float(0.5 + 0.05 * i + ((i % 3) ? 0.3 : 0.0));
  g[10] = 2.0f;
  g[11] = 0.0f;
  g[12] = 0.0f;
  std::vector<double> spectrum(2048, -7.0);
  eq_spline(32, nullptr, g, spectrum.data());
  std::vector<double> ref = reference_spline(g);
  EXPECT_EQ(spectrum[0], g[0]);
  for (int i = 0; i < 32; ++i) EXPECT_NEAR(spectrum[2 * eq_band_bins[i]], g[i], 1e-12) << i;
  bool clipped = false;
  for (int k = 0; k <= 512; ++k) {
    EXPECT_NEAR(spectrum[2 * k], ref[k], 1e-9) << k;
    EXPECT_GE(spectrum[2 * k], 0.0);
    clipped |= spectrum[2 * k] == 0.0 && k > eq_band_bins[11] && k < eq_band_bins[12];
  }
  EXPECT_TRUE(clipped);  // the overshoot after the steep fall is clipped to 0
  EXPECT_EQ(spectrum[2 * 513], -7.0);  // the upper half is the mirror's
}

TEST(EqSpline, SingleRaisedBandBendsTwoBandBinsEachSide) {
  float g[32];
  for (float &v : g) v = 1.0f;
  g[15] = 2.0f;
  std::vector<double> spectrum(2048);
  eq_spline(32, nullptr, g, spectrum.data());
  for (int k = 0; k <= 512; ++k) {
    bool inside = k > eq_band_bins[13] && k < eq_band_bins[17];
    if (!inside) {
      EXPECT_DOUBLE_EQ(spectrum[2 * k], 1.0) << k;
    }
  }
  EXPECT_NE(spectrum[2 * (eq_band_bins[13] + 1)], 1.0);
  EXPECT_NE(spectrum[2 * (eq_band_bins[16] + 1)], 1.0);
}

TEST(EqSpline, LastBandAloneSetsNyquistBin) {
  float g[32];
  for (float &v : g) v = 1.0f;
  g[31] = 0.25f;
  std::vector<double> spectrum(2048);
  eq_spline(32, nullptr, g, spectrum.data());
  EXPECT_EQ(spectrum[2 * 512], 0.25);
  EXPECT_EQ(spectrum[2 * 430], 1.0);
  EXPECT_LT(spectrum[2 * 500], 1.0);
}

TEST(EqDesignKernel, MatchesFrequencySamplingReference) {
  float g[32];
  for (int i = 0; i < 32; ++i) g[i] = float(1.0 + 0.8 * std::sin(i * 0.7));
  alignas(16) float kernel[1024];
  ASSERT_EQ(eq_design_kernel(32, nullptr, g, kernel), 0);
  std::vector<double> ref = reference_kernel(g);
  for (int j = 0; j < 1020; ++j) EXPECT_NEAR(kernel[j], ref[j], 2e-7) << j;
  for (int j = 1020; j < 1024; ++j) EXPECT_EQ(kernel[j], 0.0f);
}

TEST(EqDesignKernel, FlatIsUnitImpulseAndZeroIsSilence) {
  float ones[32], zeros[32] = {0};
  for (float &v : ones) v = 1.0f;
  alignas(16) float kernel[1024];
  ASSERT_EQ(eq_design_kernel(32, nullptr, ones, kernel), 0);
  EXPECT_NEAR(kernel[510], 1.0f, 1e-5);  // the window's w(0) is just below 1
  for (int j = 0; j < 1020; ++j)
    if (j != 510) {
      EXPECT_NEAR(kernel[j], 0.0f, 1e-6) << j;
    }
  ASSERT_EQ(eq_design_kernel(32, nullptr, zeros, kernel), 0);
  for (int j = 0; j < 1024; ++j) EXPECT_EQ(kernel[j], 0.0f) << j;
}

TEST(EqDesignKernel, RefusesBandCountsItCannotPlace) {
  float g[64] = {1};
  alignas(16) float kernel[1024];
  kernel[0] = 3.0f;
  EXPECT_EQ(eq_design_kernel(0, nullptr, g, kernel), -1);
  EXPECT_EQ(eq_design_kernel(33, nullptr, g, kernel), -1);
  EXPECT_EQ(kernel[0], 3.0f);
  // Edges past the Nyquist bin stay inside the spectrum.
  int edges[2] = {100, 5000};
  EXPECT_EQ(eq_design_kernel(2, edges, g, kernel), 0);
}

void set_all(int preamp, int band) {
  eq_settings.preamp = preamp;
  for (int &b : eq_settings.bands) b = band;
}

TEST(EqDesign, PreampBelowHalfIsHalvedPlusQuarterAndPublishesAFreshBuffer) {
  // Preamp 49 gives P' = 49.5: band 100 has gain 0.99.
  set_all(49, 100);
  const EqKernel *before = eq_kernel_acquire();
  eq_kernel_release();
  ASSERT_EQ(eq_design(), 0);
  const EqKernel *k = eq_kernel_acquire();
  EXPECT_NE(k, before);
  EXPECT_NEAR(k->taps[510], 0.99f, 1e-5);
  eq_kernel_release();
  set_all(0, 100);  // P' = 25, gain 0.5
  ASSERT_EQ(eq_design(), 0);
  k = eq_kernel_acquire();
  EXPECT_NEAR(k->taps[510], 0.5f, 1e-5);
  eq_kernel_release();
  set_all(100, 50);
  eq_design();
}

TEST(EqDesign, HeldKernelIsNeverRewritten) {
  set_all(100, 50);
  eq_design();
  const EqKernel *held = eq_kernel_acquire();
  const float centre = held->taps[510];
  for (int round = 0; round < 5; ++round) {
    set_all(100, round * 20);
    ASSERT_EQ(eq_design(), 0);
    EXPECT_EQ(held->taps[510], centre);
  }
  eq_kernel_release();
  const EqKernel *now = eq_kernel_acquire();
  EXPECT_NEAR(now->taps[510], 1.6f, 1e-5);
  eq_kernel_release();
  set_all(100, 50);
  eq_design();
}

}  // namespace
