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
  const uint32_t end = last_above(lr, back, frames, int(t));
  const double song = double(before + after) * CARD_HZ / RATE;
  EXPECT_NEAR(double(first_end - onset) + double(end - back), song, 48.0);
  EXPECT_LT(double(before) * CARD_HZ / RATE - double(first_end - onset), 4096.0 + 400.0);
  EXPECT_LE(longest_quiet_run(lr, back + 480, end, int(t)), 12u) << "a gap in the rest";
  EXPECT_NEAR(tone_hz(lr, back, 960), 1000.0, 60.0);
  for (uint32_t at = back + 4800; at + 4800 < end; at += 14400) EXPECT_NEAR(tone_hz(lr, at, 4800), 1500.0, 5.0);
  // The clock from where the rest is heard: on from the time it held.
  expect_clock_follows(1, back, held, back, end);
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
// without fades: the second song continues the resampler, and the first
// one's end, pushed out at its close as if silence followed, is written
// over with what really follows, so the join matches the uncut signal.
TEST_F(CardEnds, ASignalCutIntoSongsJoinsAsIfUncut) {
  live_settings.fadeFlags = 0;
  auto value = [](int f) { return tone(1000, f, 5000.0) + tone(6100, f, 1500.0); };
  const int total = 3 * RATE;
  const int cut = RATE + 11;  // mid-period, where the signal is loud
  ASSERT_GT(std::abs(value(cut - 1)), 2048.0 * 1.5);
  play_signal(value, total);
  if (HasFatalFailure()) return;
  idle(2500);
  uint32_t frames = now_frame();
  const uint32_t one = first_above(out(), 0, frames, 0);
  ASSERT_LT(one, frames);
  const uint32_t length = uint32_t(int64_t(total) * CARD_HZ / RATE);
  std::vector<int16_t> whole(out() + 2 * one, out() + 2 * (one + length));
  card_memory_clear();
  const uint32_t base = now_frame();

  Song format;
  ASSERT_GE(open(format), 0);
  write_signal(value, 0, cut);
  finish();
  ASSERT_GE(open(format), 0);
  write_signal([&](int f) { return value(cut + f); }, 0, total - cut);
  finish();
  idle(2500);
  frames = now_frame();
  const uint32_t two = first_above(out(), base, frames, 0);
  ASSERT_LT(two + length, frames);
  const uint32_t join = uint32_t(int64_t(cut) * CARD_HZ / RATE);
  int worst = 0;
  uint32_t where = 0;
  for (uint32_t f = 0; f < length; ++f) {
    int d = std::abs(int(out()[2 * (two + f)]) - int(whole[2 * f]));
    if (d > worst) worst = d, where = f;
  }
  EXPECT_LE(worst, 2 * VOICE_COUNT) << "at frame " << where << ", the join at " << join;
  RecordProperty("largest_difference", worst);
}

}  // namespace
