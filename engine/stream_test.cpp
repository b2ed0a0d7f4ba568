// The stream callbacks, fades and gap control against test voices whose
// cursors the tests move by hand; the output thread does not run, the
// tests call its pass themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dsp/eq_design.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/engine_internal.h"
#include "engine/settings.h"
#include "engine/test_voices.h"
#include "platform/os.h"

// The module's state, which the plug-in module owns in the product.
Out_Module out_module = {};
std::atomic<uint32_t> enabled_flag{0};
std::atomic<HWND> plugin_window{nullptr};
static intptr_t full_stop_answer = 0;
intptr_t host_message(int code) { return code == IPC_ISFULLSTOP ? full_stop_answer : 0; }
bool host_message_bounded(int code, int, intptr_t *result) {
  *result = host_message(code);
  return true;
}

namespace {
const uint32_t RING = 96000;  // 1000 ms

class Stream : public ::testing::Test {
 protected:
  TestVoice l1{RING}, r1{RING};
  TestVoice l2{l1, 0}, r2{r1, 0};

  void SetUp() override {
    live_settings = engine_settings_defaults;
    live_settings.interpolation = 0;
    applied_settings = live_settings;
    eq_enabled = 0;
    full_stop_answer = 0;
    TestVoice *v[4] = {&l1, &r1, &l2, &r2};
    for (int i = 0; i < 4; ++i) device_set.buffer8s[i] = v[i];
    device_set.voiceBufferBytes = RING;
    device_set.bufferLost = 0;
    device_set.rememberedPlay = 0;
    device_set.rememberedWrite = 0;
    device_set.stateFlags = DEVICE_READY | DEVICE_VOICES_READY;
    ASSERT_EQ(engine_start(false), 0);
  }
  void TearDown() override {
    engine_release();
    live_settings = applied_settings = dialog_settings = engine_settings_defaults;
    engine_reconfigure_request = 0;
    for (int i = 0; i < 4; ++i) device_set.buffer8s[i] = nullptr;
    device_set.stateFlags = 0;
    device_set.voiceBufferBytes = 0;
  }

  // Moves both play cursors; the write cursor leads by `lead` bytes.
  void cursor(uint32_t play, uint32_t lead = 0) {
    l1.play = r1.play = l2.play = r2.play = play % RING;
    l1.lead = lead;
  }
  // Writes frames of 16-bit stereo made by f(i) for both channels.
  template <class F>
  void write_stereo(uint32_t frames, F f, uint32_t first = 0) {
    std::vector<int16_t> buf(2 * frames);
    for (uint32_t i = 0; i < frames; ++i) buf[2 * i] = buf[2 * i + 1] = int16_t(f(first + i));
    Write(reinterpret_cast<char *>(buf.data()), int(buf.size() * 2));
  }
  int16_t ring_left(uint32_t offset) { return l1.sample(offset % RING); }
};

TEST_F(Stream, OpenRefusesWhatItCannotPlay) {
  EXPECT_EQ(Open(44100, 2, 32, -1, -1), -1);
  EXPECT_EQ(Open(44100, 2, 12, -1, -1), -1);
  EXPECT_EQ(Open(0, 2, 16, -1, -1), -1);
  EXPECT_EQ(Open(-44100, 2, 16, -1, -1), -1);
  EXPECT_EQ(Open(384001, 2, 16, -1, -1), -1);
  EXPECT_EQ(Open(44100, 0, 16, -1, -1), -1);
  device_set.stateFlags = 0;
  EXPECT_EQ(Open(44100, 2, 16, -1, -1), -1);
}

// A host's channel count is multiplied into a frame size: a count that
// wraps it would make Write read past the block it was given.
TEST_F(Stream, OpenRefusesChannelCountsThatWouldWrapTheFrameSize) {
  EXPECT_EQ(Open(44100, 1431655766, 24, -1, -1), -1);
  EXPECT_EQ(Open(44100, 0x7FFFFFFF, 16, -1, -1), -1);
  EXPECT_EQ(Open(44100, 33, 8, -1, -1), -1);
  EXPECT_EQ(Open(44100, 2, 0x7FFFFFF8, -1, -1), -1);
  EXPECT_EQ(Open(0x7FFFFFFF, 2, 16, -1, -1), -1);
  // Nothing of the refused formats stays behind for a Write.
  std::vector<char> four(4, 0x11);
  Write(four.data(), 4);
  EXPECT_EQ(engine.writtenFrames, 0);

  // The widest stream taken: 32 channels of 24 bits, 96 bytes a frame. A
  // block shorter than one frame is not read at all; the vector holds
  // exactly the bytes given, so a read past it shows under the sanitizers.
  ASSERT_GE(Open(48000, 32, 24, -1, -1), 0);
  Write(four.data(), 4);
  EXPECT_EQ(engine.writtenFrames, 0);
  std::vector<char> frame(96, 0);
  frame[1] = 0x34, frame[2] = 0x12, frame[4] = 0x78, frame[5] = 0x56;
  Write(frame.data(), int(frame.size()));
  ASSERT_EQ(engine.writtenFrames, 1);
  EXPECT_EQ(engine.stageLeft[0], 0x1234);
  EXPECT_EQ(engine.stageRight[0], 0x5678);
  // With interpolation the input is converted before resampling, from the
  // same frame size.
  live_settings.interpolation = 1;
  ASSERT_GE(Open(44100, 32, 24, -1, -1), 0);
  Write(four.data(), 4);
  EXPECT_EQ(engine.writtenFrames, 0);
}

TEST_F(Stream, OpenReturnsTheBufferLengthAtTheStreamRate) {
  EXPECT_EQ(Open(44100, 2, 16, -1, -1), 1088);
  live_settings.interpolation = 1;
  EXPECT_EQ(Open(44100, 2, 16, -1, -1), 1000);
  EXPECT_EQ(engine.outRate, 48000);
}

TEST_F(Stream, CallbacksBeforeAnyOpenDoNothingHarmful) {
  EXPECT_EQ(GetOutputTime(), 0);
  EXPECT_EQ(GetWrittenTime(), 0);
  EXPECT_EQ(IsPlaying(), 0);
  EXPECT_EQ(CanWrite(), 0);
  char b[4] = {};
  EXPECT_EQ(Write(b, 4), 0);
  Flush(1000);
  Close();
  EXPECT_EQ(engine.writtenFrames, 0);
}

TEST_F(Stream, EightBitMonoBecomesSignedStereo) {
  ASSERT_GE(Open(48000, 1, 8, -1, -1), 0);
  char in[3] = {char(0x80), char(0xFF), char(0x00)};
  Write(in, 3);
  ASSERT_EQ(engine.stagedBytes, 6u);
  EXPECT_EQ(engine.stageLeft[0], 0);
  EXPECT_EQ(engine.stageRight[0], 0);
  EXPECT_EQ(engine.stageLeft[1], 0x7F00);
  EXPECT_EQ(engine.stageRight[1], 0x7F00);
  EXPECT_EQ(engine.stageLeft[2], -32768);
}

TEST_F(Stream, TwentyFourBitKeepsTheUpperTwoBytes) {
  ASSERT_GE(Open(48000, 1, 24, -1, -1), 0);
  // 0x123456 and -2 (0xFFFFFE): one stereo frame each.
  char in[6] = {0x56, 0x34, 0x12, char(0xFE), char(0xFF), char(0xFF)};
  Write(in, 6);
  ASSERT_EQ(engine.writtenFrames, 2);
  EXPECT_EQ(engine.stageLeft[0], 0x1234);
  EXPECT_EQ(engine.stageRight[0], 0x1234);
  EXPECT_EQ(engine.stageLeft[1], -1);
}

TEST_F(Stream, WideFramesGiveTheirFirstTwoChannels) {
  ASSERT_GE(Open(48000, 6, 16, -1, -1), 0);
  int16_t in[12] = {100, 200, 3, 4, 5, 6, 101, 201, 3, 4, 5, 6};
  Write(reinterpret_cast<char *>(in), sizeof in);
  ASSERT_EQ(engine.writtenFrames, 2);
  EXPECT_EQ(engine.stageLeft[1], 101);
  EXPECT_EQ(engine.stageRight[1], 201);
}

TEST_F(Stream, BlocksBelowEightKilobytesStayStaged) {
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(4095, [](uint32_t i) { return int(i % 1000) + 1; });
  EXPECT_EQ(engine.stagedBytes, 8190u);
  EXPECT_EQ(engine.writeOffset, 0u);
  EXPECT_EQ(ring_left(0), 0);
  write_stereo(1, [](uint32_t) { return 7; });
  EXPECT_EQ(engine.stagedBytes, 0u);
  EXPECT_EQ(engine.writeOffset, 8192u);
  EXPECT_EQ(engine.submittedBytes, 8192u);
  EXPECT_EQ(engine.mirrorLeft[4095], 7);
}

TEST_F(Stream, ABlockLargerThanTheConversionBufferIsKeptWhole) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t i) { return int(i % 30000); });
  EXPECT_EQ(engine.writtenFrames, 20000);
  EXPECT_EQ(GetWrittenTime(), 416);
  EXPECT_EQ(engine.submittedBytes + engine.stagedBytes, 40000u);
  for (uint32_t i = 0; i < engine.submittedBytes / 2; i += 997) ASSERT_EQ(ring_left(2 * i), int16_t(i % 30000));
}

TEST_F(Stream, TheClockKeepsRisingAcrossRingWraps) {
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  engine.writtenFrames = 48000 * 10;
  int last = 0;
  for (uint32_t t = 0; t < 5 * RING; t += 4800) {
    cursor(t);
    int ms = GetOutputTime();
    ASSERT_GE(ms, last);
    ASSERT_EQ(ms, int(t / 96));
    last = ms;
  }
}

TEST_F(Stream, WrittenTimeHasNoOverflowOnLongStreams) {
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  engine.writtenFrames = int64_t(48000) * 3600 * 10;
  EXPECT_EQ(GetWrittenTime(), 36000000);
}

TEST_F(Stream, CanWriteCountsInputBytesUpToThePlayCursor) {
  ASSERT_GE(Open(48000, 1, 8, -1, -1), 0);
  cursor(0);
  EXPECT_EQ(CanWrite(), int((RING - 2) / 2));
  engine.writeOffset = 1000;
  cursor(5000);
  EXPECT_EQ(CanWrite(), (4000 - 2) / 2);
}

TEST_F(Stream, CpuUsageControlRefusesASecondCallInTheSameTick) {
  live_settings.cpuUsageControl = 1;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  engine.submitCount = 8;
  engine.writeOffset = 60000;
  cursor(0);
  bool refused = false;
  for (int attempt = 0; attempt < 100 && !refused; ++attempt) {
    uint32_t before = os_tick_count();
    CanWrite();
    int second = CanWrite();
    if (os_tick_count() == before) refused = second == 0;
  }
  EXPECT_TRUE(refused);
  engine.writeOffset = 40000;  // less than half a second queued
  CanWrite();
  EXPECT_GT(CanWrite(), 0);
}

TEST_F(Stream, VolumeRampsToSilenceInFortyPasses) {
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  SetVolume(255);
  EXPECT_EQ(engine.volumeCurrent, 10000);
  EXPECT_EQ(volume_to_mb(10000), 0);
  EXPECT_EQ(volume_to_mb(0), -10000);
  SetVolume(0);
  SetVolume(-666);
  EXPECT_EQ(engine.volumeTarget, 0);
  for (int i = 0; i < 39; ++i) output_thread_pass();
  EXPECT_EQ(engine.volumeCurrent, 250);
  output_thread_pass();
  EXPECT_EQ(engine.volumeCurrent, 0);
}

TEST_F(Stream, SettingsCommittedWhilePlayingWaitForAFullStop) {
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t i) { return int(i % 20000); });
  ASSERT_EQ(engine.playing, 1);
  applied_settings.gapMode = GAP_INSERT;
  engine_reconfigure_request = 1;
  output_thread_pass();
  EXPECT_EQ(live_settings.gapMode, GAP_REMOVE);
  full_stop();
  engine.streamState = STREAM_CLOSED;
  output_thread_pass();
  EXPECT_EQ(live_settings.gapMode, GAP_INSERT);
  EXPECT_EQ(engine_reconfigure_request, 0);
}

TEST_F(Stream, FullScaleCrossfadeSaturates) {
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  engine.crossfadeMix = 1;
  engine.fadeInLength = 0;
  engine.overlap = 4;
  engine.mirrorLeft[0] = 32767;
  engine.mirrorRight[0] = -32768;
  engine.mirrorLeft[1] = -32768;
  engine.mirrorRight[1] = 32767;
  int16_t l[2] = {32767, -32768}, r[2] = {-32768, 32767};
  mix_chunk(l, r, 4, 0);
  EXPECT_EQ(l[0], 32767);
  EXPECT_EQ(r[0], -32768);
  EXPECT_EQ(l[1], -32768);
  EXPECT_EQ(r[1], 32767);
  EXPECT_EQ(engine.overlap, 0);
}

TEST_F(Stream, FadeInRisesFromSilence) {
  live_settings.fadeFlags = FADE_ON_START;
  live_settings.fadeStartMs = 10;  // 480 samples
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(4096, [](uint32_t) { return 10000; });
  EXPECT_EQ(ring_left(0), 0);
  EXPECT_NEAR(ring_left(480), 5000, 30);
  EXPECT_EQ(ring_left(2 * 600), 10000);
}

TEST_F(Stream, StopFadeEndsInSilenceAndStopsWhenTheClockCatchesUp) {
  live_settings.fadeFlags = FADE_ON_STOP;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(40000, [](uint32_t) { return 20000; });
  ASSERT_EQ(engine.playing, 1);
  cursor(0, 1920);
  Close();
  EXPECT_EQ(engine.stopPending, 1);
  // 250 ms = 12000 samples from the write cursor down to silence.
  EXPECT_NEAR(ring_left(1920 + 2 * 6000), 10000, 20);
  EXPECT_EQ(ring_left(1920 + 2 * 12000 + 2), 0);
  EXPECT_EQ(ring_left(70000), 0);
  // The clock reaches the written time at the end of the fade.
  cursor(1920 + 24000);
  EXPECT_GE(GetOutputTime(), GetWrittenTime());
  output_thread_pass();
  EXPECT_EQ(engine.stopPending, 0);
  EXPECT_EQ(engine.playing, 0);
  EXPECT_FALSE(l1.playing);
}

TEST_F(Stream, SeekWithoutFadeRestartsAtTheSeekPosition) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 1000; });
  cursor(4000);
  Flush(30000);
  EXPECT_EQ(GetWrittenTime(), 30000);
  EXPECT_EQ(engine.writeOffset, 0u);
  EXPECT_EQ(engine.playing, 0);
  EXPECT_EQ(GetOutputTime(), 30000);
  EXPECT_EQ(engine.prebufferFlag, 1);
}

// Seek positions come from the host unchecked: negative ones start the
// stream at 0, huge ones are held where the clocks still add up in range.
TEST_F(Stream, FlushPositionsAreKeptWhereTheClocksCannotWrap) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(4800, [](uint32_t) { return 1000; });
  Flush(-1);
  EXPECT_EQ(GetWrittenTime(), 0);
  EXPECT_EQ(GetOutputTime(), 0);
  Flush(-2147483647 - 1);
  EXPECT_EQ(GetWrittenTime(), 0);
  EXPECT_EQ(GetOutputTime(), 0);

  Flush(2147483647);
  const int held = GetWrittenTime();
  EXPECT_EQ(held, ENGINE_MAX_POSITION_MS);
  EXPECT_EQ(GetOutputTime(), held);
  write_stereo(48000, [](uint32_t) { return 1000; });
  EXPECT_EQ(GetWrittenTime(), held + 1000);
  cursor(9600);
  EXPECT_GE(GetOutputTime(), held);
  EXPECT_LE(GetOutputTime(), GetWrittenTime());

  // A stream that has been written far past any real length still reports
  // a time, never a wrapped negative one.
  engine.writtenFrames = int64_t(48000) * 3000000000LL;
  EXPECT_EQ(GetWrittenTime(), 2147483647);

  // The next stream starts at 0, whatever the last one was sought to.
  Close();
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  EXPECT_EQ(GetWrittenTime(), 0);
  EXPECT_LE(GetOutputTime(), 0);
  write_stereo(4800, [](uint32_t) { return 1000; });
  EXPECT_EQ(GetWrittenTime(), 100);
  EXPECT_LE(GetOutputTime(), 100);
}

TEST_F(Stream, SeekWithFadeCrossfadesFromTheWriteCursor) {
  live_settings.fadeFlags = FADE_ON_SEEK;
  live_settings.fadeSeekMs = 10;  // 480 samples
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 8000; });
  cursor(0, 1000);
  Flush(5000);
  EXPECT_EQ(GetWrittenTime(), 5000);
  EXPECT_EQ(engine.freshStart, 1);
  write_stereo(4096, [](uint32_t) { return 8000; });
  // Old fading out plus new fading in: level stays about 8000 over the fade.
  EXPECT_NEAR(ring_left(1000 + 480), 8000, 40);
  EXPECT_EQ(ring_left(1000 + 4000), 8000);
  cursor(1000);
  EXPECT_EQ(GetOutputTime(), 5000);
}

TEST_F(Stream, PauseWithoutFadeStopsAndResumes) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 1; });
  EXPECT_EQ(Pause(1), 0);
  EXPECT_FALSE(l1.playing);
  EXPECT_FALSE(r2.playing);
  EXPECT_EQ(Pause(0), 1);
  EXPECT_TRUE(l1.playing);
  EXPECT_TRUE(r2.playing);
}

TEST_F(Stream, PauseFadeRampsDownStopsAndComesBack) {
  live_settings.fadeFlags = FADE_ON_PAUSE;
  live_settings.fadePauseMs = 10;  // 960 bytes
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 10000; });
  cursor(0, 200);
  Pause(1);
  EXPECT_TRUE(l1.playing);
  pause_fade_step();
  EXPECT_EQ(engine.pauseState, PAUSE_FADING_OUT);
  EXPECT_EQ(CanWrite(), 0);
  EXPECT_NEAR(ring_left(200 + 480), 5000, 30);
  EXPECT_EQ(ring_left(200 + 1000), 0);
  cursor(200 + 960, 200);
  pause_fade_step();
  EXPECT_EQ(engine.pauseState, PAUSE_PAUSED);
  EXPECT_FALSE(l1.playing);
  Pause(0);
  pause_fade_step();
  EXPECT_EQ(engine.pauseState, PAUSE_FADING_IN);
  EXPECT_TRUE(l1.playing);
  // From the write cursor up again, and the rest restored from the mirror.
  EXPECT_NEAR(ring_left(1360 + 480), 5000, 30);
  EXPECT_EQ(ring_left(1360 + 4000), 10000);
}

TEST_F(Stream, PausingAgainDuringTheFadeInReversesFromTheLevelReached) {
  live_settings.fadeFlags = FADE_ON_PAUSE;
  live_settings.fadePauseMs = 10;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 10000; });
  cursor(0, 0);
  Pause(1);
  pause_fade_step();
  cursor(960);
  pause_fade_step();
  ASSERT_EQ(engine.pauseState, PAUSE_PAUSED);
  Pause(0);
  pause_fade_step();
  ASSERT_EQ(engine.pauseState, PAUSE_FADING_IN);
  cursor(960 + 480);  // half way up
  Pause(1);
  pause_fade_step();
  EXPECT_EQ(engine.pauseState, PAUSE_FADING_OUT);
  EXPECT_NEAR(engine.pauseLevel, 0.5, 0.01);
  EXPECT_NEAR(ring_left(960 + 480), 5000, 30);
}

TEST_F(Stream, FlushDuringAPauseFadeOutWaitsForItsEnd) {
  live_settings.fadePauseMs = 10;
  live_settings.fadeFlags &= ~FADE_ON_SEEK;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 10000; });
  cursor(0);
  Pause(1);
  pause_fade_step();
  Flush(7000);
  EXPECT_EQ(engine.deferredFlush, 1);
  EXPECT_NE(GetWrittenTime(), 7000);
  cursor(960);
  pause_fade_step();  // fade-out ends
  ASSERT_EQ(engine.pauseState, PAUSE_PAUSED);
  pause_fade_step();  // paused: the flush is carried out
  EXPECT_EQ(engine.deferredFlush, 0);
  EXPECT_EQ(GetWrittenTime(), 7000);
}

TEST_F(Stream, LostBuffersKeepTheStagedAudio) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(8192, [](uint32_t i) { return int(i); });
  uint32_t offset = engine.writeOffset;
  l1.lost = true;
  CanWrite();
  EXPECT_EQ(CanWrite(), 0);
  write_stereo(8192, [](uint32_t i) { return int(i); }, 8192);
  EXPECT_EQ(engine.stagedBytes, 16384u);
  EXPECT_EQ(engine.writeOffset, offset);
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);  // restores and stops
  EXPECT_FALSE(l1.lost);
  EXPECT_EQ(engine.stagedBytes, 0u);
  EXPECT_EQ(ring_left(offset + 2 * 100), int16_t(8192 + 100));
}

TEST_F(Stream, EndOfStreamSubmitsWhatIsStaged) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(1000, [](uint32_t) { return 3000; });
  EXPECT_EQ(engine.stagedBytes, 2000u);
  Write(nullptr, 0);
  EXPECT_EQ(engine.stagedBytes, 0u);
  EXPECT_EQ(ring_left(1998), 3000);
  EXPECT_EQ(engine.playing, 1);
}

TEST_F(Stream, IsPlayingUsesTheMarginOfTheGapMode) {
  live_settings.silenceFlags = 0;
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  engine.writtenFrames = 48000;  // 1000 ms written
  cursor(0);
  EXPECT_EQ(IsPlaying(), 1);
  cursor(96 * 499);
  EXPECT_EQ(IsPlaying(), 1);
  cursor(96 * 500);
  EXPECT_EQ(IsPlaying(), 0);
  EXPECT_EQ(engine.draining, 1);
}

TEST_F(Stream, ResamplingToFortyEightKilohertzKeepsTheDuration) {
  live_settings.interpolation = 1;
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(44100, 2, 16, -1, -1), 0);
  write_stereo(44100, [](uint32_t i) { return int(i % 400) * 20 - 4000; });
  // One second in, one second out, less the resampler's start-up latency.
  EXPECT_NEAR(double(engine.writtenFrames), 48000.0 - 323.0, 40.0);
}

TEST_F(Stream, LowInputRatesAreResampledInPiecesWithNothingDropped) {
  live_settings.interpolation = 1;
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(4000, 2, 16, -1, -1), 0);
  // 8192 frames at 4 kHz make 98304 at 48 kHz: more than the resampler
  // output holds in one go.
  write_stereo(8192, [](uint32_t i) { return int(i % 100) * 50; });
  EXPECT_NEAR(double(engine.writtenFrames), 98304.0 - 3876.0, 40.0);
}

// --- Gap control ---------------------------------------------------------

class Gaps : public Stream {};

TEST_F(Gaps, NegativeSamplesBeyondTheThresholdAreLoud) {
  live_settings.silenceThreshold = 2048;
  EXPECT_FALSE(frame_loud(2048, -2048));
  EXPECT_TRUE(frame_loud(0, -2049));
  EXPECT_TRUE(frame_loud(-2049, 0));
  EXPECT_TRUE(frame_loud(2049, 0));
}

TEST_F(Gaps, AFollowingSongLosesItsLeadingSilence) {
  live_settings.fadeFlags = 0;
  live_settings.silenceLimitFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 9000; });
  ASSERT_EQ(engine.playing, 1);
  Write(nullptr, 0);
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  ASSERT_EQ(engine.coldStart, 0);
  // 300 ms of digital silence, then the song.
  write_stereo(14400 + 100, [](uint32_t i) { return i < 14400 ? 0 : -5000; });
  EXPECT_EQ(engine.writtenFrames, 100);
}

TEST_F(Gaps, TheLeadingLimitBoundsWhatIsRemoved) {
  live_settings.fadeFlags = 0;
  live_settings.leadingLimitMs = 100;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 9000; });
  Write(nullptr, 0);
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(14400 + 100, [](uint32_t i) { return i < 14400 ? 0 : 5000; });
  EXPECT_EQ(engine.writtenFrames, 14400 + 100 - 4800);
}

TEST_F(Gaps, AFirstSongAndFadesOnStartKeepTheirSilence) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  ASSERT_EQ(engine.coldStart, 1);
  write_stereo(1000, [](uint32_t) { return 0; });
  EXPECT_EQ(engine.writtenFrames, 1000);
  write_stereo(20000, [](uint32_t) { return 9000; });
  Write(nullptr, 0);
  live_settings.fadeFlags = FADE_ON_START;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  ASSERT_EQ(engine.coldStart, 0);
  write_stereo(1000, [](uint32_t) { return 0; });
  EXPECT_EQ(engine.writtenFrames, 1000);
}

TEST_F(Gaps, TheTrailingCutStopsAtTheWriteCursor) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  // Loud, then 16386 bytes of silence after the last loud sample.
  write_stereo(8192, [](uint32_t) { return 9000; });
  write_stereo(8192, [](uint32_t) { return 0; });
  Write(nullptr, 0);
  uint32_t end = engine.writeOffset;
  ASSERT_EQ(end, 32768u);
  cursor(end - 6000, 2000);  // the write cursor 4000 bytes before the end
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(4096, [](uint32_t) { return 7000; });
  EXPECT_EQ(ring_left(end - 4000), 7000);
  EXPECT_EQ(ring_left(end - 4002), 0);
}

TEST_F(Gaps, TheTrailingCutLeavesTheLastLoudSample) {
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(8192, [](uint32_t) { return 9000; });
  write_stereo(8192, [](uint32_t) { return 0; });
  Write(nullptr, 0);
  cursor(0, 100);
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(4096, [](uint32_t) { return 7000; });
  // The new song follows the last loud sample; the 4 ms before the cut
  // (192 samples) ramp down to silence, so the old song ends without a step.
  EXPECT_EQ(ring_left(16384), 7000);
  EXPECT_EQ(ring_left(16382), 0);
  EXPECT_NEAR(ring_left(16380), 9000.0 / 192, 1.0);
  EXPECT_NEAR(ring_left(16384 - 384), 9000.0 * 191 / 192, 1.0);
  EXPECT_EQ(ring_left(16384 - 386), 9000);
}

TEST_F(Gaps, InsertedGapWaitsItsTimeAndThePrebuffer) {
  live_settings.gapMode = GAP_INSERT;
  live_settings.insertGapMs = 60;
  live_settings.fadeFlags = 0;
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 9000; });
  Write(nullptr, 0);
  cursor(40000);  // played out
  Close();
  EXPECT_EQ(engine.gapState, 2);
  EXPECT_FALSE(l1.playing);
  ASSERT_GE(Open(48000, 2, 16, -1, -1), 0);
  write_stereo(20000, [](uint32_t) { return 5000; });
  EXPECT_FALSE(l1.playing);
  uint32_t start = os_tick_count();
  while (!l1.playing && os_tick_count() - start < 1000) output_thread_pass();
  EXPECT_TRUE(l1.playing);
  EXPECT_GE(os_tick_count() - engine.stopTick, 60u);
  EXPECT_EQ(engine.gapState, 0);
}

}  // namespace
