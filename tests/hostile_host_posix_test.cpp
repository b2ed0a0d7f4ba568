// The real out_sonorium.so on the software card under a host that breaks
// every rule of the interface: callbacks in any order, formats no decoder
// produces, writes before Open and after the end of a stream, Close twice,
// Quit and Init in the middle of a song, Flush to any position, volume and
// pan extremes, pause toggles. Each seed is one deterministic sequence on
// the simulated clock. After every call: both times are never negative and
// CanWrite never is; while the host keeps to the interface within a stream
// (from a successful Open, until it does something the interface does not
// allow), the output time neither passes the written time nor goes back.
// A watchdog in real time ends the run with the seed if a sequence hangs.
//
// SONORIUM_HOSTILE_SEEDS sets the number of seeds (default 100);
// SONORIUM_HOSTILE_SEED runs that one seed alone; SONORIUM_HOSTILE_TRACE=1
// prints every step; SONORIUM_HOSTILE_REAL_CLOCK=1 runs the random
// sequences in real time; SONORIUM_HOSTILE_POLITE=1 keeps them to what the
// interface allows.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "card/card_api.h"
#include "engine/module.h"
#include "platform/clock.h"
#include "platform/os.h"

namespace {

// xorshift64*: the same sequence for a seed on every platform and library.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t next() {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return s * 2685821657736338717ull;
  }
  int below(int n) { return int(next() % uint64_t(n)); }
  bool chance(int percent) { return below(100) < percent; }
  template <class T, size_t N>
  T pick(const T (&a)[N]) {
    return a[below(int(N))];
  }
};

// Ends the process with the seed when a sequence makes no progress for a
// minute of real time (the simulated clock cannot show a hang: it stops
// with the threads).
class Watchdog {
 public:
  Watchdog() : thread_([this] { run(); }) {}
  ~Watchdog() {
    stop_.store(true);
    thread_.join();
  }
  void progress(uint64_t seed, const char *what) {
    seed_.store(seed);
    what_.store(what);
    ticks_.fetch_add(1);
  }

 private:
  void run() {
    uint64_t last = ticks_.load();
    auto since = std::chrono::steady_clock::now();
    while (!stop_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      uint64_t now = ticks_.load();
      if (now != last) {
        last = now;
        since = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - since > std::chrono::seconds(60)) {
        std::fprintf(stderr, "hostile host: seed %llu hangs in %s\n", (unsigned long long)seed_.load(),
                     what_.load());
        std::abort();
      }
    }
  }
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> ticks_{0};
  std::atomic<uint64_t> seed_{0};
  std::atomic<const char *> what_{""};
  std::thread thread_;
};

class HostileHost : public ::testing::Test {
 protected:
  void SetUp() override {
    card_reset();
    card_set_room(0);
    library_ = dlopen(SONORIUM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    auto get = reinterpret_cast<Out_Module *(*)(void)>(dlsym(library_, "winampGetOutModule"));
    ASSERT_NE(get, nullptr);
    m_ = get();
    if (real_clock_) return;
    ASSERT_EQ(0, card_set_simulated_time(1));
    clock_thread_register();
    registered_ = true;
  }
  void TearDown() override {
    if (inited_) m_->Quit();
    if (registered_) clock_thread_unregister();
    card_set_simulated_time(0);
    if (library_) dlclose(library_);
    card_reset();
  }

  void *library_ = nullptr;
  Out_Module *m_ = nullptr;
  bool registered_ = false;
  bool inited_ = false;

  // The host's view of the current stream.
  bool open_ = false;
  bool keeping_ = false;  // within a stream, nothing against the interface yet
  int frameBytes_ = 0;
  int rate_ = 0;
  int lastOutput_ = 0;
  uint64_t seed_ = 0;
  int step_ = 0;
  const char *call_ = "";
  bool seedFailed_ = false;
  // SONORIUM_HOSTILE_TRACE=1 prints every step.
  bool trace_ = std::getenv("SONORIUM_HOSTILE_TRACE") != nullptr;
  // SONORIUM_HOSTILE_REAL_CLOCK=1 runs on the real clock, the host's calls
  // meeting the output thread and the card's mixer at any moment (for the
  // thread sanitizer: simulated time runs one thread at a time). Sleeps
  // are a tenth as long.
  bool real_clock_ = std::getenv("SONORIUM_HOSTILE_REAL_CLOCK") != nullptr;
  // SONORIUM_HOSTILE_POLITE=1 makes only the calls the interface allows: a
  // host in good order, at random, for the real clock under the sanitizer.
  bool polite_ = std::getenv("SONORIUM_HOSTILE_POLITE") != nullptr;
  void host_sleep(uint32_t ms) { os_sleep(real_clock_ ? (ms + 9) / 10 : ms); }

  void init() {
    m_->Init();
    inited_ = true;
  }
  void quit() {
    m_->Quit();
    inited_ = false;
    open_ = keeping_ = false;
  }

  // The checks after every call; false once one has failed.
  bool check() {
    int output = m_->GetOutputTime();
    int written = m_->GetWrittenTime();
    int room = m_->CanWrite();
    bool ok = true;
    auto fail = [&](const char *what) {
      seedFailed_ = true;
      ADD_FAILURE() << "seed " << seed_ << " step " << step_ << " after " << call_ << ": " << what
                    << " (output " << output << " ms, written " << written << " ms, CanWrite " << room << ")";
      ok = false;
    };
    if (output < 0) fail("output time negative");
    if (written < 0) fail("written time negative");
    if (room < 0) fail("CanWrite negative");
    if (keeping_) {
      if (output > written) fail("output time past the written time");
      if (output < lastOutput_) fail("output time went back");
      lastOutput_ = output;
    }
    return ok;
  }

  int open(int rate, int channels, int bits, int buffer_ms, int prebuffer_ms) {
    int r = m_->Open(rate, channels, bits, buffer_ms, prebuffer_ms);
    // A second Open without Close is against the interface; the stream it
    // opens is not checked.
    bool conforming = !open_;
    if (r >= 0) {
      open_ = true;
      keeping_ = conforming;
      frameBytes_ = channels * (bits / 8);
      rate_ = rate;
      lastOutput_ = 0;
    } else {
      keeping_ = false;
    }
    return r;
  }

  // One seed: `steps` calls chosen by the seed.
  void run_seed(uint64_t seed, int steps, Watchdog *dog) {
    seed_ = seed;
    Rng rng(seed);
    static std::vector<char> buffer(1 << 20);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = char(rng.next());
    open_ = keeping_ = false;
    if (!inited_ && (polite_ || rng.chance(90))) init();
    bool ended = false;  // Write(NULL, 0) was given in this stream
    for (step_ = 0; step_ < steps; ++step_) {
      int what = rng.below(100);
      if (what < 8) {
        call_ = "Open";
        static const int rates[] = {1, 2, 7, 315, 999, 1000, 8000, 11025, 22050, 44100, 48000, 96000, 192000, 384000,
                                    384001, 0, -44100, INT_MAX};
        static const int bitses[] = {8, 16, 24, 0, 1, 4, 12, 20, 32, 64, -16, INT_MIN};
        int rate = rng.chance(70) ? rng.pick(rates) : 1 + rng.below(384000);
        int channels = rng.chance(60) ? 1 + rng.below(2) : rng.below(41) - (rng.chance(5) ? 41 : 0);
        // Half the formats are ones a decoder hands over, so that streams
        // open and play between the odd ones.
        static const int good_bits[] = {8, 16, 24};
        int bits = rng.chance(50) ? rng.pick(good_bits) : rng.chance(70) ? rng.pick(bitses) : rng.below(40);
        if (polite_) {
          if (open_) continue;
          static const int usual[] = {8000, 11025, 22050, 32000, 44100, 48000, 96000};
          rate = rng.pick(usual);
          channels = 1 + rng.below(2);
          bits = rng.pick(good_bits);
        }
        open(rate, channels, bits, rng.chance(50) ? -1 : rng.below(20000), rng.chance(50) ? -1 : rng.below(5000));
        ended = false;
      } else if (what < 50) {
        call_ = "Write";
        int room = m_->CanWrite();
        int len;
        bool conforming = open_ && !ended && frameBytes_ > 0;
        int kind = rng.below(10);
        if (kind < 6 && frameBytes_ > 0) {
          int frames = room / frameBytes_;
          if (frames > int(buffer.size()) / frameBytes_) frames = int(buffer.size()) / frameBytes_;
          len = frameBytes_ * (frames ? rng.below(frames + 1) : 0);
        } else if (kind < 8) {
          // Any length up to two seconds of the stream beyond what fits
          // (a write of 1 MB to a 1 Hz stream would be a day of audio to
          // resample).
          int64_t most = frameBytes_ > 0 ? int64_t(room) + 2 * int64_t(rate_) * frameBytes_ : 65536;
          if (most > int64_t(buffer.size())) most = int64_t(buffer.size());
          len = rng.below(int(most) + 1);
          conforming = conforming && frameBytes_ > 0 && len % frameBytes_ == 0 && len <= room;
        } else {
          static const int odd[] = {0, -1, INT_MIN, 1, 3, 5};
          len = rng.pick(odd);
          conforming = false;
        }
        // A write of nothing is no part of a decoder's stream either.
        if (polite_ && (len == 0 || !conforming)) continue;
        if (len == 0 || !conforming) keeping_ = false;
        m_->Write(buffer.data(), len);
      } else if (what < 53) {
        call_ = "Write(NULL, 0)";
        if (polite_ && (!open_ || ended)) continue;
        if (!open_ || ended) keeping_ = false;
        m_->Write(nullptr, 0);
        ended = true;
      } else if (what < 60) {
        call_ = "IsPlaying";
        m_->IsPlaying();
      } else if (what < 64) {
        call_ = "Close";
        m_->Close();
        open_ = keeping_ = false;
      } else if (what < 69) {
        call_ = "Flush";
        int written = m_->GetWrittenTime();
        static const int odd[] = {-1, -1000, INT_MIN, INT_MAX, 2000000000};
        int t;
        switch (rng.below(4)) {
          case 0: t = 0; break;
          case 1: t = written > 0 ? rng.below(written + 1) : 0; break;
          case 2: t = written + 1 + rng.below(100000); break;
          default: t = rng.pick(odd); break;
        }
        if (polite_ && (t < 0 || t > written)) continue;
        if (t < 0 || t > written) keeping_ = false;
        m_->Flush(t);
        // The stream starts again at t.
        lastOutput_ = 0;
        ended = false;
      } else if (what < 75) {
        call_ = "Pause";
        static const int values[] = {0, 1, 1, 0, -1, 2, INT_MIN};
        m_->Pause(polite_ ? rng.below(2) : rng.pick(values));
      } else if (what < 79) {
        call_ = "SetVolume";
        static const int values[] = {-1, 0, 1, 128, 254, 255, 256, -2, 1000, INT_MAX, INT_MIN};
        m_->SetVolume(rng.chance(80) && !polite_ ? rng.pick(values) : rng.below(256));
      } else if (what < 82) {
        call_ = "SetPan";
        static const int values[] = {-128, 0, 128, -129, 129, INT_MAX, INT_MIN};
        m_->SetPan(polite_ ? rng.below(257) - 128 : rng.pick(values));
      } else if (what < 84) {
        if (polite_ && open_) continue;
        if (inited_) {
          call_ = "Quit";
          quit();
        } else {
          call_ = "Init";
          init();
        }
      } else if (what < 85) {
        if (polite_) continue;
        call_ = "Close twice";
        m_->Close();
        m_->Close();
        open_ = keeping_ = false;
      } else if (what < 88) {
        call_ = "drain";
        // The host's end of a song: wait (bounded) for the end of playing.
        if (polite_ && (!open_ || ended)) continue;
        if (!open_ || ended) keeping_ = false;
        m_->Write(nullptr, 0);
        ended = true;
        for (int waited = 0; waited < 200 && m_->IsPlaying(); ++waited) {
          host_sleep(100);
          if (!check()) return;
          dog->progress(seed, call_);
        }
      } else {
        call_ = "sleep";
        host_sleep(uint32_t(rng.below(rng.chance(10) ? 3000 : 60)));
      }
      dog->progress(seed, call_);
      if (trace_)
        std::fprintf(stderr, "seed %llu step %d %s: clock %u ms, output %d, written %d\n", (unsigned long long)seed,
                     step_, call_, os_tick_count(), m_->GetOutputTime(), m_->GetWrittenTime());
      if (!check()) return;
    }
    call_ = "end of seed";
    m_->Close();
    open_ = keeping_ = false;
    if (inited_ && rng.chance(30)) quit();
    check();
  }
};

TEST_F(HostileHost, RandomCallSequencesKeepTheTimesSane) {
  Watchdog dog;
  int seeds = 100;
  uint64_t first = 1;
  if (const char *n = std::getenv("SONORIUM_HOSTILE_SEEDS")) seeds = std::atoi(n);
  if (const char *one = std::getenv("SONORIUM_HOSTILE_SEED")) {
    first = std::strtoull(one, nullptr, 10);
    seeds = 1;
  }
  int failed_seeds = 0;
  for (uint64_t seed = first; seed < first + uint64_t(seeds); ++seed) {
    seedFailed_ = false;
    run_seed(seed, 300, &dog);
    // A few failing seeds say enough; each is printed with its step.
    if (seedFailed_ && ++failed_seeds >= 5) break;
  }
  std::printf("hostile host: %d seeds from %llu, %d failed\n", seeds, (unsigned long long)first, failed_seeds);
}

// The end of a stream at a rate far below any decoder's: the resampler owes
// as many outputs as it dropped as start-up latency, 323 input samples'
// worth (323 * 48000 / rate frames at 48 kHz, 40 s at 8 Hz), far more than
// the resampled-piece buffer and the rings hold; it must go out in parts.
TEST_F(HostileHost, LowRateStreamEndStaysWithinItsBuffers) {
  if (real_clock_) GTEST_SKIP() << "simulated time only";
  init();
  for (int rate : {315, 100, 8}) {
    ASSERT_GE(open(rate, 1, 16, -1, -1), 0) << rate;
    std::vector<char> block(size_t(rate) * 2 * 4, 1);
    m_->Write(block.data(), int(block.size()));
    m_->Write(nullptr, 0);
    for (int waited = 0; waited < 50 && m_->IsPlaying(); ++waited) os_sleep(100);
    EXPECT_TRUE(check()) << rate;
    m_->Close();
  }
}

// A host that cannot keep up: it writes at half the speed of playing, in
// bursts with pauses of up to three seconds without any data, then ends the
// song. The times must stay within their rules throughout, the underruns
// included.
TEST_F(HostileHost, AStarvingHostKeepsTheTimesInOrder) {
  if (real_clock_) GTEST_SKIP() << "80 s of songs in real time";
  Watchdog dog;
  init();
  for (uint64_t seed = 1; seed <= 4; ++seed) {
    seed_ = seed;
    Rng rng(seed);
    const int rate = seed % 2 ? 44100 : 22050, channels = 2, bits = 16;
    ASSERT_GE(open(rate, channels, bits, -1, -1), 0);
    std::vector<char> block(size_t(576 * channels * bits / 8));
    for (char &c : block) c = char(rng.below(64) - 32);
    int frames_written = 0;
    const int song_frames = rate * 20;
    step_ = 0;
    while (frames_written < song_frames) {
      ++step_;
      call_ = "Write";
      if (m_->CanWrite() >= int(block.size())) {
        m_->Write(block.data(), int(block.size()));
        frames_written += 576;
      }
      ASSERT_TRUE(check());
      dog.progress(seed, call_);
      // Half real time: each block of 576 frames takes twice its length.
      call_ = "sleep";
      os_sleep(uint32_t(2 * 576 * 1000 / rate));
      if (rng.chance(2)) os_sleep(uint32_t(500 + rng.below(2500)));
      ASSERT_TRUE(check());
    }
    call_ = "drain";
    m_->Write(nullptr, 0);
    int waited = 0;
    while (m_->IsPlaying() && waited < 300) {
      os_sleep(100);
      ++waited;
      ASSERT_TRUE(check());
      dog.progress(seed, call_);
    }
    EXPECT_EQ(0, m_->IsPlaying()) << "seed " << seed << ": still playing 30 s after the end";
    // The written time is what the host wrote, the first stream after Init
    // included (whose resampler starts from nothing).
    const int written_ms = int(int64_t(frames_written) * 1000 / rate);
    EXPECT_EQ(written_ms, m_->GetWrittenTime()) << "seed " << seed;
    std::printf("starving host seed %llu: written %d ms, output %d ms at the end\n", (unsigned long long)seed,
                m_->GetWrittenTime(), m_->GetOutputTime());
    m_->Close();
    open_ = keeping_ = false;
  }
}

}  // namespace
