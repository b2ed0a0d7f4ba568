#include <pthread.h>
#include <sched.h>

#include <new>

#include "platform/clock.h"
#include "platform/os.h"

struct OsThread {
  pthread_t thread;
  OsThreadProc proc;
  void *arg;
  uint32_t slot;
};

namespace {
void *thread_main(void *p) {
  OsThread *t = static_cast<OsThread *>(p);
  clock_thread_attach(t->slot);
  t->proc(t->arg);
  if (t->slot) clock_thread_unregister();
  return nullptr;
}
}  // namespace

extern "C" OsThread *os_thread_start(OsThreadProc proc, void *arg) {
  OsThread *t = new (std::nothrow) OsThread{};
  if (!t) return nullptr;
  t->proc = proc;
  t->arg = arg;
  // Reserved before the thread exists, so simulated time waits for it.
  t->slot = clock_thread_reserve();
  if (pthread_create(&t->thread, nullptr, thread_main, t) != 0) {
    clock_thread_cancel(t->slot);
    delete t;
    return nullptr;
  }
  return t;
}

extern "C" void os_thread_join(OsThread *t) {
  if (!t) return;
  clock_join_begin(t->slot);
  pthread_join(t->thread, nullptr);
  clock_join_end();
  delete t;
}

extern "C" void os_thread_set_priority_highest(OsThread *) {
  // Normal users cannot raise a thread's priority on Linux; nothing to do.
}

extern "C" void os_sleep(uint32_t ms) { clock_sleep_us(uint64_t(ms) * 1000); }

extern "C" uint32_t os_tick_count(void) { return uint32_t(clock_now_us() / 1000); }
