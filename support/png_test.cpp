#include "support/png.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

// An independent reader of what the writer produces: inflate for stored and
// fixed-Huffman blocks, and a PNG decoder for 8-bit RGB/RGBA. Any fault in
// the stream makes it fail rather than guess.
class BitReader {
 public:
  BitReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  bool bit(uint32_t *out) {
    if (pos_ >= size_ * 8) return false;
    *out = (data_[pos_ / 8] >> (pos_ % 8)) & 1u;
    ++pos_;
    return true;
  }
  bool bits(int count, uint32_t *out) {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i) {
      uint32_t b;
      if (!bit(&b)) return false;
      v |= b << i;
    }
    *out = v;
    return true;
  }
  void align() { pos_ = (pos_ + 7) / 8 * 8; }
  size_t byte_pos() const { return pos_ / 8; }
  void skip_bytes(size_t n) { pos_ += n * 8; }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
};

bool read_fixed_symbol(BitReader &r, int *symbol) {
  uint32_t code = 0;
  for (int len = 1; len <= 9; ++len) {
    uint32_t b;
    if (!r.bit(&b)) return false;
    code = code << 1 | b;
    if (len == 7 && code <= 23) {
      *symbol = 256 + int(code);
      return true;
    }
    if (len == 8 && code >= 0x30 && code <= 0xBF) {
      *symbol = int(code) - 0x30;
      return true;
    }
    if (len == 8 && code >= 0xC0 && code <= 0xC7) {
      *symbol = 280 + int(code) - 0xC0;
      return true;
    }
    if (len == 9 && code >= 0x190) {
      *symbol = 144 + int(code) - 0x190;
      return true;
    }
  }
  return false;
}

// Returns false on any malformed input; the bytes consumed in *used.
bool inflate(const uint8_t *data, size_t size, std::vector<uint8_t> &out, size_t *used) {
  static const int kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const int kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static const int kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  static const int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  BitReader r(data, size);
  uint32_t final = 0;
  do {
    uint32_t type;
    if (!r.bits(1, &final) || !r.bits(2, &type)) return false;
    if (type == 0) {
      r.align();
      size_t p = r.byte_pos();
      if (p + 4 > size) return false;
      uint32_t len = data[p] | data[p + 1] << 8, nlen = data[p + 2] | data[p + 3] << 8;
      if ((len ^ 0xFFFF) != nlen || p + 4 + len > size) return false;
      out.insert(out.end(), data + p + 4, data + p + 4 + len);
      r.skip_bytes(4 + len);
    } else if (type == 1) {
      for (;;) {
        int s;
        if (!read_fixed_symbol(r, &s)) return false;
        if (s < 256) {
          out.push_back(uint8_t(s));
          continue;
        }
        if (s == 256) break;
        if (s > 285) return false;
        uint32_t extra, dcode, dextra;
        if (!r.bits(kLenExtra[s - 257], &extra)) return false;
        int length = kLenBase[s - 257] + int(extra);
        uint32_t reversed;
        if (!r.bits(5, &reversed)) return false;
        dcode = 0;
        for (int i = 0; i < 5; ++i) dcode |= ((reversed >> i) & 1u) << (4 - i);
        if (dcode > 29 || !r.bits(kDistExtra[dcode], &dextra)) return false;
        size_t distance = size_t(kDistBase[dcode]) + dextra;
        if (distance > out.size() || distance > 32768) return false;
        for (int i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
      }
    } else {
      return false;  // the writer never makes dynamic blocks
    }
  } while (!final);
  r.align();
  *used = r.byte_pos();
  return true;
}

bool zlib_decompress(const std::vector<uint8_t> &z, std::vector<uint8_t> &out) {
  if (z.size() < 6) return false;
  if ((z[0] & 0x0F) != 8 || (z[0] * 256 + z[1]) % 31 != 0 || (z[1] & 0x20)) return false;
  size_t used = 0;
  if (!inflate(z.data() + 2, z.size() - 2, out, &used)) return false;
  if (2 + used + 4 != z.size()) return false;
  const uint8_t *a = z.data() + 2 + used;
  uint32_t adler = uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3];
  return adler == png_adler32(out.data(), out.size());
}

uint32_t be32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
};

// Splits a file into chunks, checking the signature and every CRC.
::testing::AssertionResult parse_chunks(const std::vector<uint8_t> &file, std::vector<Chunk> &chunks) {
  static const uint8_t kSig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (file.size() < 8 || std::memcmp(file.data(), kSig, 8) != 0) return ::testing::AssertionFailure() << "no signature";
  size_t p = 8;
  while (p < file.size()) {
    if (p + 12 > file.size()) return ::testing::AssertionFailure() << "truncated chunk at " << p;
    uint32_t len = be32(&file[p]);
    if (p + 12 + len > file.size()) return ::testing::AssertionFailure() << "chunk overruns the file at " << p;
    Chunk c;
    c.type.assign(reinterpret_cast<const char *>(&file[p + 4]), 4);
    c.data.assign(file.begin() + std::ptrdiff_t(p + 8), file.begin() + std::ptrdiff_t(p + 8 + len));
    if (png_crc32(&file[p + 4], 4 + len) != be32(&file[p + 8 + len]))
      return ::testing::AssertionFailure() << "bad CRC in " << c.type;
    chunks.push_back(c);
    p += 12 + len;
  }
  return ::testing::AssertionSuccess();
}

struct Image {
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> pixels;  // tightly packed rows
};

::testing::AssertionResult decode_png(const std::vector<uint8_t> &file, Image &img) {
  std::vector<Chunk> chunks;
  auto parsed = parse_chunks(file, chunks);
  if (!parsed) return parsed;
  if (chunks.size() < 3 || chunks.front().type != "IHDR" || chunks.back().type != "IEND")
    return ::testing::AssertionFailure() << "chunks out of order";
  const std::vector<uint8_t> &h = chunks[0].data;
  if (h.size() != 13) return ::testing::AssertionFailure() << "IHDR of " << h.size() << " bytes";
  img.width = int(be32(&h[0]));
  img.height = int(be32(&h[4]));
  if (h[8] != 8 || (h[9] != 2 && h[9] != 6) || h[10] || h[11] || h[12])
    return ::testing::AssertionFailure() << "unexpected IHDR fields";
  img.channels = h[9] == 6 ? 4 : 3;
  std::vector<uint8_t> z, raw;
  for (size_t i = 1; i + 1 < chunks.size(); ++i) {
    if (chunks[i].type != "IDAT") return ::testing::AssertionFailure() << "unexpected chunk " << chunks[i].type;
    z.insert(z.end(), chunks[i].data.begin(), chunks[i].data.end());
  }
  if (!zlib_decompress(z, raw)) return ::testing::AssertionFailure() << "bad zlib stream";
  size_t row = size_t(img.width) * img.channels;
  if (raw.size() != (row + 1) * img.height) return ::testing::AssertionFailure() << "wrong data size " << raw.size();
  img.pixels.assign(row * img.height, 0);
  int bpp = img.channels;
  for (int y = 0; y < img.height; ++y) {
    uint8_t type = raw[y * (row + 1)];
    const uint8_t *f = &raw[y * (row + 1) + 1];
    uint8_t *cur = &img.pixels[y * row];
    const uint8_t *up = y > 0 ? cur - row : nullptr;
    for (size_t x = 0; x < row; ++x) {
      int a = x >= size_t(bpp) ? cur[x - bpp] : 0;
      int b = up ? up[x] : 0;
      int c = up && x >= size_t(bpp) ? up[x - bpp] : 0;
      int pred = 0;
      switch (type) {
        case 0: break;
        case 1: pred = a; break;
        case 2: pred = b; break;
        case 3: pred = (a + b) / 2; break;
        case 4: {
          int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
          break;
        }
        default: return ::testing::AssertionFailure() << "filter type " << int(type);
      }
      cur[x] = uint8_t(f[x] + pred);
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<uint8_t> bytes_of(const char *s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

TEST(PngChecksums, MatchThePublishedCheckValues) {
  std::vector<uint8_t> digits = bytes_of("123456789");
  EXPECT_EQ(png_crc32(digits.data(), digits.size()), 0xCBF43926u);
  EXPECT_EQ(png_crc32(nullptr, 0), 0u);
  // The CRC of the IEND chunk type, found at the end of every PNG file.
  std::vector<uint8_t> iend = bytes_of("IEND");
  EXPECT_EQ(png_crc32(iend.data(), iend.size()), 0xAE426082u);
  std::vector<uint8_t> wiki = bytes_of("Wikipedia");
  EXPECT_EQ(png_adler32(wiki.data(), wiki.size()), 0x11E60398u);
  EXPECT_EQ(png_adler32(nullptr, 0), 1u);
}

TEST(PngChecksums, ContinueAcrossPiecesAndSurviveLongInput) {
  std::vector<uint8_t> data(100000);
  std::mt19937 rng(7);
  for (auto &b : data) b = uint8_t(rng());
  uint32_t crc = png_crc32(data.data(), 33333);
  crc = png_crc32(data.data() + 33333, data.size() - 33333, crc);
  EXPECT_EQ(crc, png_crc32(data.data(), data.size()));
  uint32_t adler = png_adler32(data.data(), 5000);
  adler = png_adler32(data.data() + 5000, data.size() - 5000, adler);
  EXPECT_EQ(adler, png_adler32(data.data(), data.size()));

  // All 0xFF: the sums are reduced before they could overflow 32 bits. The
  // value is computed here slowly, modulo at every step.
  std::vector<uint8_t> ones(1 << 20, 0xFF);
  uint32_t a = 1, b = 0;
  for (uint8_t v : ones) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(png_adler32(ones.data(), ones.size()), b << 16 | a);
}

// Inputs that exercise literals only, the longest matches, matches that
// overlap themselves, and the farthest distance of the window.
TEST(PngDeflate, RoundTripsThroughAnIndependentInflater) {
  std::mt19937 rng(1234);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"one byte", {42}});
  cases.push_back({"two bytes", {1, 2}});
  std::vector<uint8_t> noise(70000);
  for (auto &b : noise) b = uint8_t(rng());
  cases.push_back({"noise", noise});
  cases.push_back({"one long run", std::vector<uint8_t>(100000, 0x55)});
  std::vector<uint8_t> pattern(50000);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = uint8_t("abcdefg"[i % 7]);
  cases.push_back({"short period", pattern});
  // A block of noise repeated exactly 32768 bytes later, and once more just
  // beyond the window, where it must not be referenced.
  std::vector<uint8_t> far(32768 + 1000);
  for (auto &b : far) b = uint8_t(rng());
  std::copy(far.begin(), far.begin() + 1000, far.begin() + 32768);
  std::vector<uint8_t> beyond(32769 + 1000);
  for (auto &b : beyond) b = uint8_t(rng());
  std::copy(beyond.begin(), beyond.begin() + 1000, beyond.begin() + 32769);
  cases.push_back({"distance 32768", far});
  cases.push_back({"distance 32769", beyond});
  // Every match length from 3 to 300 in turn, separated by noise.
  std::vector<uint8_t> lengths;
  for (int len = 3; len <= 300; ++len) {
    std::vector<uint8_t> piece(len);
    for (auto &b : piece) b = uint8_t(rng());
    lengths.insert(lengths.end(), piece.begin(), piece.end());
    lengths.push_back(uint8_t(rng()));
    lengths.insert(lengths.end(), piece.begin(), piece.end());
    lengths.push_back(uint8_t(rng()));
  }
  cases.push_back({"all lengths", lengths});

  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    std::vector<uint8_t> z;
    png_zlib_compress(c.second.data(), c.second.size(), z);
    std::vector<uint8_t> back;
    ASSERT_TRUE(zlib_decompress(z, back));
    EXPECT_EQ(back, c.second);
  }
}

TEST(PngDeflate, CompressesRepetitiveDataAndBoundsTheGrowthOfNoise) {
  std::vector<uint8_t> run(100000, 7), z;
  png_zlib_compress(run.data(), run.size(), z);
  EXPECT_LT(z.size(), 1000u) << "a run should shrink to its matches";
  std::vector<uint8_t> noise(65536);
  std::mt19937 rng(99);
  for (auto &b : noise) b = uint8_t(rng());
  z.clear();
  png_zlib_compress(noise.data(), noise.size(), z);
  EXPECT_LE(z.size(), noise.size() * 9 / 8 + 16);
}

// A test picture with smooth gradients, hard edges and noise, so that each
// filter type has rows it wins.
std::vector<uint8_t> picture(int w, int h, int channels, int stride, unsigned seed) {
  std::vector<uint8_t> px(size_t(stride) * h, 0xEE);  // padding bytes must be ignored
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t *p = &px[size_t(y) * stride + size_t(x) * channels];
      if (y < h / 3) {
        p[0] = uint8_t(x * 3);
        p[1] = uint8_t(y * 5);
        p[2] = uint8_t(x + y);
      } else if (y < 2 * h / 3) {
        bool edge = (x / 8 + y / 8) % 2;
        p[0] = p[1] = p[2] = edge ? 250 : 10;
      } else {
        p[0] = uint8_t(rng());
        p[1] = uint8_t(rng());
        p[2] = uint8_t(rng());
      }
      if (channels == 4) p[3] = uint8_t(x * 255 / (w > 1 ? w - 1 : 1));
    }
  }
  return px;
}

TEST(PngEncode, DecodesBackToThePixelsWithTheRightLayout) {
  struct Case {
    int w, h, channels, padding;
  } cases[] = {{1, 1, 3, 0},   {1, 1, 4, 0},    {64, 48, 3, 0}, {64, 48, 4, 0},
               {37, 29, 3, 3}, {37, 29, 4, 12}, {300, 2, 3, 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" + std::to_string(c.channels));
    int stride = c.w * c.channels + c.padding;
    std::vector<uint8_t> px = picture(c.w, c.h, c.channels, stride, unsigned(c.w * c.h));
    std::vector<uint8_t> file;
    ASSERT_EQ(png_encode(px.data(), c.w, c.h, stride, c.channels, file), 0);

    std::vector<Chunk> chunks;
    ASSERT_TRUE(parse_chunks(file, chunks));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[0].data.size(), 13u);
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[2].type, "IEND");
    EXPECT_TRUE(chunks[2].data.empty());
    EXPECT_EQ(file.size(), 8 + (12 + 13) + (12 + chunks[1].data.size()) + 12);

    Image img;
    ASSERT_TRUE(decode_png(file, img));
    EXPECT_EQ(img.width, c.w);
    EXPECT_EQ(img.height, c.h);
    EXPECT_EQ(img.channels, c.channels);
    bool same = true;
    for (int y = 0; y < c.h && same; ++y)
      same = std::memcmp(&img.pixels[size_t(y) * c.w * c.channels], &px[size_t(y) * stride],
                         size_t(c.w) * c.channels) == 0;
    EXPECT_TRUE(same) << "decoded pixels differ";
  }
}

TEST(PngEncode, RejectsWhatItCannotWrite) {
  std::vector<uint8_t> px(64 * 64 * 4, 1), out{1, 2, 3};
  EXPECT_EQ(png_encode(nullptr, 4, 4, 12, 3, out), -1);
  EXPECT_TRUE(out.empty()) << "a failure leaves no half-made file behind";
  EXPECT_EQ(png_encode(px.data(), 0, 4, 12, 3, out), -1);
  EXPECT_EQ(png_encode(px.data(), 4, 0, 12, 3, out), -1);
  EXPECT_EQ(png_encode(px.data(), -4, 4, 12, 3, out), -1);
  EXPECT_EQ(png_encode(px.data(), 4, 4, 11, 3, out), -1) << "stride shorter than a row";
  EXPECT_EQ(png_encode(px.data(), 4, 4, -12, 3, out), -1);
  EXPECT_EQ(png_encode(px.data(), 4, 4, 16, 1, out), -1);
  EXPECT_EQ(png_encode(px.data(), 4, 4, 16, 2, out), -1);
  EXPECT_EQ(png_encode(px.data(), 4, 4, 20, 5, out), -1);
  // Far too large for one data chunk; refused before any pixel is read.
  EXPECT_EQ(png_encode(px.data(), 100000, 100000, 300000, 3, out), -1);
  EXPECT_EQ(png_encode(px.data(), 4, 4, 12, 3, out), 0);
}

class PngFile : public ::testing::Test {
 protected:
  void SetUp() override {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("sonorium_png_test_" + std::to_string(stamp));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(PngFile, WritesTheEncodedBytesAndReplacesAnOldFile) {
  std::string path = (dir_ / "shot.png").string();
  {
    std::ofstream old(path, std::ios::binary);
    old << std::string(100000, 'x');
  }
  std::vector<uint8_t> px = picture(20, 10, 3, 60, 5);
  ASSERT_EQ(png_write_file(path.c_str(), px.data(), 20, 10, 60, 3), 0);
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<uint8_t> expected;
  ASSERT_EQ(png_encode(px.data(), 20, 10, 60, 3, expected), 0);
  EXPECT_EQ(file, expected);
}

TEST_F(PngFile, FailsWithoutLeavingAFile) {
  std::vector<uint8_t> px(12, 0);
  std::string missing = (dir_ / "no such folder" / "shot.png").string();
  EXPECT_EQ(png_write_file(missing.c_str(), px.data(), 2, 2, 6, 3), -1);
  EXPECT_EQ(png_write_file(nullptr, px.data(), 2, 2, 6, 3), -1);
  EXPECT_EQ(png_write_file("", px.data(), 2, 2, 6, 3), -1);
  std::string bad = (dir_ / "bad.png").string();
  EXPECT_EQ(png_write_file(bad.c_str(), px.data(), 2, 2, 5, 3), -1);
  EXPECT_FALSE(fs::exists(bad)) << "invalid pixels must not create the file";
}

}  // namespace
