// The playlist loop against a stand-in output module that plays at the
// stream's rate from a 200 ms buffer and records every call.
#include <gtest/gtest.h>

#include <mutex>

#include "host/player.h"
#include "platform/clock.h"
#include "platform/os.h"

namespace {

struct Call {
  std::string what;
  int64_t a = 0, b = 0, c = 0;
};

struct Fake {
  std::mutex lock;
  std::vector<Call> calls;
  std::vector<uint8_t> stream;  // every byte written, in order
  int64_t bytesPerSecond = 0;
  int64_t written = 0;
  int64_t base = 0;  // bytes played before the last Flush
  uint32_t since = 0;
  int refuse = 0;    // Open fails this many times
  Player *player = nullptr;

  int64_t played() {
    int64_t p = base + int64_t(os_tick_count() - since) * bytesPerSecond / 1000;
    return p < written ? p : written;
  }
  void add(const char *what, int64_t a = 0, int64_t b = 0, int64_t c = 0) {
    std::lock_guard<std::mutex> g(lock);
    calls.push_back({what, a, b, c});
  }
} fake;

int Open(int rate, int channels, int bits, int, int) {
  fake.add("Open", rate, channels, bits);
  if (fake.refuse > 0) {
    --fake.refuse;
    return -1;
  }
  fake.bytesPerSecond = int64_t(rate) * channels * bits / 8;
  fake.written = fake.base = 0;
  fake.since = os_tick_count();
  return 200;
}
void Close() { fake.add("Close", fake.player ? fake.player->is_full_stop() : -1); }
int Write(char *buf, int len) {
  fake.add("Write", len, buf ? 1 : 0);
  if (buf) {
    std::lock_guard<std::mutex> g(fake.lock);
    fake.stream.insert(fake.stream.end(), buf, buf + len);
  }
  fake.written += len;
  return 0;
}
int CanWrite() {
  int64_t room = fake.bytesPerSecond / 5 - (fake.written - fake.played());
  return room > 0 ? int(room) : 0;
}
int IsPlaying() { return fake.played() < fake.written ? 1 : 0; }
int Pause(int p) {
  fake.add("Pause", p);
  return 0;
}
void SetVolume(int v) { fake.add("SetVolume", v); }
void SetPan(int p) { fake.add("SetPan", p); }
void Flush(int t) {
  fake.add("Flush", t, int64_t(fake.stream.size()));
  fake.base = fake.written = fake.played();
  fake.since = os_tick_count();
}
int GetTime() { return 0; }

Out_Module fake_module() {
  Out_Module m{};
  m.version = 0x10;
  m.Open = Open;
  m.Close = Close;
  m.Write = Write;
  m.CanWrite = CanWrite;
  m.IsPlaying = IsPlaying;
  m.Pause = Pause;
  m.SetVolume = SetVolume;
  m.SetPan = SetPan;
  m.Flush = Flush;
  m.GetOutputTime = GetTime;
  m.GetWrittenTime = GetTime;
  return m;
}

// A song whose every 16-bit sample holds its own frame number, so the
// stream written shows where each byte came from.
WavAudio song(int rate, double seconds, int channels = 2) {
  WavAudio a;
  a.rate = rate;
  a.channels = channels;
  a.bits = 16;
  int frames = int(rate * seconds);
  for (int f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c) {
      a.pcm.push_back(uint8_t(f));
      a.pcm.push_back(uint8_t(f >> 8));
    }
  return a;
}

PlaylistEntry entry(const std::string &name, WavAudio audio) {
  return {name, [audio](WavAudio *out, std::string *) {
            *out = audio;
            return WavResult::Ok;
          }};
}

PlaylistEntry broken(const std::string &name) {
  return {name, [](WavAudio *, std::string *m) {
            *m = "not a WAV file";
            return WavResult::Failed;
          }};
}

class PlayerLoop : public ::testing::Test {
 protected:
  Out_Module module = fake_module();
  FILE *errors = nullptr;
  void SetUp() override {
    std::lock_guard<std::mutex> g(fake.lock);
    fake.calls.clear();
    fake.stream.clear();
    fake.refuse = 0;
#ifndef _WIN32
    ASSERT_EQ(0, clock_set_simulated(1));
    clock_thread_register();
#endif
    errors = std::tmpfile();
  }
  void TearDown() override {
#ifndef _WIN32
    clock_thread_unregister();
    clock_set_simulated(0);
#endif
    fake.player = nullptr;
    if (errors) std::fclose(errors);
  }
  PlayerReport run(const std::vector<PlaylistEntry> &list, PlayerConfig config = PlayerConfig()) {
    config.errors = errors;
    Player p(&module, config);
    fake.player = &p;
    PlayerReport r = p.play(list);
    fake.player = nullptr;
    return r;
  }
  std::string error_text() {
    std::rewind(errors);
    std::string s;
    int c;
    while ((c = std::fgetc(errors)) != EOF) s += char(c);
    return s;
  }
  std::vector<Call> named(const std::string &what) {
    std::vector<Call> out;
    for (auto &c : fake.calls)
      if (c.what == what) out.push_back(c);
    return out;
  }
  std::vector<std::string> sequence_without_writes() {
    std::vector<std::string> out;
    for (auto &c : fake.calls)
      if (c.what != "Write") out.push_back(c.what + " " + std::to_string(c.a));
    return out;
  }
};

TEST_F(PlayerLoop, SongsAreWrittenWholeInDecoderBlocksAndClosedAtTheirEnd) {
  WavAudio one = song(44100, 0.3), two = song(22050, 0.25, 1);
  PlayerReport r = run({entry("one", one), entry("two", two)});
  EXPECT_EQ(2, r.played);
  EXPECT_EQ(0, r.failed);
  EXPECT_FALSE(r.stopped);
  // Calls as the player makes them; classic answers: 0 between songs,
  // nonzero at the end of the playlist.
  EXPECT_EQ((std::vector<std::string>{"SetVolume 255", "SetPan 0", "Open 44100", "SetVolume -666", "Close 0",
                                      "SetVolume 255", "SetPan 0", "Open 22050", "SetVolume -666", "Close 1"}),
            sequence_without_writes());
  std::vector<uint8_t> expected = one.pcm;
  expected.insert(expected.end(), two.pcm.begin(), two.pcm.end());
  EXPECT_EQ(expected, fake.stream);
  // Blocks of 576 frames, a shorter last one, and one end marker per song.
  int ends = 0;
  for (auto &w : named("Write")) {
    if (!w.b) {
      ++ends;
      EXPECT_EQ(0, w.a);
      continue;
    }
    EXPECT_LE(w.a, 576 * 4);
  }
  EXPECT_EQ(2, ends);
  EXPECT_EQ(576 * 4, named("Write")[0].a);
  EXPECT_NEAR(0.55, r.musicSeconds, 0.01);
}

TEST_F(PlayerLoop, NewConventionAnswersOneBetweenSongsAndTwoAtTheEnd) {
  PlayerConfig c;
  c.fullStop = FullStopMode::New;
  run({entry("one", song(8000, 0.2)), entry("two", song(8000, 0.2))}, c);
  auto closes = named("Close");
  ASSERT_EQ(2u, closes.size());
  EXPECT_EQ(1, closes[0].a);
  EXPECT_EQ(2, closes[1].a);
}

TEST_F(PlayerLoop, UnreadableAndRefusedSongsAreReportedAndTheNextPlays) {
  fake.refuse = 1;
  PlayerReport r = run({broken("bad.wav"), entry("refused", song(8000, 0.1)), entry("good", song(8000, 0.2))});
  EXPECT_EQ(1, r.played);
  EXPECT_EQ(2, r.failed);
  std::string e = error_text();
  EXPECT_NE(std::string::npos, e.find("bad.wav: not a WAV file; skipped")) << e;
  EXPECT_NE(std::string::npos, e.find("refused: the plug-in refused a 8000 Hz 16-bit stereo stream")) << e;
  EXPECT_EQ(2u, named("Open").size());
  EXPECT_EQ(1u, named("Close").size()) << "only an opened stream is closed";
}

TEST_F(PlayerLoop, TruncatedSongPlaysWithAWarning) {
  WavAudio a = song(8000, 0.1);
  PlaylistEntry cut{"cut.wav", [a](WavAudio *out, std::string *m) {
                      *out = a;
                      *m = "data chunk is cut short";
                      return WavResult::Truncated;
                    }};
  PlayerReport r = run({cut});
  EXPECT_EQ(1, r.played);
  EXPECT_EQ(0, r.failed);
  EXPECT_NE(std::string::npos, error_text().find("warning: cut.wav: data chunk is cut short; playing what is there"));
  EXPECT_EQ(a.pcm, fake.stream);
}

TEST_F(PlayerLoop, StopEndsThePlaylistWithAUserStop) {
  for (FullStopMode mode : {FullStopMode::Classic, FullStopMode::New}) {
    fake.calls.clear();
    PlayerConfig c;
    c.fullStop = mode;
    TimedAction stop;
    stop.atMs = 100;
    c.actions = {stop};
    PlayerReport r = run({entry("long", song(8000, 2.0)), entry("never", song(8000, 0.2))}, c);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(1, r.played);
    EXPECT_EQ(1u, named("Open").size());
    auto closes = named("Close");
    ASSERT_EQ(1u, closes.size());
    EXPECT_EQ(mode == FullStopMode::Classic ? 1 : 0, closes[0].a);
    EXPECT_LT(r.musicSeconds, 1.0);
  }
}

TEST_F(PlayerLoop, SeekFlushesAndGoesOnFromTheNewPosition) {
  PlayerConfig c;
  TimedAction seek;
  seek.atMs = 50;
  seek.kind = ActionKind::Seek;
  seek.value = 600;
  TimedAction past_end = seek;
  past_end.atMs = 120;
  past_end.value = 5000;
  c.actions = {seek, past_end};
  WavAudio a = song(8000, 1.0);
  run({entry("s", a)}, c);
  auto flushes = named("Flush");
  ASSERT_EQ(2u, flushes.size());
  EXPECT_EQ(600, flushes[0].a);
  // The first bytes written after the flush come from frame 4800.
  size_t at = size_t(flushes[0].b);
  ASSERT_LT(at + 1, fake.stream.size());
  EXPECT_EQ(4800, fake.stream[at] | fake.stream[at + 1] << 8);
  // A seek past the end goes to the end, and the song then ends there.
  EXPECT_EQ(1000, flushes[1].a);
  EXPECT_EQ(size_t(flushes[1].b), fake.stream.size());
  EXPECT_EQ(1u, named("Close").size());
}

TEST_F(PlayerLoop, PauseResumeAndVolumeReachThePlugIn) {
  PlayerConfig c;
  TimedAction pause, pause_again, resume, volume;
  pause.atMs = 50;
  pause.kind = ActionKind::Pause;
  pause_again = pause;
  pause_again.atMs = 60;
  resume.atMs = 150;
  resume.kind = ActionKind::Resume;
  volume.atMs = 160;
  volume.kind = ActionKind::Volume;
  volume.value = 128;
  c.actions = {pause, pause_again, resume, volume};
  c.volume = 200;
  run({entry("a", song(8000, 0.5)), entry("b", song(8000, 0.1))}, c);
  EXPECT_EQ((std::vector<std::string>{"SetVolume 200", "SetPan 0", "Open 8000", "SetVolume -666", "Pause 1",
                                      "Pause 0", "SetVolume 128", "Close 0", "SetVolume 128", "SetPan 0",
                                      "Open 8000", "SetVolume -666", "Close 1"}),
            sequence_without_writes());
}

TEST_F(PlayerLoop, ASongOpenedWhilePausedIsPausedAtOnce) {
  PlayerConfig c;
  TimedAction pause, resume;
  pause.atMs = 10;
  pause.kind = ActionKind::Pause;
  resume.atMs = 400;
  resume.kind = ActionKind::Resume;
  c.actions = {pause, resume};
  // The first song's 0.1 s are already written when the pause comes; it
  // plays out (this stand-in ignores Pause) and the next opens paused.
  run({entry("a", song(8000, 0.1)), entry("b", song(8000, 0.5))}, c);
  auto seq = sequence_without_writes();
  std::vector<std::string> expected = {"SetVolume 255", "SetPan 0", "Open 8000", "SetVolume -666", "Pause 1",
                                       "Close 0",       "SetVolume 255", "SetPan 0", "Open 8000", "Pause 1",
                                       "SetVolume -666", "Pause 0", "Close 1"};
  EXPECT_EQ(expected, seq);
}

}  // namespace
