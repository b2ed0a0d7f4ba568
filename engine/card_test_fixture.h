// The engine on the software sound card, with the real output thread and
// simulated time: the card's memory sink keeps what it mixed, so tests play
// songs through the callbacks like a host and then examine the output.
// Shared by the engine's card scenario tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "card/card_api.h"
#include "device/device.h"
#include "dsp/eq_design.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/engine_internal.h"
#include "engine/settings.h"
#include "platform/clock.h"
#include "platform/os.h"

namespace card_fixture {

const int CARD_HZ = 48000;

// A song as the decoder hands it over: a sine of `hz` starting at phase 0,
// framed by digital silence. The number of tone frames is chosen by the
// caller; whole periods make the tone end at 0 as it began.
struct Song {
  int rate = 44100;
  int channels = 2;
  int bits = 16;
  double hz = 1000.0;
  double amplitude = 7000.0;
  int leadingFrames = 0;
  int toneFrames = 44100;
  int trailingFrames = 0;

  int frames() const { return leadingFrames + toneFrames + trailingFrames; }
  double value(int frame) const {
    int i = frame - leadingFrames;
    if (i < 0 || i >= toneFrames) return 0.0;
    return amplitude * std::sin(2.0 * M_PI * hz * i / rate);
  }
  // Frames [from, from + n) in the song's format, little-endian.
  void render(int from, int n, std::vector<uint8_t> *out) const {
    int bps = bits / 8;
    out->assign(size_t(n) * size_t(channels) * size_t(bps), 0);
    uint8_t *p = out->data();
    for (int f = 0; f < n; ++f) {
      long v = std::lround(value(from + f));
      for (int c = 0; c < channels; ++c) {
        if (bits == 8) {
          *p++ = uint8_t(((v >> 8) + 128) & 0xFF);
        } else if (bits == 16) {
          *p++ = uint8_t(v & 0xFF);
          *p++ = uint8_t((v >> 8) & 0xFF);
        } else {
          *p++ = 0;
          *p++ = uint8_t(v & 0xFF);
          *p++ = uint8_t((v >> 8) & 0xFF);
        }
      }
    }
  }
  int frame_bytes() const { return channels * bits / 8; }
};

// Whole periods of hz at rate closest to `seconds`.
inline int whole_periods(int rate, double hz, double seconds) {
  // The smallest count of frames that holds whole periods: rate/gcd.
  long r = rate, h = std::lround(hz);
  long a = r, b = h;
  while (b) {
    long t = a % b;
    a = b;
    b = t;
  }
  long unit = r / a;  // frames of h/a whole periods
  long n = std::lround(seconds * rate / double(unit));
  return int((n < 1 ? 1 : n) * unit);
}

// One reading of the clocks against the card: the output time, the written
// time and the device frame the card had rendered up to at that moment.
struct ClockSample {
  int output;
  int written;
  uint32_t frame;
  int stream;
};

// Sample-to-sample analysis of interleaved stereo output.
inline int max_jump(const int16_t *lr, uint32_t from, uint32_t to, uint32_t *where = nullptr) {
  int worst = 0;
  for (uint32_t f = from + 1; f < to; ++f)
    for (int c = 0; c < 2; ++c) {
      int d = std::abs(int(lr[2 * f + uint32_t(c)]) - int(lr[2 * (f - 1) + uint32_t(c)]));
      if (d > worst) {
        worst = d;
        if (where) *where = f;
      }
    }
  return worst;
}

inline int peak(const int16_t *lr, uint32_t from, uint32_t to) {
  int p = 0;
  for (uint32_t f = from; f < to; ++f)
    for (int c = 0; c < 2; ++c) {
      int v = std::abs(int(lr[2 * f + uint32_t(c)]));
      if (v > p) p = v;
    }
  return p;
}

// First frame in [from, to) with either channel above threshold, or `to`.
inline uint32_t first_above(const int16_t *lr, uint32_t from, uint32_t to, int threshold) {
  for (uint32_t f = from; f < to; ++f)
    if (std::abs(int(lr[2 * f])) > threshold || std::abs(int(lr[2 * f + 1])) > threshold) return f;
  return to;
}

// Last frame in [from, to) with either channel above threshold, or `to`.
inline uint32_t last_above(const int16_t *lr, uint32_t from, uint32_t to, int threshold) {
  for (uint32_t f = to; f-- > from;)
    if (std::abs(int(lr[2 * f])) > threshold || std::abs(int(lr[2 * f + 1])) > threshold) return f;
  return to;
}

// Longest run of frames in [from, to) with both channels at or below
// threshold.
inline uint32_t longest_quiet_run(const int16_t *lr, uint32_t from, uint32_t to, int threshold,
                                  uint32_t *where = nullptr) {
  uint32_t best = 0, run = 0;
  for (uint32_t f = from; f < to; ++f) {
    bool quiet = std::abs(int(lr[2 * f])) <= threshold && std::abs(int(lr[2 * f + 1])) <= threshold;
    run = quiet ? run + 1 : 0;
    if (run > best) {
      best = run;
      if (where) *where = f + 1 - run;
    }
  }
  return best;
}

// The tone's frequency from the rising zero crossings of the left channel
// in [from, from + n).
inline double tone_hz(const int16_t *lr, uint32_t from, uint32_t n) {
  int crossings = 0;
  uint32_t first = 0, last = 0;
  for (uint32_t f = from + 1; f < from + n; ++f)
    if (lr[2 * (f - 1)] < 0 && lr[2 * f] >= 0) {
      if (crossings == 0) first = f;
      last = f;
      ++crossings;
    }
  if (crossings < 2) return 0.0;
  return double(crossings - 1) * CARD_HZ / double(last - first);
}

class CardFixture : public ::testing::Test {
 protected:
  bool registered = false;
  bool opened = false;
  bool started = false;
  // Readings of the clocks taken while the host loops, for later checks.
  std::vector<ClockSample> clocks;
  int stream = 0;
  bool inStream = false;  // between open and close
  int lastOutput = 0;
  // Called after every host step (a write or a 10 ms sleep).
  std::function<void()> onStep;

  virtual uint32_t sink_frames() const { return uint32_t(CARD_HZ) * 40; }

  void SetUp() override {
    live_settings = engine_settings_defaults;
    applied_settings = live_settings;
    deviceGuid = appliedDeviceGuid = GUID{};
    eq_enabled = 0;
    card_reset();
    // Levels are checked against the voices' volumes: a plain mix, no room.
    card_set_room(0);
    card_set_sink_memory(sink_frames());
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
    deviceGuid = appliedDeviceGuid = GUID{};
    engine_reconfigure_request = 0;
    if (registered) clock_thread_unregister();
    card_set_simulated_time(0);
    card_reset();
  }

  // The frame the card has rendered up to: everything due is mixed first.
  static uint32_t now_frame() {
    card_mix_now();
    return card_memory_frames();
  }
  static const int16_t *out() { return card_memory_samples(); }

  void sleep_ms(uint32_t ms) { os_sleep(ms); }

  // Takes a clock reading; within a stream the output time must not fall,
  // nor pass the written time.
  void read_clock() {
    ClockSample s{GetOutputTime(), GetWrittenTime(), now_frame(), inStream ? stream : -stream};
    if (inStream) {
      EXPECT_GE(s.output, lastOutput) << "output time fell in stream " << stream << " at frame " << s.frame;
      EXPECT_LE(s.output, s.written) << "output time past the written time in stream " << stream << " at frame "
                                     << s.frame;
      lastOutput = s.output;
    }
    clocks.push_back(s);
  }

  void step_done() {
    read_clock();
    if (onStep) onStep();
  }

  int open(const Song &s) {
    ++stream;
    inStream = true;
    lastOutput = 0;
    return Open(s.rate, s.channels, s.bits, -1, -1);
  }

  // Writes frames [from, to) of the song like a host: a block whenever
  // CanWrite has room for it, a 10 ms sleep otherwise.
  void write_frames(const Song &s, int from, int to, int block = 1152) {
    std::vector<uint8_t> bytes;
    int at = from;
    int sleeps = 0;
    while (at < to) {
      int n = to - at < block ? to - at : block;
      if (CanWrite() >= n * s.frame_bytes()) {
        s.render(at, n, &bytes);
        Write(reinterpret_cast<char *>(bytes.data()), int(bytes.size()));
        at += n;
        sleeps = 0;
      } else {
        ASSERT_LT(sleeps++, 3000) << "the engine took no data for 30 s at frame " << at;
        sleep_ms(10);
      }
      step_done();
    }
  }

  // The host's end of a song: Write(NULL, 0), waiting for IsPlaying to turn
  // 0 (bounded), Close.
  void finish() {
    Write(nullptr, 0);
    int waited = 0;
    while (IsPlaying() && waited < 2000) {
      sleep_ms(10);
      step_done();
      ++waited;
    }
    EXPECT_EQ(0, IsPlaying()) << "still playing 20 s after the end";
    close();
  }

  // Close; clock readings from here on belong to no stream (recorded with
  // the stream's number negated).
  void close() {
    Close();
    inStream = false;
  }

  void play(const Song &s) {
    ASSERT_GE(open(s), 0);
    write_frames(s, 0, s.frames());
    finish();
  }

  // Lets simulated time run, taking clock readings every 10 ms.
  void idle(int ms) {
    for (int t = 0; t < ms; t += 10) {
      sleep_ms(10);
      step_done();
    }
  }

  // The gain from a ring sample to a sink sample: every playing voice at
  // its volume under the primary buffer's, at unity gain in the centre.
  static double voice_gain() {
    double gain = 0.0;
    const double primary = std::pow(10.0, double(card_buffer_volume(device_set.primary)) / 2000.0);
    for (int v = 0; v < VOICE_COUNT; ++v)
      gain += primary * std::pow(10.0, double(card_buffer_volume(device_set.buffers[v])) / 2000.0);
    return gain;
  }

  static bool voices_playing() {
    int n = 0;
    for (int v = 0; v < VOICE_COUNT; ++v) n += card_buffer_is_playing(device_set.buffers[v]) ? 1 : 0;
    return n != 0;
  }

  // Clock readings of one stream with the card's frame in [from, to). From
  // 10 ms past `zero` (the frame where the stream's time `base` was
  // rendered) each must report base plus the time heard since, within
  // 10 ms; up to 10 ms before it, no more than base.
  void expect_clock_follows(int of_stream, uint32_t zero, int base, uint32_t from, uint32_t to) {
    int checked = 0;
    for (const ClockSample &c : clocks) {
      if (c.stream != of_stream || c.frame < from || c.frame >= to) continue;
      if (c.frame + 480 < zero) {
        // Nothing of the stream heard yet: its time has not begun.
        EXPECT_LE(c.output, base + 10) << "stream " << of_stream << " at frame " << c.frame << " before " << zero;
        continue;
      }
      if (c.frame < zero + 480) continue;
      double heard = base + (double(c.frame) - double(zero)) * 1000.0 / CARD_HZ;
      EXPECT_NEAR(double(c.output), heard, 10.0) << "stream " << of_stream << " at frame " << c.frame;
      ++checked;
    }
    EXPECT_GT(checked, 10) << "too few clock readings in stream " << of_stream;
  }
};

}  // namespace card_fixture
