// The clock behind os_sleep and os_tick_count, and behind the software sound
// card's cursors. Real time by default.
#pragma once

#include <cstdint>

extern "C" {
// Microseconds since the clock's origin.
uint64_t clock_now_us(void);
// Sleeps the calling thread for us microseconds of clock time.
void clock_sleep_us(uint64_t us);
}
