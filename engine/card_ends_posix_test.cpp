// Where a song's audio ends on the software sound card: the trailing cut
// between two songs, a ring the host stops filling, and the last samples of
// a song before the next one or the end of the playlist.
#include <functional>

#include "engine/card_test_fixture.h"

namespace {
using namespace card_fixture;

const double AMPLITUDE = 7000.0;
const int RATE = 44100;

double sine_step(double hz, double level) { return 2.0 * M_PI * hz / CARD_HZ * level; }

// Frames with either channel nonzero in [from, to).
uint32_t nonzero_frames(const int16_t *lr, uint32_t from, uint32_t to) {
  uint32_t n = 0;
  for (uint32_t f = from; f < to; ++f) n += (lr[2 * f] != 0 || lr[2 * f + 1] != 0) ? 1 : 0;
  return n;
}

class CardEnds : public CardFixture {
 protected:
  // Writes frames [from, to) of a 44.1 kHz stereo signal like a host: a
  // block whenever CanWrite has room for it, a 10 ms sleep otherwise.
  void write_signal(const std::function<double(int)> &value, int from, int to) {
    std::vector<int16_t> block;
    int at = from, sleeps = 0;
    while (at < to) {
      int n = to - at < 1152 ? to - at : 1152;
      if (CanWrite() >= n * 4) {
        block.resize(size_t(2 * n));
        for (int i = 0; i < n; ++i) block[size_t(2 * i)] = block[size_t(2 * i + 1)] = int16_t(std::lround(value(at + i)));
        Write(reinterpret_cast<char *>(block.data()), n * 4);
        at += n;
        sleeps = 0;
      } else {
        ASSERT_LT(sleeps++, 3000) << "the engine took no data for 30 s at frame " << at;
        sleep_ms(10);
      }
      step_done();
    }
  }
  void play_signal(const std::function<double(int)> &value, int frames) {
    Song format;
    ASSERT_GE(open(format), 0);
    write_signal(value, 0, frames);
    finish();
  }
  double level() const { return AMPLITUDE * voice_gain(); }
};

double tone(double hz, int frame, double amplitude = AMPLITUDE) {
  return amplitude * std::sin(2.0 * M_PI * hz * frame / RATE);
}

// A song that ends in a quiet tail that is not silent (a fade-out, a note
// dying away) below the threshold: "Remove gaps" cuts it at the last loud
// sample. The 4 ms before the cut ramp down to silence, so the song ends
// without a step and the next one fades in from there.
TEST_F(CardEnds, TheTrailingCutRampsTheSongDownInsteadOfLeavingAStep) {
  const int loud = whole_periods(RATE, 1000, 1.0);
  const int quiet = whole_periods(RATE, 1000, 0.5);
  // Loud, then the same tone at 1500 of 7000 (the threshold is 2048).
  play_signal([&](int f) { return tone(1000, f, f < loud ? AMPLITUDE : 1500.0); }, loud + quiet);
  if (HasFatalFailure()) return;
  play_signal([](int f) { return tone(500, f); }, whole_periods(RATE, 500, 1.0));
  if (HasFatalFailure()) return;
  idle(2500);
  const uint32_t frames = now_frame();
  const uint32_t onset = first_above(out(), 0, frames, 0);
  ASSERT_LT(onset, frames);
  // The quiet tail was cut: the second song follows the loud second.
  const uint32_t cut = onset + 48000;
  EXPECT_NEAR(tone_hz(out(), cut + 480, 4800), 500.0, 5.0) << "the quiet tail was played";
  // No step at the join beyond the tones' own slope (the ramp adds 1/192 of
  // the level per sample); before, the cut stepped from the last loud
  // sample, above the threshold, to the next song's silent start.
  uint32_t where = 0;
  const int step = max_jump(out(), cut - 4800, cut + 4800, &where);
  EXPECT_LE(step, int(sine_step(1000, level()) * 1.1) + 16) << "a step at frame " << where << ", " << where - onset
                                                          << " after the onset";
  RecordProperty("largest_step", step);
}

// The host stops writing for longer than the ring (2.5 s against 1 s) and
// then goes on: the voices keep looping, but what they play in the gap is
// silence, not the ring's old audio; the song then goes on whole and in
// order, and the clock neither falls nor counts the gap as music.
TEST_F(CardEnds, AStarvedRingPlaysSilenceAndTheSongGoesOnWhole) {
  const int before = RATE * 149 / 100;  // 1.49 s of 1 kHz
  const int after = whole_periods(RATE, 1500, 1.5);
  // 1 kHz, then 1.5 kHz from the moment the host stalls, in one phase.
  auto value = [&](int f) {
    if (f < before) return tone(1000, f);
    return AMPLITUDE * std::sin(2.0 * M_PI * (1000.0 * before + 1500.0 * (f - before)) / RATE);
  };
  Song format;
  ASSERT_GE(open(format), 0);
  write_signal(value, 0, before);
  if (HasFatalFailure()) return;
  // The rings hold at most a second: all of it has played after 1.2 s.
  // Then 2.5 s more without a call but the clocks.
  idle(1200);
  const uint32_t stall = now_frame();
  const int played = GetOutputTime();
  idle(2500);
  const uint32_t resume = now_frame();
  // What is still staged (under a submit block) is not heard yet.
  const int held = GetOutputTime();
  EXPECT_EQ(held, played) << "the clock counted the gap as music";
  EXPECT_LE(held, GetWrittenTime());
  EXPECT_GE(held, GetWrittenTime() - 86);
  write_signal(value, before, before + after);
  if (HasFatalFailure()) return;
  finish();
  idle(2500);
  const uint32_t frames = now_frame();
  const int16_t *lr = out();
  const uint32_t onset = first_above(lr, 0, frames, 0);
  ASSERT_LT(onset, stall);
  // Silence from the stall until the rest of the song is heard.
  const uint32_t back = first_above(lr, stall, frames, 0);
  ASSERT_LT(back, frames) << "the rest of the song was never heard";
  EXPECT_GE(back, resume) << "audio in the gap, " << nonzero_frames(lr, stall, resume) << " frames of it";
  RecordProperty("nonzero_in_gap", int(nonzero_frames(lr, stall, resume)));
  // Every sample once and in order: what was heard up to the stall and what
  // follows the gap make the whole song. What was staged (under a submit
  // block) or in the resampler's look-ahead at the stall comes after the
  // gap, ahead of the 1.5 kHz part.
  const double t = level() / 8;
  const uint32_t first_end = last_above(lr, onset, stall, int(t));
  uint32_t end = last_above(lr, back, frames, int(t));
  // The voices stop within an output pass of the end: what they play past
  // it is the tail decay, one sign and falling, longer than a quarter of the
  // tone's period (8 frames). It is not the song.
  {
    uint32_t f = end;
    const bool negative = lr[2 * f] < 0;
    while (f > back && (lr[2 * (f - 1)] < 0) == negative && std::abs(lr[2 * (f - 1)]) >= std::abs(lr[2 * f])) --f;
    if (end - f > 12) end = f;
  }
  const double song = double(before + after) * CARD_HZ / RATE;
  EXPECT_NEAR(double(first_end - onset) + double(end - back), song, 48.0);
  EXPECT_LT(double(before) * CARD_HZ / RATE - double(first_end - onset), 4096.0 + 400.0);
  EXPECT_LE(longest_quiet_run(lr, back + 480, end, int(t)), 12u) << "a gap in the rest";
  EXPECT_NEAR(tone_hz(lr, back, 960), 1000.0, 60.0);
  for (uint32_t at = back + 4800; at + 4800 < end; at += 14400) EXPECT_NEAR(tone_hz(lr, at, 4800), 1500.0, 5.0);
  // The clock from where the rest is heard: on from the time it held.
  expect_clock_follows(1, back, held, back, end);
}

// A stop while the host is stalled, and one right after it writes again:
// the ring ahead of the cursor is silence up to the write offset a ring
// away, not queued audio. The stop fades what is really there (the audio
// written since, placed at the cursor) over its set time, then silence:
// no old audio and no audio a ring later.
TEST_F(CardEnds, AStopFadeInOrJustAfterAStallFadesOnlyRealAudio) {
  const int fade_ms = live_settings.fadeStopMs;
  ASSERT_TRUE(live_settings.fadeFlags & FADE_ON_STOP);
  for (int resumed_ms : {0, 300}) {
    SCOPED_TRACE(resumed_ms);
    card_memory_clear();
    Song format;
    ASSERT_GE(open(format), 0);
    const int before = RATE * 149 / 100;
    write_signal([](int f) { return tone(1000, f); }, 0, before);
    if (HasFatalFailure()) return;
    idle(1200 + 1500);  // all played, then a stall longer than the ring
    const int after = RATE * resumed_ms / 1000;
    if (after) write_signal([](int f) { return tone(500, f); }, before, before + after);
    if (HasFatalFailure()) return;
    const uint32_t stop = now_frame();
    close();
    idle(2000);
    const uint32_t frames = now_frame();
    const int16_t *lr = out();
    const uint32_t fade = uint32_t(fade_ms) * CARD_HZ / 1000;
    // Silence from the end of the fade on (10 ms for the output pass).
    const uint32_t quiet = stop + fade + 480 + 48;
    EXPECT_EQ(nonzero_frames(lr, quiet, frames), 0u)
        << "audio after the fade, from frame " << first_above(lr, quiet, frames, 0) - stop << " after the stop";
    EXPECT_FALSE(voices_playing());
    if (after) {
      // The audio written after the stall is heard at once, and fades.
      EXPECT_GT(peak(lr, stop + 480, stop + 1440), int(level() * 0.8)) << "the written audio was not heard";
      // The fade runs from the write cursor (10 ms ahead) over its set time.
      EXPECT_GT(peak(lr, stop + 480 + fade / 2 - 240, stop + 480 + fade / 2 + 240), int(level() * 0.4)) << "cut short";
      EXPECT_LT(peak(lr, stop + 480 + fade - 240, stop + 480 + fade + 240), int(level() * 0.05)) << "no fade";
    }
  }
}

// A real-time host: 1 kHz for 5 s, then 500 Hz for 3 s. The resampler holds
// the last 7 ms of each song back as its look-ahead; they end the song
// instead of opening the next one (whose fade-in swallowed them) or being
// lost at the end of the playlist.
TEST_F(CardEnds, TwoSongsEndWithTheirLastSamples) {
  play_signal([](int f) { return tone(1000, f); }, 5 * RATE);
  if (HasFatalFailure()) return;
  play_signal([](int f) { return tone(500, f); }, 3 * RATE);
  if (HasFatalFailure()) return;
  idle(2500);
  const uint32_t frames = now_frame();
  const int16_t *lr = out();
  const uint32_t onset = first_above(lr, 0, frames, 0);
  ASSERT_LT(onset, frames);
  const uint32_t join = onset + 5 * CARD_HZ, end = join + 3 * CARD_HZ;
  // The first song at full level up to its last millisecond.
  EXPECT_GT(peak(lr, join - 300, join - 48), int(level() * 0.95)) << "the first song's end faded";
  EXPECT_NEAR(tone_hz(lr, join - 960, 960), 1000.0, 30.0);
  // The second follows at once and plays to its end.
  EXPECT_NEAR(tone_hz(lr, join + 4800, 9600), 500.0, 5.0);
  EXPECT_GT(peak(lr, end - 144, end - 48), int(level() * 0.95)) << "the last song's end was lost";
  const uint32_t last = last_above(lr, join, frames, int(level() / 8));
  EXPECT_NEAR(double(last), double(end), 24.0);
  RecordProperty("frames_lost_at_the_end", int(end) - int(last));
}

// One signal cut into two songs at the same rate, played back to back
// without fades: the second song continues the resampler (and the
// equalizer), and the first one's end, pushed out at its close as if
// silence followed, is written over with what really follows, so the join
// matches the uncut signal. Returns the largest difference from the uncut
// signal; `where` the frame and `join` the cut's frame.
class CardJoins : public CardEnds {
 protected:
  int cut_join_difference(uint32_t *where, uint32_t *join) {
    live_settings.fadeFlags = 0;
    auto value = [](int f) { return tone(1000, f, 5000.0) + tone(6100, f, 1500.0); };
    const int total = 3 * RATE;
    const int cut = RATE + 11;  // mid-period, where the signal is loud
    EXPECT_GT(std::abs(value(cut - 1)), 2048.0 * 1.5);
    play_signal(value, total);
    if (HasFatalFailure()) return -1;
    idle(2500);
    uint32_t frames = now_frame();
    const uint32_t one = first_above(out(), 0, frames, 0);
    EXPECT_LT(one, frames);
    if (one >= frames) return -1;
    const uint32_t length = uint32_t(int64_t(total) * CARD_HZ / RATE);
    std::vector<int16_t> whole(out() + 2 * one, out() + 2 * (one + length));
    card_memory_clear();
    const uint32_t base = now_frame();

    Song format;
    EXPECT_GE(open(format), 0);
    write_signal(value, 0, cut);
    finish();
    EXPECT_GE(open(format), 0);
    write_signal([&](int f) { return value(cut + f); }, 0, total - cut);
    finish();
    idle(2500);
    frames = now_frame();
    const uint32_t two = first_above(out(), base, frames, 0);
    EXPECT_LT(two + length, frames);
    if (two + length >= frames) return -1;
    *join = uint32_t(int64_t(cut) * CARD_HZ / RATE);
    int worst = 0;
    *where = 0;
    for (uint32_t f = 0; f < length; ++f) {
      int d = std::abs(int(out()[2 * (two + f)]) - int(whole[2 * f]));
      if (d > worst) worst = d, *where = f;
    }
    return worst;
  }
};

TEST_F(CardJoins, ASignalCutIntoSongsJoinsAsIfUncut) {
  uint32_t where = 0, join = 0;
  const int worst = cut_join_difference(&where, &join);
  ASSERT_GE(worst, 0);
  EXPECT_LE(worst, 2 * VOICE_COUNT) << "at frame " << where << ", the join at " << join;
  RecordProperty("largest_difference", worst);
}

// With the equalizer on (and not flat), the same join: its states go on
// into the second song, which gives the first one's drained end again,
// filtered with what really follows, and writes it over.
TEST_F(CardJoins, ASignalCutIntoSongsJoinsAsIfUncutWithTheEqualizerOn) {
  const EqSettings saved = eq_settings;
  for (int b = 0; b < EQ_BANDS; ++b) eq_settings.bands[b] = b < 16 ? 70 : 35;
  eq_design();
  eq_enabled = 1;
  uint32_t where = 0, join = 0;
  const int worst = cut_join_difference(&where, &join);
  eq_settings = saved;
  eq_design();
  ASSERT_GE(worst, 0);
  EXPECT_LE(worst, 2 * VOICE_COUNT) << "at frame " << where << ", the join at " << join;
  RecordProperty("largest_difference", worst);
}

// With the equalizer on, a song's last samples are in its delay line (512
// at 48 kHz, 10.7 ms): they end the song, the last one as the others.
TEST_F(CardEnds, TheEqualizerDelayEndsTheSong) {
  live_settings.fadeFlags = 0;
  eq_enabled = 1;
  const int frames_in = whole_periods(RATE, 1000, 2.0);
  play_signal([](int f) { return tone(1000, f); }, frames_in);
  if (HasFatalFailure()) return;
  idle(2500);
  const uint32_t frames = now_frame();
  const int16_t *lr = out();
  const uint32_t onset = first_above(lr, 0, frames, int(level() / 8));
  ASSERT_LT(onset, frames);
  const uint32_t last = last_above(lr, onset, frames, int(level() / 8));
  const double length = double(frames_in) * CARD_HZ / RATE;
  // The filter's ringing moves both ends by a few samples. Before, the end
  // came 512 samples short, and the stop that waited for the end by whole
  // milliseconds took up to 52 more.
  EXPECT_NEAR(double(last - onset), length, 24.0) << "the song's end was lost";
  EXPECT_GT(peak(lr, last - 96, last), int(level() * 0.95)) << "the last millisecond faded";
  RecordProperty("frames_lost_at_the_end", int(std::lround(length)) - int(last - onset));
}

// Streams at very low rates: the resampler's look-ahead (323 input samples)
// is longer than the rings, 40 s at 8 Hz. The end of the stream goes out as
// the rings make room, within every buffer, and the whole stream is heard,
// with the clocks in order.
TEST_F(CardEnds, LowRateStreamsEndWholeWithinTheirBuffers) {
  live_settings.fadeFlags = 0;
  for (int rate : {315, 100, 8}) {
    SCOPED_TRACE(rate);
    card_memory_clear();
    const uint32_t base = now_frame();
    ++stream;
    inStream = true;
    lastOutput = 0;
    ASSERT_GE(Open(rate, 1, 16, -1, -1), 0);
    // 4 s of a constant level, as the host's CanWrite allows.
    const int total = 4 * rate;
    const std::vector<int16_t> block(size_t(total), int16_t(std::lround(AMPLITUDE)));
    int at = 0, sleeps = 0;
    while (at < total) {
      int n = CanWrite() / 2;
      if (n > total - at) n = total - at;
      if (n > 0) {
        Write(const_cast<char *>(reinterpret_cast<const char *>(block.data() + at)), 2 * n);
        at += n;
      } else {
        ASSERT_LT(sleeps++, 3000) << "the engine took no data for 30 s at frame " << at;
        sleep_ms(10);
      }
      step_done();
    }
    Write(nullptr, 0);
    for (int waited = 0; IsPlaying() && waited < 2000; ++waited) {
      sleep_ms(10);
      step_done();
    }
    EXPECT_EQ(0, IsPlaying());
    EXPECT_NEAR(GetWrittenTime(), 4000, 1000.0 / rate + 1) << "the written time is not what was written";
    // IsPlaying falls a buffer length before the end; then the clock runs
    // on to the end of what was written, and no further.
    idle(1500);
    EXPECT_EQ(GetOutputTime(), GetWrittenTime());
    close();
    const uint32_t frames = now_frame();
    const int16_t *lr = out();
    const int half = int(level() / 2);
    const uint32_t onset = first_above(lr, base, frames, half);
    ASSERT_LT(onset, frames) << "nothing heard";
    const uint32_t last = last_above(lr, onset, frames, half);
    // Within an input sample: the resampler places its output one input
    // sample late and the stream ends at its last output.
    const double per = double(CARD_HZ) / rate;
    EXPECT_NEAR(double(last - onset), 4.0 * CARD_HZ, per + 48.0) << "the stream was not heard whole";
    EXPECT_LE(longest_quiet_run(lr, onset, last, half), 1u) << "a gap in the stream";
  }
}

}  // namespace
