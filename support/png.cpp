#include "support/png.h"

#include <cstdlib>
#include <cstring>

#include "support/file.h"

namespace {

// Tables built once: the CRC-32 remainders and the deflate length codes.
struct Tables {
  uint32_t crc[256];
  uint8_t lengthCode[259];  // match length 3..258 -> index into kLengthBase
  Tables();
};

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

Tables::Tables() {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    crc[n] = c;
  }
  int code = 0;
  for (int len = 3; len <= 258; ++len) {
    while (code < 28 && len >= kLengthBase[code + 1]) ++code;
    lengthCode[len] = uint8_t(code);
  }
}

const Tables &tables() {
  static const Tables t;
  return t;
}

// Deflate writes bits from the least significant end of each byte; Huffman
// codes go out most significant bit first, so they are reversed on the way.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t> &out) : out_(out) {}
  void bits(uint32_t value, int count) {
    buffer_ |= uint64_t(value) << used_;
    used_ += count;
    while (used_ >= 8) {
      out_.push_back(uint8_t(buffer_));
      buffer_ >>= 8;
      used_ -= 8;
    }
  }
  void code(uint32_t code, int length) {
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
    bits(reversed, length);
  }
  void flush() {
    if (used_ > 0) out_.push_back(uint8_t(buffer_));
    buffer_ = 0;
    used_ = 0;
  }

 private:
  std::vector<uint8_t> &out_;
  uint64_t buffer_ = 0;
  int used_ = 0;
};

// The fixed literal/length code: 0-143 in 8 bits, 144-255 in 9, 256-279 in
// 7, 280-287 in 8.
void put_symbol(BitWriter &w, int symbol) {
  if (symbol < 144)
    w.code(0x30 + symbol, 8);
  else if (symbol < 256)
    w.code(0x190 + (symbol - 144), 9);
  else if (symbol < 280)
    w.code(symbol - 256, 7);
  else
    w.code(0xC0 + (symbol - 280), 8);
}

void put_match(BitWriter &w, int length, int distance) {
  int lc = tables().lengthCode[length];
  put_symbol(w, 257 + lc);
  if (kLengthExtra[lc]) w.bits(uint32_t(length - kLengthBase[lc]), kLengthExtra[lc]);
  int dc = 29;
  while (kDistBase[dc] > distance) --dc;
  w.code(uint32_t(dc), 5);
  if (kDistExtra[dc]) w.bits(uint32_t(distance - kDistBase[dc]), kDistExtra[dc]);
}

const int kWindow = 32768;
const int kHashBits = 15;
const int kMaxChain = 64;
const int kMinMatch = 3;
const int kMaxMatch = 258;

inline uint32_t hash3(const uint8_t *p) {
  uint32_t v = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

// One final fixed-Huffman block; matches are found greedily through hash
// chains over the last 32 KiB.
void deflate_fixed(const uint8_t *data, size_t size, std::vector<uint8_t> &out) {
  BitWriter w(out);
  w.bits(1, 1);  // final block
  w.bits(1, 2);  // fixed Huffman codes
  std::vector<int64_t> head(size_t(1) << kHashBits, -1);
  std::vector<int64_t> prev(kWindow, -1);
  auto insert = [&](size_t p) {
    if (p + kMinMatch > size) return;
    uint32_t h = hash3(data + p);
    prev[p & (kWindow - 1)] = head[h];
    head[h] = int64_t(p);
  };
  size_t i = 0;
  while (i < size) {
    int best = 0;
    int bestDistance = 0;
    if (i + kMinMatch <= size) {
      size_t limit = size - i < size_t(kMaxMatch) ? size - i : size_t(kMaxMatch);
      int64_t candidate = head[hash3(data + i)];
      int chain = kMaxChain;
      while (candidate >= 0 && int64_t(i) - candidate <= kWindow && chain-- > 0) {
        const uint8_t *a = data + candidate;
        const uint8_t *b = data + i;
        if (a[best] == b[best]) {
          size_t n = 0;
          while (n < limit && a[n] == b[n]) ++n;
          if (int(n) > best) {
            best = int(n);
            bestDistance = int(int64_t(i) - candidate);
            if (n == limit) break;
          }
        }
        int64_t next = prev[size_t(candidate) & (kWindow - 1)];
        if (next >= candidate) break;
        candidate = next;
      }
    }
    if (best >= kMinMatch) {
      put_match(w, best, bestDistance);
      for (int k = 0; k < best; ++k) insert(i + size_t(k));
      i += size_t(best);
    } else {
      put_symbol(w, data[i]);
      insert(i);
      ++i;
    }
  }
  put_symbol(w, 256);
  w.flush();
}

void put_be32(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(uint8_t(v >> 24));
  out.push_back(uint8_t(v >> 16));
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

void put_chunk(std::vector<uint8_t> &out, const char type[4], const std::vector<uint8_t> &data) {
  put_be32(out, uint32_t(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put_be32(out, png_crc32(out.data() + start, out.size() - start));
}

inline uint8_t paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return pb <= pc ? uint8_t(b) : uint8_t(c);
}

// Filters one row five ways and keeps the one whose bytes, read as signed,
// sum to the least magnitude: the usual cheap guess at what compresses best.
void filter_row(const uint8_t *row, const uint8_t *above, size_t bytes, int bpp, std::vector<uint8_t> *scratch,
                std::vector<uint8_t> &out) {
  uint64_t bestSum = UINT64_MAX;
  int bestType = 0;
  for (int type = 0; type < 5; ++type) {
    uint8_t *f = scratch[type].data();
    uint64_t sum = 0;
    for (size_t x = 0; x < bytes; ++x) {
      int a = x >= size_t(bpp) ? row[x - bpp] : 0;
      int b = above ? above[x] : 0;
      int c = above && x >= size_t(bpp) ? above[x - bpp] : 0;
      uint8_t predicted = 0;
      switch (type) {
        case 1: predicted = uint8_t(a); break;
        case 2: predicted = uint8_t(b); break;
        case 3: predicted = uint8_t((a + b) / 2); break;
        case 4: predicted = paeth(a, b, c); break;
        default: break;
      }
      f[x] = uint8_t(row[x] - predicted);
      sum += uint64_t(std::abs(int(int8_t(f[x]))));
    }
    if (sum < bestSum) {
      bestSum = sum;
      bestType = type;
    }
  }
  out.push_back(uint8_t(bestType));
  out.insert(out.end(), scratch[bestType].begin(), scratch[bestType].begin() + std::ptrdiff_t(bytes));
}

}  // namespace

uint32_t png_crc32(const uint8_t *data, size_t size, uint32_t crc) {
  const Tables &t = tables();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = t.crc[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t png_adler32(const uint8_t *data, size_t size, uint32_t adler) {
  const uint32_t kMod = 65521;
  uint32_t a = adler & 0xFFFF, b = adler >> 16;
  while (size > 0) {
    // 5552 bytes is the most that can be summed before b overflows 32 bits.
    size_t n = size < 5552 ? size : 5552;
    size -= n;
    while (n--) {
      a += *data++;
      b += a;
    }
    a %= kMod;
    b %= kMod;
  }
  return b << 16 | a;
}

void png_zlib_compress(const uint8_t *data, size_t size, std::vector<uint8_t> &out) {
  // Deflate with a 32 KiB window; the check bits make 0x7801 divisible by 31.
  out.push_back(0x78);
  out.push_back(0x01);
  deflate_fixed(data, size, out);
  put_be32(out, png_adler32(data, size));
}

int png_encode(const uint8_t *pixels, int width, int height, int stride, int channels, std::vector<uint8_t> &out) {
  out.clear();
  if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4)) return -1;
  int64_t rowBytes = int64_t(width) * channels;
  if (int64_t(stride) < rowBytes) return -1;
  // The compressed data goes in one chunk, whose length must stay below
  // 2^31 even when nothing compresses (fixed codes grow data by 9/8).
  int64_t raw = (rowBytes + 1) * height;
  if (raw > (int64_t(1) << 30)) return -1;

  std::vector<uint8_t> filtered;
  filtered.reserve(size_t(raw));
  std::vector<uint8_t> scratch[5];
  for (auto &s : scratch) s.resize(size_t(rowBytes));
  for (int y = 0; y < height; ++y) {
    const uint8_t *row = pixels + int64_t(y) * stride;
    const uint8_t *above = y > 0 ? row - stride : nullptr;
    filter_row(row, above, size_t(rowBytes), channels, scratch, filtered);
  }

  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  out.assign(kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  put_be32(header, uint32_t(width));
  put_be32(header, uint32_t(height));
  header.push_back(8);                      // bits per sample
  header.push_back(channels == 4 ? 6 : 2);  // truecolour, with alpha or without
  header.push_back(0);                      // deflate
  header.push_back(0);                      // adaptive filtering
  header.push_back(0);                      // not interlaced
  put_chunk(out, "IHDR", header);
  std::vector<uint8_t> compressed;
  png_zlib_compress(filtered.data(), filtered.size(), compressed);
  put_chunk(out, "IDAT", compressed);
  put_chunk(out, "IEND", std::vector<uint8_t>());
  return 0;
}

int png_write_file(const char *path, const uint8_t *pixels, int width, int height, int stride, int channels) {
  if (!path || !path[0]) return -1;
  std::vector<uint8_t> bytes;
  if (png_encode(pixels, width, height, stride, channels, bytes) != 0) return -1;
  HANDLE h = file_create(path, CREATE_ALWAYS, 0);
  if (h == FILE_FAILED) return -1;
  long put = file_write(h, bytes.data(), bytes.size());
  int closed = file_close(h);
  if (put != long(bytes.size()) || !closed) {
    file_delete(path);
    return -1;
  }
  return 0;
}
