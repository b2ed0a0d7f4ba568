// Random host behaviour through the callbacks on the software sound card,
// with the real output thread on simulated time: song changes at random
// rates and formats, random song lengths, seeks, pauses, stops mid-song,
// volume changes and settings commits, for SONORIUM_SOAK_MINUTES simulated
// minutes (default 60). Checked throughout: the output clock never falls
// within a stream between seeks and follows the rendered frames while
// nothing disturbs it, the output never exceeds what the songs and the
// voices' gains allow, and no wait is endless. At the end the voices stop
// and closing the device leaves no buffer behind.
//
// The run is the same for the same seed (SONORIUM_SOAK_SEED, default
// below); a failure prints the seed, the simulated time and the last host
// actions. After the soak, each fault it found in its shortest
// deterministic form.
#include "engine/card_test_fixture.h"
#include "engine/settings_dialog.h"

#include <atomic>
#include <cstdarg>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace {
using namespace card_fixture;

// Loudest tone of a song. Four voices at unity sum each channel four times,
// a crossfade adds an old stream under a new one, and the resampler and the
// equalizer may overshoot a little: the output bound below stays under full
// scale, so a full-scale sample is always garbage.
const double MAX_AMPLITUDE = 3000.0;
const double HEADROOM = 2.5;
const double QUANTISATION = 600.0;  // 8-bit input, twice over in a crossfade

// The songs' tones are 60 Hz or higher: even quantised to 8 bits a tone
// holds no level other than silence for half a period, so a sample that
// stays the same longer than that is stuck.
const double LOWEST_TONE_HZ = 60.0;
const uint32_t STUCK_RUN = uint32_t(CARD_HZ / LOWEST_TONE_HZ / 2);
const int STUCK_LEVEL = 256;

// The clock must follow the rendered frames within this much.
const double CLOCK_TOLERANCE_MS = 10.0;
// Time the clock is given to settle after a disturbance before it is held
// to the rendered frames.
const uint64_t SETTLE_FRAMES = CARD_HZ * 3 / 10;

const uint32_t DEFAULT_SEED = 20261209u;

double soak_minutes() {
  const char *v = std::getenv("SONORIUM_SOAK_MINUTES");
  if (!v || !*v) return 60.0;
  double m = std::atof(v);
  return m > 0 ? m : 60.0;
}

uint32_t soak_seed() {
  const char *v = std::getenv("SONORIUM_SOAK_SEED");
  if (!v || !*v) return DEFAULT_SEED;
  return uint32_t(std::strtoul(v, nullptr, 0));
}

// xorshift64*: the same sequence on every platform.
struct Rng {
  uint64_t s;
  explicit Rng(uint32_t seed) : s(0x9E3779B97F4A7C15ull ^ seed) {
    for (int i = 0; i < 4; ++i) next();
  }
  uint32_t next() {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return uint32_t((s * 0x2545F4914F6CDD1Dull) >> 32);
  }
  uint32_t below(uint32_t n) { return n ? next() % n : 0; }
  double uniform() { return next() / 4294967296.0; }
  bool chance(double p) { return uniform() < p; }
  template <size_t N>
  int pick(const int (&v)[N]) {
    return v[below(uint32_t(N))];
  }
};

// Gives up on a run whose host thread has made no step for two minutes of
// real time: an endless loop inside the engine would otherwise hang CI.
class Watchdog {
 public:
  Watchdog() : thread_([this] { run(); }) {}
  ~Watchdog() {
    stop_ = true;
    thread_.join();
  }
  void progress() { ++steps_; }
  void describe(const std::string &what) {
    std::lock_guard<std::mutex> lock(mutex_);
    what_ = what;
  }

 private:
  void run() {
    uint64_t seen = steps_;
    auto last = std::chrono::steady_clock::now();
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      uint64_t now_steps = steps_;
      auto now = std::chrono::steady_clock::now();
      if (now_steps != seen) {
        seen = now_steps;
        last = now;
      } else if (now - last > std::chrono::seconds(120)) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::fprintf(stderr, "soak: the host thread made no step for 120 s of real time; %s\n", what_.c_str());
        std::abort();
      }
    }
  }
  std::atomic<uint64_t> steps_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string what_;
  std::thread thread_;
};

class CardSoak : public CardFixture {
 protected:
  // The memory sink is drained after every host step, so a few seconds are
  // plenty; renderedBase counts the frames drained so far.
  uint32_t sink_frames() const override { return uint32_t(CARD_HZ) * 10; }

  uint32_t seed = DEFAULT_SEED;
  uint64_t renderedBase = 0;
  double gainBefore = 4.0;
  int songNumber = 0;
  std::deque<std::string> events;
  Watchdog *watchdog = nullptr;

  // Output analysis.
  int16_t lastSample[2] = {0, 0};
  uint32_t sameRun[2] = {0, 0};
  int loudest = 0;

  // Clock against the rendered frames.
  bool anchored = false;
  bool settling = false;
  uint64_t settleFrom = 0;
  int anchorOutput = 0;
  uint64_t anchorFrame = 0;
  uint64_t checkedFrames = 0;  // frames over which the clock was held to the output
  uint64_t lastCheckedFrame = 0;
  bool flushWasDeferred = false;

  // Host state.
  bool hostPaused = false;
  int pauseSteps = 0;

  // Every frame the card has rendered so far.
  uint64_t rendered_frame() {
    card_mix_now();
    return renderedBase + card_memory_frames();
  }

  double simulated_seconds() const { return double(clock_now_us()) / 1e6; }

  void note(const char *fmt, ...) __attribute__((format(printf, 2, 3))) {
    char text[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    char line[320];
    std::snprintf(line, sizeof line, "%.3f s song %d: %s", simulated_seconds(), songNumber, text);
    events.emplace_back(line);
    if (events.size() > 40) events.pop_front();
    if (watchdog) watchdog->describe(context());
  }

  std::string context() const {
    std::string s = "seed " + std::to_string(seed) + " (SONORIUM_SOAK_SEED), last host actions:";
    for (const std::string &e : events) s += "\n  " + e;
    return s;
  }

  std::string settings_text(const EngineSettings &s) const {
    char text[256];
    std::snprintf(text, sizeof text,
                  "buffer %d prebuffer %d interp %d cpu %d fades 0x%02X (start %d end %d seek %d stop %d first %d "
                  "pause %d) gap %d insert %d silence %d thr %d limits %d lead %d trail %d",
                  s.bufferLengthMs, s.prebufferMs, s.interpolation, s.cpuUsageControl, s.fadeFlags, s.fadeStartMs,
                  s.fadeEndMs, s.fadeSeekMs, s.fadeStopMs, s.fadeFirstStartMs, s.fadePauseMs, s.gapMode,
                  s.insertGapMs, s.silenceFlags, s.silenceThreshold, s.silenceLimitFlags, s.leadingLimitMs,
                  s.trailingLimitMs);
    return text;
  }

  // Examines everything rendered since the last step and empties the sink.
  void drain() {
    card_mix_now();
    const uint32_t n = card_memory_frames();
    const int16_t *lr = out();
    const double gainNow = voice_gain();
    const double gain = gainNow > gainBefore ? gainNow : gainBefore;
    const int bound = int(gain * (MAX_AMPLITUDE * HEADROOM + QUANTISATION)) + 2;
    for (uint32_t f = 0; f < n; ++f) {
      for (int c = 0; c < 2; ++c) {
        const int16_t v = lr[2 * f + uint32_t(c)];
        const int a = std::abs(int(v));
        if (a > loudest) loudest = a;
        if (a > bound) {
          ADD_FAILURE() << "sample " << v << " on channel " << c << " at frame " << renderedBase + f
                        << " exceeds what the songs allow at a gain of " << gain << " (bound " << bound << ")";
          renderedBase += n;
          card_memory_clear();
          return;
        }
        sameRun[c] = (a > STUCK_LEVEL && v == lastSample[c]) ? sameRun[c] + 1 : 0;
        lastSample[c] = v;
        if (sameRun[c] >= STUCK_RUN) {
          ADD_FAILURE() << "channel " << c << " stuck at " << v << " for " << sameRun[c] << " frames at frame "
                        << renderedBase + f;
          renderedBase += n;
          card_memory_clear();
          return;
        }
      }
    }
    gainBefore = gainNow;
    renderedBase += n;
    card_memory_clear();
  }

  // Something the clock does not simply run through: a seek, a pause, a
  // resume, a song change.
  void disturb() {
    anchored = false;
    settling = false;
  }

  // Playing with nothing that moves or holds the clock on its own.
  bool steady(int output) const {
    return inStream && engine.streamState == STREAM_OPEN && engine.playing && !engine.paused &&
           !engine.pauseRequest && engine.pauseState == PAUSE_IDLE && !engine.closing && !engine.stopPending &&
           !engine.freshStart && !engine.draining && !engine.deferredFlush && engine.gapState != 2 &&
           engine.lastFrequency == engine.outRate && card_buffer_is_playing(device_set.buffers[L1]) &&
           output > 0;
  }

  void check_step() {
    if (watchdog) watchdog->progress();
    drain();
    clocks.clear();
    // A flush deferred behind a pause fade-out moves the clock when the
    // output thread carries it out.
    if (engine.deferredFlush || flushWasDeferred) {
      lastOutput = 0;
      disturb();
    }
    flushWasDeferred = engine.deferredFlush != 0;
    const int output = GetOutputTime();
    const uint64_t frame = rendered_frame();
    if (!steady(output)) {
      disturb();
      return;
    }
    if (!anchored) {
      if (!settling) {
        settling = true;
        settleFrom = frame;
      } else if (frame - settleFrom >= SETTLE_FRAMES) {
        anchored = true;
        anchorOutput = output;
        anchorFrame = frame;
        lastCheckedFrame = frame;
      }
      return;
    }
    const double heard = double(frame - anchorFrame) * 1000.0 / CARD_HZ;
    const double advanced = double(output - anchorOutput);
    if (std::fabs(advanced - heard) > CLOCK_TOLERANCE_MS) {
      ADD_FAILURE() << "the output time advanced " << advanced << " ms while the card rendered " << heard
                    << " ms (from " << anchorOutput << " ms at frame " << anchorFrame << " to " << output
                    << " ms at frame " << frame << ")";
      disturb();
      return;
    }
    checkedFrames += frame - lastCheckedFrame;
    lastCheckedFrame = frame;
  }

  // A random song: rate, format, tone, level, silence around it, length.
  Song random_song(Rng &rng) {
    static const int rates[] = {8000,  11025, 16000, 22050, 32000,  44100,
                                48000, 64000, 88200, 96000, 176400, 192000};
    Song s;
    s.rate = rng.chance(0.2) ? 8000 + int(rng.below(192000 - 8000 + 1)) : rng.pick(rates);
    static const int bits[] = {8, 16, 24};
    s.bits = rng.pick(bits);
    s.channels = 1 + int(rng.below(2));
    double top = s.rate * 0.4 < 4000.0 ? s.rate * 0.4 : 4000.0;
    s.hz = LOWEST_TONE_HZ + rng.uniform() * (top - LOWEST_TONE_HZ);
    s.amplitude = 300.0 + rng.uniform() * (MAX_AMPLITUDE - 300.0);
    s.leadingFrames = rng.chance(0.3) ? int(rng.below(uint32_t(s.rate))) : 0;
    s.trailingFrames = rng.chance(0.3) ? int(rng.below(uint32_t(s.rate))) : 0;
    double seconds = rng.chance(0.1) ? 0.02 + rng.uniform() * 0.4 : 1.0 + rng.uniform() * 40.0;
    s.toneFrames = int(seconds * s.rate);
    return s;
  }

  // A commit of the settings dialog: the dialog starts from the applied
  // copy, changes some values within its controls' ranges, writes them all
  // into the applied copy and the immediate ones into the live copy, and
  // asks for a reconfigure.
  void commit_random_settings(Rng &rng) {
    EngineSettings s = applied_settings;
    static const int buffers[] = {200, 300, 500, 1000, 1000, 2000, 5000, 20000};
    static const int fadeTimes[] = {0, 10, 75, 75, 250, 250, 1000, 3000};
    if (rng.chance(0.3)) s.bufferLengthMs = rng.pick(buffers);
    if (rng.chance(0.3)) s.prebufferMs = int(rng.below(uint32_t(std::lrint(s.bufferLengthMs * 0.65)) + 1));
    if (s.prebufferMs > std::lrint(s.bufferLengthMs * 0.65)) s.prebufferMs = int(std::lrint(s.bufferLengthMs * 0.65));
    if (rng.chance(0.3)) s.interpolation = int(rng.below(2));
    if (rng.chance(0.2)) s.cpuUsageControl = int(rng.below(2));
    if (rng.chance(0.4)) s.fadeFlags = int(rng.below(64)) | (rng.chance(0.6) ? FADE_CROSSFADE : 0);
    int32_t *times[] = {&s.fadeStartMs, &s.fadeEndMs, &s.fadeSeekMs, &s.fadeStopMs, &s.fadeFirstStartMs,
                        &s.fadePauseMs};
    for (int32_t *t : times)
      if (rng.chance(0.2)) *t = rng.pick(fadeTimes);
    static const int gapTimes[] = {0, 500, 2000, 5000};
    static const int thresholds[] = {1, 100, 2048, 2048, 8000, 32767};
    static const int limits[] = {0, 100, 500, 2000};
    if (rng.chance(0.3)) s.gapMode = int(rng.below(3));
    if (rng.chance(0.2)) s.insertGapMs = rng.pick(gapTimes);
    if (rng.chance(0.2)) s.silenceFlags = int(rng.below(4));
    if (rng.chance(0.2)) s.silenceThreshold = rng.pick(thresholds);
    if (rng.chance(0.2)) s.silenceLimitFlags = int(rng.below(4));
    if (rng.chance(0.2)) s.leadingLimitMs = rng.pick(limits);
    if (rng.chance(0.2)) s.trailingLimitMs = rng.pick(limits);
    // As the settings dialog commits: the device stays.
    settings_commit(s, appliedDeviceGuid);
    note("commit %s", settings_text(s).c_str());
  }

  // One step of the host between writes: the random actions of a listener.
  void random_action(Rng &rng, const Song &s, int *at) {
    if (hostPaused) {
      if (--pauseSteps <= 0) {
        Pause(0);
        hostPaused = false;
        disturb();
        note("resume");
      }
    } else if (rng.chance(1.0 / 3000)) {
      Pause(1);
      hostPaused = true;
      pauseSteps = int(rng.below(rng.chance(0.3) ? 10 : 300));
      disturb();
      note("pause for %d steps", pauseSteps);
    }
    if (rng.chance(1.0 / 2500)) {
      const int lengthMs = int(int64_t(s.frames()) * 1000 / s.rate);
      const int t = int(rng.below(uint32_t(lengthMs > 0 ? lengthMs : 1)));
      Flush(t);
      *at = int(int64_t(t) * s.rate / 1000);
      lastOutput = 0;
      disturb();
      note("seek to %d ms (frame %d)%s", t, *at, engine.deferredFlush ? ", deferred" : "");
      if (!engine.deferredFlush) {
        int output = GetOutputTime();
        EXPECT_NEAR(double(output), double(t), 1.0) << "the clock after a seek to " << t << " ms";
      }
    }
    if (rng.chance(1.0 / 1500)) {
      int v = rng.chance(0.2) ? -666 : int(rng.below(256));
      SetVolume(v);
      note("volume %d", v);
    }
    if (rng.chance(1.0 / 6000)) commit_random_settings(rng);
    if (rng.chance(1.0 / 5000)) {
      eq_enabled = eq_enabled ? 0 : 1;
      note("eq %s", eq_enabled ? "on" : "off");
    }
  }

  // Ends a run of the soak at its first failure, with the context.
  bool failed() {
    if (!HasFailure()) return false;
    ADD_FAILURE() << "soak stopped at " << simulated_seconds() << " s of simulated time; " << context();
    return true;
  }

  // Plays one random song like a host. Returns false on failure.
  bool play_random_song(Rng &rng) {
    ++songNumber;
    const Song s = random_song(rng);
    // 0: to its end; 1: stopped mid-song; 2: stopped right after its end
    // was written, before it has played out.
    const uint32_t roll = rng.below(100);
    const int ending = roll < 75 ? 0 : roll < 90 ? 1 : 2;
    const int to = ending == 0 ? s.frames() : int(rng.below(uint32_t(s.frames())) + 1);
    const int block = rng.chance(0.5) ? 576 : 1152;
    note("open %d Hz %d ch %d bit, %d frames (tone %.0f Hz at %.0f), %s at frame %d; live %s", s.rate, s.channels,
         s.bits, s.frames(), s.hz, s.amplitude, ending == 0 ? "ends" : ending == 1 ? "stop" : "end+stop", to,
         settings_text(live_settings).c_str());
    disturb();
    EXPECT_GE(open(s), 0) << "Open refused " << s.rate << " Hz " << s.bits << " bit";
    if (failed()) return false;
    std::vector<uint8_t> bytes;
    int at = 0;
    int sleeps = 0;
    while (at < to) {
      random_action(rng, s, &at);
      if (failed()) return false;
      if (at >= to) break;
      const int n = to - at < block ? to - at : block;
      if (CanWrite() >= n * s.frame_bytes()) {
        s.render(at, n, &bytes);
        Write(reinterpret_cast<char *>(bytes.data()), int(bytes.size()));
        at += n;
        sleeps = 0;
      } else {
        if (!hostPaused) ++sleeps;
        EXPECT_LT(sleeps, 3000) << "the engine took no data for 30 s at frame " << at << " of " << s.rate
                                << " Hz " << s.channels << " ch " << s.bits << " bit; live "
                                << settings_text(live_settings) << "; engine: playing " << engine.playing
                                << " paused " << engine.paused << " pause state " << engine.pauseState
                                << " gap state " << int(engine.gapState) << " stop pending " << engine.stopPending
                                << " closing " << engine.closing << " staged " << engine.stagedBytes
                                << " submitted " << engine.submittedBytes << " prebuffer flag "
                                << engine.prebufferFlag << " fresh " << engine.freshStart << " voices "
                                << (voices_playing() ? "playing" : "stopped");
        sleep_ms(10);
      }
      step_done();
      if (failed()) return false;
    }
    if (ending == 0 && hostPaused) {
      Pause(0);
      hostPaused = false;
      note("resume at the end");
    }
    if (ending != 1) {
      Write(nullptr, 0);
      note("end written");
      step_done();
    }
    if (ending == 0) {
      // Without interpolation a slow stream fills a long ring for minutes:
      // the wait is bounded by what is still queued, plus 30 s.
      const int queued = GetWrittenTime() - GetOutputTime();
      const int limit = (queued > 0 ? queued : 0) + 30000;
      int waited = 0;
      while (IsPlaying() && waited < limit) {
        sleep_ms(10);
        step_done();
        waited += 10;
      }
      EXPECT_EQ(0, IsPlaying()) << "still playing 30 s after the end of what was queued";
    }
    note("close");
    disturb();
    close();
    hostPaused = false;
    step_done();
    if (failed()) return false;
    // Between songs: a moment, and now and then the settings dialog.
    const uint32_t pause = rng.below(100);
    const int idleMs = pause < 70 ? 0 : pause < 90 ? int(rng.below(500)) : int(rng.below(3000));
    if (rng.chance(0.1)) commit_random_settings(rng);
    idle(idleMs);
    return !failed();
  }
};

TEST_F(CardSoak, RandomHostBehaviourForAnHourOfMusic) {
  seed = soak_seed();
  const double minutes = soak_minutes();
  Rng rng(seed);
  Watchdog dog;
  watchdog = &dog;
  onStep = [this] { check_step(); };
  SetVolume(255);
  const double start = simulated_seconds();
  while (simulated_seconds() - start < minutes * 60.0) {
    if (!play_random_song(rng)) break;
  }
  if (!HasFailure()) {
    // Whatever the last song left running ends by itself, within the
    // longest a ring can play (at 8 kHz) and 30 s.
    const int limit = int(int64_t(ring_bytes()) * 1000 / (2 * 8000)) + 30000;
    int waited = 0;
    while (voices_playing() && waited < limit) {
      sleep_ms(10);
      step_done();
      waited += 10;
    }
    EXPECT_FALSE(voices_playing()) << "the voices still play " << limit / 1000 << " s after the last song closed; "
                                   << context();
  }
  onStep = nullptr;
  watchdog = nullptr;
  std::printf("soak: seed %u, %.1f simulated minutes, %d songs, %.1f s rendered, clock checked over %.1f s, "
              "loudest sample %d\n",
              seed, (simulated_seconds() - start) / 60.0, songNumber, double(rendered_frame()) / CARD_HZ,
              double(checkedFrames) / CARD_HZ, loudest);
  device_close();
  opened = false;
  EXPECT_EQ(0, card_live_buffers()) << "buffers left after the device closed";
  EXPECT_EQ(0, card_live_devices()) << "device objects left after the device closed";
}

}  // namespace

namespace {
using namespace card_fixture;

// Faults the soak found, each in its shortest deterministic form.
class CardSoakFaults : public CardFixture {
 protected:
  static constexpr double AMPLITUDE = 7000.0;

  double level() { return AMPLITUDE * voice_gain(); }

  // Waits in 10 ms steps (at most `ms`) until the play cursor of the first
  // voice is in [from, to) of the ring.
  bool wait_for_play_cursor(uint32_t from, uint32_t to, int ms) {
    for (int t = 0; t < ms; t += 10) {
      uint32_t play, write;
      read_cursors(&play, &write);
      if (play >= from && play < to) return true;
      idle(10);
    }
    return false;
  }

  // Every clock reading of `of_stream` from index `first` on is at most
  // `base` plus the time the card rendered since frame `zero`, plus 10 ms.
  void expect_clock_not_ahead(size_t first, int of_stream, uint32_t zero, int base) {
    for (size_t k = first; k < clocks.size(); ++k) {
      const ClockSample &c = clocks[k];
      if (c.stream != of_stream) continue;
      double heard = base + (double(c.frame) - double(zero)) * 1000.0 / CARD_HZ;
      EXPECT_LE(double(c.output), heard + 10.0) << "at frame " << c.frame;
    }
  }
};

// "On seek" with a seek time of 0: there is no fade to hand over with, so
// the seek stops the old position at once instead of queueing the new one
// behind a second of it (whose clock later fell back by a ring).
TEST_F(CardSoakFaults, ASeekFadeOfNoLengthStopsTheOldPositionAtOnce) {
  live_settings.fadeSeekMs = 0;
  Song a, b;
  a.hz = 1000, a.toneFrames = 6 * 44100;
  b.hz = 1500, b.toneFrames = 6 * 44100;  // what the decoder delivers after the seek
  ASSERT_GE(open(a), 0);
  write_frames(a, 0, 2 * 44100);
  const double loud = level();
  const uint32_t seek = now_frame();
  Flush(3000);
  lastOutput = 0;
  EXPECT_EQ(3000, GetOutputTime());
  write_frames(b, 3 * 44100, 5 * 44100);
  finish();
  idle(1500);
  const uint32_t frames = now_frame();
  const uint32_t onset = first_above(out(), seek + 480, frames, int(loud / 8));
  ASSERT_LT(onset, frames);
  // (The resampler rings for a few samples ahead of the abrupt onset.)
  EXPECT_LE(peak(out(), seek + 48, onset - 240), 16) << "the old position plays on after the seek";
  EXPECT_NEAR(tone_hz(out(), onset + 4800, 9600), 1500.0, 5.0) << "the new position comes first";
  expect_clock_follows(1, onset, 3000, onset, onset + CARD_HZ);
}

// A seek without the seek fade stops the voices; what was staged at the old
// position is submitted by the stop but must not count towards the new
// position's prebuffer, or the voices restart over an empty ring.
TEST_F(CardSoakFaults, AStopSeekRestartsOnlyWithAudioOfTheNewPosition) {
  live_settings.fadeFlags &= ~FADE_ON_SEEK;
  live_settings.prebufferMs = 20;
  Song a, b;
  a.rate = 48000, a.hz = 1000, a.toneFrames = 8 * 48000;
  b.rate = 48000, b.hz = 1500, b.toneFrames = 8 * 48000;
  ASSERT_GE(open(a), 0);
  write_frames(a, 0, 2 * 48000);
  // About 85 ms staged at the old position, just short of a submit.
  const int n = int(SUBMIT_BLOCK_BYTES - engine.stagedBytes) / 2 - 2;
  while (CanWrite() < n * 4) idle(10);
  write_frames(a, 2 * 48000, 2 * 48000 + n, n);
  ASSERT_GT(engine.stagedBytes.load(), 2u * 48 * 20);
  Flush(3000);
  lastOutput = 0;
  EXPECT_FALSE(voices_playing());
  // A first block of the new position, too small to be submitted.
  write_frames(b, 3 * 48000, 3 * 48000 + 576, 576);
  EXPECT_EQ(0u, engine.submittedBytes.load());
  EXPECT_FALSE(voices_playing()) << "the voices restarted with nothing of the new position in the ring";
  const uint32_t restart = now_frame();
  write_frames(b, 3 * 48000 + 576, 5 * 48000);
  finish();
  idle(1500);
  const uint32_t frames = now_frame();
  const uint32_t onset = first_above(out(), restart, frames, int(level() / 8));
  ASSERT_LT(onset, frames);
  EXPECT_NEAR(tone_hz(out(), onset + 4800, 9600), 1500.0, 5.0);
  expect_clock_follows(1, onset, 3000, onset, onset + CARD_HZ);
}

// A faded seek whose first submit comes after the play cursor has wrapped
// (the decoder took its time): the clock starts at the seek position, not
// a ring's length ahead of it.
TEST_F(CardSoakFaults, TheClockAfterAFadedSeekIgnoresAWrapBeforeTheFirstSubmit) {
  Song a;
  a.rate = 48000, a.hz = 1000, a.toneFrames = 8 * 48000;
  ASSERT_GE(open(a), 0);
  write_frames(a, 0, 2 * 48000);
  const uint32_t b = ring_bytes();
  ASSERT_TRUE(wait_for_play_cursor(b * 3 / 4, b, 2000));
  const uint32_t seek = now_frame();
  const size_t first = clocks.size();
  Flush(4000);
  lastOutput = 0;
  // Nothing of the new position until the play cursor is back at the
  // ring's start.
  ASSERT_TRUE(wait_for_play_cursor(0, b / 4, 2000));
  write_frames(a, 4 * 48000, 6 * 48000);
  finish();
  expect_clock_not_ahead(first, 1, seek, 4000);
}

// A prebuffer the ring cannot hold: without interpolation a 96 kHz stream
// fills the 1000 ms ring in 500 ms, and a prebuffer committed for a longer
// buffer goes live before the buffer does. The voices start once the ring
// is full instead of waiting for ever.
TEST_F(CardSoakFaults, APrebufferLongerThanTheRingStartsOnceTheRingIsFull) {
  live_settings.interpolation = 0;
  live_settings.prebufferMs = 650;
  Song a;
  a.rate = 96000, a.hz = 1000, a.toneFrames = 2 * 96000;
  play(a);
  if (HasFatalFailure()) return;
  idle(1500);
  const double loud = level();
  uint32_t frames = now_frame();
  uint32_t first = first_above(out(), 0, frames, int(loud / 8));
  uint32_t last = last_above(out(), 0, frames, int(loud / 8));
  ASSERT_LT(first, frames);
  EXPECT_NEAR(double(last - first) / CARD_HZ, 2.0, 0.1) << "the song plays whole";
  EXPECT_NEAR(tone_hz(out(), first + 9600, 9600), 1000.0, 5.0);
  // 6.5 s of prebuffer in a 1 s ring at 48 kHz.
  live_settings.interpolation = 1;
  live_settings.prebufferMs = 6500;
  Song c;
  c.hz = 1500, c.toneFrames = 2 * 44100;
  const uint32_t from = now_frame();
  play(c);
  if (HasFatalFailure()) return;
  idle(1500);
  frames = now_frame();
  first = first_above(out(), from, frames, int(loud / 8));
  last = last_above(out(), from, frames, int(loud / 8));
  ASSERT_LT(first, frames);
  EXPECT_NEAR(double(last - first) / CARD_HZ, 2.0, 0.1) << "the second song plays whole";
}

// Without interpolation the voices play at the stream's rate, which
// DirectSound limits to 100 kHz: a 192 kHz stream is resampled instead,
// so it keeps its pitch and the clock its pace.
TEST_F(CardSoakFaults, ARateBeyondTheVoicesIsResampledWithoutInterpolation) {
  live_settings.interpolation = 0;
  Song a;
  a.rate = 192000, a.hz = 1000, a.toneFrames = 2 * 192000;
  play(a);
  if (HasFatalFailure()) return;
  idle(1500);
  const uint32_t frames = now_frame();
  const uint32_t onset = first_above(out(), 0, frames, int(level() / 8));
  const uint32_t last = last_above(out(), 0, frames, int(level() / 8));
  ASSERT_LT(onset, frames);
  EXPECT_NEAR(tone_hz(out(), onset + 9600, 9600), 1000.0, 5.0) << "the pitch";
  EXPECT_NEAR(double(last - onset) / CARD_HZ, 2.0, 0.1) << "the length";
  expect_clock_follows(1, onset, 0, onset, onset + CARD_HZ);
}

// With no margin in IsPlaying ("Remove gaps", no trailing removal, cross-
// fading with an end fade of 0 ms) the host opens the next song only after
// the last one has played out. The next song starts afresh: its clock at 0
// when it is heard, and nothing stale of the ring heard before it.
TEST_F(CardSoakFaults, ASongOpenedAfterThePreviousPlayedOutStartsAfresh) {
  live_settings.silenceFlags = 0;
  live_settings.fadeEndMs = 0;
  Song a, b;
  a.rate = 48000, a.hz = 1000, a.toneFrames = whole_periods(48000, 1000, 2.5);
  b.rate = 48000, b.hz = 1500, b.toneFrames = 2 * 48000;
  play(a);
  if (HasFatalFailure()) return;
  const uint32_t opened_at = now_frame();
  play(b);
  if (HasFatalFailure()) return;
  idle(1500);
  const double loud = level();
  const uint32_t frames = now_frame();
  const uint32_t end_a = last_above(out(), 0, opened_at, int(loud / 8));
  ASSERT_LT(end_a, opened_at);
  const uint32_t onset = first_above(out(), opened_at, frames, int(loud / 8));
  ASSERT_LT(onset, frames);
  EXPECT_LT(onset, opened_at + 480 * 50) << "the next song starts after its prebuffer";
  EXPECT_LE(peak(out(), end_a + 4800, onset), int(loud / 50)) << "stale ring contents between the songs";
  EXPECT_NEAR(tone_hz(out(), onset + 4800, 9600), 1500.0, 5.0);
  expect_clock_follows(2, onset, 0, onset, onset + CARD_HZ);
}

// A short stop fade leaves the ring full of silence up to the old write
// offset, so the next song's first submit takes a few passes; the tail
// plays past the fade meanwhile. The next song's clock stays at 0 until
// its own audio is submitted and heard, and never falls back.
TEST_F(CardSoakFaults, TheNextSongsClockWaitsForItsFirstSubmitAfterAShortStopFade) {
  live_settings.fadeStopMs = 10;
  Song a, b;
  a.hz = 1000, a.toneFrames = 6 * 44100;
  b.rate = 48000, b.hz = 1500, b.toneFrames = 2 * 48000;
  ASSERT_GE(open(a), 0);
  write_frames(a, 0, 3 * 44100);
  while (GetOutputTime() < 1500) idle(10);
  close();
  ASSERT_TRUE(voices_playing());
  play(b);
  if (HasFatalFailure()) return;
  idle(1500);
  const uint32_t frames = now_frame();
  // The new song: the first stretch of its tone after the old one ended.
  uint32_t onset = 0;
  for (uint32_t f = first_above(out(), 0, frames, int(level() / 8)); f < frames; f += 480)
    if (tone_hz(out(), f, 960) > 1400.0) {
      onset = f;
      break;
    }
  ASSERT_NE(0u, onset);
  onset = first_above(out(), onset > 1440 ? onset - 1440 : 0, frames, int(level() / 8));
  for (const ClockSample &c : clocks)
    if (c.stream == 2 && c.frame + 480 < onset) {
      EXPECT_EQ(0, c.output) << "stream 2 has a time before it is heard, at frame " << c.frame;
    }
}

// The host wrote a song's end and is stopped right away, with a second of
// it still queued: the stop fade silences the rest of the ring. The next
// song, opened at once, mixes over that faded tail (crossfading off or on)
// instead of waiting behind the silence with its clock already running.
TEST_F(CardSoakFaults, ASongAfterAStopFadeOfAWrittenEndStartsOverTheFadedTail) {
  live_settings.fadeFlags = engine_settings_defaults.fadeFlags & ~FADE_CROSSFADE;
  live_settings.silenceFlags = 1;  // IsPlaying's margin: 500 ms
  Song a, b;
  a.hz = 1000, a.toneFrames = 3 * 44100;
  b.rate = 48000, b.hz = 1500, b.toneFrames = 2 * 48000;
  ASSERT_GE(open(a), 0);
  write_frames(a, 0, a.frames());
  Write(nullptr, 0);
  ASSERT_EQ(1, IsPlaying());
  const uint32_t closed = now_frame();
  close();
  uint32_t first_submit = 0;
  onStep = [&] {
    if (!first_submit && inStream && engine.submitCount > 0) first_submit = clocks.back().frame;
  };
  play(b);
  onStep = nullptr;
  if (HasFatalFailure()) return;
  idle(1500);
  ASSERT_NE(0u, first_submit);
  // Written from the write cursor, 10 ms ahead of the play cursor.
  const uint32_t start = first_submit + 480;
  EXPECT_LT(start, closed + CARD_HZ / 2) << "the new song waits behind the old one's silence";
  const uint32_t frames = now_frame();
  EXPECT_NEAR(tone_hz(out(), start + 14400, 9600), 1500.0, 5.0);
  const uint32_t last = last_above(out(), start, frames, int(level() / 8));
  EXPECT_NEAR(double(last - start) / CARD_HZ, 2.0, 0.01) << "the new song plays whole";
  expect_clock_follows(2, start, 0, start, start + 2 * CARD_HZ - 4800);
}
}  // namespace
