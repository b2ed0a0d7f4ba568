// The equalizer window's rules: labels, slider directions, the preamp
// slider's two modes, selection bars and highlight styles.
#include "dsp/eq_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "dsp/eq_preset.h"

namespace {

// Restores the process-wide state a test changes.
class EqWindow : public ::testing::Test {
 protected:
  EqSettings saved_settings = eq_settings;
  int32_t saved_mode = eq_preamp_mode;
  int32_t saved_reference = eq_scale_reference;
  void TearDown() override {
    eq_settings = saved_settings;
    eq_preamp_mode = saved_mode;
    eq_scale_reference = saved_reference;
  }
};

TEST(EqLabels, AllThirtyTwoBandsReadAsOnTheWindow) {
  const char *expected[EQ_BANDS] = {"47",   "94",   "141",  "188",  "281",  "422",  "562",  "750",
                                    "1.0k", "1.3k", "1.6k", "1.9k", "2.3k", "2.7k", "3.2k", "3.8k",
                                    "4.3k", "4.9k", "5.4k", "6.0k", "6.7k", "7.3k", "8.0k", "8.7k",
                                    "9.6k", "11k",  "12k",  "13k",  "15k",  "17k",  "20k",  "24k"};
  for (int band = 0; band < EQ_BANDS; ++band) {
    char label[EQ_LABEL_MAX];
    eq_band_label(band, label);
    EXPECT_STREQ(label, expected[band]) << "band " << band;
  }
  char label[EQ_LABEL_MAX] = "x";
  eq_band_label(EQ_BANDS, label);
  EXPECT_STREQ(label, "");
  eq_band_label(-1, label);
  EXPECT_STREQ(label, "");
}

TEST(EqSliders, RunUpsideDownWithTheBandBarBelowTheThumb) {
  EXPECT_EQ(eq_slider_position(100), 0);
  EXPECT_EQ(eq_slider_position(0), 100);
  EXPECT_EQ(eq_slider_value(30), 70);
  EqSelection bar = eq_band_selection(30);
  EXPECT_EQ(bar.start, 30);
  EXPECT_EQ(bar.end, 100);
}

TEST(EqSliders, PreampBarMarksTheGainAboveOneTimes) {
  struct {
    int32_t preamp;
    int end;
  } rows[] = {
      {100, 50},  // 2x: half way
      {50, 0},    // 1x: nothing
      {51, 2},    // 100 - 98.04
      {80, 38},   // 37.5, ties to even
      {75, 33},   // 33.3
      {0, 0},     // no division by zero
      {-20, 0},   // a preset file out of range
      {1000, 95}, // above the range still inside the slider
  };
  for (const auto &r : rows) {
    EqSelection bar = eq_preamp_selection(r.preamp);
    EXPECT_EQ(bar.start, 0) << r.preamp;
    EXPECT_EQ(bar.end, r.end) << r.preamp;
  }
}

TEST_F(EqWindow, ScaleFromCentreToTopAddsSixtyThreeAndClampedBandsDoNotReturn) {
  EXPECT_EQ(eq_scale_value(50), 50);
  EXPECT_EQ(eq_scale_value(0), -13);  // arithmetic shift: -62.5 goes down
  EXPECT_EQ(eq_scale_value(100), 112);
  EXPECT_EQ(eq_scale_value(49), 48);  // -1.25 goes down to -2
  EqSettings s{};
  for (int i = 0; i < EQ_BANDS; ++i) s.bands[i] = i * 3;  // 0 .. 93
  EqSettings before = s;
  int32_t reference = 50;
  EXPECT_EQ(eq_scale_move(&s, &reference, 0), 63);
  EXPECT_EQ(reference, -13);
  for (int i = 0; i < EQ_BANDS; ++i) EXPECT_EQ(s.bands[i], std::min(before.bands[i] + 63, 100)) << i;
  EXPECT_EQ(eq_scale_move(&s, &reference, 50), -63);
  EXPECT_EQ(reference, 50);
  for (int i = 0; i < EQ_BANDS; ++i) {
    int expected = std::min(before.bands[i] + 63, 100) - 63;
    EXPECT_EQ(s.bands[i], expected) << i;
  }
  // Band 31 was 93, went to 100 and came back to 37.
  EXPECT_EQ(s.bands[31], 37);
  EXPECT_EQ(s.bands[0], 0);
  // To the bottom: 62 down, clamped at 0 band by band.
  EXPECT_EQ(eq_scale_move(&s, &reference, 100), -62);
  for (int i = 0; i < EQ_BANDS; ++i) EXPECT_GE(s.bands[i], 0);
  EXPECT_EQ(s.bands[31], 0);
  // The preamp is not a band.
  EXPECT_EQ(s.preamp, before.preamp);
}

TEST_F(EqWindow, ScaleMoveToTheSamePlaceChangesNothing) {
  EqSettings s{};
  for (int i = 0; i < EQ_BANDS; ++i) s.bands[i] = 40;
  int32_t reference = 50;
  EXPECT_EQ(eq_scale_move(&s, &reference, 50), 0);
  for (int v : s.bands) EXPECT_EQ(v, 40);
  // Small steps add up to the same as one jump.
  for (int p = 49; p >= 30; --p) eq_scale_move(&s, &reference, p);
  EqSettings t{};
  for (int i = 0; i < EQ_BANDS; ++i) t.bands[i] = 40;
  int32_t r2 = 50;
  eq_scale_move(&t, &r2, 30);
  for (int i = 0; i < EQ_BANDS; ++i) EXPECT_EQ(s.bands[i], t.bands[i]);
}

TEST_F(EqWindow, PreampSetupPerModeAndTheStyleBitsEachModeSets) {
  eq_settings.preamp = 80;
  eq_preamp_mode = EQ_MODE_PREAMP;
  eq_scale_reference = 7;
  EqPreampView v = eq_preamp_setup();
  EXPECT_STREQ(v.label, "preamp");
  EXPECT_EQ(v.position, 20);
  EXPECT_TRUE(v.selection);
  EXPECT_EQ(v.selected.end, 38);
  EXPECT_EQ(eq_scale_reference, 50);
  EXPECT_EQ(eq_preamp_mode_toggle(), EQ_MODE_SCALE);
  v = eq_preamp_setup();
  EXPECT_STREQ(v.label, "scale");
  EXPECT_EQ(v.position, 50);
  EXPECT_FALSE(v.selection);
  EXPECT_EQ(eq_preamp_mode_toggle(), EQ_MODE_PREAMP);

  // Vertical trackbar without ticks and with a selection range; other bits kept.
  const uint32_t base = 0x50010000u | 0x2u | 0x30u;
  EXPECT_EQ(eq_preamp_style(base, EQ_MODE_SCALE), 0x50010000u | 0x2u | 0x18u);
  EXPECT_EQ(eq_preamp_style(eq_preamp_style(base, EQ_MODE_SCALE), EQ_MODE_PREAMP), base);
}

TEST_F(EqWindow, LoadingInScaleModeRecentresWithoutChangingABand) {
  eq_preamp_mode = EQ_MODE_SCALE;
  for (int i = 0; i < EQ_BANDS; ++i) eq_settings.bands[i] = 50;
  eq_scale_reference = 50;
  eq_scale_move(&eq_settings, &eq_scale_reference, 10);  // slider moved up
  EqSettings file{};
  file.preamp = 64;
  for (int i = 0; i < EQ_BANDS; ++i) file.bands[i] = 100 - i * 3;
  std::string path = ::testing::TempDir() + "sonorium_eq_window_load.eq";
  ASSERT_EQ(eq_preset_write(path.c_str(), &file), 0);
  ASSERT_EQ(eq_preset_read(path.c_str(), &eq_settings), 0);
  std::remove(path.c_str());
  EqPreampView v = eq_preamp_setup();
  EXPECT_EQ(v.position, 50);
  EXPECT_EQ(eq_scale_reference, 50);
  for (int i = 0; i < EQ_BANDS; ++i) EXPECT_EQ(eq_settings.bands[i], file.bands[i]);
  // The next move starts from the centre, not from where the slider was.
  eq_scale_move(&eq_settings, &eq_scale_reference, 50);
  for (int i = 0; i < EQ_BANDS; ++i) EXPECT_EQ(eq_settings.bands[i], file.bands[i]);
  EXPECT_EQ(eq_settings.preamp, 64);
}

TEST_F(EqWindow, HighlightTogglesTheSliderRangeBitAndTheLabelMark) {
  uint8_t saved[EQ_BANDS];
  std::copy(eq_band_highlight, eq_band_highlight + EQ_BANDS, saved);
  EXPECT_FALSE(eq_band_highlight_toggle(3));
  EXPECT_TRUE(eq_band_highlight_toggle(3));
  EXPECT_FALSE(eq_band_highlight_toggle(EQ_BANDS));
  std::copy(saved, saved + EQ_BANDS, eq_band_highlight);

  const uint32_t slider = 0x50010000u | 0x2u | 0x10u;
  EXPECT_EQ(eq_band_slider_style(slider, true), slider | 0x20u);
  EXPECT_EQ(eq_band_slider_style(slider | 0x20u, false), slider);
  const uint32_t label = 0x4u;
  EXPECT_EQ(eq_band_label_exstyle(label, false), label | 0x10u);
  EXPECT_EQ(eq_band_label_exstyle(label | 0x10u, true), label);
}

}  // namespace
