// Songs through the callbacks on the software sound card, with the real
// output thread and simulated time: the joins of "Insert gaps" and "No gap
// control", voice buffers lost mid-song and restored, and a new buffer
// length and a new output device committed while a song plays.
#include <cstring>

#include "engine/card_test_fixture.h"
#include "engine/settings_dialog.h"

namespace {
using namespace card_fixture;

const double AMPLITUDE = 7000.0;
const uint32_t MS = CARD_HZ / 1000;  // frames per millisecond at the card

// Periods of the left channel in [from, to): each swing from below -t to
// above +t counts once. The hysteresis keeps resampler ringing and the
// step to silence at an interruption from counting as periods, so a tone
// of P whole periods gives P - 1 (the first rise has no swing before it).
int swings(const int16_t *lr, uint32_t from, uint32_t to, int t) {
  int n = 0;
  bool low = false;
  for (uint32_t f = from; f < to; ++f) {
    int v = lr[2 * f];
    if (v < -t) low = true;
    if (v > t && low) {
      ++n;
      low = false;
    }
  }
  return n;
}

// Fades would blur where a tone begins and ends; the joins are measured on
// the tones' own edges, so every test here plays without fades.
class CardGaps : public CardFixture {
 protected:
  void SetUp() override {
    CardFixture::SetUp();
    live_settings.fadeFlags = 0;
    applied_settings = live_settings;
  }
  double level() const { return AMPLITUDE * voice_gain(); }
  // Plays the song once without incident and returns the periods heard and
  // the loud length; the sink and the clock readings start afresh after it.
  // What the resampler's edges take is the same in every run, so a later
  // run of the same song must match these figures exactly.
  int reference(const Song &s, uint32_t *length) {
    play(s);
    idle(1500);
    const uint32_t frames = now_frame();
    const int t = int(level() / 8);
    *length = last_above(out(), 0, frames, t) - first_above(out(), 0, frames, t);
    const int n = swings(out(), 0, frames, int(level() / 4));
    EXPECT_FALSE(voices_playing());
    card_memory_clear();
    clocks.clear();
    return n;
  }
};

// Songs of one second each: 1000 periods of 1 kHz at 44.1 kHz, then 1500
// periods of 1.5 kHz at 48 kHz.
void two_songs(Song *a, Song *b) {
  a->hz = 1000, a->toneFrames = whole_periods(44100, 1000, 1.0);
  b->rate = 48000, b->hz = 1500, b->toneFrames = whole_periods(48000, 1500, 1.0);
}

// The loud part of a tone at the card, from its first to its last sample
// above an eighth of the level: the tone's whole length, since the end of a
// stream pushes the resampler's look-ahead out (7 ms of the song, once lost
// with the states at the full stop, which shortened the loud part by 160
// frames). 1 ms either way covers the edges' smear and is below that loss.
const double WHOLE_SECOND_TOLERANCE = 48.0;
double heard(double seconds) { return seconds * CARD_HZ; }

// "Insert gaps", 2000 ms: the first song plays out whole, the voices stop,
// the second song is written and prebuffered during the pause and starts
// two seconds after the first one stopped.
TEST_F(CardGaps, InsertGapsStartsTheNextSongTwoSecondsAfterThePreviousEnded) {
  live_settings.gapMode = GAP_INSERT;
  live_settings.insertGapMs = 2000;
  Song a, b;
  two_songs(&a, &b);
  play(a);
  if (HasFatalFailure()) return;
  const uint32_t closed = now_frame();
  // Close saw the song played out: the full stop began the pause.
  EXPECT_EQ(2, engine.gapState.load());
  EXPECT_FALSE(voices_playing());
  EXPECT_EQ(0, engine.playing.load());
  uint32_t started = 0;
  int writtenAtStart = -1, outputBeforeStart = 0, gapAtStart = -1;
  onStep = [&] {
    const ClockSample &c = clocks.back();
    if (!started && voices_playing()) {
      started = c.frame;
      writtenAtStart = c.written;
      gapAtStart = engine.gapState;
    }
    if (!started && c.stream == 2) outputBeforeStart = std::max(outputBeforeStart, c.output);
  };
  ASSERT_GE(open(b), 0);
  write_frames(b, 0, b.frames());
  finish();
  onStep = nullptr;
  idle(1500);
  const uint32_t frames = now_frame();
  const double lv = level();
  const int loud = int(lv / 8);
  const uint32_t onsetA = first_above(out(), 0, frames, loud);
  const uint32_t endA = last_above(out(), 0, closed + 1, loud);
  ASSERT_LT(onsetA, frames);
  ASSERT_LT(endA, frames);
  const uint32_t onsetB = first_above(out(), endA + 1, frames, loud);
  const uint32_t endB = last_above(out(), onsetB, frames, loud);
  ASSERT_LT(onsetB, frames) << "the second song never started";
  // Both songs whole: Close waited for the first one's last sample before
  // it stopped the voices.
  EXPECT_NEAR(double(endA - onsetA), heard(1.0), WHOLE_SECOND_TOLERANCE);
  EXPECT_NEAR(double(endB - onsetB), heard(1.0), WHOLE_SECOND_TOLERANCE);
  // The pause: the stop tick is taken once the last sample has been heard
  // (within Close's 10 ms poll), and the output thread starts the voices
  // on the first 10 ms pass after 2000 ms with the prebuffer long filled.
  // The gap cannot be shorter than 2000 ms and is late by at most the two
  // polls and a millisecond of edge smear.
  const double gap_ms = double(onsetB - endA) / MS;
  EXPECT_GE(gap_ms, 2000.0 - 1.0);
  EXPECT_LE(gap_ms, 2000.0 + 21.0);
  // Silence in between: the voices were stopped. The first 20 ms after the
  // song may still hold the tail decay (the last sample, times 0.99 a
  // sample, is below 1e-4 of itself after 960 samples).
  EXPECT_LE(peak(out(), endA + 20 * MS, onsetB - 48), 16);
  // The voices started only after the pause (the host's steps are 10 ms
  // apart), with more than the prebuffer written.
  ASSERT_NE(0u, started);
  EXPECT_NEAR(double(started), double(onsetB), 10.0 * MS);
  EXPECT_GE(writtenAtStart, live_settings.prebufferMs);
  // Nothing of the second song was heard during the pause: its clock
  // stood at 0 while its audio was queued, then follows what is heard.
  EXPECT_EQ(0, outputBeforeStart);
  EXPECT_EQ(0, gapAtStart) << "the pause ended with the second song's start";
  // The second song played out in turn: the next pause has begun.
  EXPECT_EQ(2, engine.gapState.load());
  EXPECT_FALSE(voices_playing());
  expect_clock_follows(1, onsetA, 0, onsetA, endA);
  expect_clock_follows(2, onsetB, 0, 0, endB);
}

// A seek with "on seek" while the inserted pause runs: the voices have not
// started, so there is nothing to fade; the seek drops the queued audio of
// the old position and the new one plays whole.
TEST_F(CardGaps, ASeekDuringTheInsertedPausePlaysTheNewPosition) {
  live_settings.gapMode = GAP_INSERT;
  live_settings.insertGapMs = 2000;
  live_settings.fadeFlags = FADE_ON_SEEK;
  Song a, b;
  two_songs(&a, &b);
  b.toneFrames = whole_periods(48000, 1500, 3.0);
  play(a);
  if (HasFatalFailure()) return;
  const uint32_t closed = now_frame();
  ASSERT_EQ(2, engine.gapState.load());
  ASSERT_GE(open(b), 0);
  // Fill the ring during the pause, as far as it takes, then seek to 1 s.
  std::vector<uint8_t> bytes;
  int at = 0;
  while (CanWrite() >= 1152 * b.frame_bytes()) {
    b.render(at, 1152, &bytes);
    Write(reinterpret_cast<char *>(bytes.data()), int(bytes.size()));
    at += 1152;
  }
  ASSERT_GT(at, 40000) << "the ring took less than its length";
  ASSERT_EQ(2, engine.gapState.load()) << "the pause ended while the ring filled";
  Flush(1000);
  EXPECT_EQ(1000, GetWrittenTime());
  write_frames(b, 48000, b.frames());
  if (HasFatalFailure()) return;
  finish();
  idle(1000);
  const uint32_t frames = now_frame();
  const int loud = int(level() / 8);
  const uint32_t endA = last_above(out(), 0, closed + 1, loud);
  ASSERT_LT(endA, frames);
  const uint32_t onsetB = first_above(out(), endA + 20 * MS, frames, loud);
  ASSERT_LT(onsetB, frames) << "the second song never played";
  const uint32_t endB = last_above(out(), onsetB, frames, loud);
  // From the seek position to the end: 2 s of the second tone, within
  // 10 ms (measured: 6 ms short, the resampler's look-ahead at the cut and
  // at the end); a hang or the old position's audio would be seconds.
  EXPECT_NEAR(double(endB - onsetB), heard(2.0), 480.0);
  EXPECT_NEAR(tone_hz(out(), onsetB + 4800, 9600), 1500.0, 5.0);
}

// "No gap control": the first song plays out whole, Close stops the voices
// (the ring restarts at offset 0 for the next song) and the second song
// starts as a cold start once its prebuffer is written.
TEST_F(CardGaps, NoGapControlStopsAfterTheSongAndStartsTheNextFromColdWithNothingLost) {
  live_settings.gapMode = GAP_NONE;
  Song a, b;
  two_songs(&a, &b);
  play(a);
  if (HasFatalFailure()) return;
  // The full stop at Close: voices stopped, the clocks and the ring reset.
  EXPECT_FALSE(voices_playing());
  EXPECT_EQ(0, engine.playing.load());
  EXPECT_EQ(0, engine.gapState.load());
  EXPECT_EQ(0u, engine.writeOffset.load());
  EXPECT_EQ(0, GetWrittenTime());
  uint32_t started = 0;
  onStep = [&] {
    if (!started && voices_playing()) started = clocks.back().frame;
  };
  ASSERT_GE(open(b), 0);
  EXPECT_EQ(1, engine.coldStart.load()) << "the second song starts from cold";
  write_frames(b, 0, b.frames());
  finish();
  onStep = nullptr;
  idle(1500);
  const uint32_t frames = now_frame();
  const int loud = int(level() / 8);
  const uint32_t onsetA = first_above(out(), 0, frames, loud);
  ASSERT_LT(onsetA, frames);
  // A's tone is 1 kHz, B's 1.5 kHz: the end of A is the last loud sample
  // before B's onset, found from the frame where the voices restarted.
  ASSERT_NE(0u, started);
  const uint32_t onsetB = first_above(out(), started - 5 * MS, frames, loud);
  const uint32_t endA = last_above(out(), onsetA, started - 5 * MS, loud);
  const uint32_t endB = last_above(out(), onsetB, frames, loud);
  ASSERT_LT(onsetB, frames);
  EXPECT_NEAR(double(endA - onsetA), heard(1.0), WHOLE_SECOND_TOLERANCE) << "the first song lost its end";
  EXPECT_NEAR(double(endB - onsetB), heard(1.0), WHOLE_SECOND_TOLERANCE);
  EXPECT_NEAR(tone_hz(out(), onsetA + 24000 - 4800, 9600), 1000.0, 5.0);
  EXPECT_NEAR(tone_hz(out(), onsetB + 24000 - 4800, 9600), 1500.0, 5.0);
  // The join: Close returns within one 10 ms poll of A's last sample, the
  // host writes B's prebuffer at once and the start request is served by
  // the output thread's next pass: a silence of at most about 20 ms, and no
  // overlap.
  EXPECT_GT(onsetB, endA);
  EXPECT_LE(double(onsetB - endA) / MS, 21.0);
  expect_clock_follows(1, onsetA, 0, onsetA, endA);
  expect_clock_follows(2, onsetB, 0, onsetB, endB);
}

// Three seconds of 1 kHz (3000 periods) with all voice buffers lost after a
// second, while part of a submit block is still staged. The output thread
// restores and restarts the voices; they play on from where they stopped,
// the staged audio follows, and every period is heard once.
TEST_F(CardGaps, LostBuffersMidSongAreRestoredAndNoAudioIsLost) {
  Song s;
  s.hz = 1000;
  s.toneFrames = whole_periods(44100, 1000, 3.0);
  uint32_t clean = 0;
  const int periods = reference(s, &clean);
  ASSERT_GT(periods, 2990);
  bool lost = false;
  uint32_t lostAt = 0, restoredAt = 0, stagedAtLoss = 0;
  int outputAtLoss = 0;
  onStep = [&] {
    if (!lost && GetOutputTime() >= 1000 && engine.stagedBytes >= 2048) {
      stagedAtLoss = engine.stagedBytes;
      lostAt = now_frame();
      outputAtLoss = GetOutputTime();
      card_lose_all_buffers();
      lost = true;
      EXPECT_EQ(0, CanWrite()) << "the host may not write into lost buffers";
      EXPECT_EQ(outputAtLoss, GetOutputTime()) << "a lost buffer keeps the clock where it was";
    } else if (lost && !restoredAt && voices_playing()) {
      restoredAt = clocks.back().frame;
    }
  };
  ASSERT_GE(open(s), 0);
  write_frames(s, 0, s.frames());
  if (HasFatalFailure()) return;
  finish();
  onStep = nullptr;
  idle(1500);
  ASSERT_TRUE(lost);
  ASSERT_NE(0u, restoredAt) << "the voices were never restarted";
  EXPECT_GT(stagedAtLoss, 0u);
  EXPECT_FALSE(voices_lost());
  // The output thread restores on its next pass: the host's next 10 ms step
  // sees the voices playing again.
  EXPECT_LE(restoredAt - lostAt, 20 * MS);
  const uint32_t frames = now_frame();
  const double lv = level();
  const uint32_t onset = first_above(out(), 0, frames, int(lv / 8));
  const uint32_t end = last_above(out(), 0, frames, int(lv / 8));
  ASSERT_LT(onset, frames);
  // Every period once: nothing dropped from the ring or the staging,
  // nothing played twice. The count matches the clean run exactly; a
  // single lost millisecond would take one period away.
  EXPECT_EQ(periods, swings(out(), 0, frames, int(lv / 4)));
  // One interruption only, as long as the voices were stopped.
  uint32_t where = 0;
  const uint32_t quiet = longest_quiet_run(out(), onset + 480, end, int(lv / 50), &where);
  EXPECT_LE(quiet, restoredAt - lostAt + 2 * MS) << "at frame " << where;
  EXPECT_NEAR(double(where), double(lostAt), 10.0 * MS);
  // The heard length: the clean run's plus the interruption, within the
  // few frames the quiet-run threshold takes at its edges.
  EXPECT_NEAR(double(end - onset), double(clean) + quiet, 8.0);
  EXPECT_NEAR(tone_hz(out(), onset + 4800, 9600), 1000.0, 5.0);
  EXPECT_NEAR(tone_hz(out(), restoredAt + 4800, 9600), 1000.0, 5.0);
  // The clock counts what was heard: up to the loss, then on from there.
  expect_clock_follows(stream, onset, 0, onset, lostAt);
  expect_clock_follows(stream, restoredAt, outputAtLoss, restoredAt, end);
}

// The host checked CanWrite, then the buffers were lost before its Write:
// the block stays staged instead of being locked into the lost ring, and is
// heard after the restore.
TEST_F(CardGaps, ABlockWrittenIntoLostBuffersStaysStagedUntilTheRestore) {
  Song s;
  s.hz = 1000;
  s.toneFrames = whole_periods(44100, 1000, 3.0);
  uint32_t clean = 0;
  const int periods = reference(s, &clean);
  ASSERT_GT(periods, 2990);
  const int from = 44100 * 3 / 2;
  ASSERT_GE(open(s), 0);
  write_frames(s, 0, from);
  if (HasFatalFailure()) return;
  // Three blocks: more than a submit block, so Write would submit.
  const int n = 3 * 1152;
  for (int t = 0; t < 2000 && CanWrite() < n * s.frame_bytes(); t += 10) idle(10);
  ASSERT_GE(CanWrite(), n * s.frame_bytes());
  const uint32_t stagedBefore = engine.stagedBytes;
  card_lose_all_buffers();
  std::vector<uint8_t> bytes;
  s.render(from, n, &bytes);
  Write(reinterpret_cast<char *>(bytes.data()), int(bytes.size()));
  EXPECT_TRUE(voices_lost());
  EXPECT_GT(engine.stagedBytes.load(), stagedBefore) << "the block was not kept";
  EXPECT_GE(engine.stagedBytes.load(), uint32_t(SUBMIT_BLOCK_BYTES));
  write_frames(s, from + n, s.frames());
  if (HasFatalFailure()) return;
  finish();
  idle(1500);
  const uint32_t frames = now_frame();
  const double lv = level();
  EXPECT_EQ(periods, swings(out(), 0, frames, int(lv / 4))) << "periods lost or doubled";
  // One interruption, ended by the output thread's next pass.
  uint32_t where = 0;
  const uint32_t onset = first_above(out(), 0, frames, int(lv / 8));
  const uint32_t end = last_above(out(), 0, frames, int(lv / 8));
  EXPECT_LE(longest_quiet_run(out(), onset + 480, end, int(lv / 50), &where), 12 * MS) << "at frame " << where;
}

// A new buffer length committed while a song plays: the next song, joined
// without a stop ("Remove gaps"), still plays in the old ring; once the
// voices have stopped fully the output thread recreates them with the new
// length, keeping the device and the acoustic properties, and the third
// song plays whole in the shorter ring.
TEST_F(CardGaps, ABufferLengthCommittedWhilePlayingTakesEffectAfterTheFullStop) {
  ASSERT_EQ(96000u, ring_bytes());
  IDirectSound8 *device = device_set.device;
  IDirectSoundBuffer *primary = device_set.primary;
  IDirectSoundBuffer *voice = device_set.buffers[L1];
  LONG volumes[VOICE_COUNT];
  for (int v = 0; v < VOICE_COUNT; ++v) volumes[v] = card_buffer_volume(device_set.buffers[v]);
  Song a, b, c;
  two_songs(&a, &b);
  c.hz = 1000, c.toneFrames = whole_periods(44100, 1000, 2.0);
  ASSERT_GE(open(a), 0);
  write_frames(a, 0, a.frames() / 2);
  while (GetOutputTime() < 300) idle(10);
  // The dialog commits a half-second buffer mid-song.
  EngineSettings edited = applied_settings;
  edited.bufferLengthMs = 500;
  settings_commit(edited, appliedDeviceGuid);
  bool changedEarly = false;
  onStep = [&] {
    if (ring_bytes() != 96000u || live_settings.bufferLengthMs != 1000 || device_set.buffers[L1] != voice)
      changedEarly = true;
  };
  write_frames(a, a.frames() / 2, a.frames());
  finish();
  EXPECT_TRUE(voices_playing()) << "the first song's tail plays on for the next one";
  ASSERT_GE(open(b), 0);
  EXPECT_EQ(0, engine.coldStart.load()) << "the second song continues in the ring";
  write_frames(b, 0, b.frames());
  finish();
  EXPECT_FALSE(changedEarly) << "the new length took effect while playing";
  EXPECT_EQ(1, engine_reconfigure_request.load());
  onStep = nullptr;
  // The pending stop comes once the clock reaches the written time; the
  // reconfigure on the pass after.
  for (int t = 0; t < 2000 && engine_reconfigure_request; t += 10) idle(10);
  EXPECT_EQ(0, engine_reconfigure_request.load());
  EXPECT_EQ(500, live_settings.bufferLengthMs);
  EXPECT_EQ(48000u, ring_bytes());
  EXPECT_TRUE(device_ready());
  EXPECT_EQ(device, device_set.device) << "only the voices are recreated";
  EXPECT_EQ(primary, device_set.primary);
  for (int v = 0; v < VOICE_COUNT; ++v) EXPECT_EQ(volumes[v], card_buffer_volume(device_set.buffers[v]));
  const uint32_t switched = now_frame();
  ASSERT_EQ(500, open(c)) << "Open reports the new length";
  write_frames(c, 0, c.frames());
  finish();
  idle(1500);
  const uint32_t frames = now_frame();
  const int loud = int(level() / 8);
  const uint32_t onset = first_above(out(), switched, frames, loud);
  const uint32_t end = last_above(out(), switched, frames, loud);
  ASSERT_LT(onset, frames);
  // Two seconds through a 0.5 s ring: it wraps four times, nothing lost.
  EXPECT_NEAR(double(end - onset), heard(2.0), WHOLE_SECOND_TOLERANCE);
  uint32_t where = 0;
  EXPECT_LE(longest_quiet_run(out(), onset + 480, end, int(level() / 50), &where), 3u) << "a gap at " << where;
  expect_clock_follows(3, onset, 0, onset, end);
  // The songs before the change, joined in the old ring: two seconds.
  const uint32_t first = first_above(out(), 0, switched, loud);
  const uint32_t last = last_above(out(), 0, switched, loud);
  EXPECT_NEAR(double(last - first), heard(2.0), WHOLE_SECOND_TOLERANCE);
}

// Another output device committed while a song plays: the song ends on the
// old device; after the full stop the output thread closes it and opens
// the new one, the acoustic properties carry over, and the next song plays
// on the new device.
TEST_F(CardGaps, ADeviceCommittedWhilePlayingIsOpenedAfterTheFullStop) {
  CardDeviceConfig second;
  card_default_device_config(&second);
  std::strcpy(second.description, "Second Card");
  second.guid.Data1 ^= 0x5A5A5A5Au;
  second.speakerConfig = DSSPEAKER_HEADPHONE;
  ASSERT_EQ(1, card_add_device(&second));
  const DWORD firstSpeakers = device_get_speaker_config(device_set.device);
  ASSERT_NE(DWORD(DSSPEAKER_HEADPHONE), firstSpeakers);
  IDirectSound8 *oldDevice = device_set.device;
  LONG volumes[VOICE_COUNT];
  for (int v = 0; v < VOICE_COUNT; ++v) volumes[v] = card_buffer_volume(device_set.buffers[v]);
  Song a, b;
  two_songs(&a, &b);
  ASSERT_GE(open(a), 0);
  write_frames(a, 0, a.frames() / 2);
  while (GetOutputTime() < 300) idle(10);
  // The dialog commits the second card mid-song.
  settings_commit(applied_settings, second.guid);
  bool changedEarly = false;
  onStep = [&] {
    if (device_set.device != oldDevice || deviceGuid != GUID{}) changedEarly = true;
  };
  write_frames(a, a.frames() / 2, a.frames());
  finish();
  onStep = nullptr;
  EXPECT_FALSE(changedEarly) << "the device changed while playing";
  for (int t = 0; t < 2000 && engine_reconfigure_request; t += 10) idle(10);
  EXPECT_EQ(0, engine_reconfigure_request.load());
  EXPECT_TRUE(deviceGuid == second.guid);
  EXPECT_TRUE(device_ready());
  EXPECT_EQ(1, card_live_devices()) << "the old device was released";
  EXPECT_EQ(DWORD(DSSPEAKER_HEADPHONE), device_get_speaker_config(device_set.device)) << "not the second card";
  for (int v = 0; v < VOICE_COUNT; ++v) EXPECT_EQ(volumes[v], card_buffer_volume(device_set.buffers[v]));
  const uint32_t switched = now_frame();
  const int loud = int(level() / 8);
  // The first song on the first device, whole.
  const uint32_t onsetA = first_above(out(), 0, switched, loud);
  const uint32_t endA = last_above(out(), 0, switched, loud);
  ASSERT_LT(onsetA, switched);
  EXPECT_NEAR(double(endA - onsetA), heard(1.0), WHOLE_SECOND_TOLERANCE);
  ASSERT_GE(open(b), 0);
  write_frames(b, 0, b.frames());
  finish();
  idle(1500);
  const uint32_t frames = now_frame();
  const uint32_t onsetB = first_above(out(), switched, frames, loud);
  const uint32_t endB = last_above(out(), switched, frames, loud);
  ASSERT_LT(onsetB, frames) << "nothing was heard from the new device";
  EXPECT_NEAR(double(endB - onsetB), heard(1.0), WHOLE_SECOND_TOLERANCE);
  EXPECT_NEAR(tone_hz(out(), onsetB + 24000 - 4800, 9600), 1500.0, 5.0);
  // The song fits the ring, so the host wrote it at once and closed it
  // while it played on: the readings after Close (stream -2) still follow
  // what is heard until the pending stop.
  expect_clock_follows(-2, onsetB, 0, onsetB, endB);
  EXPECT_EQ(1, card_live_devices());
}
}  // namespace
