// One song through the callbacks on the software sound card, with the real
// output thread and simulated time: the card's memory sink keeps what it
// mixed, and the test examines that output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "card/card_api.h"
#include "dsp/eq_design.h"
#include "device/device.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/engine_internal.h"
#include "engine/settings.h"
#include "platform/clock.h"
#include "platform/os.h"

namespace {
const int RATE = 44100;
const int BLOCK = 1152;
const int SONG_FRAMES = 2 * RATE;   // 2 s: 2000 whole periods of 1 kHz
// The four voices sit at the listener until the property model places them,
// so the card sums all four at unity, centred: a sine of under a quarter of
// full scale keeps that sum below full scale.
const double AMPLITUDE = 7000.0;
const uint32_t SINK_FRAMES = 48000 * 4;

class CardScenario : public ::testing::Test {
 protected:
  bool registered = false;
  bool opened = false;
  bool started = false;
  double gain = 0.0;

  void SetUp() override {
    live_settings = engine_settings_defaults;
    eq_enabled = 0;
    card_reset();
    // Levels are checked against the voices' volumes: a plain mix, no room.
    card_set_room(0);
    card_set_sink_memory(SINK_FRAMES);
    ASSERT_EQ(0, card_set_simulated_time(1));
    clock_thread_register();
    registered = true;
    device_open(0);
    opened = true;
    ASSERT_TRUE(device_ready());
    ASSERT_EQ(0, engine_start(true));
    started = true;
  }
  void TearDown() override {
    if (opened) device_close();
    if (started) engine_release();
    live_settings = applied_settings = dialog_settings = engine_settings_defaults;
    engine_reconfigure_request = 0;
    if (registered) clock_thread_unregister();
    card_set_simulated_time(0);
    card_reset();
  }

  static int16_t sine(int i) {
    return int16_t(std::lround(AMPLITUDE * std::sin(2.0 * M_PI * 1000.0 * i / RATE)));
  }

  // Plays the song like a host: writes a block whenever there is room for
  // it, sleeps 10 ms otherwise, then waits for the end.
  void song() {
    ASSERT_GE(Open(RATE, 2, 16, -1, -1), 0);
    std::vector<int16_t> block(2 * BLOCK);
    int at = 0;
    int guard = 0;
    while (at < SONG_FRAMES) {
      ASSERT_LT(guard++, 10000) << "the engine stopped taking data at frame " << at;
      int n = SONG_FRAMES - at < BLOCK ? SONG_FRAMES - at : BLOCK;
      if (CanWrite() >= n * 4) {
        for (int i = 0; i < n; ++i) block[size_t(2 * i)] = block[size_t(2 * i + 1)] = sine(at + i);
        Write(reinterpret_cast<char *>(block.data()), n * 4);
        at += n;
      } else {
        os_sleep(10);
      }
    }
    // The gain the card applies to each channel: every playing voice at its
    // volume under the primary buffer's, at unity gain in the centre.
    gain = 0.0;
    const double primary = std::pow(10.0, double(card_buffer_volume(device_set.primary)) / 2000.0);
    for (int v = 0; v < VOICE_COUNT; ++v) {
      D3DVECTOR at3d = {1, 1, 1};
      ASSERT_EQ(0, card_buffer_position(device_set.buffers[v], &at3d));
      ASSERT_EQ(0.0f, at3d.x);
      ASSERT_EQ(0.0f, at3d.y);
      ASSERT_EQ(0.0f, at3d.z);
      if (card_buffer_is_playing(device_set.buffers[v]))
        gain += primary * std::pow(10.0, double(card_buffer_volume(device_set.buffers[v])) / 2000.0);
    }
    ASSERT_GT(gain, 0.0);
    ASSERT_LT(gain * AMPLITUDE, 32000.0);
    Write(nullptr, 0);
    int waited = 0;
    while (IsPlaying() && waited < 1000) {
      os_sleep(10);
      ++waited;
    }
    EXPECT_EQ(0, IsPlaying()) << "still playing 10 s after the end";
    Close();
    // The engine plays out what is left after Close; let the card mix it.
    os_sleep(2500);
    card_mix_now();
  }
};

TEST_F(CardScenario, OneSongReachesTheCardWholeAndWithoutClicks) {
  song();
  const uint32_t frames = card_memory_frames();
  const int16_t *out = card_memory_samples();
  ASSERT_NE(nullptr, out);
  // The loud part: from the first to the last sample above an eighth of
  // the sine's level on either channel.
  const double level = AMPLITUDE * gain;
  const int threshold = int(level / 8);
  uint32_t first = frames, last = 0;
  int peak = 0;
  for (uint32_t f = 0; f < frames; ++f) {
    for (int c = 0; c < 2; ++c) {
      int v = std::abs(int(out[2 * f + uint32_t(c)]));
      if (v > peak) peak = v;
      if (v > threshold) {
        if (first == frames) first = f;
        last = f;
      }
    }
  }
  ASSERT_LT(first, frames) << "nothing audible reached the card (" << frames << " frames)";
  // About 2 s at 48 kHz: the fades take some of the start and the end, and
  // nothing of the song may be lost or repeated beyond that.
  const double seconds = double(last - first + 1) / 48000.0;
  EXPECT_GT(seconds, 1.85) << "first " << first << " last " << last;
  EXPECT_LT(seconds, 2.05) << "first " << first << " last " << last;
  EXPECT_GE(frames, 2u * 48000u - 4800u);
  // The level: the sine's, through the card's volumes and pan, and no more.
  EXPECT_GT(peak, int(level * 0.95)) << "peak " << peak << " expected " << level;
  EXPECT_LT(peak, int(level * 1.05)) << "peak " << peak << " expected " << level;
  // No clicks: at 48 kHz a 1 kHz sine moves at most 2*pi*A/48 per sample;
  // allow for resampling and interpolation overshoot.
  const double step = 2.0 * M_PI * 1000.0 / 48000.0 * level;
  const int limit = int(step * 1.5) + 16;
  for (uint32_t f = 1; f < frames; ++f)
    for (int c = 0; c < 2; ++c) {
      int d = std::abs(int(out[2 * f + uint32_t(c)]) - int(out[2 * (f - 1) + uint32_t(c)]));
      ASSERT_LE(d, limit) << "frame " << f << " channel " << c;
    }
}
}  // namespace
