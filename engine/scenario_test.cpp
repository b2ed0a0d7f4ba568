// Whole songs through the callbacks, with the test voices "playing": the
// play cursor moves only while the voices play, and every sample it passes
// is appended to the rendered output, which the tests then examine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "dsp/eq_design.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/engine_internal.h"
#include "engine/settings.h"
#include "engine/test_voices.h"
#include "platform/clock.h"

namespace {
const uint32_t RING = 96000;
const uint32_t LEAD = 1920;  // the write cursor 20 ms ahead of the play cursor

class Scenario : public ::testing::Test {
 protected:
  TestVoice l1{RING}, r1{RING};
  TestVoice l2{l1, 0}, r2{r1, 0};
  std::vector<int16_t> rendered;
  int lastOutputTime = 0;

  void SetUp() override {
    live_settings = engine_settings_defaults;
    live_settings.interpolation = 0;
    eq_enabled = 0;
    TestVoice *v[4] = {&l1, &r1, &l2, &r2};
    for (int i = 0; i < 4; ++i) device_set.buffer8s[i] = v[i];
    device_set.voiceBufferBytes = RING;
    device_set.bufferLost = 0;
    device_set.rememberedPlay = 0;
    device_set.rememberedWrite = 0;
    device_set.stateFlags = DEVICE_READY | DEVICE_VOICES_READY;
    l1.lead = LEAD;
    ASSERT_EQ(engine_start(false), 0);
  }
  void TearDown() override {
    engine_release();
    live_settings = applied_settings = dialog_settings = engine_settings_defaults;
    engine_reconfigure_request = 0;
    for (int i = 0; i < 4; ++i) device_set.buffer8s[i] = nullptr;
    device_set.stateFlags = 0;
  }

  // 10 ms of playback and one output-thread pass.
  void tick() {
    if (l1.playing) {
      // The voices play at their frequency.
      int n = l1.frequency ? int(l1.frequency / 100) : 480;
      for (int i = 0; i < n; ++i) {
        rendered.push_back(l1.sample(l1.play));
        l1.play = (l1.play + 2) % RING;
      }
      r1.play = l2.play = r2.play = l1.play;
    }
    output_thread_pass();
  }

  // Plays one song like a host: writes while there is room, then waits for
  // the end. Checks that the clock never goes back.
  void song(int rate, const std::vector<int16_t> &mono) {
    ASSERT_GE(Open(rate, 1, 16, -1, -1), 0);
    lastOutputTime = 0;
    size_t at = 0;
    while (at < mono.size()) {
      int room = CanWrite() / 2;
      int n = int(mono.size() - at) < 576 ? int(mono.size() - at) : 576;
      if (room >= n) {
        Write(reinterpret_cast<char *>(const_cast<int16_t *>(mono.data() + at)), n * 2);
        at += size_t(n);
      } else {
        tick();
        check_clock();
      }
    }
    Write(nullptr, 0);
    while (IsPlaying()) {
      tick();
      check_clock();
    }
    Close();
  }
  void check_clock() {
    int t = GetOutputTime();
    ASSERT_GE(t, lastOutputTime);
    lastOutputTime = t;
  }
};

std::vector<int16_t> triangle(size_t n, size_t silence) {
  std::vector<int16_t> s(silence + n, 0);
  for (size_t i = 0; i < n; ++i) {
    size_t p = i % 800;
    s[silence + i] = int16_t(3000 + (p < 400 ? p : 800 - p) * 15);
  }
  return s;
}

TEST_F(Scenario, RemoveGapsJoinsThreeSongsWithoutGapOrClick) {
  live_settings.fadeFlags = 0;
  live_settings.silenceLimitFlags = 0;
  song(48000, triangle(48000, 0));
  song(48000, triangle(24000, 9600));
  song(48000, triangle(24000, 9600));
  // Play out the rest.
  for (int i = 0; i < 100; ++i) tick();
  // From the first loud sample on, no silence and no jump beyond the songs'
  // own slope until the final tail.
  size_t first = 0;
  while (first < rendered.size() && rendered[first] < 2048) ++first;
  ASSERT_LT(first, rendered.size());
  size_t loud = 0;
  size_t i = first;
  for (; i + 1 < rendered.size() && rendered[i] >= 3000; ++i, ++loud)
    ASSERT_LE(std::abs(rendered[i + 1] - rendered[i]), 15) << "at " << i;
  // All three songs, and nothing of their leading silence.
  EXPECT_EQ(loud + 1, size_t(48000 + 24000 + 24000));
}

TEST_F(Scenario, OutputTimeFollowsTheRenderedPosition) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 1, 16, -1, -1), 0);
  std::vector<int16_t> block(576, 5000);
  int last = 0;
  for (int n = 0; n < 300; ++n) {
    while (CanWrite() < 1152) tick();
    Write(reinterpret_cast<char *>(block.data()), 1152);
    int t = GetOutputTime();
    ASSERT_GE(t, last);
    last = t;
    // The voices started with the stream's first sample at the ring's start.
    int rendered_ms = int(rendered.size() / 48);
    ASSERT_LE(std::abs(t - rendered_ms), 10) << "after block " << n;
  }
}

}  // namespace

namespace {
// Random host behaviour on simulated time: song changes at random formats,
// seeks, pauses, volume changes and settings commits. The clock must never
// go back within a stream between seeks, and nothing may crash.
TEST_F(Scenario, SoakOfRandomHostBehaviour) {
  ASSERT_EQ(clock_set_simulated(1), 0);
  clock_thread_register();
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  const int rates[] = {8000, 22050, 44100, 48000, 96000};
  std::vector<int16_t> block(2 * 1152);
  for (int songs = 0; songs < 40; ++songs) {
    live_settings.interpolation = int32_t(next(2));
    int rate = rates[next(5)];
    int channels = 1 + int(next(2));
    ASSERT_GE(Open(rate, channels, 16, -1, -1), 0);
    int last = GetOutputTime();
    int blocks = 20 + int(next(200));
    for (int b = 0; b < blocks; ++b) {
      uint32_t action = next(100);
      if (action < 3) {
        Flush(int(next(100000)));
        last = GetOutputTime();
      } else if (action < 5) {
        Pause(1);
        for (int i = 0; i < 5; ++i) tick();
        Pause(0);
      } else if (action < 7) {
        SetVolume(int(next(256)));
      } else if (action < 8) {
        applied_settings.fadeFlags = int32_t(next(128));
        applied_settings.gapMode = int32_t(next(3));
        engine_reconfigure_request = 1;
      }
      int frames = 1152;
      for (int i = 0; i < frames * channels; ++i) block[size_t(i)] = int16_t(next(20000)) - 10000;
      int guard = 0;
      while (CanWrite() < frames * channels * 2 && guard++ < 200) tick();
      Write(reinterpret_cast<char *>(block.data()), frames * channels * 2);
      int t = GetOutputTime();
      ASSERT_GE(t, last) << "song " << songs << " block " << b << " action " << action << " written " << GetWrittenTime() << " rate " << rate << " interp " << live_settings.interpolation << " fade " << live_settings.fadeFlags << " gap " << live_settings.gapMode;
      last = t;
    }
    Write(nullptr, 0);
    for (int i = 0; i < 300 && IsPlaying(); ++i) tick();
    Close();
    for (int i = 0; i < int(next(30)); ++i) tick();
  }
  clock_thread_unregister();
  clock_set_simulated(0);
}
}  // namespace
