#include "tools/gln_pack.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ui/gln.h"

namespace {

// Mirrors the reader: a 32-bit slot is reserved at the end of the output
// when the first bit of a new word is written, and literal bytes go to the
// end of the output, after the slot the reader will have fetched.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t> *out) : out_(out) {}
  void bit(uint32_t b) {
    if (used_ == 32) {
      slot_ = out_->size();
      out_->resize(slot_ + 4, 0);
      used_ = 0;
      word_ = 0;
    }
    word_ |= (b & 1u) << (31 - used_);
    ++used_;
    for (int i = 0; i < 4; ++i) (*out_)[slot_ + i] = uint8_t(word_ >> (8 * i));
  }
  void bits(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) bit(v >> i);
  }
  void byte(uint8_t b) { out_->push_back(b); }
  // n >= 2: the bits below the leading 1, each followed by a 1 while more
  // follow and a 0 after the last.
  void gamma(uint32_t n) {
    int top = 31;
    while (!(n >> top)) --top;
    for (int i = top - 1; i >= 0; --i) {
      bit(n >> i);
      bit(i > 0 ? 1 : 0);
    }
  }

 private:
  std::vector<uint8_t> *out_;
  size_t slot_ = 0;
  int used_ = 32;
  uint32_t word_ = 0;
};

int gamma_bits(uint32_t n) {
  int top = 31;
  while (!(n >> top)) --top;
  return 2 * top;
}

// The class of a distance for a match of length m, or -1 when none covers it.
int class_of(const GlnClasses &k, uint32_t m, uint32_t distance) {
  int first = m >= 3 ? 8 : 0;
  for (int c = first; c < first + 8; ++c)
    if (distance >= k.base[c] && distance - k.base[c] < (1u << k.bits[c])) return c;
  return -1;
}

uint32_t reach(const GlnClasses &k, int first) {
  uint32_t r = 0;
  for (int c = first; c < first + 8; ++c) r = std::max(r, uint32_t(k.base[c]) + (1u << k.bits[c]) - 1);
  return r;
}

struct Step {
  uint32_t length;  // 0: end of stream
  uint32_t distance;
};

}  // namespace

GlnClasses gln_default_classes(void) {
  GlnClasses k;
  const uint8_t shortBits[8] = {1, 1, 2, 3, 4, 5, 6, 7};
  const uint8_t longBits[8] = {1, 2, 3, 4, 5, 6, 8, 11};
  for (int set = 0; set < 2; ++set) {
    uint32_t base = 1;
    for (int c = 0; c < 8; ++c) {
      uint8_t b = set ? longBits[c] : shortBits[c];
      k.bits[8 * set + c] = b;
      k.base[8 * set + c] = uint16_t(base);
      base += 1u << b;
    }
  }
  return k;
}

std::vector<uint8_t> gln_pack(const uint8_t *data, size_t size) { return gln_pack(data, size, gln_default_classes()); }

std::vector<uint8_t> gln_pack(const uint8_t *data, size_t size, const GlnClasses &classes) {
  const size_t n = size;
  const long kInf = std::numeric_limits<long>::max() / 4;
  const uint32_t shortReach = reach(classes, 0), longReach = reach(classes, 8);
  const uint32_t maxReach = std::max(shortReach, longReach);
  const int kEndBits = gamma_bits(0x10000);

  // Cheapest parse, from the end: after[i] is the cost of everything from
  // i on when a literal run starts at i; match[j] the cheapest match (plus
  // what follows it) starting at j.
  std::vector<long> after(n + 1, kInf), match(n + 1, kInf);
  std::vector<Step> matchStep(n + 1, Step{0, 0});
  std::vector<uint32_t> runOf(n + 1, 0);
  match[n] = kEndBits;
  after[n] = gamma_bits(2) + kEndBits;  // an empty run, then the end
  // common[d]: how many bytes from the current position on equal those d
  // bytes earlier (updated from the end, one position at a time).
  std::vector<uint32_t> common(size_t(maxReach) + 1, 0);
  std::vector<int8_t> shortClassOf(size_t(maxReach) + 1), longClassOf(size_t(maxReach) + 1);
  for (uint32_t d = 1; d <= maxReach; ++d) {
    shortClassOf[d] = int8_t(class_of(classes, 2, d));
    longClassOf[d] = int8_t(class_of(classes, 3, d));
  }
  const size_t kLongestRun = 1024;  // literal runs weighed at each position, beside one to the end
  for (size_t j = n; j-- > 0;) {
    // The longest match each class reaches from j.
    uint32_t longest[GLN_CLASSES] = {};
    uint32_t distanceOf[GLN_CLASSES] = {};
    for (size_t d = 1; d <= maxReach; ++d) {
      if (d > j) {
        common[d] = 0;
        continue;
      }
      common[d] = data[j] == data[j - d] ? std::min<uint32_t>(common[d] + 1, GLN_MAX_MATCH) : 0;
      uint32_t len = common[d];
      if (len < 2) continue;
      int shortClass = shortClassOf[d], longClass = longClassOf[d];
      if (shortClass >= 0 && !distanceOf[shortClass]) {
        longest[shortClass] = 2;
        distanceOf[shortClass] = uint32_t(d);
      }
      if (longClass >= 0 && len >= 3 && len > longest[longClass]) {
        longest[longClass] = len;
        distanceOf[longClass] = uint32_t(d);
      }
    }
    for (int c = 0; c < GLN_CLASSES; ++c) {
      uint32_t len = longest[c];
      for (uint32_t m = c < 8 ? 2 : 3; m <= len; ++m) {
        // Long matches: only the longest few lengths are worth weighing.
        if (m > 34 && m + 2 < len) m = len - 2;
        long cost = gamma_bits(m) + 3 + classes.bits[c] + after[j + m];
        if (cost < match[j]) {
          match[j] = cost;
          matchStep[j] = Step{m, distanceOf[c]};
        }
      }
    }
    // Literal runs from j: the run ends where a match (or the end) starts.
    size_t last = std::min(n, j + kLongestRun);
    for (size_t k = j; k <= n; k = (k == last ? n : k + 1)) {
      if (match[k] < kInf) {
        size_t run = k - j;
        long cost = gamma_bits(uint32_t(run + 2)) + 8 * long(run) + match[k];
        if (cost < after[j]) {
          after[j] = cost;
          runOf[j] = uint32_t(run);
        }
      }
      if (k == n) break;
    }
  }

  std::vector<uint8_t> out(GLN_HEAD_BYTES, 0);
  std::memcpy(out.data(), "GLN", 3);
  out[3] = GLN_VERSION;
  for (int i = 0; i < 4; ++i) out[4 + i] = uint8_t(uint32_t(n) >> (8 * i));
  for (int c = 0; c < GLN_CLASSES; ++c) {
    out[8 + c] = uint8_t(classes.bits[c] - 1);
    out[24 + 2 * c] = uint8_t(classes.base[c]);
    out[25 + 2 * c] = uint8_t(classes.base[c] >> 8);
  }
  BitWriter w(&out);
  size_t i = 0;
  for (;;) {
    uint32_t run = runOf[i];
    w.gamma(run + 2);
    for (uint32_t k = 0; k < run; ++k) w.byte(data[i + k]);
    i += run;
    if (i >= n) {
      w.gamma(0x10000);
      break;
    }
    const Step &s = matchStep[i];
    int c = class_of(classes, s.length, s.distance);
    w.gamma(s.length);
    w.bits(uint32_t(c & 7), 3);
    w.bits(s.distance - classes.base[c], classes.bits[c]);
    i += s.length;
  }
  return out;
}
