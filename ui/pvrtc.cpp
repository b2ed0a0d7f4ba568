#include "ui/pvrtc.h"

#include <cstring>
#include <vector>

namespace {

uint32_t read32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A block colour brought to 5 bits per R, G, B and 4 bits of alpha.
struct Colour {
  int r, g, b, a;
};

int expand4(int v) { return (v << 1) | (v >> 3); }

Colour colour_a(uint32_t c) {
  if (c & 0x8000) {
    int b4 = (c >> 1) & 0xF;
    return {int(c >> 10) & 0x1F, int(c >> 5) & 0x1F, expand4(b4), 15};
  }
  int b3 = (c >> 1) & 0x7;
  return {expand4((c >> 8) & 0xF), expand4((c >> 4) & 0xF), (b3 << 2) | (b3 >> 1), int((c >> 12) & 0x7) << 1};
}

Colour colour_b(uint32_t c) {
  if (c & 0x80000000u) return {int(c >> 26) & 0x1F, int(c >> 21) & 0x1F, int(c >> 16) & 0x1F, 15};
  return {expand4((c >> 24) & 0xF), expand4((c >> 20) & 0xF), expand4((c >> 16) & 0xF), int((c >> 28) & 0x7) << 1};
}

bool power_of_two(uint32_t v) { return v && !(v & (v - 1)); }

}  // namespace

uint32_t pvrtc_block_index(uint32_t x, uint32_t y, uint32_t bw, uint32_t bh) {
  uint32_t index = 0;
  int shift = 0;
  uint32_t smaller = bw < bh ? bw : bh;
  int k = 0;
  for (; (1u << k) < smaller; ++k) {
    index |= ((y >> k) & 1u) << (2 * k);
    index |= ((x >> k) & 1u) << (2 * k + 1);
  }
  shift = 2 * k;
  // The remaining high bits of the larger dimension sit above.
  uint32_t rest = bw > bh ? x >> k : y >> k;
  return index | rest << shift;
}

void pvrtc_decode_words(const uint8_t *words, int width, int height, uint8_t *rgba) {
  const int bw = width / 4, bh = height / 4;
  std::vector<Colour> a(size_t(bw) * bh), b(size_t(bw) * bh);
  std::vector<uint32_t> modulation(size_t(bw) * bh), mode(size_t(bw) * bh);
  for (int y = 0; y < bh; ++y) {
    for (int x = 0; x < bw; ++x) {
      const uint8_t *w = words + 8 * size_t(pvrtc_block_index(uint32_t(x), uint32_t(y), uint32_t(bw), uint32_t(bh)));
      uint32_t colours = read32(w + 4);
      size_t i = size_t(y) * bw + x;
      modulation[i] = read32(w);
      mode[i] = colours & 1u;
      a[i] = colour_a(colours);
      b[i] = colour_b(colours);
    }
  }
  for (int y = 0; y < height; ++y) {
    // Neighbouring block rows and the weights along y; the image wraps.
    int ylow = (y - 2) >> 2;  // floor division
    int yr = (y - 2) - 4 * ylow;
    int y0 = (ylow + bh) % bh, y1 = (ylow + 1) % bh;
    for (int x = 0; x < width; ++x) {
      int xlow = (x - 2) >> 2;
      int xr = (x - 2) - 4 * xlow;
      int x0 = (xlow + bw) % bw, x1 = (xlow + 1) % bw;
      const int wp = (4 - xr) * (4 - yr), wq = xr * (4 - yr), wr = (4 - xr) * yr, ws = xr * yr;
      const size_t p = size_t(y0) * bw + x0, q = size_t(y0) * bw + x1, r = size_t(y1) * bw + x0,
                   s = size_t(y1) * bw + x1;
      auto up = [&](const std::vector<Colour> &img, int out[4]) {
        int cr = img[p].r * wp + img[q].r * wq + img[r].r * wr + img[s].r * ws;
        int cg = img[p].g * wp + img[q].g * wq + img[r].g * wr + img[s].g * ws;
        int cb = img[p].b * wp + img[q].b * wq + img[r].b * wr + img[s].b * ws;
        int ca = img[p].a * wp + img[q].a * wq + img[r].a * wr + img[s].a * ws;
        out[0] = cr / 2 + cr / 64;
        out[1] = cg / 2 + cg / 64;
        out[2] = cb / 2 + cb / 64;
        out[3] = ca + ca / 16;
      };
      int ca[4], cb[4];
      up(a, ca);
      up(b, cb);
      // Modulation and mode come from the texel's own block.
      size_t own = size_t(y >> 2) * bw + (x >> 2);
      int bits = int(modulation[own] >> (2 * (4 * (y & 3) + (x & 3)))) & 3;
      int weight;
      bool transparent = false;
      if (mode[own]) {
        static const int kPunch[4] = {0, 4, 4, 8};
        weight = kPunch[bits];
        transparent = bits == 2;
      } else {
        static const int kStandard[4] = {0, 3, 5, 8};
        weight = kStandard[bits];
      }
      uint8_t *o = rgba + 4 * (size_t(y) * width + x);
      for (int c = 0; c < 4; ++c) o[c] = uint8_t((ca[c] * (8 - weight) + cb[c] * weight) / 8);
      if (transparent) o[3] = 0;
    }
  }
}

int pvrtc_read_header(const uint8_t *file, size_t size, PvrHeader *header) {
  if (!file || size < PVR_HEADER_BYTES) return -1;
  uint32_t f[11];
  for (int i = 0; i < 11; ++i) f[i] = read32(file + 4 * i);
  PvrHeader h;
  std::memcpy(&h, f, sizeof h);
  if (h.headerSize != PVR_HEADER_BYTES || h.format != PVR_FORMAT_PVRTC4 || h.bitCount != 4 || h.mipmapCount != 0)
    return -1;
  for (uint32_t side : {h.width, h.height})
    if (!power_of_two(side) || side < 8 || side > 1024) return -1;
  if (h.dataSize != h.width * h.height / 2 || size - PVR_HEADER_BYTES < h.dataSize) return -1;
  if (header) *header = h;
  return 0;
}

int pvrtc_decode(const uint8_t *file, size_t size, uint8_t *rgba, size_t capacity, int *width, int *height) {
  PvrHeader h;
  if (pvrtc_read_header(file, size, &h) != 0 || !rgba) return -1;
  if (size_t(h.width) * h.height * 4 > capacity) return -1;
  pvrtc_decode_words(file + PVR_HEADER_BYTES, int(h.width), int(h.height), rgba);
  if (width) *width = int(h.width);
  if (height) *height = int(h.height);
  return 0;
}
