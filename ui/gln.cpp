#include "ui/gln.h"

#include <cstring>

namespace {

uint32_t read32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Hands out bits of 32-bit little-endian words, most significant first, and
// literal bytes, from one stream. Any read past the end sets `failed`.
struct BitReader {
  const uint8_t *data;
  size_t size;
  size_t pos = 0;
  uint32_t word = 0;
  int left = 0;
  bool failed = false;

  BitReader(const uint8_t *d, size_t n) : data(d), size(n) {}

  uint32_t bit() {
    if (left == 0) {
      if (size - pos < 4) {
        failed = true;
        return 0;
      }
      word = read32(data + pos);
      pos += 4;
      left = 32;
    }
    --left;
    return (word >> left) & 1u;
  }
  uint32_t bits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | bit();
    return v;
  }
  int byte() {
    if (pos >= size) {
      failed = true;
      return 0;
    }
    return data[pos++];
  }
  // Starts at 1 and doubles in a bit while the bit after each step is 1.
  // Stops early (returning something above limit) once the number exceeds
  // limit, so that damaged streams cannot make it overflow.
  uint32_t gamma(uint32_t limit) {
    uint32_t n = 1;
    do {
      n = 2 * n + bit();
      if (n > limit || failed) return n;
    } while (bit());
    return n;
  }
};

}  // namespace

long gln_unpacked_size(const uint8_t *packed, size_t size) {
  if (!packed || size < size_t(GLN_HEAD_BYTES)) return -1;
  if (std::memcmp(packed, "GLN", 3) != 0 || packed[3] != GLN_VERSION) return -1;
  uint32_t n = read32(packed + 4);
  if (n > 0x7FFFFFFFu) return -1;
  return long(n);
}

long gln_unpack(const uint8_t *packed, size_t size, uint8_t *out, size_t capacity) {
  long announced = gln_unpacked_size(packed, size);
  if (announced < 0 || size_t(announced) > capacity || (!out && announced > 0)) return -1;
  const size_t total = size_t(announced);
  int width[GLN_CLASSES];
  uint32_t base[GLN_CLASSES];
  for (int c = 0; c < GLN_CLASSES; ++c) {
    width[c] = packed[8 + c] + 1;
    if (width[c] > GLN_MAX_DISTANCE_BITS) return -1;
    base[c] = uint32_t(packed[24 + 2 * c]) | uint32_t(packed[25 + 2 * c]) << 8;
  }
  BitReader in(packed + GLN_HEAD_BYTES, size - GLN_HEAD_BYTES);
  size_t done = 0;
  for (;;) {
    // A run of literal bytes, possibly empty.
    uint32_t g = in.gamma(uint32_t(total - done) + 2);
    if (in.failed || g - 2 > total - done) return -1;
    for (uint32_t i = 0; i < g - 2; ++i) {
      int b = in.byte();
      if (in.failed) return -1;
      out[done++] = uint8_t(b);
    }
    // A match, or the end.
    uint32_t m = in.gamma(GLN_MAX_MATCH);
    if (in.failed) return -1;
    if (m > GLN_MAX_MATCH) break;
    int c = (m >= 3 ? 8 : 0) + int(in.bits(3));
    uint32_t distance = in.bits(width[c]) + base[c];
    if (in.failed || distance == 0 || distance > done || m > total - done) return -1;
    // Byte by byte: a match may overlap the bytes it writes.
    for (uint32_t i = 0; i < m; ++i, ++done) out[done] = out[done - distance];
  }
  return done == total ? long(done) : -1;
}
