#include "tools/pvrtc_encode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tools/scene_art.h"
#include "ui/pvrtc.h"

namespace {

std::vector<uint8_t> round_trip(const std::vector<uint8_t> &rgba, int width, int height) {
  std::vector<uint8_t> file = pvrtc_encode_file(rgba.data(), width, height);
  std::vector<uint8_t> back(rgba.size(), 0);
  int w = 0, h = 0;
  EXPECT_EQ(pvrtc_decode(file.data(), file.size(), back.data(), back.size(), &w, &h), 0);
  EXPECT_EQ(w, width);
  EXPECT_EQ(h, height);
  return back;
}

uint32_t colour_word(const std::vector<uint8_t> &file, size_t block) {
  const uint8_t *p = &file[PVR_HEADER_BYTES + 8 * block + 4];
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

TEST(PvrtcEncode, TheViewsTexturesSurviveTheRoundTrip) {
  const double floor_psnr[4] = {35, 31, 29, 40};  // what a person would not call blurred
  for (int i = 0; i < 4; ++i) {
    int side = 0;
    std::vector<uint8_t> art = scene_art_texture(i, &side);
    std::vector<uint8_t> back = round_trip(art, side, side);
    double psnr = rgba_psnr(art.data(), back.data(), size_t(side) * side, false);
    std::printf("texture %d: %dx%d, PSNR %.2f dB\n", i, side, side, psnr);
    EXPECT_GT(psnr, floor_psnr[i]) << i;
    for (size_t k = 3; k < back.size(); k += 4) ASSERT_EQ(back[k], 255) << i;
  }
}

TEST(PvrtcEncode, HeaderAndSmoothGradients) {
  const int n = 32;
  std::vector<uint8_t> img(n * n * 4);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      uint8_t *p = &img[4 * (y * n + x)];
      // Periodic, as the decoder's interpolation wraps at the edges.
      const double k = 2 * 3.14159265358979 / n;
      p[0] = uint8_t(128 + 100 * std::sin(k * x));
      p[1] = uint8_t(128 + 100 * std::cos(k * y));
      p[2] = uint8_t(128 + 60 * std::sin(k * (x + y)));
      p[3] = 255;
    }
  std::vector<uint8_t> file = pvrtc_encode_file(img.data(), n, n);
  ASSERT_EQ(file.size(), 44u + n * n / 2);
  PvrHeader h;
  ASSERT_EQ(pvrtc_read_header(file.data(), file.size(), &h), 0);
  EXPECT_EQ(h.width, uint32_t(n));
  EXPECT_EQ(h.format, 0x19u);
  EXPECT_EQ(h.bitCount, 4u);
  EXPECT_EQ(h.masks[0] | h.masks[1] | h.masks[2] | h.masks[3], 0u);
  std::vector<uint8_t> back = round_trip(img, n, n);
  EXPECT_GT(rgba_psnr(img.data(), back.data(), n * n, true), 36);
}

// Alpha goes into colour A or into punch-through blocks; colour B is
// always opaque, where published decoders agree.
TEST(PvrtcEncode, TransparencyKeepsColourBOpaque) {
  const int n = 32;
  std::vector<uint8_t> img(n * n * 4);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      uint8_t *p = &img[4 * (y * n + x)];
      bool hole = (x / 4 + y / 4) % 3 == 0 && x % 4 < 2;  // transparent texels in some blocks
      p[0] = 200;
      p[1] = uint8_t(100 + x);
      p[2] = 40;
      p[3] = hole ? 0 : y < 16 ? 255 : uint8_t(64 + 4 * x);  // lower half translucent
    }
  std::vector<uint8_t> file = pvrtc_encode_file(img.data(), n, n);
  for (size_t b = 0; b < size_t(n / 4) * (n / 4); ++b) EXPECT_TRUE(colour_word(file, b) & 0x80000000u) << b;
  std::vector<uint8_t> back = round_trip(img, n, n);
  for (int i = 0; i < n * n; ++i) {
    if (img[4 * i + 3] == 0) ASSERT_EQ(back[4 * i + 3], 0) << i;
    else
      ASSERT_GT(back[4 * i + 3], 0) << i;
  }
  // The translucent half stays near its alpha.
  double err = 0;
  int count = 0;
  for (int i = n * n / 2; i < n * n; ++i)
    if (img[4 * i + 3]) {
      err += std::fabs(double(back[4 * i + 3]) - img[4 * i + 3]);
      ++count;
    }
  EXPECT_LT(err / count, 20);
}

TEST(RgbaPsnr, IdenticalAndKnownError) {
  std::vector<uint8_t> a(16, 100), b(16, 100);
  EXPECT_EQ(rgba_psnr(a.data(), b.data(), 4, true), 99.0);
  b[0] = 110;  // one channel of 12 off by 10: MSE 100/12
  EXPECT_NEAR(rgba_psnr(a.data(), b.data(), 4, false), 10 * std::log10(255.0 * 255 * 12 / 100), 1e-9);
}

}  // namespace
