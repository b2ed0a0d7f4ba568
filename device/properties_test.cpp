#include "device/properties.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "device/fake_acoustic_device_test_fixture.h"

namespace {

TEST(SliderCurve, MirroredShapeGivesTheLevelCurve) {
  EXPECT_DOUBLE_EQ(std::round(slider_to_value(5000, 10000, -10000, 0, -10)), -1000);
  EXPECT_DOUBLE_EQ(slider_to_value(10000, 10000, -10000, 0, -10), 0);
  EXPECT_DOUBLE_EQ(slider_to_value(0, 10000, -10000, 0, -10), -10000);
}

TEST(SliderCurve, SquareAndSteepShapesFollowTheirPowers) {
  EXPECT_DOUBLE_EQ(slider_to_value(1000, 2000, 0, 100, 4), 25.0);
  // Shape 6: t^log2(6); shape 1000: t^log2(1000).
  EXPECT_NEAR(slider_to_value(1000, 2000, 0, 10000, 6), 10000 * std::pow(0.5, std::log2(6.0)), 1e-6);
  EXPECT_NEAR(slider_to_value(2500, 10000, 0, 1e9, 1000), 1e9 * std::pow(0.25, std::log2(1000.0)), 1e-3);
  EXPECT_DOUBLE_EQ(slider_to_value(9900, 9900, 1, 100, 2), 100);
}

TEST(SliderCurve, InverseFindsThePositionBack) {
  EXPECT_EQ(slider_from_value(-1000, 10000, -10000, 0, -10), 5000);
  EXPECT_EQ(slider_from_value(25.0, 2000, 0, 100, 4), 1000);
  for (int32_t p : {0, 1, 77, 1234, 9999, 10000})
    EXPECT_EQ(slider_from_value(slider_to_value(p, 10000, 0, 1e9, 1000), 10000, 0, 1e9, 1000), p) << p;
}

TEST(SliderCurve, ValuesOutsideTheRangeRestAtTheEnds) {
  EXPECT_EQ(slider_from_value(-20000, 10000, -10000, 0, -10), 0);
  EXPECT_EQ(slider_from_value(500, 10000, -10000, 0, 2), 10000);
  EXPECT_EQ(slider_from_value(2e9, 10000, 0, 1e9, 1000), 10000);
}

TEST(SliderText, MaxDistanceScalesToThousandsAndMillions) {
  char text[64];
  max_distance_text(999, text);
  EXPECT_STREQ(text, "999.0");
  max_distance_text(2500, text);
  EXPECT_STREQ(text, "2.50k");
  max_distance_text(2500000, text);
  EXPECT_STREQ(text, "2.5t");
  max_distance_text(1000, text);
  EXPECT_STREQ(text, "1.00k");
}

TEST(SliderText, RowsShowTheirDecimalsOrIntegers) {
  char text[64];
  slider_value_text(slider_row_find("Room"), -1234.4, text);
  EXPECT_STREQ(text, "-1234");
  slider_value_text(slider_row_find("Environment Diffusion"), 0.5, text);
  EXPECT_STREQ(text, "0.500");
  slider_value_text(slider_row_find("Min Distance"), 2.25, text);
  EXPECT_STREQ(text, "2.3");
  slider_value_text(slider_row_find("Max Distance"), 2500, text);
  EXPECT_STREQ(text, "2.50k");
  slider_value_text(slider_row_find("Volume"), -100, text);
  EXPECT_STREQ(text, "");
}

TEST(EnvironmentNames, TwentySixInPublishedOrder) {
  EXPECT_STREQ(environment_name(0), "Generic");
  EXPECT_STREQ(environment_name(5), "Stone Room");
  EXPECT_STREQ(environment_name(11), "Carpeted Hallway");
  EXPECT_STREQ(environment_name(25), "Psychotic");
  EXPECT_EQ(environment_name(26), nullptr);
  EXPECT_EQ(environment_name(-1), nullptr);
}

TEST(Accessors, VoiceAccessorsFollowTheCurrentVoice) {
  fake::Device dev;
  int32_t level = -700;
  current_voice_select(R2);
  voice_volume_set(&level);
  EXPECT_EQ(dev.buffers[R2].volume, -700);
  EXPECT_EQ(dev.buffers[L1].volume, 0);
  int32_t direct = -300;
  eax_voice_set(EAXB_DIRECT, &direct);
  EXPECT_EQ(int32_t(dev.sets[R2].voice[EAXB_DIRECT]), -300);
  current_voice_select(NO_VOICE);
}

TEST(Accessors, WithoutAnInterfaceNothingMovesAndValuesStay) {
  fake::Device dev;
  current_voice_select(NO_VOICE);
  int32_t level = 12345;
  voice_volume_get(&level);
  EXPECT_EQ(level, 12345);
  level = -500;
  voice_volume_set(&level);
  for (auto &b : dev.buffers) EXPECT_EQ(b.volume, 0);
  device_set.propertySets[0] = nullptr;
  float decay = 7.0f;
  eax_listener_get(EAXL_DECAYTIME, &decay);
  EXPECT_EQ(decay, 7.0f);
}

TEST(Accessors, SliderRowsReachTheirProperty) {
  fake::Device dev;
  current_voice_select(L2);
  slider_row_write(slider_row_find("Cone Outside Volume"), -2500.4);
  EXPECT_EQ(dev.buffers3d[L2].outsideVolume, -2500);
  slider_row_write(slider_row_find("Distance Factor"), 25.0);
  EXPECT_EQ(dev.listener.distance, 25.0f);
  double v = 0;
  slider_row_read(slider_row_find("Room"), &v);
  EXPECT_EQ(v, -1000);
  current_voice_select(NO_VOICE);
}

TEST(FogDensity, IsAirAbsorptionOverMinus120) {
  fake::Device dev;
  dev.room.putf(EAXL_AIRABSORPTIONHF, -60.0f);
  fog_density_refresh();
  EXPECT_FLOAT_EQ(fog_density.load(), 0.5f);
}

TEST(ReverbRamp, HalfSecondStepsEndAtTheMinimumTheCardAccepts) {
  fake::Device dev;
  dev.room.putf(EAXL_DECAYTIME, 1.49f);
  dev.room.sets = 0;
  reverb_ramp_down();
  EXPECT_EQ(dev.room.sets, 100);
  EXPECT_FLOAT_EQ(dev.room.getf(EAXL_DECAYTIME), 0.1f);
}

TEST(ReverbRamp, DoesNothingUnlessTheDeviceIsReady) {
  fake::Device dev;
  device_set.stateFlags = DEVICE_VOICES_READY;
  dev.room.sets = 0;
  reverb_ramp_down();
  EXPECT_EQ(dev.room.sets, 0);
}

}  // namespace
