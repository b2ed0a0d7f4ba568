// The clock behind os_sleep and os_tick_count, and behind the software sound
// card's cursors. Real time by default; simulated time on request.
//
// Simulated time advances only when every registered thread is asleep (or
// blocked in os_thread_join). Registered threads then run one at a time: the
// sleeper with the earliest wake time runs next, ties broken by the order in
// which they went to sleep, so a run is the same every time and as fast as
// the work it does.
#pragma once

#include <cstdint>

extern "C" {
// Microseconds since the clock's origin.
uint64_t clock_now_us(void);
// Sleeps the calling thread for us microseconds of clock time.
void clock_sleep_us(uint64_t us);

// Switches between real (0) and simulated (1) time. Refused (returns -1)
// while threads are registered; returns 0 otherwise. Time stays monotonic
// across the switch.
int clock_set_simulated(int on);
int clock_is_simulated(void);

// The calling thread takes part in simulated time (does nothing in real
// time). Register blocks until it is the thread's turn to run.
void clock_thread_register(void);
void clock_thread_unregister(void);

// Used by os_thread_start/os_thread_join: the parent reserves a slot for a
// child before it starts (so time cannot run on without it), the child
// attaches to it. Slot 0 means "not taking part".
uint32_t clock_thread_reserve(void);
void clock_thread_attach(uint32_t slot);
void clock_thread_cancel(uint32_t slot);
// Brackets a blocking join of the thread that attached to `slot`; the joiner
// counts as asleep until that thread unregisters.
void clock_join_begin(uint32_t slot);
void clock_join_end(void);
}
