// The operating-system services the portable code needs: threads, sleeping,
// the tick count, and the clock they run on. The POSIX side can run on a
// simulated clock (see clock.h), so whole playback scenarios are
// deterministic and run faster than real time; the Windows side uses kernel32.
#pragma once

#include <cstdint>

extern "C" {

typedef struct OsThread OsThread;
typedef unsigned (*OsThreadProc)(void *arg);

// Starts a thread running proc(arg). Returns null on failure.
OsThread *os_thread_start(OsThreadProc proc, void *arg);
// Waits for the thread to end and releases its record.
void os_thread_join(OsThread *thread);
// Raises the thread to the highest normal priority (best effort).
void os_thread_set_priority_highest(OsThread *thread);

// Sleep and GetTickCount, following the active clock.
void os_sleep(uint32_t ms);
uint32_t os_tick_count(void);
}
