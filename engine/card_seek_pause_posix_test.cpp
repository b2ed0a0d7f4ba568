// Seeks and pauses on the software sound card, with the real output thread
// and simulated time: Flush with and without the seek fade, Pause with and
// without the pause fade, pausing again during the fade-in, and a Flush that
// arrives while the pause fade-out runs.
//
// The song is a 48 kHz chirp written with interpolation off, so it reaches
// the rings sample for sample and every output frame can be traced back to
// the song frame it came from: the tests compare the rendered output with a
// model of what the engine must have written, sample by sample.
#include <functional>

#include "engine/card_test_fixture.h"

namespace {
using namespace card_fixture;

const int RATE = 48000;
const int FRAMES_PER_MS = RATE / 1000;
// One output-thread pass, and the lead of the write cursor over the play
// cursor on the card: both 10 ms.
const uint32_t PASS = 480;
const uint32_t LEAD = 480;
// 250 ms seek fade and 75 ms pause fade, in samples at 48 kHz.
const uint32_t SEEK_FADE = 12000;
const uint32_t PAUSE_FADE = 3600;

// A rising chirp: its frequency climbs from 300 Hz by 40 Hz per second, so
// a few hundred samples of it belong to exactly one position of the song.
// Both channels carry the same signal (the voices sit centred and the card
// sums them).
struct Chirp {
  int frames = 10 * RATE;
  double amplitude = 7000.0;
  double f0 = 300.0;
  double slope = 40.0;  // Hz per second

  double hz(long frame) const { return f0 + slope * double(frame) / RATE; }
  // The song's sample as the host hands it over (rounded to 16 bits); 0
  // outside the song.
  double sample(long frame) const {
    if (frame < 0 || frame >= frames) return 0.0;
    double t = double(frame) / RATE;
    return double(std::lround(amplitude * std::sin(2.0 * M_PI * (f0 * t + slope * t * t / 2.0))));
  }
  void render(int from, int n, std::vector<uint8_t> *out) const {
    out->assign(size_t(n) * 4, 0);
    uint8_t *p = out->data();
    for (int f = 0; f < n; ++f) {
      long v = long(sample(from + f));
      for (int c = 0; c < 2; ++c) {
        *p++ = uint8_t(v & 0xFF);
        *p++ = uint8_t((v >> 8) & 0xFF);
      }
    }
  }
};

// The engine rounds each faded sample to 16 bits.
double faded(double sample, double gain) { return double(std::lrint(sample * gain)); }

// Largest sample-to-sample step of a sine at 48 kHz.
double sine_step(double hz, double level) { return 2.0 * M_PI * hz / RATE * level; }

class CardSeekPause : public CardFixture {
 protected:
  Chirp song;
  double gain = 0.0;
  // Output frame minus song frame while the song plays on unchanged.
  long offset = 0;

  void SetUp() override {
    CardFixture::SetUp();
    if (HasFatalFailure()) return;
    // The chirp reaches the rings as it is: no resampling.
    live_settings.interpolation = 0;
  }

  int open_song() {
    Song format;
    format.rate = RATE;
    return open(format);
  }

  // Writes song frames [from, to) like a host (a block whenever CanWrite has
  // room, a 10 ms sleep otherwise) until `until(next frame)` holds before a
  // step. Returns the next frame to write.
  int feed(int from, int to, const std::function<bool(int)> &until = nullptr) {
    const int block = 1152;
    std::vector<uint8_t> bytes;
    int at = from, sleeps = 0;
    while (at < to) {
      if (until && until(at)) break;
      int n = to - at < block ? to - at : block;
      if (CanWrite() >= n * 4) {
        song.render(at, n, &bytes);
        Write(reinterpret_cast<char *>(bytes.data()), int(bytes.size()));
        at += n;
        sleeps = 0;
      } else {
        if (sleeps++ >= 3000) {
          ADD_FAILURE() << "the engine took no data for 30 s at song frame " << at;
          return at;
        }
        sleep_ms(10);
      }
      step_done();
    }
    return at;
  }

  // Lets time run in 1 ms steps until `done` holds (at most max_ms); the
  // frame reached, or 0.
  uint32_t wait_for(const std::function<bool()> &done, int max_ms) {
    for (int t = 0; t < max_ms; ++t) {
      if (done()) return now_frame();
      sleep_ms(1);
      step_done();
    }
    return done() ? now_frame() : 0;
  }

  // The song frame whose samples the output holds from frame f on (n
  // frames), searched in [lo, hi].
  long find_song_frame(uint32_t f, uint32_t n, long lo, long hi, double *error) {
    const int16_t *lr = out();
    long best = lo;
    double best_error = 1e30;
    for (long p = lo; p <= hi; ++p) {
      double worst = 0.0;
      for (uint32_t i = 0; i < n && worst < best_error; ++i) {
        double d = std::fabs(double(lr[2 * (f + i)]) - gain * song.sample(p + long(i)));
        if (d > worst) worst = d;
      }
      if (worst < best_error) best_error = worst, best = p;
    }
    *error = best_error;
    return best;
  }

  // Largest difference in [from, to) between the output and the gain times
  // the ring sample that `ring(f)` says must have been heard at frame f.
  double model_error(uint32_t from, uint32_t to, const std::function<double(uint32_t)> &ring, uint32_t *where) {
    const int16_t *lr = out();
    double worst = 0.0;
    for (uint32_t f = from; f < to; ++f) {
      double expected = gain * ring(f);
      for (int c = 0; c < 2; ++c) {
        double d = std::fabs(double(lr[2 * f + uint32_t(c)]) - expected);
        if (d > worst) worst = d, *where = f;
      }
    }
    return worst;
  }

  // The candidate in [lo, hi] (in steps of `step`) for which the model
  // `ring(candidate, f)` fits the output best over [from, to).
  long best_fit(long lo, long hi, long step, uint32_t from, uint32_t to,
                const std::function<double(long, uint32_t)> &ring, double *error) {
    long best = lo;
    double best_error = 1e30;
    uint32_t where = 0;
    for (long k = lo; k <= hi; k += step) {
      double e = model_error(from, to, [&](uint32_t f) { return ring(k, f); }, &where);
      if (e < best_error) best_error = e, best = k;
    }
    *error = best_error;
    return best;
  }

  // The ring carries a sample rounded once or twice where a fade rewrote
  // it; the card scales it by the voices' gain and rounds once more.
  double tolerance() const { return gain + 2.0; }

  // After the song has played a while without change: the gain and the
  // output frame of song frame 0, from the output 50 ms before now.
  void locate_song() {
    gain = voice_gain();
    ASSERT_GT(gain, 0.0);
    ASSERT_LT(gain * song.amplitude, 32000.0);
    const uint32_t at = now_frame() - 2400;
    const long guess = long(GetOutputTime()) * FRAMES_PER_MS - 2400;
    double error = 0.0;
    long p = find_song_frame(at, 480, guess - 1500, guess + 1500, &error);
    ASSERT_LE(error, tolerance()) << "the song is not playing unchanged at frame " << at;
    offset = long(at) - p;
  }

  // Readings of the output time of stream 1 from clock index `first` on,
  // with the card's frame in [from, to), must all equal `value`.
  void expect_clock_held(size_t first, uint32_t from, uint32_t to, int value) {
    int checked = 0;
    for (size_t k = first; k < clocks.size(); ++k) {
      const ClockSample &c = clocks[k];
      if (c.stream != 1 || c.frame < from || c.frame >= to) continue;
      EXPECT_EQ(value, c.output) << "at frame " << c.frame;
      ++checked;
    }
    EXPECT_GT(checked, 0) << "no clock reading in [" << from << ", " << to << ")";
  }

  // Every reading of stream 1 from index `first` on is at least `value`.
  void expect_clock_not_below(size_t first, int value) {
    for (size_t k = first; k < clocks.size(); ++k) {
      if (clocks[k].stream == 1) {
        EXPECT_GE(clocks[k].output, value) << "at frame " << clocks[k].frame;
      }
    }
  }

  // The pause fade-out begins at the write cursor of the first output-thread
  // pass after Pause(1) at frame `paused`: 10 ms of lead after a pass that
  // falls within 10 ms. Returns the frame where it begins, checked against
  // the 75 ms ramp to silence.
  uint32_t fit_pause_fade_out(uint32_t paused) {
    double error = 0.0;
    long start = best_fit(long(paused + LEAD), long(paused + LEAD + PASS), 1, paused, paused + LEAD + PASS + PAUSE_FADE + 480,
                          [&](long fs, uint32_t f) {
                            double s = song.sample(long(f) - offset);
                            if (long(f) < fs) return s;
                            if (long(f) < fs + long(PAUSE_FADE)) return faded(s, 1.0 - double(long(f) - fs) / PAUSE_FADE);
                            return 0.0;
                          },
                          &error);
    EXPECT_LE(error, tolerance()) << "no 75 ms fade-out from the write cursor after the pause (best start " << start
                                  << ")";
    return uint32_t(start);
  }

  // The song frame heard at output frame `at` well after a resume near
  // `song_guess`; offset of the resumed song.
  long locate_resumed(uint32_t at, long song_guess) {
    double error = 0.0;
    long p = find_song_frame(at, 480, song_guess - 1500, song_guess + 1500, &error);
    EXPECT_LE(error, tolerance()) << "the song does not play on unchanged at frame " << at;
    return long(at) - p;
  }

  // The resume fade-in: the frame in [from, from + PASS] where the 75 ms
  // ramp from silence begins, over content `ring(f)` at full level.
  uint32_t fit_fade_in(uint32_t from, const std::function<double(uint32_t)> &ring) {
    double error = 0.0;
    long start = best_fit(long(from), long(from + PASS), 1, from, from + PASS + PAUSE_FADE + 480,
                          [&](long r, uint32_t f) {
                            if (long(f) < r) return 0.0;
                            double g = double(long(f) - r) / PAUSE_FADE;
                            return g >= 1.0 ? ring(f) : faded(ring(f), g);
                          },
                          &error);
    EXPECT_LE(error, tolerance()) << "no 75 ms fade-in within a pass of the resume (best start " << start << ")";
    return uint32_t(start);
  }
};

// ---------------------------------------------------------------------------
// Seeks.

class CardSeek : public CardSeekPause {
 protected:
  // A seek with "on seek" 250 ms, taken when `ready()` first holds after 2 s
  // of playback: the old audio fades out from the write cursor over 250 ms
  // while the new position fades in over the same 250 ms on top of it, and
  // the clocks restart at the seek position.
  void seek_with_fade(int target, const std::function<bool()> &ready) {
    ASSERT_GE(open_song(), 0);
    int at = feed(0, song.frames, [&](int) { return GetOutputTime() >= 2000 && ready(); });
    ASSERT_LT(at, song.frames);
    locate_song();
    if (HasFatalFailure()) return;
    const uint32_t flushed = now_frame();
    const size_t first = clocks.size();
    Flush(target);
    EXPECT_EQ(target, GetWrittenTime()) << "the written time is the seek position at once";
    EXPECT_EQ(target, GetOutputTime()) << "the output time restarts at the seek position";
    EXPECT_TRUE(voices_playing()) << "the voices play the fade";
    lastOutput = target;  // the clock may jump back with the seek, never afterwards
    const long to = long(target) * FRAMES_PER_MS;
    feed(int(to), int(to) + 3 * RATE);
    finish();
    idle(1500);
    const uint32_t frames = now_frame();
    ASSERT_GT(frames, flushed + LEAD + 2 * RATE);

    // The host writes the new position at once, so both fades begin at the
    // write cursor of the flush, heard 10 ms after it.
    const uint32_t w = flushed + LEAD;
    auto ring = [&](uint32_t f) {
      double old_sample = song.sample(long(f) - offset);
      if (f < w) return old_sample;
      uint32_t i = f - w;
      double fresh = song.sample(to + long(i));
      if (i >= SEEK_FADE) return fresh;
      double x = double(i) / SEEK_FADE;
      return faded(old_sample, 1.0 - x) + faded(fresh, x);
    };
    uint32_t where = 0;
    EXPECT_LE(model_error(flushed - 9600, w + 2 * RATE, ring, &where), tolerance())
        << "not the crossfade of the old position into the new one at frame " << where << " (fade from " << w << ")";
    // The same, as a listener hears it: the pitch of each position, and no
    // step beyond both tones' own slopes.
    EXPECT_NEAR(tone_hz(out(), flushed - 4800, 4800), song.hz(long(flushed) - 2400 - offset), 6.0);
    EXPECT_NEAR(tone_hz(out(), w + SEEK_FADE, 9600), song.hz(to + long(SEEK_FADE) + 4800), 6.0);
    const double level = gain * song.amplitude;
    const int limit = int((sine_step(song.hz(long(flushed) - offset), level) + sine_step(song.hz(to), level)) * 1.1) + 16;
    EXPECT_LE(max_jump(out(), flushed - 4800, w + 2 * SEEK_FADE, &where), limit) << "a click at frame " << where;
    // The clock: held at the seek position until the new audio is heard,
    // then the position plus what has been heard since (read_clock checks
    // that it never falls).
    expect_clock_not_below(first, target);
    expect_clock_follows(1, w, target, flushed + 1, w + 2 * RATE);
  }
};

TEST_F(CardSeek, SeekForwardWithFadeCrossfadesIntoTheNewPosition) {
  seek_with_fade(6000, [] { return true; });
}

TEST_F(CardSeek, SeekBackWithFadeRestartsTheClockAtTheEarlierPosition) {
  seek_with_fade(500, [] { return true; });
}

// The write cursor has wrapped to the start of the ring while the play
// cursor is still in its last 10 ms: the new audio starts at a ring offset
// below the play cursor, and the clock must still start at the seek
// position instead of a ring's length ahead of it.
TEST_F(CardSeek, SeekWithFadeWhileOnlyTheWriteCursorHasWrapped) {
  seek_with_fade(6000, [] {
    uint32_t play = 0, write = 0;
    read_cursors(&play, &write);
    return write < play;
  });
}

// Without "on seek" the voices stop at once, the ring restarts at offset 0
// and the new position plays from the prebuffer, at full level.
TEST_F(CardSeek, SeekWithoutFadeStopsAtOnceAndRestartsAtTheNewPosition) {
  live_settings.fadeFlags = engine_settings_defaults.fadeFlags & ~FADE_ON_SEEK;
  ASSERT_GE(open_song(), 0);
  feed(0, song.frames, [&](int) { return GetOutputTime() >= 2000; });
  locate_song();
  if (HasFatalFailure()) return;
  const uint32_t flushed = now_frame();
  const size_t first = clocks.size();
  Flush(6000);
  EXPECT_FALSE(voices_playing()) << "the voices stop at once";
  EXPECT_EQ(6000, GetWrittenTime());
  EXPECT_EQ(6000, GetOutputTime());
  lastOutput = 6000;
  const long to = 6000L * FRAMES_PER_MS;
  feed(int(to), int(to) + 3 * RATE);
  finish();
  idle(1500);
  // The host fills the prebuffer at once; the output thread starts the
  // voices within its next pass.
  const long resumed = locate_resumed(flushed + 9600, to + 9600);
  const uint32_t start = uint32_t(resumed + to);
  EXPECT_GE(start, flushed);
  EXPECT_LE(start, flushed + PASS);
  uint32_t where = 0;
  EXPECT_LE(model_error(flushed - 9600, start + 2 * RATE,
                        [&](uint32_t f) {
                          if (f < flushed) return song.sample(long(f) - offset);
                          if (f < start) return 0.0;
                          return song.sample(to + long(f - start));
                        },
                        &where),
            tolerance())
      << "frame " << where << " (flushed at " << flushed << ", restarted at " << start << ")";
  expect_clock_not_below(first, 6000);
  expect_clock_held(first, flushed, start, 6000);
  expect_clock_follows(1, start, 6000, flushed + 1, start + 2 * RATE);
}

// ---------------------------------------------------------------------------
// Pauses.

class CardPause : public CardSeekPause {};

// Without "on pause" the voices stop at once and resume where they stopped:
// the output is the song with a silence inserted, nothing lost and nothing
// repeated, and the clocks stand still meanwhile.
TEST_F(CardPause, PauseWithoutFadeStopsAtOnceAndResumesWhereItLeftOff) {
  live_settings.fadeFlags = engine_settings_defaults.fadeFlags & ~FADE_ON_PAUSE;
  ASSERT_GE(open_song(), 0);
  int at = feed(0, song.frames, [&](int) { return GetOutputTime() >= 1500; });
  locate_song();
  if (HasFatalFailure()) return;
  const uint32_t paused = now_frame();
  Pause(1);
  EXPECT_FALSE(voices_playing()) << "the voices stop at once";
  const int held = GetOutputTime(), written = GetWrittenTime();
  EXPECT_NEAR(double(held), double(long(paused) - offset) / FRAMES_PER_MS, 1.0) << "the time heard";
  const size_t first = clocks.size();
  idle(500);
  EXPECT_EQ(held, GetOutputTime());
  EXPECT_EQ(written, GetWrittenTime());
  const uint32_t resumed = now_frame();
  Pause(0);
  feed(at, song.frames);
  finish();
  idle(1500);
  const long after = locate_resumed(resumed + 9600, long(paused) - offset + 9600);
  const uint32_t start = uint32_t(long(paused) + (after - offset));
  EXPECT_GE(start, resumed) << "the song went on during the pause";
  EXPECT_LE(start, resumed + PASS) << "the voices restart within a pass";
  uint32_t where = 0;
  EXPECT_LE(model_error(paused - RATE, uint32_t(after + song.frames),
                        [&](uint32_t f) {
                          if (f < paused) return song.sample(long(f) - offset);
                          if (f < start) return 0.0;
                          return song.sample(long(f) - after);
                        },
                        &where),
            tolerance())
      << "frame " << where << " (paused at " << paused << ", resumed at " << start << ")";
  expect_clock_held(first, paused + 1, start, held);
  expect_clock_follows(1, start, held, start + 1, start + 2 * RATE);
}

// With "on pause" 75 ms: the pass after Pause(1) fades out from the write
// cursor over 75 ms and silences the rest, the voices stop on the first
// pass after the fade has been heard, and the resume fades in over 75 ms
// from where the voices stopped. The clocks stand still while paused.
TEST_F(CardPause, PauseWithFadeRampsDownAndResumesWithARampUp) {
  ASSERT_GE(open_song(), 0);
  int at = feed(0, song.frames, [&](int) { return GetOutputTime() >= 1500; });
  locate_song();
  if (HasFatalFailure()) return;
  const uint32_t paused = now_frame();
  const int written = GetWrittenTime();
  Pause(1);
  bool fading = false;
  onStep = [&] {
    if (engine.pauseState == PAUSE_FADING_OUT) {
      fading = true;
      EXPECT_EQ(0, CanWrite()) << "the host must not write into the ring being faded";
    }
  };
  wait_for([] { return engine.pauseState == PAUSE_PAUSED; }, 300);
  onStep = nullptr;
  EXPECT_TRUE(fading);
  ASSERT_EQ(PAUSE_PAUSED, engine.pauseState.load());
  EXPECT_FALSE(voices_playing());
  const int held = GetOutputTime();
  const size_t first = clocks.size();
  idle(400);
  EXPECT_EQ(held, GetOutputTime());
  EXPECT_EQ(written, GetWrittenTime());
  const uint32_t resumed = now_frame();
  Pause(0);
  feed(at, song.frames);
  finish();
  idle(1500);

  const uint32_t fade = fit_pause_fade_out(paused);
  // The play position reaches the fade's end 75 ms after it began; the pass
  // that sees it stops the voices (passes fall every 480 frames, the first
  // 10 ms before the fade began).
  const uint32_t stop = fade + 8 * PASS;
  EXPECT_NEAR(double(held), double(long(stop) - offset) / FRAMES_PER_MS, 1.0) << "the time heard when stopped";
  const long after = locate_resumed(resumed + 9600, long(stop) - offset + 9600);
  const uint32_t start = fit_fade_in(resumed, [&](uint32_t f) { return song.sample(long(f) - after); });
  EXPECT_EQ(long(stop), long(start) - after + offset) << "the song resumes where the voices stopped";
  EXPECT_EQ(0u, (start - fade) % PASS) << "the fade-in begins on a pass";
  uint32_t where = 0;
  EXPECT_LE(model_error(fade - RATE, start + 2 * RATE,
                        [&](uint32_t f) {
                          if (f < start) {
                            double s = song.sample(long(f) - offset);
                            if (f < fade) return s;
                            return f < fade + PAUSE_FADE ? faded(s, 1.0 - double(f - fade) / PAUSE_FADE) : 0.0;
                          }
                          double g = double(f - start) / PAUSE_FADE;
                          double s = song.sample(long(f) - after);
                          return g >= 1.0 ? s : faded(s, g);
                        },
                        &where),
            tolerance())
      << "frame " << where;
  const double level = gain * song.amplitude;
  EXPECT_LE(max_jump(out(), fade - 4800, start + 9600, &where), int(sine_step(song.hz(long(stop)), level) * 1.1) + 16)
      << "a click at frame " << where;
  expect_clock_held(first, stop + 1, start, held);
  expect_clock_follows(1, start, held, start + 1, start + 2 * RATE);
}

// Pause(1) again 20 ms into the fade-in: the fade turns round at the level
// reached and falls at the same slope; the voices stop once it has played,
// and the second resume fades in from there.
TEST_F(CardPause, PausingAgainDuringTheFadeInTurnsRoundAtTheLevelReached) {
  ASSERT_GE(open_song(), 0);
  int at = feed(0, song.frames, [&](int) { return GetOutputTime() >= 1500; });
  locate_song();
  if (HasFatalFailure()) return;
  const uint32_t paused = now_frame();
  Pause(1);
  ASSERT_NE(0u, wait_for([] { return engine.pauseState == PAUSE_PAUSED; }, 300));
  idle(200);
  const uint32_t resumed = now_frame();
  Pause(0);
  ASSERT_NE(0u, wait_for([] { return engine.pauseState == PAUSE_FADING_IN; }, 20));
  idle(20);
  const uint32_t paused_again = now_frame();
  Pause(1);
  ASSERT_NE(0u, wait_for([] { return engine.pauseState == PAUSE_PAUSED; }, 300));
  const int held = GetOutputTime();
  idle(200);
  const uint32_t resumed_again = now_frame();
  Pause(0);
  feed(at, song.frames);
  finish();
  idle(1500);

  const uint32_t fade = fit_pause_fade_out(paused);
  const uint32_t stop = fade + 8 * PASS;
  // The fade-in's start, from its first 20 ms (before it turned round),
  // with the song resuming where the voices stopped.
  double error = 0.0;
  const long start = best_fit(long(resumed), long(resumed + PASS), 1, resumed, resumed + 960,
                              [&](long r, uint32_t f) {
                                if (long(f) < r) return 0.0;
                                long from = long(stop) - offset + long(f) - r;
                                return faded(song.sample(from), double(long(f) - r) / PAUSE_FADE);
                              },
                              &error);
  EXPECT_LE(error, tolerance()) << "no fade-in from where the voices stopped (best start " << start << ")";
  const long after = start - (long(stop) - offset);
  // The pass after the second Pause(1) turns the fade round at the write
  // cursor, where the fade-in has reached `reached` samples of its ramp.
  const long turn = best_fit(start + long(PASS), start + long(6 * PASS), long(PASS), uint32_t(start),
                             uint32_t(start) + 8 * PASS,
                             [&](long pass, uint32_t f) {
                               long i = long(f) - start;
                               long reached = pass + long(LEAD) - start;
                               double s = song.sample(long(f) - after);
                               if (i < 0) return 0.0;
                               if (long(f) < pass + long(LEAD)) return faded(s, double(i) / PAUSE_FADE);
                               long j = long(f) - pass - long(LEAD);
                               if (j < reached) return faded(s, double(reached - j) / PAUSE_FADE);
                               return 0.0;
                             },
                             &error);
  EXPECT_LE(error, tolerance()) << "the fade does not turn round at the level reached (best pass " << turn << ")";
  EXPECT_GE(turn, long(paused_again));
  EXPECT_LE(turn, long(paused_again + PASS));
  const long reached = turn + long(LEAD) - start;
  const double level = double(reached) / PAUSE_FADE;
  EXPECT_GT(level, 0.2);
  EXPECT_LT(level, 0.8);
  // The falling ramp ends exactly on a pass, which stops the voices.
  const long stop_again = turn + long(LEAD) + reached;
  EXPECT_NEAR(double(held), double(stop_again - after) / FRAMES_PER_MS, 1.0) << "the time heard when stopped again";
  const long after_again = locate_resumed(resumed_again + 9600, stop_again - after + 9600);
  const uint32_t start_again = fit_fade_in(resumed_again, [&](uint32_t f) { return song.sample(long(f) - after_again); });
  EXPECT_EQ(stop_again, long(start_again) - after_again + after) << "the song resumes where the voices stopped again";
  uint32_t where = 0;
  const double peak_level = gain * song.amplitude;
  EXPECT_LE(peak(out(), uint32_t(start), uint32_t(stop_again)), int(peak_level * level) + 16)
      << "the turned fade rises above the level reached";
  EXPECT_LE(max_jump(out(), fade - 4800, start_again + 9600, &where),
            int(sine_step(song.hz(stop_again - after), peak_level) * 1.1) + 16)
      << "a click at frame " << where;
}

// A Flush while the pause fade-out runs waits for it: CanWrite reports 0,
// the written time stays, and the pass after the voices have stopped does
// the seek. The host then writes the new position while paused; nothing is
// heard until the resume, which fades in the new position (the old one is
// not heard again) from where the voices stopped.
TEST_F(CardPause, FlushDuringThePauseFadeOutIsCarriedOutAfterIt) {
  ASSERT_GE(open_song(), 0);
  feed(0, song.frames, [&](int) { return GetOutputTime() >= 2000; });
  locate_song();
  if (HasFatalFailure()) return;
  const uint32_t paused = now_frame();
  const int written = GetWrittenTime();
  Pause(1);
  ASSERT_NE(0u, wait_for([] { return engine.pauseState == PAUSE_FADING_OUT; }, 20));
  Flush(6000);
  EXPECT_EQ(written, GetWrittenTime()) << "the seek waits for the fade-out";
  EXPECT_EQ(0, CanWrite());
  uint32_t stopped = 0, flushed = 0;
  wait_for(
      [&] {
        if (!stopped && !voices_playing()) stopped = now_frame();
        if (!flushed && GetWrittenTime() == 6000) flushed = now_frame();
        return flushed != 0;
      },
      300);
  ASSERT_NE(0u, stopped);
  ASSERT_NE(0u, flushed);
  EXPECT_GT(flushed, stopped) << "the seek was done before the voices stopped";
  EXPECT_LE(flushed, stopped + PASS) << "the seek waits more than a pass after the stop";
  EXPECT_EQ(6000, GetOutputTime());
  const size_t first = clocks.size();
  lastOutput = 6000;
  const long to = 6000L * FRAMES_PER_MS;
  // The host writes the new position while paused, as much as it may.
  int at = feed(int(to), int(to) + 3 * RATE, [&](int next) { return next >= to + RATE / 2; });
  EXPECT_FALSE(voices_playing()) << "the voices started during the pause";
  idle(100);
  EXPECT_EQ(6000, GetOutputTime());
  const uint32_t resumed = now_frame();
  Pause(0);
  feed(at, int(to) + 3 * RATE);
  finish();
  idle(1500);

  const uint32_t fade = fit_pause_fade_out(paused);
  const uint32_t stop = fade + 8 * PASS;
  // The voices stop on the pass after the fade has been heard (watched in
  // 1 ms steps).
  EXPECT_GE(stopped, stop);
  EXPECT_LE(stopped, stop + FRAMES_PER_MS);
  // The ring from where the voices stopped: the seek's fade-out starts at
  // level 0 while paused, so the old position is silent and only the new
  // one fades in over 250 ms.
  auto crossfade = [&](uint32_t f, uint32_t start) {
    uint32_t i = f - start;
    double fresh = song.sample(to + long(i));
    return i >= SEEK_FADE ? fresh : faded(fresh, double(i) / SEEK_FADE);
  };
  double error = 0.0;
  const long start = best_fit(long(resumed), long(resumed + PASS), 1, resumed, resumed + PASS + SEEK_FADE,
                              [&](long r, uint32_t f) {
                                if (long(f) < r) return 0.0;
                                double g = double(long(f) - r) / PAUSE_FADE;
                                double s = crossfade(f, uint32_t(r));
                                return g >= 1.0 ? s : faded(s, g);
                              },
                              &error);
  EXPECT_LE(error, tolerance()) << "the resume does not fade in the new position (best start " << start << ")";
  uint32_t where = 0;
  EXPECT_LE(model_error(uint32_t(start), uint32_t(start) + 2 * RATE,
                        [&](uint32_t f) {
                          double g = double(f - uint32_t(start)) / PAUSE_FADE;
                          double s = crossfade(f, uint32_t(start));
                          return g >= 1.0 ? s : faded(s, g);
                        },
                        &where),
            tolerance())
      << "frame " << where;
  EXPECT_EQ(0, peak(out(), fade + PAUSE_FADE, uint32_t(start))) << "sound during the pause";
  expect_clock_not_below(first, 6000);
  expect_clock_held(first, flushed, uint32_t(start), 6000);
  expect_clock_follows(1, uint32_t(start), 6000, uint32_t(start) + 1, uint32_t(start) + 2 * RATE);
}

// The same without "on seek": the deferred seek is a full stop; the host's
// new audio must wait for the resume, which fades it in from the ring's
// start.
TEST_F(CardPause, FlushWithoutSeekFadeDuringThePauseFadeOutWaitsForTheResume) {
  live_settings.fadeFlags = engine_settings_defaults.fadeFlags & ~FADE_ON_SEEK;
  ASSERT_GE(open_song(), 0);
  feed(0, song.frames, [&](int) { return GetOutputTime() >= 2000; });
  locate_song();
  if (HasFatalFailure()) return;
  const uint32_t paused = now_frame();
  Pause(1);
  ASSERT_NE(0u, wait_for([] { return engine.pauseState == PAUSE_FADING_OUT; }, 20));
  Flush(6000);
  ASSERT_NE(0u, wait_for([] { return GetWrittenTime() == 6000; }, 300));
  EXPECT_EQ(PAUSE_PAUSED, engine.pauseState.load());
  const size_t first = clocks.size();
  lastOutput = 6000;
  const long to = 6000L * FRAMES_PER_MS;
  int at = feed(int(to), int(to) + 3 * RATE, [&](int next) { return next >= to + RATE / 2; });
  idle(100);
  EXPECT_FALSE(voices_playing()) << "the voices started during the pause";
  EXPECT_EQ(6000, GetOutputTime());
  const uint32_t resumed = now_frame();
  Pause(0);
  feed(at, int(to) + 3 * RATE);
  finish();
  idle(1500);

  const uint32_t fade = fit_pause_fade_out(paused);
  const long after = locate_resumed(resumed + 9600, to + 9600);
  const uint32_t begin = fit_fade_in(resumed, [&](uint32_t f) { return song.sample(long(f) - after); });
  EXPECT_EQ(long(begin), after + to) << "the new position starts with the fade-in";
  uint32_t where = 0;
  EXPECT_EQ(0, peak(out(), fade + PAUSE_FADE, begin)) << "sound during the pause";
  EXPECT_LE(model_error(begin, begin + 2 * RATE,
                        [&](uint32_t f) {
                          double g = double(f - begin) / PAUSE_FADE;
                          double s = song.sample(long(f) - after);
                          return g >= 1.0 ? s : faded(s, g);
                        },
                        &where),
            tolerance())
      << "frame " << where;
  expect_clock_not_below(first, 6000);
  expect_clock_follows(1, begin, 6000, begin + 1, begin + 2 * RATE);
}

// Without either fade: a seek while paused stops the voices; the host fills
// the ring with the new position, and the resume must start it although
// the host has nothing more to write.
TEST_F(CardPause, SeekWhilePausedWithoutFadesResumesAtTheNewPosition) {
  live_settings.fadeFlags = engine_settings_defaults.fadeFlags & ~(FADE_ON_SEEK | FADE_ON_PAUSE);
  ASSERT_GE(open_song(), 0);
  feed(0, song.frames, [&](int) { return GetOutputTime() >= 2000; });
  locate_song();
  if (HasFatalFailure()) return;
  const uint32_t paused = now_frame();
  Pause(1);
  Flush(6000);
  lastOutput = 6000;
  const long to = 6000L * FRAMES_PER_MS;
  // As much as the ring takes.
  int at = feed(int(to), int(to) + 3 * RATE, [&](int) { return CanWrite() < 4608; });
  idle(100);
  EXPECT_FALSE(voices_playing()) << "the voices started during the pause";
  const uint32_t resumed = now_frame();
  Pause(0);
  ASSERT_NE(0u, wait_for([] { return voices_playing(); }, 20)) << "the resume does not start the voices";
  feed(at, int(to) + 3 * RATE);
  finish();
  idle(1500);
  const long after = locate_resumed(resumed + 9600, to + 9600);
  const uint32_t start = uint32_t(after + to);
  EXPECT_GE(start, resumed);
  EXPECT_LE(start, resumed + PASS);
  uint32_t where = 0;
  EXPECT_EQ(0, peak(out(), paused, start)) << "sound during the pause";
  EXPECT_LE(model_error(start, start + 2 * RATE, [&](uint32_t f) { return song.sample(long(f) - after); }, &where),
            tolerance())
      << "frame " << where;
}
}  // namespace
