#include "engine/settings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Puts the process-wide copies back to their state at load.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { save(); }
  void TearDown() override {
    live_settings = live_;
    applied_settings = applied_;
    dialog_settings = dialog_;
    deviceGuid = device_;
    appliedDeviceGuid = appliedDevice_;
  }
  void save() {
    live_ = live_settings;
    applied_ = applied_settings;
    dialog_ = dialog_settings;
    device_ = deviceGuid;
    appliedDevice_ = appliedDeviceGuid;
  }
  EngineSettings live_, applied_, dialog_;
  GUID device_, appliedDevice_;
};

bool same(const EngineSettings &a, const EngineSettings &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(EngineSettingsDefaults, EveryFieldInOrder) {
  const EngineSettings &d = engine_settings_defaults;
  EXPECT_EQ(d.bufferLengthMs, 1000);
  EXPECT_EQ(d.gapMode, GAP_REMOVE);
  EXPECT_EQ(d.insertGapMs, 2000);
  EXPECT_EQ(d.silenceFlags, 3);
  EXPECT_EQ(d.silenceThreshold, 2048);
  EXPECT_EQ(d.silenceLimitFlags, 1);
  EXPECT_EQ(d.leadingLimitMs, 500);
  EXPECT_EQ(d.trailingLimitMs, 0);
  EXPECT_EQ(d.fadeFlags, 0x7D);
  EXPECT_EQ(d.fadeStartMs, 75);
  EXPECT_EQ(d.fadeEndMs, 250);
  EXPECT_EQ(d.fadeSeekMs, 250);
  EXPECT_EQ(d.fadeStopMs, 250);
  EXPECT_EQ(d.fadeFirstStartMs, 75);
  EXPECT_EQ(d.fadePauseMs, 75);
  EXPECT_EQ(d.interpolation, 1);
  EXPECT_EQ(d.prebufferMs, 350);
  EXPECT_EQ(d.cpuUsageControl, 0);

  // The record is the 18 values in this order, one 32-bit word each.
  const int32_t *words = reinterpret_cast<const int32_t *>(&d);
  EXPECT_EQ(words[0], 1000);
  EXPECT_EQ(words[8], 0x7D);
  EXPECT_EQ(words[15], 1);
  EXPECT_EQ(words[16], 350);
}

TEST(EngineSettingsDefaults, FadeFlagsAreAllButEndOfSong) {
  int32_t f = engine_settings_defaults.fadeFlags;
  EXPECT_TRUE(f & FADE_ON_START);
  EXPECT_TRUE(f & FADE_ON_FIRST_START);
  EXPECT_TRUE(f & FADE_ON_STOP);
  EXPECT_TRUE(f & FADE_ON_PAUSE);
  EXPECT_TRUE(f & FADE_ON_SEEK);
  EXPECT_TRUE(f & FADE_CROSSFADE);
  EXPECT_FALSE(f & FADE_ON_END);
}

TEST_F(SettingsTest, AFreshProcessStartsFromTheDefaults) {
  // No test before this one in the program changes the copies for good.
  EXPECT_TRUE(same(live_, engine_settings_defaults));
  EXPECT_TRUE(same(applied_, engine_settings_defaults));
  EXPECT_TRUE(same(dialog_, engine_settings_defaults));
  EXPECT_EQ(device_, GUID{});
  EXPECT_EQ(appliedDevice_, GUID{});
}

TEST_F(SettingsTest, InitCopiesLiveIntoAppliedAndDialog) {
  live_settings.bufferLengthMs = 2500;
  live_settings.fadeFlags = FADE_ON_END;
  applied_settings.prebufferMs = 1;
  dialog_settings.gapMode = GAP_INSERT;
  deviceGuid = GUID{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};

  settings_init_copies();
  EXPECT_TRUE(same(applied_settings, live_settings));
  EXPECT_TRUE(same(dialog_settings, live_settings));
  EXPECT_EQ(appliedDeviceGuid, deviceGuid);

  // The copies are independent records.
  live_settings.bufferLengthMs = 1000;
  EXPECT_EQ(applied_settings.bufferLengthMs, 2500);
  EXPECT_EQ(dialog_settings.bufferLengthMs, 2500);
  dialog_settings.interpolation = 0;
  EXPECT_EQ(applied_settings.interpolation, 1);
}

}  // namespace
