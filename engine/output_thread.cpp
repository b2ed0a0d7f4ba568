// The output thread: one pass every 10 ms that starts the voices on request,
// ramps the volume, ends inserted gaps, finishes pending stops, keeps the
// clock sane, runs the pause fades and applies committed settings between
// streams. Also the engine's life cycle and the full stop.
#include <cmath>
#include <thread>

#include "device/block.h"
#include "device/device.h"
#include "engine/autosave.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/engine_internal.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "platform/os.h"
#include "support/fpu_guard.h"
#include "support/heap.h"

std::atomic<int32_t> engine_reconfigure_request{0};

namespace {
OsThread *output_thread;

unsigned output_thread_main(void *) {
  while (!engine.threadStop) output_thread_pass();
  return 0;
}

void sync_positions(void) {
  uint32_t play, write;
  read_cursors(&play, &write);
  voices_set_position(play);
}

void reconfigure(void) {
  bool device_changed = appliedDeviceGuid != deviceGuid;
  bool buffer_changed = applied_settings.bufferLengthMs != live_settings.bufferLengthMs;
  deviceGuid = appliedDeviceGuid;
  live_settings = applied_settings;
  if (!device_changed && !buffer_changed) return;
  block_capture();
  engine.engineActive = 0;
  engine.lastFrequency = -1;
  os_sleep(20);
  if (device_changed) {
    device_close();
    device_open(0);
  } else {
    voices_release();
    device_open(1);
  }
  block_apply();
}

void *alloc(size_t bytes, int *failed) {
  void *p = heap_alloc_zeroed(bytes);
  if (!p) *failed = 1;
  return p;
}
}  // namespace

void start_request(void) {
  if (!engine.threadRunning) {
    start_voices();
    return;
  }
  engine.startRequest = 1;
  while (engine.startRequest) os_sleep(5);
}

void start_voices(void) {
  if (voices_lost()) voices_restore();
  sync_positions();
  voices_play_all();
}

void stop_voices(void) { voices_stop_all(); }

void set_frequency(void) {
  int32_t rate = engine.outRate;
  if (rate == engine.lastFrequency) return;
  engine.lastFrequency = rate;
  voices_set_frequency(uint32_t(rate));
  sync_positions();
}

int32_t volume_to_mb(int32_t current) {
  double v = 10000 - current;
  long level = std::lrint(100.0 * std::pow(10.0, v / 9602.0));
  return int32_t(1000 - 10 * level);
}

void apply_volume(int32_t current) { primary_set_volume(volume_to_mb(current)); }

void recreate_filter_states(void) { signal_recreate_states(); }

void ring_gate_enter(void) {
  int32_t open = 0;
  while (!engine.ringGate.compare_exchange_weak(open, 1)) {
    open = 0;
    std::this_thread::yield();
  }
}

void ring_gate_leave(void) { engine.ringGate = 0; }

// The voices loop over the ring: where the host has not written again since
// they played it, the ring still holds what was heard a ring earlier. Each
// pass clears what the play cursor has passed since the last one, as far as
// it lies beyond the write offset, so a host that falls behind (or stops
// writing without ending the stream) leaves silence, never old audio. The
// first pass after a start clears all the free ring but the tail decay.
void clear_played(void) {
  const uint32_t b = ring_bytes();
  if (b == 0 || !engine.playing || engine.paused || voices_lost()) {
    engine.clearFresh = 1;
    return;
  }
  int32_t open = 0;
  if (!engine.ringGate.compare_exchange_strong(open, 2)) return;  // a submit is writing
  uint32_t play, write;
  read_cursors(&play, &write);
  const uint32_t wo = engine.writeOffset;
  const uint32_t free_bytes = (play + b - wo) % b;
  uint32_t bytes;
  if (engine.clearFresh) {
    const uint32_t keep = engine.closing ? TAIL_DECAY_BYTES : 0;
    bytes = free_bytes > keep ? free_bytes - keep : 0;
  } else {
    const uint32_t played = (play + b - engine.clearedPlay) % b;
    // The cursor may have run past the write offset since the last pass:
    // what it played before the offset is cleared too, unless the host has
    // submitted since (that audio could be new).
    const bool still = wo == engine.clearedWo && engine.submitCount == engine.clearedSubmits;
    bytes = played < free_bytes || still ? played : free_bytes;
  }
  bytes &= ~1u;
  if (bytes > 0 && !voices_lost()) zero_ring_and_mirror((play + b - bytes) % b, bytes);
  engine.clearedPlay = play;
  engine.clearedWo = wo;
  engine.clearedSubmits = engine.submitCount;
  engine.clearFresh = 0;
  ring_gate_leave();
}

// The stop that ends a played-out stream is carried out once, by the thread
// that claims it: the output thread once the end has gone out, or the host's
// Open of the next stream. Both recreate the filter states, which must never
// happen on two threads at once nor under an Open setting up its stream.
bool stop_pending_claim(void) {
  int32_t pending = STOP_PENDING;
  return engine.stopPending.compare_exchange_strong(pending, STOP_RUNNING);
}

void full_stop(void) {
  engine.stopTick = os_tick_count();
  engine.gapStartPending = 0;
  // A stop during the inserted pause abandons the pause, so the next song
  // starts as after any other stop.
  int32_t gap = engine.gapState;
  if (gap == 1) engine.gapState = 2;
  else if (gap >= 2) engine.gapState = 0;
  submit_staged();
  engine.stagedBytes = 0;
  stop_voices();
  voices_set_position(0);
  engine.writeOffset = 0;
  engine.playing = 0;
  engine.playAccumulator = 0;
  engine.wrapArmed = 0;
  engine.writtenFrames = 0;
  engine.clockOffset = 0;
  engine.outputFloorMs = 0;
  engine.savedEndValid = 0;
  engine.savedFadeEnd = 0;
  engine.overlap = 0;
  engine.freshStart = 0;
  recreate_filter_states();
  engine.drainedFrames = 0;
  engine.drainRewrite = 0;
  engine.drainedResampled = 0;
  engine.drainEq = 0;
  engine.starved = 0;
  end_of_stream_abandon();
}

void output_thread_pass(void) {
  os_sleep(10);
  // The host's thread answers the folder query; it may be busy in Quit,
  // waiting for this thread, so the query gives up after 100 ms and the next
  // pass asks again.
  if (!engine.autosaveLoaded && out_module.hMainWindow && autosave_try_load(100)) engine.autosaveLoaded = 1;
  if (engine.startRequest) {
    start_voices();
    engine.startRequest = 0;
  }
  // The stream state is taken with one exchange: an Open arriving between a
  // check and a store would otherwise set up its stream under the rebuild.
  int32_t closed = STREAM_CLOSED;
  if (engine_reconfigure_request && engine.streamState == STREAM_CLOSED && !engine.paused && !engine.playing &&
      !engine.freshStart && engine.streamState.compare_exchange_strong(closed, STREAM_RECONFIGURING)) {
    reconfigure();
    engine_reconfigure_request = 0;
    engine.streamState = STREAM_CLOSED;
    return;
  }
  if (!engine.engineActive) return;
  int32_t d = engine.volumeTarget - engine.volumeCurrent;
  if (d != 0 && engine.volumeCurrent >= 0) {
    if (d > 250) d = 250;
    if (d < -250) d = -250;
    engine.volumeCurrent += d;
    apply_volume(engine.volumeCurrent);
  }
  insert_gap_end();
  // Voices lost mid-stream: the host sees CanWrite 0 and waits, and no start
  // request would come, so they are restored here and play on from where
  // they stopped; what is staged follows with the host's next Write.
  if (engine.playing && !engine.paused && !engine.pauseRequest &&
      (engine.pauseState == PAUSE_IDLE || engine.pauseState == PAUSE_FADING_IN) && voices_lost())
    start_voices();
  clear_played();
  if (GetOutputTime() != 0) set_frequency();
  if (engine.stopPending == STOP_PENDING && output_reached_end()) {
    if (stop_pending_claim()) {
      full_stop();
      engine.stopPending = STOP_NONE;
    }
  } else if (!engine.freshStart && !engine.draining && output_passed_written()) {
    engine.playAccumulator -= ring_bytes();
    engine.starved = 1;
  }
  pause_fade_step();
}

void SONORIUM_CDECL SetVolume(int volume) {
  FpuGuard guard;
  if (!engine.initialized || !engine_device_ready()) return;
  if (volume < 0 || volume > 255) return;
  int32_t v = int32_t(std::lrint(volume * 39.215687f));
  if (engine.volumeCurrent == -1) {
    engine.volumeTarget = v;
    engine.volumeCurrent = v;
    apply_volume(v);
  } else {
    engine.volumeTarget = v;
  }
}

int engine_init(void) { return engine_start(true); }

int engine_start(bool with_thread) {
  int failed = 0;
  engine.conversion = static_cast<int16_t *>(alloc(CONVERSION_BYTES, &failed));
  engine.resampled = static_cast<int16_t *>(alloc(RESAMPLED_BYTES, &failed));
  engine.equalized = static_cast<int16_t *>(alloc(RESAMPLED_BYTES, &failed));
  engine.stageLeft = static_cast<int16_t *>(alloc(STAGING_BYTES, &failed));
  engine.stageRight = static_cast<int16_t *>(alloc(STAGING_BYTES, &failed));
  engine.mirrorLeft = static_cast<int16_t *>(alloc(MIRROR_BYTES, &failed));
  engine.mirrorRight = static_cast<int16_t *>(alloc(MIRROR_BYTES, &failed));
  if (failed) {
    engine_release();
    return -1;
  }
  int r = signal_init();
  settings_init_copies();
  if (r != 0) {
    engine_release();
    return r;
  }
  // Every run of the engine starts from a clean state.
  engine.outRate = 0;
  engine.writeOffset = engine.stagedBytes = engine.submittedBytes = engine.submitCount = 0;
  engine.writtenFrames = engine.playAccumulator = engine.clockOffset = 0;
  engine.wrapArmed = engine.cursorArmed = 0;
  engine.cursorAccumulator = 0;
  engine.playing = engine.paused = engine.pauseRequest = engine.pauseState = 0;
  engine.closing = engine.closingAtLastSubmit = engine.stopPending = engine.freshStart = engine.draining = 0;
  engine.savedEndValid = engine.overlap = engine.zeroPad = engine.deferredFlush = 0;
  engine.gapState = engine.gapStartPending = engine.startRequest = engine.engineActive = 0;
  engine.streamState = STREAM_CLOSED;
  engine.trailingTotal = engine.trailingLastLoud = 0;
  engine.drainedFrames = 0;
  engine.drainedRate = 0;
  engine.drainRewrite = 0;
  engine.drainedResampled = 0;
  engine.drainEq = engine.streamEqualized = 0;
  engine.drainLeft = 0;
  engine.eqTailLeft = 0;
  engine.ringGate = 0;
  engine.starved = 0;
  engine.clearedPlay = 0;
  engine.clearFresh = 1;
  engine.autosaveLoaded = 0;
  engine.volumeTarget = 0;
  engine.volumeCurrent = -1;
  engine.lastFrequency = -1;
  engine.initialized = true;
  engine.threadStop = 0;
  output_thread = with_thread ? os_thread_start(output_thread_main, nullptr) : nullptr;
  if (output_thread) {
    engine.threadRunning = 1;
    os_thread_set_priority_highest(output_thread);
  }
  return 0;
}

void engine_wait_stop_fade(void) {
  if (!(live_settings.fadeFlags & FADE_ON_STOP)) return;
  uint32_t start = os_tick_count();
  while (engine.playing && uint32_t(os_tick_count() - start) < uint32_t(live_settings.fadeStopMs)) os_sleep(10);
}

void engine_release(void) {
  if (output_thread) {
    engine.threadStop = 1;
    os_thread_join(output_thread);
    output_thread = nullptr;
  }
  engine.threadRunning = 0;
  engine.initialized = false;
  signal_release();
  heap_release(engine.conversion);
  heap_release(engine.resampled);
  heap_release(engine.equalized);
  heap_release(engine.stageLeft);
  heap_release(engine.stageRight);
  heap_release(engine.mirrorLeft);
  heap_release(engine.mirrorRight);
  engine.conversion = engine.resampled = engine.equalized = nullptr;
  engine.stageLeft = engine.stageRight = engine.mirrorLeft = engine.mirrorRight = nullptr;
  engine.outRate = 0;
}
