// Songs through the callbacks on the software sound card, with the real
// output thread and simulated time: one song whole, three songs joined
// without gaps, a stop fade with and without a song following over its
// tail, and the output clock against the frames the card rendered.
#include "engine/card_test_fixture.h"

namespace {
using namespace card_fixture;

// The four voices sit at the listener until the property model places them,
// so the card sums all four at unity, centred: a sine of under a quarter of
// full scale keeps that sum below full scale.
const double AMPLITUDE = 7000.0;

// Largest sample-to-sample step of a sine rendered at 48 kHz.
double sine_step(double hz, double level) { return 2.0 * M_PI * hz / CARD_HZ * level; }

class CardScenario : public CardFixture {};

TEST_F(CardScenario, OneSongReachesTheCardWholeAndWithoutClicks) {
  Song s;
  s.hz = 1000;
  s.toneFrames = 2 * 44100;  // 2000 whole periods
  ASSERT_GE(open(s), 0);
  write_frames(s, 0, s.frames());
  // The voices sit at the listener, all four playing, at unity.
  for (int v = 0; v < VOICE_COUNT; ++v) {
    D3DVECTOR at3d = {1, 1, 1};
    ASSERT_EQ(0, card_buffer_position(device_set.buffers[v], &at3d));
    EXPECT_EQ(0.0f, at3d.x);
    EXPECT_EQ(0.0f, at3d.y);
    EXPECT_EQ(0.0f, at3d.z);
    EXPECT_TRUE(card_buffer_is_playing(device_set.buffers[v]));
  }
  const double gain = voice_gain();
  ASSERT_GT(gain, 0.0);
  ASSERT_LT(gain * AMPLITUDE, 32000.0);
  finish();
  idle(2500);
  const uint32_t frames = now_frame();
  const double level = AMPLITUDE * gain;
  // The loud part: from the first to the last sample above an eighth of
  // the sine's level.
  uint32_t first = first_above(out(), 0, frames, int(level / 8));
  uint32_t last = last_above(out(), 0, frames, int(level / 8));
  ASSERT_LT(first, frames) << "nothing audible reached the card (" << frames << " frames)";
  // About 2 s at 48 kHz: the fades take some of the start and the end, and
  // nothing of the song may be lost or repeated beyond that.
  const double seconds = double(last - first + 1) / CARD_HZ;
  EXPECT_GT(seconds, 1.85) << "first " << first << " last " << last;
  EXPECT_LT(seconds, 2.05) << "first " << first << " last " << last;
  int p = peak(out(), 0, frames);
  EXPECT_GT(p, int(level * 0.95)) << "peak " << p << " expected " << level;
  EXPECT_LT(p, int(level * 1.05)) << "peak " << p << " expected " << level;
  // No clicks: allow for resampling and interpolation overshoot.
  uint32_t at = 0;
  EXPECT_LE(max_jump(out(), 0, frames, &at), int(sine_step(1000, level) * 1.5) + 16) << "frame " << at;
  EXPECT_FALSE(voices_playing()) << "the voices play on after the song";
}

// Three songs at three rates in "Remove gaps": a sine of its own in each,
// digital silence around songs 2 and 3. The leading silence of songs 2 and
// 3 and the trailing silence before them are cut, so the tones follow one
// another without a gap and without a click.
TEST_F(CardScenario, RemoveGapsJoinsThreeRatesWithoutGapOrClick) {
  // Fades on start would keep the leading silence.
  live_settings.fadeFlags = engine_settings_defaults.fadeFlags & ~FADE_ON_START;
  // A low threshold: the joins are cut where the tones are this close to 0.
  live_settings.silenceThreshold = 100;
  Song a, b, c;
  a.rate = 44100, a.hz = 500, a.toneFrames = whole_periods(44100, 500, 1.2), a.trailingFrames = 44100 * 3 / 10;
  b.rate = 48000, b.hz = 750, b.toneFrames = whole_periods(48000, 750, 1.2);
  b.leadingFrames = b.trailingFrames = 48000 * 3 / 10;
  c.rate = 22050, c.hz = 1000, c.toneFrames = whole_periods(22050, 1000, 1.2), c.channels = 1;
  c.leadingFrames = c.trailingFrames = 22050 * 3 / 10;
  const Song *songs[3] = {&a, &b, &c};
  for (const Song *s : songs) {
    play(*s);
    if (HasFatalFailure()) return;
    // IsPlaying turns 0 a buffer length (1000 ms) before the end when the
    // trailing silence is removed, so the next song opens while this one
    // still plays and continues in the same ring.
    if (s != &c) {
      EXPECT_TRUE(voices_playing());
    }
  }
  idle(2500);
  const uint32_t frames = now_frame();
  const double gain = voice_gain();
  const double level = AMPLITUDE * gain;
  const int quiet = int(100 * gain);
  const uint32_t onset = first_above(out(), 0, frames, 0);
  const uint32_t end = last_above(out(), 0, frames, quiet);
  ASSERT_LT(onset, frames);
  // Each tone lasts 1.2 s: the joins fall 57600 frames apart.
  const uint32_t tone = 57600;
  const uint32_t join1 = onset + tone, join2 = onset + 2 * tone;
  EXPECT_NEAR(double(end - onset), 3.0 * tone, 96.0) << "the three tones, nothing more and nothing less";
  // The tones in order.
  const double hz[3] = {500, 750, 1000};
  for (int k = 0; k < 3; ++k) {
    for (uint32_t at : {tone / 4, tone / 2, tone * 3 / 4}) {
      EXPECT_NEAR(tone_hz(out(), onset + uint32_t(k) * tone + at - 4800, 9600), hz[k], 5.0)
          << "song " << k + 1 << " at " << at;
    }
  }
  // No gap: near its zero crossings a sine is quiet for a sample or two, and
  // the ramp before a trailing cut ends in silence for a few more.
  uint32_t where = 0;
  EXPECT_LE(longest_quiet_run(out(), onset + 4800, end, quiet, &where), 12u) << "a gap at frame " << where;
  // No click inside the songs: the tones' own slope. The remover cuts each
  // join where the tones cross the threshold, so a join may step by up to
  // both tones' slopes and twice the threshold.
  const int inside = int(sine_step(1000, level) * 1.25) + 16;
  EXPECT_LE(max_jump(out(), onset, join1 - 48, &where), inside) << "frame " << where;
  EXPECT_LE(max_jump(out(), join1 + 48, join2 - 48, &where), inside) << "frame " << where;
  EXPECT_LE(max_jump(out(), join2 + 48, frames, &where), inside) << "frame " << where;
  const int joint = int((sine_step(750, level) + sine_step(1000, level) + 2 * quiet) * 1.1) + 16;
  EXPECT_LE(max_jump(out(), join1 - 48, join1 + 48, &where), joint) << "frame " << where;
  EXPECT_LE(max_jump(out(), join2 - 48, join2 + 48, &where), joint) << "frame " << where;
  // Each song's clock starts at 0 with its first sample heard.
  expect_clock_follows(1, onset, 0, onset, join1);
  expect_clock_follows(2, join1, 0, join1, join2);
  expect_clock_follows(3, join2, 0, join2, end);
}

// The clock through a long song: the ring wraps eight times.
TEST_F(CardScenario, OutputTimeFollowsTheRenderedFrames) {
  live_settings.fadeFlags = 0;
  Song s;
  s.hz = 1000;
  s.toneFrames = 8 * 44100;
  play(s);
  idle(1500);
  const uint32_t frames = now_frame();
  const uint32_t onset = first_above(out(), 0, frames, int(50 * voice_gain()));
  ASSERT_LT(onset, frames);
  expect_clock_follows(1, onset, 0, 0, onset + 8 * CARD_HZ);
  // Written time: the whole song at 48 kHz.
  EXPECT_EQ(0, GetWrittenTime()) << "a full stop clears the written frames";
}

// Stop mid-song with "on stop": the sound fades out over 250 ms from the
// write cursor, 10 ms ahead of what is heard, and the voices stop when the
// clock has caught up with the written time, right after the fade.
TEST_F(CardScenario, StopFadesOutAndTheVoicesStopAfterTheFade) {
  Song s;
  s.toneFrames = 6 * 44100;
  ASSERT_GE(open(s), 0);
  write_frames(s, 0, 3 * 44100);
  while (GetOutputTime() < 2000) idle(10);
  const double level = AMPLITUDE * voice_gain();
  const uint32_t closed = now_frame();
  close();
  uint32_t stopped = 0;
  for (int t = 0; t < 2000 && !stopped; t += 10) {
    idle(10);
    if (!voices_playing()) stopped = now_frame();
  }
  ASSERT_NE(0u, stopped) << "the voices play on after the stop fade";
  const uint32_t fade = closed + 480, fade_end = fade + 12000;
  EXPECT_NEAR(double(stopped), double(fade_end), 960.0) << "the voices stop once the fade has played";
  idle(500);
  const uint32_t frames = now_frame();
  EXPECT_GT(peak(out(), closed - 4800, closed), int(level * 0.95)) << "full level before the stop";
  // The envelope falls: the peak of each 5 ms falls with the fade.
  int previous = peak(out(), fade - 240, fade);
  for (uint32_t at = fade; at + 240 <= fade_end; at += 240) {
    int p = peak(out(), at, at + 240);
    EXPECT_LE(p, previous + int(level * 0.02)) << "the fade rises at frame " << at;
    double expected = level * (1.0 - double(at - fade) / 12000.0);
    EXPECT_NEAR(p, expected, level * 0.06) << "frame " << at;
    previous = p;
  }
  EXPECT_LE(peak(out(), fade_end + 48, frames), 16) << "silence after the fade";
  uint32_t where = 0;
  EXPECT_LE(max_jump(out(), closed - 4800, frames, &where), int(sine_step(1000, level) * 1.1) + 16)
      << "frame " << where;
}

// A song opened during the stop fade continues over the faded tail: the
// voices never stop, the new song fades in on top of the old one's fade
// and then plays whole.
TEST_F(CardScenario, ASongOpenedDuringTheStopFadeContinuesOverItsTail) {
  Song a, b;
  a.toneFrames = 6 * 44100;
  b.rate = 48000, b.hz = 1500, b.toneFrames = 2 * 48000;
  ASSERT_GE(open(a), 0);
  write_frames(a, 0, 3 * 44100);
  while (GetOutputTime() < 2000) idle(10);
  const double level = AMPLITUDE * voice_gain();
  const uint32_t closed = now_frame();
  close();
  idle(100);
  ASSERT_TRUE(voices_playing());
  bool stopped = false;
  uint32_t first_submit = 0;
  onStep = [&] {
    if (!voices_playing()) stopped = true;
    if (!first_submit && engine.submitCount > 0) first_submit = clocks.back().frame;
  };
  ASSERT_GE(open(b), 0);
  write_frames(b, 0, b.frames());
  Write(nullptr, 0);
  while (IsPlaying()) idle(10);
  close();
  onStep = nullptr;
  idle(2000);
  EXPECT_FALSE(stopped) << "the voices stopped between the songs";
  ASSERT_NE(0u, first_submit);
  const uint32_t frames = now_frame();
  // The new song is written from the write cursor, 10 ms ahead of the play
  // cursor, over the rest of the old song's fade.
  const uint32_t start = first_submit + 480;
  EXPECT_LT(start, closed + 480 + 12000) << "the new song starts within the fade";
  // Two sines of different pitch cancel now and then for a few samples;
  // a gap would last milliseconds.
  uint32_t where = 0;
  EXPECT_LE(longest_quiet_run(out(), closed - 4800, start + 2 * CARD_HZ - 4800, int(level / 50), &where), 12u)
      << "a gap at frame " << where;
  const int limit = int((sine_step(1000, level) + sine_step(1500, level)) * 1.1) + 16;
  // No click across the join (the new song's own abrupt end is its content).
  EXPECT_LE(max_jump(out(), closed - 4800, start + 24000, &where), limit) << "frame " << where;
  // The overlap adds a falling and a rising sine: never beyond both levels.
  EXPECT_LE(peak(out(), start, start + 12000), int(level * 1.3));
  // After the overlap only the new song, at its level, and all of it.
  EXPECT_NEAR(tone_hz(out(), start + 14400, 9600), 1500.0, 5.0);
  EXPECT_GT(peak(out(), start + 14400, start + 24000), int(level * 0.95));
  uint32_t last = last_above(out(), start, frames, int(level / 8));
  EXPECT_NEAR(double(last - start), 2.0 * CARD_HZ, 480.0);
  expect_clock_follows(2, start, 0, start, start + 2 * CARD_HZ - 4800);
}
}  // namespace
