#include <gtest/gtest.h>

#include <cstring>

#include "host/wav.h"

namespace {

void put16(std::vector<uint8_t> &v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t> &v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}
void tag(std::vector<uint8_t> &v, const char *t) { v.insert(v.end(), t, t + 4); }

struct Fmt {
  int tag = 1, channels = 2, rate = 44100, bits = 16;
  int align = -1;
  bool extensible = false;
  int subTag = 1;
  bool badTail = false;
};

std::vector<uint8_t> fmt_chunk(const Fmt &f) {
  std::vector<uint8_t> v;
  tag(v, "fmt ");
  int align = f.align >= 0 ? f.align : f.channels * f.bits / 8;
  put32(v, f.extensible ? 40 : 16);
  put16(v, f.extensible ? 0xFFFE : uint32_t(f.tag));
  put16(v, uint32_t(f.channels));
  put32(v, uint32_t(f.rate));
  put32(v, uint32_t(f.rate * align));
  put16(v, uint32_t(align));
  put16(v, uint32_t(f.bits));
  if (f.extensible) {
    put16(v, 22);
    put16(v, uint32_t(f.bits));
    put32(v, 3);
    const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    put16(v, uint32_t(f.subTag));
    v.insert(v.end(), tail, tail + 14);
    if (f.badTail) v.back() ^= 0xFF;
  }
  return v;
}

std::vector<uint8_t> riff(const std::vector<std::vector<uint8_t>> &chunks) {
  std::vector<uint8_t> v;
  tag(v, "RIFF");
  size_t size = 4;
  for (auto &c : chunks) size += c.size();
  put32(v, uint32_t(size));
  tag(v, "WAVE");
  for (auto &c : chunks) v.insert(v.end(), c.begin(), c.end());
  return v;
}

std::vector<uint8_t> data_chunk(const std::vector<uint8_t> &pcm, uint32_t declared = 0xFFFFFFFFu) {
  std::vector<uint8_t> v;
  tag(v, "data");
  put32(v, declared == 0xFFFFFFFFu ? uint32_t(pcm.size()) : declared);
  v.insert(v.end(), pcm.begin(), pcm.end());
  return v;
}

WavResult parse(const std::vector<uint8_t> &file, WavAudio *a, std::string *m) {
  return wav_parse(file.data(), file.size(), a, m);
}

TEST(Wav, PlayableFormatsPassThroughUnchanged) {
  struct Case {
    int channels, bits, rate;
  } cases[] = {{1, 8, 8000}, {2, 8, 11025}, {1, 16, 22050}, {2, 16, 44100}, {1, 24, 96000}, {2, 24, 192000}};
  for (const Case &c : cases) {
    Fmt f;
    f.channels = c.channels;
    f.bits = c.bits;
    f.rate = c.rate;
    std::vector<uint8_t> pcm(size_t(c.channels * c.bits / 8) * 10);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(i * 7 + 3);
    WavAudio a;
    std::string m;
    ASSERT_EQ(WavResult::Ok, parse(riff({fmt_chunk(f), data_chunk(pcm)}), &a, &m)) << m;
    EXPECT_EQ(c.channels, a.channels);
    EXPECT_EQ(c.bits, a.bits);
    EXPECT_EQ(c.rate, a.rate);
    EXPECT_EQ(pcm, a.pcm);
    EXPECT_EQ(10, a.frames());
  }
}

TEST(Wav, ExtensibleHeaderIsReadAndOtherChunksAreSkippedWithTheirPadByte) {
  Fmt f;
  f.extensible = true;
  f.bits = 24;
  std::vector<uint8_t> list;
  tag(list, "LIST");
  put32(list, 3);  // odd: one pad byte follows
  list.insert(list.end(), {'a', 'b', 'c', 0});
  std::vector<uint8_t> pcm = {1, 2, 3, 4, 5, 6};
  WavAudio a;
  std::string m;
  ASSERT_EQ(WavResult::Ok, parse(riff({list, fmt_chunk(f), data_chunk(pcm)}), &a, &m)) << m;
  EXPECT_EQ(24, a.bits);
  EXPECT_EQ(pcm, a.pcm);
}

TEST(Wav, ThirtyTwoBitAndFloatBecomeTwentyFourBits) {
  Fmt f;
  f.channels = 1;
  f.bits = 32;
  std::vector<uint8_t> pcm;
  put32(pcm, 0x40000000u);  // half scale
  put32(pcm, 0x80000000u);  // most negative
  WavAudio a;
  std::string m;
  ASSERT_EQ(WavResult::Ok, parse(riff({fmt_chunk(f), data_chunk(pcm)}), &a, &m)) << m;
  ASSERT_EQ(24, a.bits);
  ASSERT_EQ(6u, a.pcm.size());
  int32_t first = int32_t(uint32_t(a.pcm[0]) << 8 | uint32_t(a.pcm[1]) << 16 | uint32_t(a.pcm[2]) << 24) >> 8;
  int32_t second = int32_t(uint32_t(a.pcm[3]) << 8 | uint32_t(a.pcm[4]) << 16 | uint32_t(a.pcm[5]) << 24) >> 8;
  EXPECT_NEAR(4194304, first, 1);
  EXPECT_EQ(-8388607, second);

  f.tag = 3;
  std::vector<uint8_t> fl;
  float values[3] = {0.5f, 2.0f, -1.0f / 0.0f};  // in range, clipped, not finite
  for (float v : values) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    put32(fl, u);
  }
  ASSERT_EQ(WavResult::Ok, parse(riff({fmt_chunk(f), data_chunk(fl)}), &a, &m)) << m;
  ASSERT_EQ(9u, a.pcm.size());
  EXPECT_EQ(0x40, a.pcm[2]);  // half of full scale, rounded: 0x400000
  EXPECT_EQ(0x7F, a.pcm[5]);  // clipped to full scale
  EXPECT_EQ(0, a.pcm[6] | a.pcm[7] | a.pcm[8]);  // infinity is silence, not noise
}

TEST(Wav, MoreChannelsAreMixedDownToStereoWithoutClipping) {
  Fmt f;
  f.channels = 6;
  std::vector<uint8_t> pcm;
  for (int c = 0; c < 6; ++c) put16(pcm, 32767);
  for (int c = 0; c < 6; ++c) put16(pcm, c == 0 ? 16384 : 0);  // left only
  WavAudio a;
  std::string m;
  ASSERT_EQ(WavResult::Ok, parse(riff({fmt_chunk(f), data_chunk(pcm)}), &a, &m)) << m;
  ASSERT_EQ(2, a.channels);
  ASSERT_EQ(8u, a.pcm.size());
  auto at = [&](int i) { return int16_t(a.pcm[size_t(2 * i)] | a.pcm[size_t(2 * i + 1)] << 8); };
  EXPECT_NEAR(32767, at(0), 2);
  EXPECT_NEAR(32767, at(1), 2);
  EXPECT_NEAR(16384 / 3, at(2), 2);
  EXPECT_EQ(0, at(3));
}

TEST(Wav, TruncatedDataPlaysTheWholeFramesThatArePresent) {
  Fmt f;
  std::vector<uint8_t> pcm(4 * 100 + 3);  // 100 frames and a partial one
  WavAudio a;
  std::string m;
  ASSERT_EQ(WavResult::Truncated, parse(riff({fmt_chunk(f), data_chunk(pcm, 4 * 1000)}), &a, &m));
  EXPECT_EQ(100, a.frames());
  EXPECT_NE(std::string::npos, m.find("cut short")) << m;
  EXPECT_NE(std::string::npos, m.find("403 of 4000")) << m;
}

TEST(Wav, BrokenFilesFailWithAMessageSayingWhy) {
  Fmt good;
  std::vector<uint8_t> pcm(16);
  Fmt zero_channels;
  zero_channels.channels = 0;
  Fmt bad_align;
  bad_align.align = 3;
  Fmt slow;
  slow.rate = 500;
  Fmt fast;
  fast.rate = 400000;
  Fmt twelve;
  twelve.bits = 12;
  Fmt adpcm;
  adpcm.tag = 2;
  Fmt unknown_sub;
  unknown_sub.extensible = true;
  unknown_sub.badTail = true;
  std::vector<uint8_t> short_fmt = {'f', 'm', 't', ' ', 8, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0};
  std::vector<uint8_t> long_list = {'L', 'I', 'S', 'T', 0xFF, 0, 0, 0, 1, 2};
  std::vector<uint8_t> empty_data = data_chunk({});
  std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'};
  struct Case {
    std::vector<uint8_t> file;
    const char *says;
  } cases[] = {
      {text, "not a WAV file"},
      {{}, "not a WAV file"},
      {riff({}), "no fmt chunk"},
      {riff({fmt_chunk(good)}), "no data chunk"},
      {riff({data_chunk(pcm), fmt_chunk(good)}), "before the fmt chunk"},
      {riff({fmt_chunk(zero_channels), data_chunk(pcm)}), "0 channels"},
      {riff({fmt_chunk(bad_align), data_chunk(pcm)}), "block align 3"},
      {riff({fmt_chunk(slow), data_chunk(pcm)}), "sample rate 500 Hz"},
      {riff({fmt_chunk(fast), data_chunk(pcm)}), "sample rate 400000 Hz"},
      {riff({fmt_chunk(twelve), data_chunk(pcm)}), "12-bit PCM"},
      {riff({fmt_chunk(adpcm), data_chunk(pcm)}), "format tag 0x2"},
      {riff({fmt_chunk(unknown_sub), data_chunk(pcm)}), "unknown sub-format"},
      {riff({short_fmt, data_chunk(pcm)}), "fmt chunk is 8 bytes"},
      {riff({fmt_chunk(good), long_list}), "'LIST' runs past the end"},
      {riff({fmt_chunk(good), empty_data}), "holds no samples"},
      {riff({fmt_chunk(good), data_chunk({1, 2}, 400)}), "before its first sample"},
  };
  for (const Case &c : cases) {
    WavAudio a;
    std::string m;
    EXPECT_EQ(WavResult::Failed, parse(c.file, &a, &m)) << c.says;
    EXPECT_NE(std::string::npos, m.find(c.says)) << "expected \"" << c.says << "\", got \"" << m << "\"";
    EXPECT_TRUE(a.pcm.empty());
  }
}

TEST(Wav, EveryPrefixOfAFileIsHandledSafely) {
  Fmt f;
  f.extensible = true;
  std::vector<uint8_t> file = riff({fmt_chunk(f), data_chunk(std::vector<uint8_t>(64, 9))});
  for (size_t n = 0; n <= file.size(); ++n) {
    // Exactly sized copies, so a read past the end is caught by the sanitizer.
    std::vector<uint8_t> prefix(file.begin(), file.begin() + long(n));
    WavAudio a;
    std::string m;
    WavResult r = wav_parse(prefix.data(), prefix.size(), &a, &m);
    if (n == file.size())
      EXPECT_EQ(WavResult::Ok, r);
    else
      EXPECT_NE(WavResult::Ok, r) << n;
    EXPECT_FALSE(r != WavResult::Ok && m.empty()) << n;
  }
}

TEST(Wav, BuiltFilesReadBack) {
  std::vector<uint8_t> pcm = {1, 2, 3};  // odd length: padded
  std::vector<uint8_t> file = wav_build(8000, 1, 8, pcm);
  EXPECT_EQ(0u, file.size() % 2);
  WavAudio a;
  std::string m;
  ASSERT_EQ(WavResult::Ok, parse(file, &a, &m)) << m;
  EXPECT_EQ(pcm, a.pcm);
  EXPECT_EQ(8000, a.rate);
}

TEST(Wav, MissingFileNamesTheProblem) {
  WavAudio a;
  std::string m;
  EXPECT_EQ(WavResult::Failed, wav_read_file("/nonexistent/sonorium/none.wav", &a, &m));
  EXPECT_NE(std::string::npos, m.find("cannot open")) << m;
}

}  // namespace
