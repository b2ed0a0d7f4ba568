#include "engine/settings_dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/engine.h"

namespace {

std::string row(const EngineSettings &s, int r) {
  char text[64];
  fade_row_text(text, s, r);
  return text;
}

TEST(SettingsDialogBuffering, BufferTrackbarIsLogarithmicFrom200To20000Ms) {
  EXPECT_EQ(buffer_ms_from_position(0), 200);
  EXPECT_EQ(buffer_ms_from_position(4000), 20000);
  EXPECT_EQ(buffer_ms_from_position(1398), 1000);
  EXPECT_EQ(buffer_ms_from_position(2000), 2000);
  EXPECT_EQ(buffer_position_from_ms(1000), 1398);
  EXPECT_EQ(buffer_position_from_ms(20000), 4000);
  // Out-of-range values land on the ends instead of outside the track.
  EXPECT_EQ(buffer_position_from_ms(50), 0);
  EXPECT_EQ(buffer_position_from_ms(100000), 4000);
  EXPECT_EQ(buffer_ms_from_position(-5), 200);
  EXPECT_EQ(buffer_ms_from_position(9999), 20000);
  // Lengths grow with the position, and a length set from outside comes back
  // from the track within half a step (0.06 %) and the rounding to whole ms.
  for (int p = 1; p <= 4000; ++p) EXPECT_GE(buffer_ms_from_position(p), buffer_ms_from_position(p - 1)) << p;
  for (int ms = 200; ms <= 20000; ++ms)
    EXPECT_NEAR(buffer_ms_from_position(buffer_position_from_ms(ms)), ms, ms * 0.0006 + 1) << ms;
}

TEST(SettingsDialogBuffering, PrebufferFollowsTheBufferLength) {
  EXPECT_EQ(prebuffer_max(20000), 13000);
  EXPECT_EQ(prebuffer_page(20000), 1300);
  EXPECT_EQ(prebuffer_max(1000), 650);
  EXPECT_EQ(prebuffer_max(200), 130);
  char text[64];
  prebuffer_text(text, 350, 1000);
  EXPECT_STREQ(text, "350 ms (35%)");
  prebuffer_text(text, 13000, 20000);
  EXPECT_STREQ(text, "13000 ms (65%)");
  prebuffer_text(text, 1, 200);
  EXPECT_STREQ(text, "1 ms (1%)");  // 0.5 % rounds up
  buffer_text(text, 20000);
  EXPECT_STREQ(text, "20000 ms");
}

TEST(SettingsDialogFading, RowsLineTheTimesUpWithTabRuns) {
  EngineSettings s = engine_settings_defaults;
  EXPECT_EQ(row(s, 0), "on start\t\t\t\t75 ms");
  EXPECT_EQ(row(s, 3), "on stop\t\t\t250 ms");
  EXPECT_EQ(row(s, 2), "on end of song\t (disabled)");
  s.fadeStartMs = 5;
  EXPECT_EQ(row(s, 0), "on start\t\t\t\t\t5 ms");
  s.fadeStartMs = 10;
  EXPECT_EQ(row(s, 0), "on start\t\t\t\t10 ms");
  s.fadeStartMs = 1000;
  EXPECT_EQ(row(s, 0), "on start\t\t1000 ms");
  s.fadeStartMs = 20000;
  EXPECT_EQ(row(s, 0), "on start\t20000 ms");
  s.fadeFlags &= ~FADE_ON_PAUSE;
  EXPECT_EQ(row(s, 4), "on pause\t (disabled)");
  char text[64];
  fade_group_text(text, 5);
  EXPECT_STREQ(text, "Fade on seek settings");
}

TEST(SettingsDialogGaps, ThresholdSliderInDecibels) {
  EXPECT_EQ(threshold_position_from_value(2048), 533);
  EXPECT_EQ(threshold_position_from_value(32767), 0);
  EXPECT_EQ(threshold_position_from_value(1), 2000);
  EXPECT_EQ(threshold_position_from_value(0), 2000);
  char text[32];
  threshold_text(text, 2000);
  EXPECT_STREQ(text, "-90.31 dB");
  threshold_text(text, 533);
  EXPECT_STREQ(text, "-24.07 dB");
  // Position 0 is shown as one step below full scale, and stored so.
  threshold_text(text, 0);
  EXPECT_STREQ(text, "-0.05 dB");
  EXPECT_EQ(threshold_value_from_position(0), 32597);
  // The stored value is the level the label shows: the default sits a few
  // LSB off 2048 after a round trip through the slider.
  EXPECT_NEAR(threshold_value_from_position(533), 2048, 8);
  EXPECT_EQ(threshold_value_from_position(2000), 1);
  EXPECT_FALSE(insert_gap_controls_enabled(GAP_REMOVE));
  EXPECT_TRUE(insert_gap_controls_enabled(GAP_INSERT));
}

TEST(SettingsDialogReset, RestoresOnlyTheCurrentPage) {
  EngineSettings s = engine_settings_defaults;
  GUID device = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  s.fadeFlags = 0x02;
  s.fadeStopMs = 1234;
  s.bufferLengthMs = 5000;
  s.gapMode = GAP_INSERT;
  EXPECT_TRUE(settings_reset_page(SETTINGS_PAGE_FADING, &s, &device, engine_settings_defaults));
  EXPECT_EQ(s.fadeFlags, 0x7D);
  EXPECT_EQ(s.fadeStopMs, 250);
  EXPECT_EQ(s.bufferLengthMs, 5000) << "the Buffering page keeps its edit";
  EXPECT_EQ(s.gapMode, GAP_INSERT) << "the Gap page keeps its edit";
  EXPECT_NE(device, GUID{});
  EXPECT_FALSE(settings_reset_page(SETTINGS_PAGE_DEVICE, &s, &device, engine_settings_defaults));
  EXPECT_EQ(device, GUID{});
  EXPECT_EQ(s.bufferLengthMs, 5000);
  settings_reset_page(SETTINGS_PAGE_BUFFERING, &s, &device, engine_settings_defaults);
  EXPECT_EQ(s.bufferLengthMs, 1000);
  settings_reset_page(SETTINGS_PAGE_GAPS, &s, &device, engine_settings_defaults);
  EXPECT_EQ(s.gapMode, GAP_REMOVE);
}

TEST(SettingsDialogCommit, ImmediateFieldsGoLiveTheOthersWaitForTheReconfigure) {
  live_settings = applied_settings = engine_settings_defaults;
  deviceGuid = appliedDeviceGuid = GUID{};
  engine_reconfigure_request = 0;
  EngineSettings s = engine_settings_defaults;
  GUID device = {7, 0, 0, {0}};
  s.bufferLengthMs = 2000;
  s.gapMode = GAP_INSERT;
  s.silenceFlags = 1;
  s.fadeFlags = 0x3F;
  s.interpolation = 0;
  s.insertGapMs = 1500;
  s.silenceThreshold = 100;
  s.silenceLimitFlags = 3;
  s.leadingLimitMs = 10;
  s.trailingLimitMs = 20;
  s.fadeStartMs = 1;
  s.fadeEndMs = 2;
  s.fadeSeekMs = 3;
  s.fadeStopMs = 4;
  s.fadeFirstStartMs = 5;
  s.fadePauseMs = 6;
  s.prebufferMs = 700;
  s.cpuUsageControl = 1;
  settings_commit(s, device);
  EXPECT_EQ(0, memcmp(&applied_settings, &s, sizeof s));
  EXPECT_EQ(appliedDeviceGuid, device);
  EXPECT_EQ(1, engine_reconfigure_request.load());
  const EngineSettings &live = live_settings;
  EXPECT_EQ(live.bufferLengthMs, 1000);
  EXPECT_EQ(live.gapMode, GAP_REMOVE);
  EXPECT_EQ(live.silenceFlags, 3);
  EXPECT_EQ(live.fadeFlags, 0x7D);
  EXPECT_EQ(live.interpolation, 1);
  EXPECT_EQ(deviceGuid, GUID{});
  EXPECT_EQ(live.insertGapMs, 1500);
  EXPECT_EQ(live.silenceThreshold, 100);
  EXPECT_EQ(live.silenceLimitFlags, 3);
  EXPECT_EQ(live.leadingLimitMs, 10);
  EXPECT_EQ(live.trailingLimitMs, 20);
  EXPECT_EQ(live.fadeStartMs, 1);
  EXPECT_EQ(live.fadeEndMs, 2);
  EXPECT_EQ(live.fadeSeekMs, 3);
  EXPECT_EQ(live.fadeStopMs, 4);
  EXPECT_EQ(live.fadeFirstStartMs, 5);
  EXPECT_EQ(live.fadePauseMs, 6);
  EXPECT_EQ(live.prebufferMs, 700);
  EXPECT_EQ(live.cpuUsageControl, 1);
  live_settings = applied_settings = engine_settings_defaults;
  deviceGuid = appliedDeviceGuid = GUID{};
  engine_reconfigure_request = 0;
}

}  // namespace
