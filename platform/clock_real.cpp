#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace {

enum class State { Running, Waiting, Joining, Detached };

struct Member {
  State state;
  uint64_t wake;    // Waiting: clock time to wake at
  uint64_t order;   // Waiting: tie-break, the order of going to sleep
  uint32_t joined;  // Joining: the slot waited for
};

struct Sim {
  std::mutex mutex;
  std::condition_variable changed;
  bool simulated = false;
  uint64_t now = 0;      // simulated time
  uint64_t offset = 0;   // real time = steady clock - origin + offset
  uint64_t order = 0;
  uint32_t next_slot = 1;
  uint32_t running = 0;  // the slot that holds the turn, 0 for none
  std::map<uint32_t, Member> members;
};

Sim &sim() {
  static Sim s;
  return s;
}

const auto origin = std::chrono::steady_clock::now();
thread_local uint32_t current_slot = 0;

uint64_t real_us() {
  return uint64_t(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - origin).count());
}

// Gives the turn to the waiting member with the earliest (wake, order) when
// nobody holds it, moving simulated time forward to its wake time.
void dispatch(Sim &s) {
  if (s.running != 0) return;
  uint32_t best = 0;
  const Member *bm = nullptr;
  for (auto &kv : s.members) {
    const Member &m = kv.second;
    if (m.state != State::Waiting) continue;
    if (!bm || m.wake < bm->wake || (m.wake == bm->wake && m.order < bm->order)) {
      best = kv.first;
      bm = &m;
    }
  }
  if (!bm) return;
  if (bm->wake > s.now) s.now = bm->wake;
  s.running = best;
  s.members[best].state = State::Running;
  s.changed.notify_all();
}

void wait_turn(Sim &s, std::unique_lock<std::mutex> &lock, uint32_t slot) {
  s.changed.wait(lock, [&] { return s.running == slot; });
}

void enqueue(Sim &s, uint32_t slot, uint64_t wake) {
  Member &m = s.members[slot];
  m.state = State::Waiting;
  m.wake = wake;
  m.order = s.order++;
  if (s.running == slot) s.running = 0;
}

void remove_member(Sim &s, uint32_t slot) {
  s.members.erase(slot);
  if (s.running == slot) s.running = 0;
  for (auto &kv : s.members) {
    if (kv.second.state == State::Joining && kv.second.joined == slot) enqueue(s, kv.first, s.now);
  }
  dispatch(s);
}

}  // namespace

extern "C" uint64_t clock_now_us(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.simulated ? s.now : real_us() + s.offset;
}

extern "C" void clock_sleep_us(uint64_t us) {
  Sim &s = sim();
  std::unique_lock<std::mutex> lock(s.mutex);
  if (!s.simulated) {
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::microseconds(us));
    return;
  }
  uint32_t slot = current_slot;
  bool transient = slot == 0 || s.members.find(slot) == s.members.end();
  if (transient) {
    // A thread that does not take part still sleeps on the clock: it joins
    // for the length of the sleep.
    slot = s.next_slot++;
  }
  enqueue(s, slot, s.now + us);
  dispatch(s);
  wait_turn(s, lock, slot);
  if (transient) remove_member(s, slot);
}

extern "C" int clock_set_simulated(int on) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.members.empty()) return -1;
  bool want = on != 0;
  if (want == s.simulated) return 0;
  if (want) {
    s.now = real_us() + s.offset;
  } else {
    uint64_t r = real_us();
    s.offset = s.now > r ? s.now - r : 0;
  }
  s.simulated = want;
  return 0;
}

extern "C" int clock_is_simulated(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.simulated ? 1 : 0;
}

extern "C" uint32_t clock_thread_reserve(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.simulated) return 0;
  uint32_t slot = s.next_slot++;
  Member &m = s.members[slot];
  m.state = State::Detached;
  // Ready to run at once, after everything already due now.
  enqueue(s, slot, s.now);
  return slot;
}

extern "C" void clock_thread_attach(uint32_t slot) {
  if (slot == 0) return;
  Sim &s = sim();
  std::unique_lock<std::mutex> lock(s.mutex);
  current_slot = slot;
  dispatch(s);
  wait_turn(s, lock, slot);
}

extern "C" void clock_thread_cancel(uint32_t slot) {
  if (slot == 0) return;
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mutex);
  remove_member(s, slot);
}

extern "C" void clock_thread_register(void) {
  Sim &s = sim();
  std::unique_lock<std::mutex> lock(s.mutex);
  if (!s.simulated || current_slot != 0) return;
  uint32_t slot = s.next_slot++;
  current_slot = slot;
  enqueue(s, slot, s.now);
  dispatch(s);
  wait_turn(s, lock, slot);
}

extern "C" void clock_thread_unregister(void) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mutex);
  uint32_t slot = current_slot;
  current_slot = 0;
  if (slot == 0) return;
  remove_member(s, slot);
}

extern "C" void clock_join_begin(uint32_t slot) {
  Sim &s = sim();
  std::lock_guard<std::mutex> lock(s.mutex);
  uint32_t me = current_slot;
  auto it = s.members.find(me);
  if (me == 0 || it == s.members.end()) return;
  if (slot != 0 && s.members.count(slot)) {
    it->second.state = State::Joining;
    it->second.joined = slot;
  } else if (slot != 0) {
    return;  // it has ended already: the join will not block
  } else {
    // The child is not on the clock: step aside until the join returns.
    it->second.state = State::Detached;
  }
  if (s.running == me) s.running = 0;
  dispatch(s);
}

extern "C" void clock_join_end(void) {
  Sim &s = sim();
  std::unique_lock<std::mutex> lock(s.mutex);
  uint32_t me = current_slot;
  auto it = s.members.find(me);
  if (me == 0 || it == s.members.end()) return;
  if (it->second.state == State::Detached || it->second.state == State::Joining) enqueue(s, me, s.now);
  dispatch(s);
  wait_turn(s, lock, me);
}
