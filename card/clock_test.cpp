#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "card/card_api.h"
#include "platform/clock.h"
#include "platform/dsound.h"
#include "platform/os.h"

namespace {

struct Worker {
  std::vector<std::string> *trace;
  const char *name;
  uint32_t period;
  int steps;
};

unsigned worker_main(void *arg) {
  Worker *w = static_cast<Worker *>(arg);
  for (int i = 0; i < w->steps; ++i) {
    w->trace->push_back(std::string(w->name) + "@" + std::to_string(clock_now_us()));
    os_sleep(w->period);
  }
  return 0;
}

// Two threads, a device with a mixer thread and a playing voice; the test
// thread samples the cursor. Returns what everybody saw, in order.
std::vector<std::string> scenario(uint32_t virtual_ms, uint32_t sample_every_ms, bool mix) {
  std::vector<std::string> trace;
  card_reset();
  if (mix) card_set_sink_memory(1000);
  EXPECT_EQ(0, clock_set_simulated(1));
  clock_thread_register();
  uint64_t start = clock_now_us();
  IDirectSound8 *ds = nullptr;
  EXPECT_EQ(DS_OK, DirectSoundCreate8(nullptr, &ds, nullptr));
  ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
  WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
  DSBUFFERDESC d = {20, 0x180B4, 96000, 0, &f, {}};
  IDirectSoundBuffer *b = nullptr;
  EXPECT_EQ(DS_OK, ds->CreateSoundBuffer(&d, &b, nullptr));
  b->Play(0, 0, DSBPLAY_LOOPING);
  Worker a = {&trace, "a", 7, int(virtual_ms / 7 / 50)};
  Worker c = {&trace, "b", 13, int(virtual_ms / 13 / 50)};
  OsThread *ta = os_thread_start(worker_main, &a);
  OsThread *tc = os_thread_start(worker_main, &c);
  for (uint32_t t = 0; t < virtual_ms; t += sample_every_ms) {
    DWORD play = 0, write = 0;
    b->GetCurrentPosition(&play, &write);
    trace.push_back("cursor@" + std::to_string((clock_now_us() - start) / 1000) + "=" + std::to_string(play) + "/" +
                    std::to_string(write));
    os_sleep(sample_every_ms);
  }
  os_thread_join(ta);
  os_thread_join(tc);
  trace.push_back("end@" + std::to_string((clock_now_us() - start) / 1000));
  b->Release();
  ds->Release();
  trace.push_back("frames=" + std::to_string(card_memory_frames()));
  clock_thread_unregister();
  EXPECT_EQ(0, clock_set_simulated(0));
  card_reset();
  // Relative times only: the absolute start differs between runs.
  for (auto &s : trace) {
    if (s[0] == 'a' || s[0] == 'b') {
      size_t at = s.find('@');
      s = s.substr(0, at + 1) + std::to_string((std::stoull(s.substr(at + 1)) - start) / 1000);
    }
  }
  return trace;
}

TEST(SimulatedClock, TenVirtualMinutesRunInWellUnderASecond) {
  auto t0 = std::chrono::steady_clock::now();
  std::vector<std::string> trace = scenario(600000, 100, false);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(seconds, 1.0);
  // The cursor after 10 minutes: 600 s of 96000 bytes/s in a 96000-byte ring.
  ASSERT_GE(trace.size(), 6000u);
  EXPECT_EQ("cursor@0=0/960", trace[std::find_if(trace.begin(), trace.end(),
                                                 [](const std::string &s) { return s[0] == 'c' && s[1] == 'u'; }) -
                                   trace.begin()]);
  EXPECT_NE(trace.end(), std::find(trace.begin(), trace.end(), "cursor@599900=86400/87360"));
  EXPECT_EQ("frames=0", trace.back());
}

TEST(SimulatedClock, TwoRunsGiveIdenticalTraces) {
  std::vector<std::string> first = scenario(20000, 3, true);
  std::vector<std::string> second = scenario(20000, 3, true);
  ASSERT_EQ(first.size(), second.size());
  EXPECT_EQ("frames=1000", first.back());
  for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i], second[i]) << "entry " << i;
}

TEST(SimulatedClock, TimeWaitsForAStartedThreadAndForAJoin) {
  ASSERT_EQ(0, clock_set_simulated(1));
  clock_thread_register();
  uint64_t t0 = clock_now_us();
  struct Child {
    uint64_t seen;
  } child = {0};
  OsThread *t = os_thread_start(
      [](void *p) -> unsigned {
        static_cast<Child *>(p)->seen = clock_now_us();
        os_sleep(250);
        return 0;
      },
      &child);
  os_sleep(1);
  EXPECT_EQ(t0, child.seen) << "the child ran before time moved on";
  os_thread_join(t);
  EXPECT_EQ(t0 + 250000, clock_now_us()) << "the join let time run to the child's end, no further";
  EXPECT_EQ(-1, clock_set_simulated(0)) << "refused while a thread takes part";
  clock_thread_unregister();
  EXPECT_EQ(0, clock_set_simulated(0));
  EXPECT_GE(clock_now_us(), t0 + 250000) << "real time continues from the simulated present";
}

TEST(SimulatedClock, UnregisteredSleeperDoesNotHang) {
  ASSERT_EQ(0, clock_set_simulated(1));
  uint64_t t0 = clock_now_us();
  auto r0 = std::chrono::steady_clock::now();
  os_sleep(5000);
  EXPECT_EQ(t0 + 5000000, clock_now_us());
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - r0).count(), 0.5);
  EXPECT_EQ(0, clock_set_simulated(0));
}

}  // namespace
