#include <new>

#include "platform/os.h"
#include "platform/win32.h"

struct OsThread {
  HANDLE handle;
  DWORD id;
  OsThreadProc proc;
  void *arg;
};

namespace {
DWORD WINAPI thread_main(LPVOID p) {
  OsThread *t = static_cast<OsThread *>(p);
  return t->proc(t->arg);
}
}  // namespace

extern "C" OsThread *os_thread_start(OsThreadProc proc, void *arg) {
  OsThread *t = new (std::nothrow) OsThread{};
  if (!t) return nullptr;
  t->proc = proc;
  t->arg = arg;
  t->handle = CreateThread(nullptr, 0, thread_main, t, 0, &t->id);
  if (!t->handle) {
    delete t;
    return nullptr;
  }
  return t;
}

extern "C" void os_thread_join(OsThread *t) {
  if (!t) return;
  WaitForSingleObject(t->handle, INFINITE);
  CloseHandle(t->handle);
  delete t;
}

extern "C" void os_thread_set_priority_highest(OsThread *t) {
  if (t) SetThreadPriority(t->handle, THREAD_PRIORITY_HIGHEST);
}

extern "C" void os_sleep(uint32_t ms) { Sleep(ms); }

extern "C" uint32_t os_tick_count(void) { return GetTickCount(); }
