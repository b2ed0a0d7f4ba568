#include "ui/pvrtc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// An image of identical blocks, or the four words given in index order.
std::vector<uint8_t> words_of(const std::vector<std::pair<uint32_t, uint32_t>> &blocks) {
  std::vector<uint8_t> out;
  for (auto &b : blocks)
    for (uint32_t v : {b.first, b.second})
      for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
  return out;
}

struct Texel {
  int r, g, b, a;
};

Texel at(const std::vector<uint8_t> &rgba, int width, int x, int y) {
  const uint8_t *p = &rgba[4 * (size_t(y) * width + x)];
  return {p[0], p[1], p[2], p[3]};
}

void expect_texel(const std::vector<uint8_t> &rgba, int width, int x, int y, Texel want) {
  Texel t = at(rgba, width, x, y);
  EXPECT_EQ(t.r, want.r) << x << "," << y;
  EXPECT_EQ(t.g, want.g) << x << "," << y;
  EXPECT_EQ(t.b, want.b) << x << "," << y;
  EXPECT_EQ(t.a, want.a) << x << "," << y;
}

std::vector<uint8_t> file_of(int width, int height, const std::vector<uint8_t> &words) {
  std::vector<uint8_t> f(44 + words.size(), 0);
  const uint32_t head[11] = {44, uint32_t(height), uint32_t(width), 0, 0x19, uint32_t(width * height / 2), 4, 0, 0, 0, 0};
  for (int i = 0; i < 11; ++i)
    for (int k = 0; k < 4; ++k) f[4 * i + k] = uint8_t(head[i] >> (8 * k));
  std::copy(words.begin(), words.end(), f.begin() + 44);
  return f;
}

TEST(PvrtcBlockOrder, RowBitsSitBelowColumnBits) {
  EXPECT_EQ(pvrtc_block_index(0, 0, 16, 16), 0u);
  EXPECT_EQ(pvrtc_block_index(0, 1, 16, 16), 1u);
  EXPECT_EQ(pvrtc_block_index(1, 0, 16, 16), 2u);
  EXPECT_EQ(pvrtc_block_index(1, 1, 16, 16), 3u);
  EXPECT_EQ(pvrtc_block_index(2, 0, 16, 16), 8u);
  EXPECT_EQ(pvrtc_block_index(5, 3, 16, 16), 39u);
  // Wider than high: the column's high bits go above the interleaved ones.
  EXPECT_EQ(pvrtc_block_index(13, 2, 16, 4), 54u);
}

// Opaque colours: four blocks of colour B red, green, blue and white at
// full modulation, so the output is image B upscaled with wrap-around.
TEST(PvrtcDecode, OpaqueBlocksUpscaleBilinearlyAndWrap) {
  std::vector<uint8_t> words =
      words_of({{0xFFFFFFFF, 0xFC008000}, {0xFFFFFFFF, 0x801F8000}, {0xFFFFFFFF, 0x83E08000}, {0xFFFFFFFF, 0xFFFF8000}});
  std::vector<uint8_t> rgba(8 * 8 * 4);
  pvrtc_decode_words(words.data(), 8, 8, rgba.data());
  const Texel row0[8] = {{127, 127, 127, 255}, {127, 63, 127, 255}, {127, 0, 127, 255}, {127, 63, 127, 255},
                         {127, 127, 127, 255}, {127, 191, 127, 255}, {127, 255, 127, 255}, {127, 191, 127, 255}};
  const Texel row1[8] = {{127, 127, 63, 255}, {159, 63, 63, 255},  {191, 0, 63, 255},  {159, 63, 63, 255},
                         {127, 127, 63, 255}, {95, 191, 63, 255},  {63, 255, 63, 255}, {95, 191, 63, 255}};
  const Texel row2[8] = {{127, 127, 0, 255}, {191, 63, 0, 255}, {255, 0, 0, 255}, {191, 63, 0, 255},
                         {127, 127, 0, 255}, {63, 191, 0, 255}, {0, 255, 0, 255}, {63, 191, 0, 255}};
  const Texel row6[8] = {{127, 127, 255, 255}, {63, 63, 255, 255},   {0, 0, 255, 255},     {63, 63, 255, 255},
                         {127, 127, 255, 255}, {191, 191, 255, 255}, {255, 255, 255, 255}, {191, 191, 255, 255}};
  const Texel row7[8] = {{127, 127, 191, 255}, {95, 63, 191, 255},   {63, 0, 191, 255},    {95, 63, 191, 255},
                         {127, 127, 191, 255}, {159, 191, 191, 255}, {191, 255, 191, 255}, {159, 191, 191, 255}};
  for (int x = 0; x < 8; ++x) {
    expect_texel(rgba, 8, x, 0, row0[x]);
    expect_texel(rgba, 8, x, 1, row1[x]);
    expect_texel(rgba, 8, x, 2, row2[x]);
    expect_texel(rgba, 8, x, 3, row1[x]);  // symmetric about the samples
    expect_texel(rgba, 8, x, 4, row0[x]);
    expect_texel(rgba, 8, x, 6, row6[x]);
    expect_texel(rgba, 8, x, 7, row7[x]);
  }
}

// Colour A opaque red, colour B translucent (alpha 3, cyan); row y of each
// block uses modulation value y.
TEST(PvrtcDecode, PunchThroughClearsAlphaOfValueTwoOnly) {
  std::vector<uint8_t> words = words_of({{0xFFAA5500, 0x30FFFC01}, {0xFFAA5500, 0x30FFFC01},
                                         {0xFFAA5500, 0x30FFFC01}, {0xFFAA5500, 0x30FFFC01}});
  std::vector<uint8_t> rgba(8 * 8 * 4);
  pvrtc_decode_words(words.data(), 8, 8, rgba.data());
  for (int x : {0, 5}) {
    expect_texel(rgba, 8, x, 0, {255, 0, 0, 255});
    expect_texel(rgba, 8, x, 1, {127, 127, 127, 178});
    expect_texel(rgba, 8, x, 2, {127, 127, 127, 0});
    expect_texel(rgba, 8, x, 3, {0, 255, 255, 102});
  }
}

TEST(PvrtcDecode, StandardModeWeighsThreeAndFiveEighths) {
  std::vector<uint8_t> words = words_of({{0xFFAA5500, 0x30FFFC00}, {0xFFAA5500, 0x30FFFC00},
                                         {0xFFAA5500, 0x30FFFC00}, {0xFFAA5500, 0x30FFFC00}});
  std::vector<uint8_t> rgba(8 * 8 * 4);
  pvrtc_decode_words(words.data(), 8, 8, rgba.data());
  expect_texel(rgba, 8, 0, 0, {255, 0, 0, 255});
  expect_texel(rgba, 8, 0, 1, {159, 95, 95, 197});
  expect_texel(rgba, 8, 0, 2, {95, 159, 159, 159});
  expect_texel(rgba, 8, 0, 3, {0, 255, 255, 102});
}

TEST(PvrtcDecode, TranslucentColourAExpandsItsShortFields) {
  std::vector<uint8_t> words;
  for (int i = 0; i < 4; ++i) {
    auto w = words_of({{0x55555555, 0xD145584C}});
    words.insert(words.end(), w.begin(), w.end());
  }
  std::vector<uint8_t> rgba(8 * 8 * 4);
  pvrtc_decode_words(words.data(), 8, 8, rgba.data());
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) expect_texel(rgba, 8, x, y, {149, 72, 154, 201});
}

TEST(PvrtcDecode, StoredImageWithItsHeader) {
  std::vector<uint8_t> words(8 * 8 / 2 * 4, 0);  // 16 x 16: 16 blocks
  for (size_t i = 0; i < words.size(); i += 8) {
    words[i + 6] = 0xFF;  // colour B white, A black, modulation 0: black
    words[i + 7] = 0xFF;
    words[i + 5] = 0x80;
  }
  std::vector<uint8_t> file = file_of(16, 16, words);
  std::vector<uint8_t> rgba(16 * 16 * 4, 7);
  int w = 0, h = 0;
  ASSERT_EQ(pvrtc_decode(file.data(), file.size(), rgba.data(), rgba.size(), &w, &h), 0);
  EXPECT_EQ(w, 16);
  EXPECT_EQ(h, 16);
  expect_texel(rgba, 16, 15, 15, {0, 0, 0, 255});
}

TEST(PvrtcDecode, RefusesWhatItCannotDecodeWithoutWriting) {
  const std::vector<uint8_t> good = file_of(16, 16, std::vector<uint8_t>(128, 0));
  std::vector<uint8_t> rgba(16 * 16 * 4, 7);
  ASSERT_EQ(pvrtc_decode(good.data(), good.size(), rgba.data(), rgba.size(), nullptr, nullptr), 0);
  auto refused = [&](std::vector<uint8_t> f, size_t capacity, const char *why) {
    std::vector<uint8_t> out(16 * 16 * 4, 7);
    EXPECT_EQ(pvrtc_decode(f.data(), f.size(), out.data(), capacity, nullptr, nullptr), -1) << why;
    EXPECT_EQ(out, std::vector<uint8_t>(16 * 16 * 4, 7)) << why;
  };
  auto with = [&](int field, uint32_t value) {
    std::vector<uint8_t> f = good;
    for (int k = 0; k < 4; ++k) f[4 * field + k] = uint8_t(value >> (8 * k));
    return f;
  };
  refused(with(0, 52), rgba.size(), "a 52-byte header");
  refused(with(4, 0x18), rgba.size(), "2 bits per pixel");
  refused(with(4, 0x8019), rgba.size(), "flags beside the format");
  refused(with(3, 1), rgba.size(), "mip-maps");
  refused(with(6, 2), rgba.size(), "bit count 2");
  refused(with(5, 64), rgba.size(), "data size not width * height / 2");
  refused(with(2, 12), rgba.size(), "a width that is not a power of two");
  refused(with(1, 4), rgba.size(), "a height below 8");
  refused(std::vector<uint8_t>(good.begin(), good.end() - 1), rgba.size(), "a truncated stream");
  refused(std::vector<uint8_t>(good.begin(), good.begin() + 40), rgba.size(), "a truncated header");
  refused(good, rgba.size() - 1, "an output buffer too small");
  EXPECT_EQ(pvrtc_decode(nullptr, 0, rgba.data(), rgba.size(), nullptr, nullptr), -1);
}

}  // namespace
