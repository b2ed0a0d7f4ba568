// Fades rewrite queued audio in the voice rings from the ring mirror; a
// crossfade moves the write offset back over the old stream's faded tail
// and adds the new stream on top. Also Close, Flush, Pause and the
// pause-fade state machine of the output thread.
#include <cmath>

#include "engine/callbacks.h"
#include "engine/engine_internal.h"
#include "engine/settings.h"
#include "platform/os.h"
#include "support/fpu_guard.h"

#include "device/device.h"

namespace {
VoiceLock fade_lock_left, fade_lock_right;
VoiceLock tail_lock_left, tail_lock_right;
VoiceLock pause_lock_left, pause_lock_right;
VoiceLock ramp_lock_left, ramp_lock_right;
VoiceLock clear_lock_left, clear_lock_right;

int16_t clamp16(double v) {
  long r = std::lrint(v);
  if (r > 32767) return 32767;
  if (r < -32768) return -32768;
  return int16_t(r);
}

uint32_t ring_distance(uint32_t from, uint32_t to, uint32_t b) { return (to + b - from) % b; }

// Fraction of the running pause fade still ahead of the write cursor.
double pause_remaining(void) {
  double span = double(engine.pauseFadeEnd - engine.pauseFadeStart);
  if (span <= 0) return 0.0;
  double r = double(engine.pauseFadeEnd - monotonic_write_position()) / span;
  return r < 0 ? 0.0 : r;
}

// Level at which a fade-out begins, given a pause fade in progress.
double fade_start_level(void) {
  if (!pause_fade_enabled()) return 1.0;
  int32_t state = engine.pauseState;
  if (engine.pauseRequest) return state == PAUSE_PAUSED ? 0.0 : 1.0;
  double level = engine.pauseLevel;
  if (state == PAUSE_FADING_OUT) return level * pause_remaining();
  if (state == PAUSE_FADING_IN) {
    double r = pause_remaining();
    return level + (1.0 - r) * (1.0 - level);
  }
  return 1.0;
}

// Rewrites bytes of the rings from offset: mirror samples times a gain that
// starts at gain and moves by step per sample, clamped to 0..1. With
// to_mirror the result is stored back into the mirror as well.
void rewrite_with_gain(VoiceLock *ll, VoiceLock *rl, uint32_t offset, uint32_t bytes, double gain, double step,
                       bool to_mirror) {
  uint32_t b = ring_bytes();
  int16_t l[CHUNK_BYTES / 2], r[CHUNK_BYTES / 2];
  while (bytes > 0) {
    uint32_t n = bytes < CHUNK_BYTES ? bytes : uint32_t(CHUNK_BYTES);
    uint32_t at = offset;
    for (uint32_t i = 0; i < n / 2; ++i) {
      uint32_t k = at / 2;
      double g = gain < 0 ? 0.0 : (gain > 1 ? 1.0 : gain);
      l[i] = clamp16(engine.mirrorLeft[k] * g);
      r[i] = clamp16(engine.mirrorRight[k] * g);
      if (to_mirror) {
        engine.mirrorLeft[k] = l[i];
        engine.mirrorRight[k] = r[i];
      }
      gain += step;
      at = (at + 2) % b;
    }
    ring_write(0, ll, offset, l, n);
    ring_write(1, rl, offset, r, n);
    offset = (offset + n) % b;
    bytes -= n;
  }
}

// Zeroes bytes of both rings from offset, and of the mirror too when asked.
void zero_rings(VoiceLock *ll, VoiceLock *rl, uint32_t offset, uint32_t bytes, bool mirror) {
  static const int16_t zeros[CHUNK_BYTES / 2] = {};
  uint32_t b = ring_bytes();
  while (bytes > 0) {
    uint32_t n = bytes < CHUNK_BYTES ? bytes : uint32_t(CHUNK_BYTES);
    ring_write(0, ll, offset, zeros, n);
    ring_write(1, rl, offset, zeros, n);
    if (mirror) {
      for (uint32_t i = 0, at = offset; i < n / 2; ++i, at = (at + 2) % b) {
        engine.mirrorLeft[at / 2] = 0;
        engine.mirrorRight[at / 2] = 0;
      }
    }
    offset = (offset + n) % b;
    bytes -= n;
  }
}

void start_pause_fade(bool fade_in) {
  uint32_t b = ring_bytes();
  if (b == 0) return;
  engine.cursorAccumulator = 0;
  int64_t pos = monotonic_write_position();
  engine.pauseFadeStart = pos;
  uint32_t play, write;
  read_cursors(&play, &write);
  int64_t len = ms_to_bytes(live_settings.fadePauseMs) & ~int64_t(1);
  uint32_t queued = queued_ahead(play, write, engine.writeOffset);
  uint32_t room, reserve;
  if (queued >= 4096) {
    room = queued - 4096;
    reserve = 4096;
  } else {
    room = reserve = (queued / 2) & ~1u;
  }
  uint32_t f = uint32_t(len < room ? len : room);
  uint32_t rest = room + reserve - f;
  double level = engine.pauseLevel;
  double span = fade_in ? 1.0 - level : level;
  int64_t scaled = std::llround(double(f) * span);
  engine.pauseFadeEnd = pos + scaled;
  double step = scaled > 0 ? 2.0 * span / double(scaled) : 0.0;
  if (!fade_in) step = -step;
  rewrite_with_gain(&pause_lock_left, &pause_lock_right, write, f, level, step, false);
  uint32_t after = (write + f) % b;
  if (fade_in)
    rewrite_with_gain(&pause_lock_left, &pause_lock_right, after, rest, 1.0, 0.0, false);
  else
    zero_rings(&pause_lock_left, &pause_lock_right, after, rest, false);
}

int64_t monotonic_play_position(void) {
  uint32_t b = ring_bytes();
  uint32_t play, write;
  read_cursors(&play, &write);
  return monotonic_write_position() - (b ? ring_distance(play, write, b) : 0);
}
}  // namespace

bool pause_fade_enabled(void) {
  return (live_settings.fadeFlags & FADE_ON_PAUSE) && live_settings.fadePauseMs != 0;
}

bool pause_fade_out_running(void) {
  return pause_fade_enabled() && engine.pauseRequest && engine.pauseState == PAUSE_FADING_OUT;
}

int64_t monotonic_write_position(void) {
  uint32_t b = ring_bytes();
  uint32_t play, write;
  read_cursors(&play, &write);
  if (write < b / 2) {
    int32_t armed = 1;
    if (engine.cursorArmed.compare_exchange_strong(armed, 0)) engine.cursorAccumulator += b;
  } else {
    engine.cursorArmed = 1;
  }
  return engine.cursorAccumulator + write;
}

void mix_chunk(int16_t *left, int16_t *right, uint32_t bytes, uint32_t position) {
  uint32_t b = ring_bytes();
  int32_t n = engine.fadeInLength;
  double step = n > 0 ? 1.0 / n : 0.0;
  double g = engine.fadeInGain;
  bool mix = engine.crossfadeMix != 0;
  int32_t overlap = engine.overlap;
  for (uint32_t i = 0; i < bytes / 2; ++i) {
    double l = left[i], r = right[i];
    if (g <= 1.0 && step > 0) {
      l *= g;
      r *= g;
    }
    if (mix && overlap > 0) {
      l += engine.mirrorLeft[position / 2];
      r += engine.mirrorRight[position / 2];
      overlap -= 2;
    }
    left[i] = clamp16(l);
    right[i] = clamp16(r);
    g += step;
    position = (position + 2) % b;
  }
  engine.fadeInGain = g;
  engine.overlap = overlap < 0 ? 0 : overlap;
}

void move_back_for_crossfade(uint32_t writeCursor) {
  if (!engine.crossfadeMix || !engine.savedEndValid) return;
  uint32_t b = ring_bytes();
  engine.savedEndValid = 0;
  uint32_t end = engine.savedFadeEnd;
  int32_t ahead = int32_t(ring_distance(writeCursor, end, b));
  int32_t overlap = engine.overlap < ahead ? engine.overlap.load() : ahead;
  engine.overlap = overlap;
  engine.writeOffset = (end + b - uint32_t(overlap)) % b;
  engine.clockOffset -= int64_t(overlap) - int64_t(engine.zeroPad);
}

void fade_out(bool fromCursor, bool uncapped) {
  uint32_t b = ring_bytes();
  int32_t length = engine.fadeOutLength;
  if (b == 0 || length <= 0) return;
  uint32_t play, write;
  read_cursors(&play, &write);
  // Started in an underrun, the fade has nothing to fade: the ring ahead is
  // silence up to the write offset a ring away. What comes next starts at
  // the cursor.
  underrun_resync(play, write, false);
  uint32_t end = engine.writeOffset;
  engine.savedFadeEnd = end;
  engine.savedEndValid = 1;
  int64_t queued = int64_t(queued_ahead(play, write, end)) - 2048;
  if (queued <= 32) return;
  uint32_t f = uint32_t(2 * int64_t(length) < queued ? 2 * int64_t(length) : queued) & ~1u;
  engine.overlap = int32_t(f);
  uint32_t start = fromCursor ? write : (end + 2 * b - f - 2048) % b;
  double level = fade_start_level();
  // (1 − x) × level with x rising by 2/F per sample.
  rewrite_with_gain(&fade_lock_left, &fade_lock_right, start, f, level, -2.0 * level / f, true);
  uint32_t fade_end = (start + f) % b;
  uint32_t z = ring_distance(fade_end, end, b);
  if (!uncapped && z > uint32_t(engine.outRate)) z = uint32_t(engine.outRate) & ~1u;
  zero_rings(&fade_lock_left, &fade_lock_right, fade_end, z, true);
  engine.overlap += int32_t(z);
  engine.zeroPad = z;
  engine.writeOffset = (fade_end + z) % b;
  engine.savedFadeEnd = engine.writeOffset.load();
  engine.fadeOutLength = 0;
}

void tail_decay(void) {
  uint32_t b = ring_bytes();
  if (b == 0) return;
  uint32_t play, write;
  read_cursors(&play, &write);
  uint32_t wo = engine.writeOffset;
  uint32_t n = ring_distance(wo, play, b);
  if (n > TAIL_DECAY_BYTES) n = TAIL_DECAY_BYTES;
  uint32_t last = (wo == 0 ? b : wo) - 2;
  float s[2] = {float(engine.mirrorLeft[last / 2]), float(engine.mirrorRight[last / 2])};
  int16_t l[CHUNK_BYTES / 2], r[CHUNK_BYTES / 2];
  uint32_t offset = wo;
  while (n > 0) {
    uint32_t m = n < CHUNK_BYTES ? n : uint32_t(CHUNK_BYTES);
    for (uint32_t i = 0; i < m / 2; ++i) {
      l[i] = int16_t(std::lrint(s[0]));
      r[i] = int16_t(std::lrint(s[1]));
      s[0] *= 0.99f;
      s[1] *= 0.99f;
    }
    ring_write(0, &tail_lock_left, offset, l, m);
    ring_write(1, &tail_lock_right, offset, r, m);
    offset = (offset + m) % b;
    n -= m;
  }
}

void ramp_down_before(uint32_t end, uint32_t writeCursor, uint32_t bytes) {
  uint32_t b = ring_bytes();
  if (b == 0) return;
  uint32_t ahead = ring_distance(writeCursor, end, b);
  if (bytes > ahead) bytes = ahead;
  bytes &= ~1u;
  if (bytes == 0) return;
  // n samples at (n - 1) / n down to 0: the last one before the cut is
  // silent, so what follows starts from silence.
  const double step = -2.0 / double(bytes);
  rewrite_with_gain(&ramp_lock_left, &ramp_lock_right, (end + b - bytes) % b, bytes, 1.0 + step, step, true);
}

void zero_ring_and_mirror(uint32_t offset, uint32_t bytes) {
  zero_rings(&clear_lock_left, &clear_lock_right, offset, bytes, true);
}

void perform_flush(int32_t t) {
  const EngineSettings &s = live_settings;
  engine.deferredFlush = 0;
  // A seek fade of no length would leave the old position's queued audio
  // in the ring ahead of the new one, and so would a fade while the voices
  // have not started yet (prebuffering, or waiting out an inserted pause):
  // nothing of it is heard, the ring stays full, and the start would wait
  // for a prebuffer the host has no room to write. Those seeks stop
  // instead, as without "on seek".
  const int32_t n = int32_t(int64_t(s.fadeSeekMs) * engine.outRate / 1000);
  const bool faded = (s.fadeFlags & FADE_ON_SEEK) && n > 0 && engine.playing;
  engine.prebufferFlag = faded ? 0 : 1;
  engine.submittedBytes = 0;
  engine.drainRewrite = 0;  // the new position does not continue the old end
  if (!faded) {
    full_stop();
    // The stop submits what was staged at the old position: only audio of
    // the new position may fill the prebuffer that starts the voices again.
    engine.submittedBytes = 0;
  } else {
    submit_staged();
    engine.fadeOutLength = n;
    engine.fadeInLength = n;
    engine.clockOffset = 0;
    engine.fadeInGain = 0.0;
    engine.submitCount = 0;
    engine.freshStart = 1;
    engine.crossfadeMix = 1;
    fade_out(true, false);
  }
  engine.playAccumulator = 2 * int64_t(engine.outRate) * t / 1000;
  engine.outputFloorMs = t;
  // Rounded up, so the written time reads back as t (at 44.1 kHz a frame
  // count rounded down reads t - 1, below the output time held at t).
  engine.writtenFrames = (int64_t(engine.outRate) * t + 999) / 1000;
}

void SONORIUM_CDECL Close(void) {
  FpuGuard guard;
  intptr_t full = host_message(IPC_ISFULLSTOP);
  engine.streamState = STREAM_CLOSED;
  if (!engine.initialized || engine.outRate <= 0 || !engine_device_ready()) return;
  // A second Close may come while the output thread carries out the stop
  // the first one left pending; it goes on once that is done.
  while (engine.stopPending == STOP_RUNNING) os_sleep(1);
  const EngineSettings &s = live_settings;
  // A host that closes before the end has gone out: what is in the rings
  // ends the stream.
  if (end_of_stream_pending()) {
    end_of_stream_abandon();
    if (!voices_lost()) submit_staged();
  }
  if (full && !engine.closing) {
    engine.closing = 1;
    os_sleep(10);
    // Staged audio must reach the rings to be heard at all.
    end_of_stream_drain();
    if (!voices_lost()) submit_staged();
    start_check();
  }
  if (engine.paused || engine.pauseRequest) {
    full_stop();
    return;
  }
  if (s.gapMode != GAP_REMOVE) {
    if (engine.gapState == 2) {
      engine.gapState = 0;
      full_stop();
      return;
    }
    int p = IsPlaying();
    engine.gapState = (p == 0 && s.gapMode == GAP_INSERT) ? 1 : 0;
    if (p == 0) {
      // IsPlaying turns 0 up to fadeEndMs before the end: the voices stop
      // only once the last written sample has been heard, so the song keeps
      // its end (and the inserted pause starts from there). Bounded, for a
      // clock that stands still.
      for (int32_t waited = 0; waited <= s.fadeEndMs + 100 && engine.playing && !voices_lost() &&
                               !output_reached_end();
           waited += 10)
        os_sleep(10);
      full_stop();
      return;
    }
  } else if (engine.closing && IsPlaying() == 0) {
    engine.stopPending = STOP_PENDING;
    return;
  }
  if (!(s.fadeFlags & FADE_ON_STOP) || s.fadeStopMs == 0) {
    full_stop();
    return;
  }
  submit_staged();
  engine.fadeOutLength = int32_t(int64_t(s.fadeStopMs) * engine.outRate / 1000);
  engine.zeroPad = 0;
  fade_out(true, true);
  engine.clockOffset -= int64_t(engine.zeroPad);
  // A stream opened over the faded tail mixes over it, even when the end
  // of this one had been written: queued behind the silence up to the old
  // end, it would wait up to a ring's length, its clock running meanwhile.
  engine.closingAtLastSubmit = 0;
  engine.closing = 1;
  engine.stopPending = STOP_PENDING;
  tail_decay();
}

void SONORIUM_CDECL Flush(int t) {
  FpuGuard guard;
  if (!engine.initialized || engine.outRate <= 0 || !engine_device_ready()) return;
  // The host's position is taken as given only within what a stream can
  // hold: a negative one is the start, one past the bound the bound, so the
  // clocks built on it and everything written after it stay in range.
  if (t < 0) t = 0;
  if (t > ENGINE_MAX_POSITION_MS) t = ENGINE_MAX_POSITION_MS;
  engine.flushPosition = t;
  end_of_stream_abandon();
  if (pause_fade_out_running()) {
    engine.deferredFlush = 1;
    return;
  }
  perform_flush(t);
}

int SONORIUM_CDECL Pause(int pause) {
  int previous = engine.pauseRequest;
  if (!engine.initialized || !engine_device_ready()) return previous;
  engine.pauseRequest = pause ? 1 : 0;
  if (pause_fade_enabled()) return previous;
  if (pause) {
    engine.paused = 1;
    stop_voices();
  } else {
    engine.paused = 0;
    // Voices stopped by a seek during the pause start as after any stop,
    // once their prebuffer is complete: now if the host filled it while
    // paused, else from Write.
    if (engine.playing)
      start_request();
    else
      start_check();
  }
  return previous;
}

// Whether a resume may start the voices. After a full stop during the pause
// (a seek without its fade) they start as after any stop, once the
// prebuffer is complete: here, or later from Write.
static bool resume_may_start(void) {
  if (engine.playing) return true;
  if (engine.submittedBytes == 0 || !prebuffer_complete()) return false;
  engine.playing = 1;
  return true;
}

void pause_fade_step(void) {
  if (!pause_fade_enabled() || ring_bytes() == 0) return;
  bool requested = engine.pauseRequest != 0;
  int32_t state = engine.pauseState;
  switch (state) {
    case PAUSE_IDLE:
      if (requested) {
        engine.pauseLevel = 1.0;
        start_pause_fade(false);
        engine.pauseState = PAUSE_FADING_OUT;
      }
      break;
    case PAUSE_FADING_OUT:
      if (requested) {
        if (monotonic_play_position() >= engine.pauseFadeEnd) {
          stop_voices();
          engine.pauseState = PAUSE_PAUSED;
        }
      } else {
        if (engine.deferredFlush) perform_flush(engine.flushPosition);
        if (!resume_may_start()) {
          engine.pauseState = PAUSE_IDLE;
          break;
        }
        engine.pauseLevel = engine.pauseLevel * pause_remaining();
        start_pause_fade(true);
        start_voices();
        engine.pauseState = PAUSE_FADING_IN;
      }
      break;
    case PAUSE_PAUSED:
      if (requested) {
        if (engine.deferredFlush) perform_flush(engine.flushPosition);
      } else {
        if (!resume_may_start()) {
          engine.pauseState = PAUSE_IDLE;
          break;
        }
        engine.pauseLevel = 0.0;
        start_pause_fade(true);
        start_voices();
        engine.pauseState = PAUSE_FADING_IN;
      }
      break;
    case PAUSE_FADING_IN:
      if (requested) {
        double level = engine.pauseLevel;
        double r = pause_remaining();
        engine.pauseLevel = level + (1.0 - r) * (1.0 - level);
        start_pause_fade(false);
        engine.pauseState = PAUSE_FADING_OUT;
      } else if (monotonic_play_position() >= engine.pauseFadeEnd) {
        engine.pauseState = PAUSE_IDLE;
      }
      break;
    default:
      break;
  }
}
