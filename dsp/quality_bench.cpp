// Prints the resampler's and the equalizer's measured quality: passband
// ripple, stopband attenuation, THD+N, delay, and the equalizer's magnitude
// response at the band bins against its spline target. Where libsoxr and
// libsamplerate are installed, their best settings are measured with the
// same tones and the same fits, row by row beside ours.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dsp/eq_design.h"
#include "dsp/resampler.h"

#ifdef SONORIUM_HAVE_SOXR
#include <soxr.h>
#endif
#ifdef SONORIUM_HAVE_SAMPLERATE
#include <samplerate.h>
#endif

namespace {

const double kPi = 3.14159265358979323846;

// A resampler under test: mono in, mono out at 48 kHz, the whole stream.
struct Candidate {
  const char *name;
  std::vector<double> (*run)(const std::vector<double> &in, double rate);
};

std::vector<double> ours(const std::vector<double> &in, double rate) {
  ResamplerState *s = nullptr;
  if (resampler_create(&s, 8.0f) != 0) return {};
  std::vector<float> fin(in.begin(), in.end());
  std::vector<float> out(size_t(in.size() * 48000.0 / rate) + 16);
  uint32_t n = resampler_process(s, fin.data(), out.data(), uint32_t(fin.size()), float(rate),
                                 48000.0f, SAMPLE_FLOAT, SAMPLE_FLOAT);
  resampler_destroy(s);
  return std::vector<double>(out.begin(), out.begin() + n);
}

#ifdef SONORIUM_HAVE_SOXR
template <bool kDouble>
std::vector<double> soxr_vhq(const std::vector<double> &in, double rate) {
  soxr_quality_spec_t q = soxr_quality_spec(SOXR_VHQ, 0);
  soxr_io_spec_t io = kDouble ? soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I)
                              : soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const size_t olen = size_t(in.size() * 48000.0 / rate) + 16;
  size_t idone = 0, odone = 0;
  soxr_error_t err;
  std::vector<double> result;
  if (kDouble) {
    result.resize(olen);
    err = soxr_oneshot(rate, 48000.0, 1, in.data(), in.size(), &idone, result.data(), olen,
                       &odone, &io, &q, nullptr);
  } else {
    std::vector<float> fin(in.begin(), in.end()), out(olen);
    err = soxr_oneshot(rate, 48000.0, 1, fin.data(), fin.size(), &idone, out.data(), olen,
                       &odone, &io, &q, nullptr);
    result.assign(out.begin(), out.end());
  }
  if (err) return {};
  result.resize(odone);
  return result;
}
#endif

#ifdef SONORIUM_HAVE_SAMPLERATE
std::vector<double> libsamplerate_best(const std::vector<double> &in, double rate) {
  std::vector<float> fin(in.begin(), in.end()), out(size_t(in.size() * 48000.0 / rate) + 16);
  SRC_DATA d;
  std::memset(&d, 0, sizeof d);
  d.data_in = fin.data();
  d.input_frames = long(fin.size());
  d.data_out = out.data();
  d.output_frames = long(out.size());
  d.src_ratio = 48000.0 / rate;
  if (src_simple(&d, SRC_SINC_BEST_QUALITY, 1) != 0) return {};
  return std::vector<double>(out.begin(), out.begin() + d.output_frames_gen);
}
#endif

const Candidate kCandidates[] = {
    {"sonorium", ours},
#ifdef SONORIUM_HAVE_SOXR
    {"soxr VHQ", soxr_vhq<false>},
    {"soxr VHQ f64", soxr_vhq<true>},
#endif
#ifdef SONORIUM_HAVE_SAMPLERATE
    {"SRC best", libsamplerate_best},
#endif
};

std::vector<double> tone(double rate, double f, double amplitude, double seconds) {
  std::vector<double> v(size_t(rate * seconds));
  for (size_t i = 0; i < v.size(); ++i) v[i] = amplitude * std::sin(2 * kPi * f * i / rate);
  return v;
}

// Least-squares fit of a sine and a cosine at f over the steady part of the
// output; returns the amplitude, the phase and the residual RMS.
struct Fit {
  double amplitude, phase, residual;
};
Fit fit(const std::vector<double> &y, double f) {
  const size_t begin = 4000, end = y.size() > 6000 ? y.size() - 2000 : y.size();
  if (end <= begin) return {0, 0, 0};
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (size_t k = begin; k < end; ++k) {
    double a = 2 * kPi * f * k / 48000.0, s = std::sin(a), c = std::cos(a);
    ss += s * s, cc += c * c, sc += s * c, ys += y[k] * s, yc += y[k] * c;
  }
  double det = ss * cc - sc * sc;
  double A = (ys * cc - yc * sc) / det, B = (yc * ss - ys * sc) / det;
  double res = 0;
  for (size_t k = begin; k < end; ++k) {
    double a = 2 * kPi * f * k / 48000.0;
    double e = y[k] - (A * std::sin(a) + B * std::cos(a));
    res += e * e;
  }
  return {std::hypot(A, B), std::atan2(B, A), std::sqrt(res / double(end - begin))};
}

double rms(const std::vector<double> &y) {
  double sum = 0;
  size_t n = 0;
  for (size_t k = 4000; k + 2000 < y.size(); ++k, ++n) sum += y[k] * y[k];
  return std::sqrt(sum / double(n ? n : 1));
}

// One row: every figure of one candidate at one input rate, all from 1 s
// tones at -1 dBFS on the 16-bit scale.
void resampler_row(const Candidate &c, double rate) {
  const double full = 32767.0 * std::pow(10.0, -1.0 / 20.0);
  auto run = [&](double f) { return c.run(tone(rate, f, full, 1.0), rate); };
  const double top = std::min(20000.0, rate / 2 * 0.9);
  double lo = 1e9, hi = -1e9;
  for (double f = 50; f <= top; f += top / 40) {
    double db = 20 * std::log10(fit(run(f), f).amplitude / full);
    lo = std::min(lo, db), hi = std::max(hi, db);
  }
  // Stopband: up-sampling leaves images of in-band tones (the fit's
  // residual), down-sampling lets through what lies above 24 kHz (all that
  // comes out); the worst case over a sweep.
  double worst = -1e9;
  if (rate < 48000.0) {
    for (double f = rate * 0.05; f < rate * 0.45; f += rate * 0.02) {
      Fit r = fit(run(f), f);
      worst = std::max(worst, 20 * std::log10(r.residual * std::sqrt(2.0) / full));
    }
  } else if (rate > 48000.0) {
    for (double f = 26000.0; f < rate / 2; f += (rate / 2 - 26000.0) / 30) {
      double out = rms(run(f)) * std::sqrt(2.0);
      worst = std::max(worst, 20 * std::log10(out / full));
    }
  }
  char stop[32], t10[32];
  if (rate == 48000.0)
    std::snprintf(stop, sizeof stop, "n/a");
  else
    std::snprintf(stop, sizeof stop, "%.1f", -worst);
  Fit f1 = fit(run(1000), 1000);
  double thd1 = 20 * std::log10(f1.residual * std::sqrt(2.0) / f1.amplitude);
  if (rate > 20000) {
    Fit f10 = fit(run(10000), 10000);
    std::snprintf(t10, sizeof t10, "%.1f",
                  20 * std::log10(f10.residual * std::sqrt(2.0) / f10.amplitude));
  } else {
    std::snprintf(t10, sizeof t10, "n/a");
  }
  // Delay after the start-up skip, from the phase of a 100 Hz tone.
  Fit d = fit(run(100), 100);
  double delay = -d.phase / (2 * kPi * 100) * 48000.0;
  std::printf("%8.0f %-13s %10.4f %12s %12.1f %12s %10.0f %10.2f\n", rate, c.name, hi - lo, stop,
              thd1, t10, top, delay);
  std::fflush(stdout);
}

void resampler_figures() {
  std::printf("resampler into 48 kHz, 1 s tones at -1 dBFS; sonorium, soxr VHQ and SRC best\n"
              "with float samples in and out, soxr VHQ f64 with doubles (beyond float's floor)\n");
  std::printf("%8s %-13s %10s %12s %12s %12s %10s %10s\n", "rate", "resampler", "ripple dB",
              "stopband dB", "THD+N 1k dB", "THD+N 10k dB", "band edge", "delay smp");
  for (double rate : {8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0})
    for (const Candidate &c : kCandidates) resampler_row(c, rate);
}

void eq_figures() {
  std::printf("\nequalizer magnitude at the band bins against the spline target\n");
  struct Shape {
    const char *name;
    int preamp;
    int bands[32];
  } shapes[4] = {{"flat", 100, {0}}, {"bass boost", 100, {0}}, {"v-shape", 100, {0}},
                 {"alternating", 70, {0}}};
  for (int i = 0; i < 32; ++i) {
    shapes[0].bands[i] = 50;
    shapes[1].bands[i] = i < 8 ? 100 : (i < 12 ? 75 : 50);
    shapes[2].bands[i] = 50 + int(std::lround(40 * std::fabs(i - 15.5) / 15.5)) - 20;
    shapes[3].bands[i] = i % 2 ? 80 : 30;
  }
  for (const Shape &sh : shapes) {
    float gains[32];
    double p = sh.preamp >= 50 ? sh.preamp : sh.preamp / 2.0 + 25;
    for (int i = 0; i < 32; ++i) gains[i] = float(sh.bands[i] * p / 5000.0);
    alignas(16) float kernel[1024];
    eq_design_kernel(32, nullptr, gains, kernel);
    double worst = 0;
    std::printf("%-12s", sh.name);
    for (int i = 0; i < 32; ++i) {
      double re = 0, im = 0, w = 2 * kPi * eq_band_bins[i] / 1024.0;
      for (int j = 0; j < 1020; ++j) re += kernel[j] * std::cos(w * j), im -= kernel[j] * std::sin(w * j);
      double mag = std::hypot(re, im);
      double err = 20 * std::log10(mag / gains[i]);
      worst = std::max(worst, std::fabs(err));
      if (i % 4 == 0) std::printf(" b%d:%+.3f", i, err);
    }
    std::printf("  worst |error| %.3f dB\n", worst);
  }
}

}  // namespace

int main() {
  if (resampler_build_tables() != 0) return 1;
  resampler_figures();
  eq_figures();
  resampler_release_tables();
  return 0;
}
