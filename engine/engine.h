// The playback engine's life cycle, called by the module's Init and Quit,
// and the hand-overs the settings dialog and the tests use.
#pragma once

#include <atomic>
#include <cstdint>

// Init's engine steps: builds the resampler tables and the two resampler
// states, copies the live settings into the applied and dialog copies,
// creates the two equalizer states, designs the kernel and starts the output
// thread at the highest priority. Allocates every buffer of the audio path.
// Returns 0, -1 when memory runs out, -2 when the processor lacks SSE2.
int engine_init(void);

// Quit's wait for a running stop fade: while the voices play and the stop
// fade time has not passed, sleeps in 10 ms steps.
void engine_wait_stop_fade(void);

// Quit's release: ends the output thread by a stop request and a join, then
// releases the equalizer and resampler states, the tables and the buffers.
// Call after the device is closed.
void engine_release(void);

// Set by the settings dialog when it commits settings that need a full stop
// (or a device reopen); the output thread applies them between streams.
extern std::atomic<int32_t> engine_reconfigure_request;

// One pass of the output thread (the thread loops over it). Sleeps 10 ms
// first.
void output_thread_pass(void);
