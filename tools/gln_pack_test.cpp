#include "tools/gln_pack.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tools/scene_art.h"
#include "ui/gln.h"
#include "ui/scene.h"

namespace {

std::vector<uint8_t> unpack(const std::vector<uint8_t> &packed, size_t capacity) {
  std::vector<uint8_t> out(capacity + 8, 0xEE);
  long n = gln_unpack(packed.data(), packed.size(), out.data(), capacity);
  EXPECT_GE(n, 0);
  out.resize(n < 0 ? 0 : size_t(n));
  return out;
}

void expect_round_trip(const std::vector<uint8_t> &data, const char *what) {
  std::vector<uint8_t> packed = gln_pack(data.data(), data.size());
  EXPECT_EQ(gln_unpacked_size(packed.data(), packed.size()), long(data.size())) << what;
  EXPECT_EQ(unpack(packed, data.size()), data) << what;
}

TEST(GlnPack, RoundTripsOfAllKinds) {
  expect_round_trip({}, "empty");
  expect_round_trip({42}, "one byte");
  expect_round_trip({1, 1}, "two bytes");
  std::string text = "the quick brown fox jumps over the lazy dog; the lazy dog sleeps";
  expect_round_trip(std::vector<uint8_t>(text.begin(), text.end()), "text");
  std::mt19937 rng(7);
  std::vector<uint8_t> noise(3000);
  for (uint8_t &b : noise) b = uint8_t(rng());
  expect_round_trip(noise, "noise");
  std::vector<uint8_t> few(5000);
  for (uint8_t &b : few) b = uint8_t(rng() % 3);
  expect_round_trip(few, "three symbols");
  // Runs longer than one match can copy.
  expect_round_trip(std::vector<uint8_t>(70000, 0), "a long run");
  // Repeats further back than short matches reach.
  std::vector<uint8_t> far(1200);
  for (size_t i = 0; i < far.size(); ++i) far[i] = uint8_t(i < 600 ? rng() : far[i - 600]);
  expect_round_trip(far, "a distant repeat");
}

TEST(GlnPack, TheSceneModelsShrink) {
  const size_t sizes[4] = {376, 1488, 1488, 1100};
  for (int i = 0; i < SCENE_MODEL_COUNT; ++i) {
    std::vector<uint8_t> model = scene_art_model(i);
    ASSERT_EQ(model.size(), sizes[i]);
    std::vector<uint8_t> packed = gln_pack(model.data(), model.size());
    EXPECT_LT(packed.size(), model.size() / 2) << i;
    EXPECT_EQ(unpack(packed, model.size()), model) << i;
  }
}

TEST(GlnPack, ClassesOfOurOwnChoosing) {
  GlnClasses k = gln_default_classes();
  for (int c = 0; c < 16; ++c) {
    k.bits[c] = uint8_t(2 + c % 8);
    k.base[c] = uint16_t(1 + 3 * c);  // overlapping classes, gaps before some
  }
  std::vector<uint8_t> data;
  for (int i = 0; i < 2000; ++i) data.push_back(uint8_t((i * i) % 7 + (i / 100)));
  std::vector<uint8_t> packed = gln_pack(data.data(), data.size(), k);
  EXPECT_EQ(unpack(packed, data.size()), data);
}

}  // namespace
