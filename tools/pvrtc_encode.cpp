#include "tools/pvrtc_encode.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ui/pvrtc.h"

namespace {

// A block's two colours as quantised fields. Colour B is opaque 5-5-5;
// colour A is opaque 5-5-4 or translucent 3-4-4-3 (alpha, red, green, blue).
struct Endpoints {
  bool aOpaque;
  int a[4];  // r, g, b, alpha (alpha only when translucent)
  int b[3];  // r, g, b
};

// Colours expanded to 5 bits per R, G, B and 4 of alpha, as the decoder
// sees them before the bilinear step.
struct Wide {
  int c[4];
};

int expand4(int v) { return (v << 1) | (v >> 3); }

Wide wide_a(const Endpoints &e) {
  if (e.aOpaque) return {{e.a[0], e.a[1], expand4(e.a[2]), 15}};
  return {{expand4(e.a[0]), expand4(e.a[1]), (e.a[2] << 2) | (e.a[2] >> 1), e.a[3] << 1}};
}
Wide wide_b(const Endpoints &e) { return {{e.b[0], e.b[1], e.b[2], 15}}; }

uint32_t colour_word(const Endpoints &e, bool punch) {
  uint32_t a, b;
  if (e.aOpaque)
    a = 0x8000u | uint32_t(e.a[0]) << 10 | uint32_t(e.a[1]) << 5 | uint32_t(e.a[2]) << 1;
  else
    a = uint32_t(e.a[3]) << 12 | uint32_t(e.a[0]) << 8 | uint32_t(e.a[1]) << 4 | uint32_t(e.a[2]) << 1;
  b = 0x8000u | uint32_t(e.b[0]) << 10 | uint32_t(e.b[1]) << 5 | uint32_t(e.b[2]);
  return b << 16 | a | (punch ? 1u : 0u);
}

int field_max(const Endpoints &e, bool isA, int f) {
  if (!isA) return 31;
  if (e.aOpaque) return f == 2 ? 15 : 31;
  return f == 3 ? 7 : f == 2 ? 7 : 15;
}

// The quantised value of an 8-bit level in `bits` bits, rounded down or up.
int quantise(int v8, int bits, bool up) {
  int levels = (1 << bits) - 1;
  double q = v8 * levels / 255.0;
  int r = up ? int(std::ceil(q - 1e-9)) : int(std::floor(q + 1e-9));
  return std::min(levels, std::max(0, r));
}

class Encoder {
 public:
  Encoder(const uint8_t *rgba, int width, int height)
      : src_(rgba), w_(width), h_(height), bw_(width / 4), bh_(height / 4), ends_(size_t(bw_) * bh_),
        punch_(size_t(bw_) * bh_, false), mod_(size_t(bw_) * bh_, 0) {}

  void run(int rounds) {
    for (int y = 0; y < bh_; ++y)
      for (int x = 0; x < bw_; ++x) initial(x, y);
    for (int round = 0; round < rounds; ++round) {
      bool changed = false;
      for (int y = 0; y < bh_; ++y)
        for (int x = 0; x < bw_; ++x) changed |= refine(x, y);
      if (!changed) break;
    }
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) pick(x, y, true);
  }

  void write(uint8_t *words) const {
    for (int y = 0; y < bh_; ++y) {
      for (int x = 0; x < bw_; ++x) {
        size_t i = size_t(y) * bw_ + x;
        uint8_t *o = words + 8 * size_t(pvrtc_block_index(uint32_t(x), uint32_t(y), uint32_t(bw_), uint32_t(bh_)));
        uint32_t v[2] = {mod_[i], colour_word(ends_[i], punch_[i])};
        for (int k = 0; k < 2; ++k)
          for (int j = 0; j < 4; ++j) o[4 * k + j] = uint8_t(v[k] >> (8 * j));
      }
    }
  }

 private:
  const uint8_t *texel(int x, int y) const { return src_ + 4 * (size_t(y) * w_ + x); }

  // Colours from the extremes of the block's texels along its main colour
  // axis, A rounded down and B rounded up; alpha from the least opaque.
  void initial(int bx, int by) {
    size_t i = size_t(by) * bw_ + bx;
    double mean[3] = {0, 0, 0};
    int n = 0, minAlpha = 255, transparent = 0;
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) {
        const uint8_t *t = texel(4 * bx + x, 4 * by + y);
        if (t[3] == 0) {
          ++transparent;
          continue;
        }
        for (int c = 0; c < 3; ++c) mean[c] += t[c];
        minAlpha = std::min(minAlpha, int(t[3]));
        ++n;
      }
    }
    punch_[i] = transparent > 0;
    Endpoints &e = ends_[i];
    if (n == 0) {
      e = Endpoints{true, {0, 0, 0, 0}, {0, 0, 0}};
      return;
    }
    for (double &m : mean) m /= n;
    // The main axis by a few power iterations on the covariance.
    double cov[3][3] = {};
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        const uint8_t *t = texel(4 * bx + x, 4 * by + y);
        if (t[3] == 0) continue;
        double d[3] = {t[0] - mean[0], t[1] - mean[1], t[2] - mean[2]};
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) cov[r][c] += d[r] * d[c];
      }
    double axis[3] = {0.577, 0.577, 0.577};
    for (int it = 0; it < 8; ++it) {
      double next[3];
      for (int r = 0; r < 3; ++r) next[r] = cov[r][0] * axis[0] + cov[r][1] * axis[1] + cov[r][2] * axis[2];
      double len = std::sqrt(next[0] * next[0] + next[1] * next[1] + next[2] * next[2]);
      if (len < 1e-9) break;
      for (int r = 0; r < 3; ++r) axis[r] = next[r] / len;
    }
    double lo = 1e9, hi = -1e9;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        const uint8_t *t = texel(4 * bx + x, 4 * by + y);
        if (t[3] == 0) continue;
        double p = (t[0] - mean[0]) * axis[0] + (t[1] - mean[1]) * axis[1] + (t[2] - mean[2]) * axis[2];
        lo = std::min(lo, p);
        hi = std::max(hi, p);
      }
    int low[3], high[3];
    for (int c = 0; c < 3; ++c) {
      low[c] = std::min(255, std::max(0, int(std::lround(mean[c] + lo * axis[c]))));
      high[c] = std::min(255, std::max(0, int(std::lround(mean[c] + hi * axis[c]))));
    }
    e.aOpaque = minAlpha == 255;
    if (e.aOpaque) {
      e.a[0] = quantise(low[0], 5, false);
      e.a[1] = quantise(low[1], 5, false);
      e.a[2] = quantise(low[2], 4, false);
      e.a[3] = 0;
    } else {
      e.a[0] = quantise(low[0], 4, false);
      e.a[1] = quantise(low[1], 4, false);
      e.a[2] = quantise(low[2], 3, false);
      // A translucent alpha decodes to at most 238 (3 bits, then a 0).
      e.a[3] = std::min(7, minAlpha * 15 / 255 / 2);
    }
    for (int c = 0; c < 3; ++c) e.b[c] = quantise(high[c], 5, true);
  }

  // The error of texel (x, y) with its best modulation value; with `store`
  // that value goes into its block's modulation word.
  long pick(int x, int y, bool store) {
    int xlow = (x - 2) >> 2, ylow = (y - 2) >> 2;
    int xr = (x - 2) - 4 * xlow, yr = (y - 2) - 4 * ylow;
    int x0 = (xlow + bw_) % bw_, x1 = (xlow + 1) % bw_, y0 = (ylow + bh_) % bh_, y1 = (ylow + 1) % bh_;
    const size_t p = size_t(y0) * bw_ + x0, q = size_t(y0) * bw_ + x1, r = size_t(y1) * bw_ + x0,
                 s = size_t(y1) * bw_ + x1;
    const int wp = (4 - xr) * (4 - yr), wq = xr * (4 - yr), wr = (4 - xr) * yr, ws = xr * yr;
    Wide ap = wide_a(ends_[p]), aq = wide_a(ends_[q]), ar = wide_a(ends_[r]), as = wide_a(ends_[s]);
    Wide bp = wide_b(ends_[p]), bq = wide_b(ends_[q]), br = wide_b(ends_[r]), bs = wide_b(ends_[s]);
    int a8[4], b8[4];
    for (int c = 0; c < 4; ++c) {
      int ca = ap.c[c] * wp + aq.c[c] * wq + ar.c[c] * wr + as.c[c] * ws;
      int cb = bp.c[c] * wp + bq.c[c] * wq + br.c[c] * wr + bs.c[c] * ws;
      a8[c] = c < 3 ? ca / 2 + ca / 64 : ca + ca / 16;
      b8[c] = c < 3 ? cb / 2 + cb / 64 : cb + cb / 16;
    }
    size_t own = size_t(y >> 2) * bw_ + (x >> 2);
    const uint8_t *t = texel(x, y);
    static const int kStandard[4] = {0, 3, 5, 8};
    static const int kPunch[4] = {0, 4, 4, 8};
    const int *weights = punch_[own] ? kPunch : kStandard;
    long best = -1;
    int bestBits = 0;
    for (int bits = 0; bits < 4; ++bits) {
      bool cleared = punch_[own] && bits == 2;
      // In a punch-through block the value 10 is kept for transparent
      // texels, and only they use it.
      if (punch_[own] && (t[3] == 0) != cleared) continue;
      long err = 0;
      for (int c = 0; c < 4; ++c) {
        int v = (a8[c] * (8 - weights[bits]) + b8[c] * weights[bits]) / 8;
        if (c == 3 && cleared) v = 0;
        if (c < 3 && t[3] == 0) continue;  // the colour of a transparent texel is never seen
        long d = v - t[c];
        err += d * d;
      }
      if (best < 0 || err < best) {
        best = err;
        bestBits = bits;
      }
    }
    if (store) {
      int shift = 2 * (4 * (y & 3) + (x & 3));
      mod_[own] = (mod_[own] & ~(3u << shift)) | uint32_t(bestBits) << shift;
    }
    return best;
  }

  // The error over the 8 x 8 texels whose colours block (bx, by) reaches.
  long area_error(int bx, int by) {
    long sum = 0;
    for (int dy = -2; dy < 6; ++dy)
      for (int dx = -2; dx < 6; ++dx)
        sum += pick((4 * bx + dx + w_) % w_, (4 * by + dy + h_) % h_, false);
    return sum;
  }

  bool refine(int bx, int by) {
    Endpoints &e = ends_[size_t(by) * bw_ + bx];
    long best = area_error(bx, by);
    bool changed = false;
    for (int isA = 0; isA < 2; ++isA) {
      int fields = isA ? (e.aOpaque ? 3 : 4) : 3;
      for (int f = 0; f < fields; ++f) {
        int *v = isA ? &e.a[f] : &e.b[f];
        for (int step : {-1, 1}) {
          for (;;) {
            int old = *v;
            if (old + step < 0 || old + step > field_max(e, isA, f)) break;
            *v = old + step;
            long err = area_error(bx, by);
            if (err < best) {
              best = err;
              changed = true;
            } else {
              *v = old;
              break;
            }
          }
        }
      }
    }
    // Brighter or darker as a whole: a step no single channel takes alone.
    for (int isA = 0; isA < 2; ++isA) {
      int *v = isA ? e.a : e.b;
      for (int step : {-1, 1}) {
        for (;;) {
          bool fits = true;
          for (int f = 0; f < 3; ++f) fits &= v[f] + step >= 0 && v[f] + step <= field_max(e, isA, f);
          if (!fits) break;
          for (int f = 0; f < 3; ++f) v[f] += step;
          long err = area_error(bx, by);
          if (err < best) {
            best = err;
            changed = true;
          } else {
            for (int f = 0; f < 3; ++f) v[f] -= step;
            break;
          }
        }
      }
    }
    return changed;
  }

  const uint8_t *src_;
  int w_, h_, bw_, bh_;
  std::vector<Endpoints> ends_;
  std::vector<bool> punch_;
  std::vector<uint32_t> mod_;
};

void put32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

void pvrtc_encode_words(const uint8_t *rgba, int width, int height, uint8_t *words, int rounds) {
  Encoder enc(rgba, width, height);
  enc.run(rounds);
  enc.write(words);
}

std::vector<uint8_t> pvrtc_encode_file(const uint8_t *rgba, int width, int height, int rounds) {
  uint32_t dataSize = uint32_t(width) * uint32_t(height) / 2;
  std::vector<uint8_t> file(PVR_HEADER_BYTES + dataSize, 0);
  const uint32_t head[11] = {PVR_HEADER_BYTES, uint32_t(height), uint32_t(width), 0, PVR_FORMAT_PVRTC4, dataSize, 4,
                             0, 0, 0, 0};
  for (int i = 0; i < 11; ++i) put32(file.data() + 4 * i, head[i]);
  pvrtc_encode_words(rgba, width, height, file.data() + PVR_HEADER_BYTES, rounds);
  return file;
}

double rgba_psnr(const uint8_t *a, const uint8_t *b, size_t pixels, bool with_alpha) {
  int channels = with_alpha ? 4 : 3;
  double sum = 0;
  for (size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < channels; ++c) {
      double d = double(a[4 * i + c]) - double(b[4 * i + c]);
      sum += d * d;
    }
  if (sum == 0) return 99.0;
  double mse = sum / (double(pixels) * channels);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}
