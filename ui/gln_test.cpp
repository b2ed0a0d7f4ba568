#include "ui/gln.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Builds streams by hand: bits into 32-bit words most significant first,
// literal bytes after the word the reader will have fetched.
class Stream {
 public:
  explicit Stream(uint32_t unpacked) : bytes_(GLN_HEAD_BYTES, 0) {
    bytes_[0] = 'G';
    bytes_[1] = 'L';
    bytes_[2] = 'N';
    bytes_[3] = 3;
    for (int i = 0; i < 4; ++i) bytes_[4 + i] = uint8_t(unpacked >> (8 * i));
    // Class c: 1 + (c % 8) bits from base 1.
    for (int c = 0; c < 16; ++c) {
      bytes_[8 + c] = uint8_t(c % 8);
      bytes_[24 + 2 * c] = 1;
    }
  }
  void bit(int b) {
    if (used_ == 32) {
      slot_ = bytes_.size();
      bytes_.resize(slot_ + 4, 0);
      used_ = 0;
    }
    if (b) bytes_[slot_ + 3 - used_ / 8] |= uint8_t(0x80 >> (used_ % 8));
    ++used_;
  }
  void bits(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) bit((v >> i) & 1);
  }
  void gamma(uint32_t n) {
    int top = 31;
    while (!(n >> top)) --top;
    for (int i = top - 1; i >= 0; --i) {
      bit((n >> i) & 1);
      bit(i > 0);
    }
  }
  void literals(const std::string &s) {
    gamma(uint32_t(s.size()) + 2);
    for (char c : s) bytes_.push_back(uint8_t(c));
  }
  // A match of length m, distance d, in class `c` (3 class bits).
  void match(uint32_t m, int c, uint32_t d) {
    gamma(m);
    bits(uint32_t(c % 8), 3);
    bits(d - 1, 1 + c % 8);
  }
  // A match length beyond 16 bits; it follows a literal run like a match.
  void end() { gamma(0x10000); }
  std::vector<uint8_t> bytes_;

 private:
  size_t slot_ = 0;
  int used_ = 32;
};

std::string unpack(const std::vector<uint8_t> &s, size_t capacity, long *result) {
  std::vector<uint8_t> out(capacity, '#');
  *result = gln_unpack(s.data(), s.size(), out.data(), out.size());
  return std::string(out.begin(), out.end());
}

TEST(GlnUnpack, LiteralsAndOverlappingMatches) {
  Stream s(12);
  s.literals("ab");
  s.match(6, 8 + 1, 2);  // copies its own output: ababab
  s.literals("xy");
  s.match(2, 0, 1);  // a short match from the short classes
  s.literals("");
  s.end();
  long n;
  EXPECT_EQ(unpack(s.bytes_, 12, &n), "ababababxyyy");
  EXPECT_EQ(n, 12);
  EXPECT_EQ(gln_unpacked_size(s.bytes_.data(), s.bytes_.size()), 12);
}

TEST(GlnUnpack, EmptyRunsAndAnEmptyOutput) {
  Stream s(0);
  s.literals("");
  s.end();
  long n;
  unpack(s.bytes_, 0, &n);
  EXPECT_EQ(n, 0);
}

TEST(GlnUnpack, RefusesDamagedStreamsWithoutWritingPastTheBuffer) {
  auto good = [] {
    Stream s(8);
    s.literals("abc");
    s.match(5, 8 + 2, 3);
    s.literals("");
    s.end();
    return s.bytes_;
  };
  long n;
  std::string out = unpack(good(), 8 + 4, &n);
  ASSERT_EQ(n, 8);
  EXPECT_EQ(out, "abcabcab####");

  auto refused = [&](const std::vector<uint8_t> &bytes, size_t capacity, const char *why) {
    std::vector<uint8_t> buf(capacity + 16, '#');
    EXPECT_EQ(gln_unpack(bytes.data(), bytes.size(), buf.data(), capacity), -1) << why;
    for (size_t i = capacity; i < buf.size(); ++i) ASSERT_EQ(buf[i], '#') << why;
  };
  std::vector<uint8_t> b = good();
  b[0] = 'X';
  refused(b, 8, "wrong magic");
  b = good();
  b[3] = 2;
  refused(b, 8, "version 2");
  refused(good(), 7, "an announced size above the capacity");
  b = good();
  b[4] = 9;
  refused(b, 9, "more announced than the stream holds");
  b = good();
  b[4] = 7;
  refused(b, 8, "less announced than the stream holds");
  for (size_t cut = GLN_HEAD_BYTES - 1; cut < good().size(); ++cut) {
    b = good();
    b.resize(cut);
    refused(b, 8, "a truncated stream");
  }
  {
    Stream s(8);
    s.literals("abc");
    s.match(5, 8 + 2, 4);  // one byte before the start
    s.literals("");
    s.end();
    refused(s.bytes_, 8, "a distance before the start");
  }
  {
    Stream s(8);
    s.bytes_[24 + 2 * 10] = 0;  // class 10 from base 0
    s.literals("abc");
    s.match(5, 8 + 2, 1);  // distance 0 + 0
    s.literals("");
    s.end();
    refused(s.bytes_, 8, "a distance of 0");
  }
  b = good();
  b[8 + 10] = 16;  // 17 bits
  refused(b, 8, "a class wider than 16 bits");
  {
    // A literal run longer than the output.
    Stream s(2);
    s.literals("abc");
    s.end();
    refused(s.bytes_, 2, "literals beyond the announced size");
  }
  {
    // A gamma number that never ends.
    Stream s(8);
    for (int i = 0; i < 200; ++i) s.bit(1);
    refused(s.bytes_, 8, "an endless gamma number");
  }
}

}  // namespace
