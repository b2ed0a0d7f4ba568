#include "dsp/eq_preset.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string temp_path(const char *name) {
  const char *dir = std::getenv("TMPDIR");
  std::string base = dir ? dir : "/tmp";
#ifdef _WIN32
  base = ".";
#endif
  return base + "/" + name;
}

void write_bytes(const std::string &path, const unsigned char *bytes, size_t n) {
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes, 1, n, f);
  std::fclose(f);
}

TEST(EqPreset, WritesTheLayoutAndReadsItBack) {
  EqSettings s;
  s.preamp = 73;
  for (int i = 0; i < 32; ++i) s.bands[i] = i * 3 - 5;
  std::string path = temp_path("sonorium_preset_test.eq");
  ASSERT_EQ(eq_preset_write(path.c_str(), &s), 0);
  FILE *f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char bytes[200];
  size_t n = std::fread(bytes, 1, sizeof bytes, f);
  std::fclose(f);
  ASSERT_EQ(n, 136u);
  EXPECT_EQ(std::memcmp(bytes, "eq10", 4), 0);
  EXPECT_EQ(bytes[4], 73);
  EXPECT_EQ(bytes[8], 0xFB);  // band 0 = -5, little-endian
  EXPECT_EQ(bytes[11], 0xFF);
  EqSettings back = {0, {0}};
  ASSERT_EQ(eq_preset_read(path.c_str(), &back), 0);
  EXPECT_EQ(std::memcmp(&back, &s, sizeof s), 0);
  std::remove(path.c_str());
}

TEST(EqPreset, MissingFileLeavesSettings) {
  EqSettings s = {42, {7}};
  EXPECT_EQ(eq_preset_read(temp_path("sonorium_no_such.eq").c_str(), &s), -1);
  EXPECT_EQ(s.preamp, 42);
  EXPECT_EQ(s.bands[0], 7);
}

TEST(EqPreset, ShortFileChangesOnlyWholeValuesAndMarkerIsNotChecked) {
  // "xxxx", preamp 9, band 0 = 11, and two bytes of band 1.
  const unsigned char bytes[] = {'x', 'x', 'x', 'x', 9, 0, 0, 0, 11, 0, 0, 0, 0x55, 0x55};
  std::string path = temp_path("sonorium_short.eq");
  write_bytes(path, bytes, sizeof bytes);
  EqSettings s;
  s.preamp = 1;
  for (int i = 0; i < 32; ++i) s.bands[i] = 50;
  ASSERT_EQ(eq_preset_read(path.c_str(), &s), 0);
  EXPECT_EQ(s.preamp, 9);
  EXPECT_EQ(s.bands[0], 11);
  EXPECT_EQ(s.bands[1], 50);
  EXPECT_EQ(s.bands[31], 50);
  std::remove(path.c_str());
}

}  // namespace
