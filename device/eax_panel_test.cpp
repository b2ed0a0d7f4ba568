// The EAX panel's rules against a device double: tabs and voices, slider
// rows, the volume row, the flag boxes, the enable rules and the help texts.
#include "device/eax_panel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "device/fake_acoustic_device_test_fixture.h"
#include "resources/resource_ids.h"

namespace {

TEST(PanelTabs, SelectingRemembersTheTabAndPointsTheCurrentVoice) {
  panel_tab_select(PANEL_TAB_R2);
  EXPECT_EQ(panel_selected_tab, PANEL_TAB_R2);
  EXPECT_EQ(current_voice_get(), R2);
  panel_tab_select(PANEL_TAB_ABOUT);
  EXPECT_EQ(current_voice_get(), NO_VOICE);
  panel_tab_select(PANEL_TAB_L1);
  EXPECT_EQ(current_voice_get(), L1);
  panel_tab_select(PANEL_TAB_LISTENER);
  EXPECT_EQ(current_voice_get(), NO_VOICE);
  // A stray index (a tab control answering -1) falls back to the first tab.
  panel_tab_select(-1);
  EXPECT_EQ(panel_selected_tab, 0);
  panel_tab_select(7);
  EXPECT_EQ(panel_selected_tab, 0);
  EXPECT_EQ(current_voice_get(), NO_VOICE);
}

// Which property each value box drives, by the label the template gives it.
TEST(PanelRows, EachValueBoxDrivesItsProperty) {
  struct Expect {
    int id;
    const char *row;
  };
  const Expect listener[] = {{1202, "Environment Size"}, {1205, "Environment Diffusion"}, {1257, "Room Rolloff"},
                             {1260, "Air Absorption HF"}, {1221, "Rolloff Factor"},      {1224, "Distance Factor"},
                             {1227, "Reverb"},            {1230, "Reverb Delay"},        {1235, "Reflections"},
                             {1238, "Reflections Delay"}, {1243, "Decay Time"},          {1246, "Decay HF Ratio"},
                             {1251, "Room"},              {1254, "Room HF"}};
  const Expect channel[] = {{1318, "Min Distance"},         {1321, "Max Distance"},
                            {1328, "Cone Outside Volume"},  {1362, "Room Rolloff Factor"},
                            {1365, "Air Absorption Factor"}, {1368, "Outside Volume HF"},
                            {1331, "Direct"},               {1334, "Direct HF"},
                            {1338, "Voice Room"},           {1341, "Voice Room HF"},
                            {1346, "Obstruction"},          {1349, "Obstruction LF Ratio"},
                            {1353, "Occlusion"},            {1356, "Occlusion LF Ratio"},
                            {1359, "Occlusion Room Ratio"}};
  for (const Expect &e : listener) {
    const PanelRow *r = panel_row_by_slider(0, e.id + 1);
    ASSERT_NE(r, nullptr) << e.id;
    EXPECT_STREQ(r->row->name, e.row);
    EXPECT_EQ(r->row->voicePage, 0);
    EXPECT_EQ(panel_row_by_slider(1, e.id + 1), nullptr);
  }
  for (const Expect &e : channel) {
    const PanelRow *r = panel_row_by_slider(1, e.id + 1);
    ASSERT_NE(r, nullptr) << e.id;
    EXPECT_STREQ(r->row->name, e.row);
    EXPECT_EQ(r->row->voicePage, 1);
  }
  // The volume trackbar has no value box and is not a row of the table.
  EXPECT_EQ(panel_row_by_slider(1, IDC_VOICE_VOLUME_SLIDER), nullptr);
  EXPECT_STREQ(panel_volume_row->name, "Volume");
}

TEST(PanelRows, PositionsValuesAndTextsAtTheEndsAndBetween) {
  fake::Device dev;
  char text[32];
  const SliderRow *distance = panel_row_by_slider(0, 1225)->row;
  EXPECT_DOUBLE_EQ(panel_row_moved(distance, 1000, text), 25.0);
  EXPECT_STREQ(text, "25.00");
  EXPECT_EQ(dev.listener.distance, 25.0f);

  const SliderRow *size = panel_size_row->row;
  EXPECT_NEAR(panel_row_moved(size, 1400, text), 15.0, 1e-9);
  EXPECT_STREQ(text, "15.00");
  EXPECT_NEAR(panel_row_value(size, 0), 1.0, 1e-9);
  EXPECT_NEAR(panel_row_value(size, 9900), 100.0, 1e-9);

  // Integer rows round to whole mB: 1 position of Reflections is exactly
  // 1 mB, and the text has no decimals.
  const SliderRow *reflections = panel_row_by_slider(0, 1236)->row;
  EXPECT_EQ(panel_row_moved(reflections, 7398, text), -2602);
  EXPECT_STREQ(text, "-2602");
  EXPECT_EQ(dev.room.geti(EAXL_REFLECTIONS), -2602);

  current_voice_select(R1);
  const SliderRow *max_distance = panel_row_by_slider(1, 1322)->row;
  panel_row_moved(max_distance, 10000, text);
  EXPECT_STREQ(text, "1000.0t");
  EXPECT_EQ(dev.buffers3d[R1].maxDistance, 1e9f);
  const SliderRow *cone = panel_row_by_slider(1, 1329)->row;
  EXPECT_EQ(panel_row_moved(cone, 5000, text), -1000);
  EXPECT_STREQ(text, "-1000");
  EXPECT_EQ(dev.buffers3d[R1].outsideVolume, -1000);
  current_voice_select(NO_VOICE);
}

// Every row placed from a value the device holds shows that value and puts
// the trackbar where moving it there would have put it.
TEST(PanelRows, ReadingBackFindsThePositionThatWasSet) {
  fake::Device dev;
  current_voice_select(L2);
  for (const PanelRow *rows : {listener_rows, channel_rows}) {
    int count = rows == listener_rows ? LISTENER_ROW_COUNT : CHANNEL_ROW_COUNT;
    for (int i = 0; i < count; ++i) {
      const SliderRow *row = rows[i].row;
      for (int32_t p : {0, row->n / 3, row->n / 2, row->n}) {
        char moved[32], read[32];
        panel_row_moved(row, p, moved);
        int32_t back = panel_row_read(row, 0, read);
        EXPECT_STREQ(read, moved) << row->name << " at " << p;
        // Integer rows round, and steep curves crowd values at one end;
        // the position found must give the same value again.
        char again[32];
        slider_value_text(row, panel_row_value(row, back), again);
        EXPECT_STREQ(again, moved) << row->name << " at " << p;
      }
    }
  }
  current_voice_select(NO_VOICE);
}

TEST(PanelRows, AValueTheDeviceRefusesIsNotShownAsSet) {
  fake::Device dev;
  char text[32];
  const SliderRow *distance = panel_row_by_slider(0, IDC_LISTENER_DISTANCE_FACTOR_SLIDER)->row;
  panel_row_moved(distance, 1000, text);
  ASSERT_STREQ(text, "25.00");
  // DirectSound refuses a distance factor of 0 and keeps the old one.
  EXPECT_DOUBLE_EQ(panel_row_moved(distance, 0, text), 25.0);
  EXPECT_STREQ(text, "25.00");
  EXPECT_EQ(dev.listener.distance, 25.0f);
}

TEST(PanelRows, ASilentDeviceLeavesTheTrackbarWhereItIs) {
  // No device at all: the read finds nothing and keeps the position.
  current_voice_select(L1);
  char text[32];
  const SliderRow *direct = panel_row_by_slider(1, 1332)->row;
  EXPECT_EQ(panel_row_read(direct, 4321, text), 4321);
  EXPECT_STREQ(text, "-5679");
  current_voice_select(NO_VOICE);
}

TEST(PanelRows, SizeRescalesExactlyTheRowsWhoseScaleBitIsSet) {
  const PanelRow *rows[5];
  ASSERT_EQ(panel_rows_rescaled(0x3F, rows), 5);
  std::set<int> ids;
  for (const PanelRow *r : rows) ids.insert(r->valueId);
  EXPECT_EQ(ids, (std::set<int>{1243, 1235, 1238, 1227, 1230}));
  ASSERT_EQ(panel_rows_rescaled(EAXL_FLAG_SCALE_DECAYTIME, rows), 1);
  EXPECT_EQ(rows[0]->valueId, IDC_LISTENER_DECAY_TIME_VALUE);
  ASSERT_EQ(panel_rows_rescaled(EAXL_FLAG_SCALE_REVERBDELAY | EAXL_FLAG_SCALE_REFLECTIONS, rows), 2);
  EXPECT_EQ(rows[0]->valueId, IDC_LISTENER_REFLECTIONS_VALUE);
  EXPECT_EQ(rows[1]->valueId, IDC_LISTENER_REVERB_DELAY_VALUE);
  EXPECT_EQ(panel_rows_rescaled(EAXL_FLAG_DECAYHFLIMIT, rows), 0);
}

TEST(PanelVolume, MiddleIsHalfAndMinus1000EndIsFullAndZero) {
  char text[32];
  panel_volume_text(5000, text);
  EXPECT_STREQ(text, "Volume 50%");
  EXPECT_EQ(panel_volume_mb(5000), -1000);
  panel_volume_text(10000, text);
  EXPECT_STREQ(text, "Volume 100%");
  EXPECT_EQ(panel_volume_mb(10000), 0);
  panel_volume_text(0, text);
  EXPECT_STREQ(text, "Volume 0%");
  EXPECT_EQ(panel_volume_mb(0), -10000);
  // Integer division: one step short of the end is still 99 %.
  panel_volume_text(9999, text);
  EXPECT_STREQ(text, "Volume 99%");
  EXPECT_EQ(panel_volume_position(-1000), 5000);
  EXPECT_EQ(panel_volume_position(0), 10000);
  EXPECT_EQ(panel_volume_position(-10000), 0);
}

TEST(PanelVolume, TheTrackbarSetsTheCurrentVoiceOnly) {
  fake::Device dev;
  current_voice_select(R2);
  char text[32];
  panel_row_moved(panel_volume_row, 5000, text);
  EXPECT_EQ(dev.buffers[R2].volume, -1000);
  EXPECT_EQ(dev.buffers[L1].volume, 0);
  EXPECT_STREQ(text, "");
  current_voice_select(NO_VOICE);
}

TEST(PanelFlags, AClickFlipsTheDevicesBitWhateverTheBoxShowed) {
  fake::Device dev;
  // Another part cleared "Scale Reverb" while the box still showed it set.
  dev.room.put(EAXL_FLAGS, 0x3F & ~EAXL_FLAG_SCALE_REVERB);
  uint32_t now = panel_listener_flag_toggle(EAXL_FLAG_SCALE_REVERB);
  EXPECT_EQ(now, 0x3Fu);
  EXPECT_EQ(dev.room.value[EAXL_FLAGS], 0x3Fu);
  now = panel_listener_flag_toggle(EAXL_FLAG_DECAYHFLIMIT);
  EXPECT_EQ(now, 0x1Fu);

  current_voice_select(L2);
  dev.sets[L2].voice[EAXB_FLAGS] = 0x07;
  EXPECT_EQ(panel_voice_flag_toggle(EAXB_FLAG_ROOMAUTO), 0x05u);
  EXPECT_EQ(dev.sets[L2].voice[EAXB_FLAGS], 0x05u);
  EXPECT_EQ(dev.sets[L1].voice[EAXB_FLAGS], 0u);
  current_voice_select(NO_VOICE);
  // No voice: nothing is written and nothing reads back.
  EXPECT_EQ(panel_voice_flag_toggle(EAXB_FLAG_ROOMAUTO), 0u);
}

TEST(PanelEnable, ListenerPageFollowsVoicesForDs3dAndDeviceForEax) {
  for (int ready = 0; ready < 2; ++ready) {
    for (int voices = 0; voices < 2; ++voices) {
      for (int id = 1200; id <= 1262; ++id) {
        PanelEnable e = panel_listener_enable(id, ready != 0, voices != 0);
        PanelEnable on_off_dev = ready ? PANEL_ENABLE : PANEL_DISABLE;
        PanelEnable on_off_voices = voices ? PANEL_ENABLE : PANEL_DISABLE;
        if (id >= 1208 && id <= 1220)
          EXPECT_EQ(e, PANEL_DISABLE) << id;
        else if (id >= 1221 && id <= 1226)
          EXPECT_EQ(e, on_off_voices) << id;
        else
          EXPECT_EQ(e, on_off_dev) << id;
      }
    }
  }
  EXPECT_EQ(panel_listener_enable(IDC_STATIC, true, true), PANEL_LEAVE);
  EXPECT_TRUE(panel_listener_kept_empty(IDC_LISTENER_X));
  EXPECT_TRUE(panel_listener_kept_empty(IDC_LISTENER_ORIENTATION_3));
  EXPECT_FALSE(panel_listener_kept_empty(IDC_LISTENER_ROLLOFF_FACTOR_VALUE));
}

TEST(PanelEnable, ChannelPageKeepsPoseConesAndVolumeLabelDisabled) {
  for (int ready = 0; ready < 2; ++ready) {
    for (int voices = 0; voices < 2; ++voices) {
      for (int id = 1300; id <= 1370; ++id) {
        PanelEnable e = panel_channel_enable(id, ready != 0, voices != 0);
        bool kept = (id >= 1300 && id <= 1312) || (id >= 1324 && id <= 1327) || id == 1316;
        if (kept)
          EXPECT_EQ(e, PANEL_DISABLE) << id;
        else if (id <= 1330)
          EXPECT_EQ(e, voices ? PANEL_ENABLE : PANEL_DISABLE) << id;
        else
          EXPECT_EQ(e, ready ? PANEL_ENABLE : PANEL_DISABLE) << id;
      }
    }
  }
  EXPECT_EQ(panel_channel_enable(IDC_STATIC, false, false), PANEL_LEAVE);
  // The volume trackbar needs only the voice buffers, not EAX.
  EXPECT_EQ(panel_channel_enable(IDC_VOICE_VOLUME_SLIDER, false, true), PANEL_ENABLE);
}

TEST(PanelHelp, EveryControlHasAParagraphBeginningWithItsOpeningWords) {
  const std::pair<int, const char *> opening[] = {
      {1202, "Sets the apparent size of the surrounding"},
      {1205, "Controls the echo density in the reverberation decay."},
      {1251, "The Room property is the master volume control"},
      {1254, "The Room HF property further tweaks reflected sound"},
      {1243, "Sets the reverberation decay time."},
      {1246, "Sets the spectral quality of Decay Time."},
      {1235, "Controls the overall amount of initial reflections"},
      {1238, "The Reflections Delay property is the amount of delay"},
      {1227, "Controls the overall amount of later reverberation"},
      {1230, "The Reverb Delay property defines the begin time"},
      {1257, "The Room Rolloff property is one of two methods"},
      {1260, "Controls the distance-dependent attenuation at high frequencies"},
      {1221, "Rolloff is the amount of attenuation"},
      {1224, "The distance factor is the number of meters in a vector unit."},
      {1250, "If this is checked, high-frequency decay time automatically stays below a limit value"},
      {1331, "Applies a relative correction to this sound source's direct-path intensity."},
      {1334, "Applies a relative correction to the high-frequency component"},
      {1338, "The Room property is the volume control for reflected sound"},
      {1341, "Controls a low-pass filter that applies to the reflected sound added to this source."},
      {1346, "Specifies the amount of obstruction muffling"},
      {1349, "Affects the spectral quality of obstruction"},
      {1353, "Specifies the amount of occlusion muffling"},
      {1356, "Affects the spectral quality of occlusion"},
      {1359, "Specifies the additional amount of occlusion attenuation"},
      {1362, "Room Rolloff applies only to this sound source"},
      {1365, "It is a multiplier value for the air absorption value"},
      {1368, "The Outside Volume HF property enhances DirectSound's directivity effect"},
      {1318, "The minimum distance that you set for a sound source"},
      {1321, "The maximum distance for a sound source is the distance"},
      {1324, "Sound cones are made up of an inside cone and an outside cone."},
      {1326, "Between the inner and outer cones is a zone of transition"},
      {1328, "The outside cone volume is expressed in hundredths of decibels"},
      {1315, "In normal mode, the sound source is positioned and oriented absolutely"},
      {1314, "In head-relative mode, the 3D properties of the sound source"},
      {1313, "Sound buffers have three processing modes."},
      {1337, "If this is checked, this sound source's direct-path sound is automatically filtered"},
      {1344, "If this is checked, the intensity of this sound source's reflected sound is automatically attenuated"},
      {1345, "If this is checked, the intensity of this sound source's reflected sound at high frequencies"},
  };
  static_assert(sizeof opening / sizeof opening[0] == PANEL_HELP_COUNT, "one per control");
  std::set<int> ids(panel_help_ids, panel_help_ids + PANEL_HELP_COUNT);
  EXPECT_EQ(ids.size(), size_t(PANEL_HELP_COUNT));
  for (const auto &o : opening) {
    EXPECT_EQ(ids.count(o.first), 1u) << o.first;
    const char *text = panel_help_text(o.first);
    ASSERT_NE(text, nullptr) << o.first;
    EXPECT_EQ(std::strncmp(text, o.second, std::strlen(o.second)), 0) << o.first << ": " << text;
    // A paragraph of several sentences, no stray line breaks; the tooltip
    // wraps it at its maximum width.
    std::string t(text);
    int sentences = 0;
    for (size_t i = 0; i + 1 < t.size(); ++i)
      if (t[i] == '.' && t[i + 1] == ' ') ++sentences;
    EXPECT_GE(sentences + 1, 2) << o.first;
    EXPECT_EQ(t.find('\n'), std::string::npos) << o.first;
    EXPECT_EQ(t.back(), '.') << o.first;
  }
  EXPECT_EQ(panel_help_text(IDC_VOICE_VOLUME_SLIDER), nullptr);
  EXPECT_EQ(panel_help_text(0), nullptr);
}

// Every slider row's help text states the row's range as its value box
// shows it, so the two never disagree.
TEST(PanelHelp, SliderRowsStateTheirRangeAsTheValueBoxShowsIt) {
  for (int page = 0; page < 2; ++page) {
    const PanelRow *rows = page ? channel_rows : listener_rows;
    int count = page ? CHANNEL_ROW_COUNT : LISTENER_ROW_COUNT;
    for (int i = 0; i < count; ++i) {
      const char *text = panel_help_text(rows[i].valueId);
      ASSERT_NE(text, nullptr) << rows[i].row->name;
      const SliderRow *row = rows[i].row;
      char low[32], high[32];
      slider_value_text(row, row->min, low);
      if (row->target == TARGET_VOICE_MAX_DISTANCE)
        std::strcpy(high, "1000000000.0");
      else
        slider_value_text(row, row->max, high);
      EXPECT_NE(std::strstr(text, low), nullptr) << row->name << " lacks " << low;
      EXPECT_NE(std::strstr(text, high), nullptr) << row->name << " lacks " << high;
      EXPECT_NE(std::strstr(text, "default"), nullptr) << row->name;
    }
  }
}

}  // namespace
