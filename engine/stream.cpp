// The stream callbacks: Open, Write with its conversion, resampling,
// silence removal, equalizing and staging, the submit into the voice rings
// with the ring mirror, CanWrite, IsPlaying and both clocks.
#include <cstring>

#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/engine_internal.h"
#include "engine/settings.h"
#include "platform/os.h"
#include "support/fpu_guard.h"

#include "device/device.h"

Engine engine;

namespace {
VoiceLock submit_lock_left, submit_lock_right;
VoiceLock drain_lock_left, drain_lock_right;

// q × 1000 + r × 1000 / d: milliseconds without 64-bit overflow.
int64_t to_ms(int64_t value, int64_t per_second) {
  if (per_second <= 0) return 0;
  return value / per_second * 1000 + value % per_second * 1000 / per_second;
}

// A clock as the host's int milliseconds: a stream written past the top of
// that range stays at the top rather than wrapping to a negative time.
int clock_ms(int64_t value, int64_t per_second) {
  int64_t ms = to_ms(value, per_second);
  if (ms < 0) return 0;
  return ms > INT32_MAX ? INT32_MAX : int(ms);
}

// Reads one written piece as 16-bit stereo into the conversion buffer.
void convert(const uint8_t *in, uint32_t frames, int32_t bits, int32_t channels, int16_t *out) {
  uint32_t bps = uint32_t(bits / 8);
  // Mono and stereo frames as they are; wider frames give their first two
  // channels.
  uint32_t stride = bps * uint32_t(channels);
  for (uint32_t i = 0; i < frames; ++i) {
    const uint8_t *f = in + i * stride;
    int16_t s[2];
    for (int c = 0; c < 2; ++c) {
      const uint8_t *p = f + (channels >= 2 ? c * bps : 0);
      if (bits == 8)
        s[c] = int16_t(uint16_t((uint16_t(p[0]) << 8) ^ 0x8000));
      else if (bits == 16)
        s[c] = int16_t(uint16_t(p[0] | (p[1] << 8)));
      else
        s[c] = int16_t(uint16_t(p[1] | (p[2] << 8)));
    }
    out[2 * i] = s[0];
    out[2 * i + 1] = s[1];
  }
}

// Input frames per piece: the conversion buffer bounds it, and at low input
// rates also the resampled output must fit behind what is staged.
uint32_t piece_frames(void) {
  uint32_t n = CONVERSION_FRAMES;
  if (engine.resampling) {
    int64_t fit = int64_t(16384) * engine.inRate / 48000;
    if (fit < 1) fit = 1;
    if (fit < n) n = uint32_t(fit);
  }
  return n;
}

// Appends frames to the staging buffers; what would not fit is dropped (only
// a host that ignores CanWrite while the buffers are lost gets there).
void stage(const int16_t *frames, uint32_t count) {
  uint32_t at = engine.stagedBytes / 2;
  uint32_t room = STAGING_BYTES / 2 - at;
  if (count > room) count = room;
  int16_t *l = engine.stageLeft + at, *r = engine.stageRight + at;
  for (uint32_t i = 0; i < count; ++i) {
    l[i] = frames[2 * i];
    r[i] = frames[2 * i + 1];
  }
  engine.writtenFrames += count;
  engine.stagedBytes += 2 * count;
}

// Half-ring hysteresis on the play cursor: a wrap is counted into the play
// accumulator once the cursor is back in the first half. Only the thread
// that disarms adds the wrap, so callers on several threads count it once.
void count_play_wrap(uint32_t play, uint32_t b) {
  if (play < b / 2) {
    int32_t armed = 1;
    if (engine.wrapArmed.compare_exchange_strong(armed, 0)) engine.playAccumulator += b;
  } else {
    engine.wrapArmed = 1;
  }
}

void submit_if_due(void) {
  if (engine.closing || engine.stagedBytes >= SUBMIT_BLOCK_BYTES) submit_staged();
}

// A stream that follows another at the same rate continues its resampler:
// the outputs it gives first are that stream's end, as the drain made it
// with silence after it, now made with what really follows. Where the end is
// still ahead of the write cursor it is written over with them, so a signal
// cut into songs joins as if it had never been cut.
void rewrite_drained_end(const int16_t *frames, uint32_t count) {
  const uint32_t b = ring_bytes();
  if (b == 0 || !engine.firstSubmit || engine.stagedBytes != 0 || voices_lost()) {
    engine.drainRewrite = 0;
    return;
  }
  uint32_t play, write;
  read_cursors(&play, &write);
  const uint32_t end = engine.writeOffset;
  const uint32_t back = 2 * engine.drainedFrames;
  if (back > b || (end + b - write) % b < back) {
    engine.drainRewrite = 0;  // already being played
    return;
  }
  int16_t left[CHUNK_BYTES / 2], right[CHUNK_BYTES / 2];
  uint32_t at = (end + b - back) % b;
  for (uint32_t done = 0; done < count;) {
    uint32_t n = count - done < CHUNK_BYTES / 2 ? count - done : uint32_t(CHUNK_BYTES / 2);
    for (uint32_t i = 0; i < n; ++i) {
      left[i] = frames[2 * (done + i)];
      right[i] = frames[2 * (done + i) + 1];
      const uint32_t k = ((at + 2 * i) % b) / 2;
      engine.mirrorLeft[k] = left[i];
      engine.mirrorRight[k] = right[i];
    }
    ring_write(0, &drain_lock_left, at, left, 2 * n);
    ring_write(1, &drain_lock_right, at, right, 2 * n);
    at = (at + 2 * n) % b;
    done += n;
  }
}

// Stages equalizer outputs. The first ones of a stream that continues the
// equalizer after a drain are the previous stream's end once more, now
// filtered with what really follows: written over that end where it is
// still ahead of the write cursor, else left out, as it has been heard.
void stage_equalized(const int16_t *block, uint32_t frames) {
  if (engine.drainEq && engine.drainedFrames) {
    const uint32_t again = engine.drainedFrames < frames ? engine.drainedFrames : frames;
    if (engine.drainRewrite) rewrite_drained_end(block, again);
    engine.drainedFrames -= again;
    block += 2 * again;
    frames -= again;
  }
  if (frames) stage(block, frames);
}

// The steps after resampling: leading silence, equalizer, staging.
void finish_piece(const int16_t *block, uint32_t frames) {
  uint32_t skip = leading_silence_skip(block, frames);
  block += 2 * skip;
  frames -= skip;
  if (frames == 0) return;
  if (signal_eq_on()) {
    engine.streamEqualized = 1;
    frames = signal_equalize(block, engine.equalized, frames);
    if (frames == 0) return;
    stage_equalized(engine.equalized, frames);
    return;
  }
  stage(block, frames);
}

void process_piece(const uint8_t *in, uint32_t frames) {
  int32_t bits = engine.resampling ? engine.inBits.load() : engine.outBits.load();
  int32_t channels = engine.resampling ? engine.inChannels.load() : engine.outChannels.load();
  convert(in, frames, bits, channels, engine.conversion);
  const int16_t *block = engine.conversion;
  if (engine.resampling) {
    engine.streamResampled = 1;
    frames = signal_resample(block, engine.resampled, frames, engine.inRate);
    block = engine.resampled;
    // The first outputs after a drain are the previous stream's end once
    // more, which that stream has already played. With the equalizer they
    // go through it as they are (its states never took the drained ones);
    // the outputs it gives again are taken off after it.
    const uint32_t again = engine.drainedResampled < frames ? engine.drainedResampled : frames;
    if (again && engine.drainEq) {
      engine.streamEqualized = 1;
      const uint32_t n = signal_equalize(block, engine.equalized, again);
      if (n) stage_equalized(engine.equalized, n);
    } else if (again) {
      if (engine.drainRewrite) rewrite_drained_end(block, again);
      engine.drainedFrames -= again;
    }
    engine.drainedResampled -= again;
    block += 2 * again;
    frames -= again;
    if (frames == 0) return;
  }
  finish_piece(block, frames);
}

// Frames a drain may push now: what the rings have free beyond what is
// queued and staged, within the resampled and staging buffers.
uint32_t drain_room(void) {
  const uint32_t b = ring_bytes();
  if (b == 0 || voices_lost()) return 0;
  uint32_t play, write;
  read_cursors(&play, &write);
  const uint32_t wo = engine.writeOffset;
  const int64_t free_bytes = play > wo ? int64_t(play) - wo : int64_t(b) - wo + play;
  int64_t n = (free_bytes - engine.stagedBytes - 2) / 2;
  const int64_t staging = int64_t(STAGING_BYTES / 2) - engine.stagedBytes / 2;
  if (n > staging) n = staging;
  if (n > int64_t(RESAMPLED_FRAMES)) n = RESAMPLED_FRAMES;
  return n > 0 ? uint32_t(n) : 0;
}

// Pushes what the drain still owes, as far as there is room, each part
// submitted at once; the end-of-song processing comes with the last part.
void drain_more(void) {
  while (engine.drainLeft || engine.eqTailLeft) {
    const uint32_t room = drain_room();
    if (engine.drainLeft) {
      if (room == 0) return;
      const uint32_t left = engine.drainLeft;
      const uint32_t n = signal_drain_next(engine.resampled, left < room ? left : room);
      engine.drainLeft = n == 0 ? 0 : left - n;
      engine.drainedResampled += n;
      if (engine.drainEq) {
        const uint32_t m = signal_eq_drain_through(engine.resampled, engine.equalized, n);
        engine.eqDrainFed += n;
        engine.eqDrainMade += m;
        engine.drainedFrames += m;
        stage(engine.equalized, m);
        if (engine.drainLeft == 0) engine.eqTailLeft = 1;
      } else {
        engine.drainedFrames += n;
        finish_piece(engine.resampled, n);
      }
    } else {
      const uint32_t target = engine.eqDrainTarget + engine.eqDrainFed;
      const uint32_t tail = target > engine.eqDrainMade ? target - engine.eqDrainMade : 0;
      if (room < tail) return;
      const uint32_t m = signal_eq_drain_tail(engine.equalized, tail);
      engine.eqDrainMade += m;
      engine.drainedFrames += m;
      stage(engine.equalized, m);
      engine.eqTailLeft = 0;
    }
    if (!voices_lost()) submit_staged();
  }
}

// The end of a stream: the resampler still holds the look-ahead of the last
// samples written (7 ms at 44.1 kHz) and the equalizer its delay (10.7 ms).
// Pushed out now, they end this stream instead of opening the next one,
// where its fade-in would swallow them, or being lost with the states at a
// full stop.
void drain_begin(void) {
  // A stream that wrote nothing has nothing of its own in the resampler or
  // the equalizer; nor has one whose drained end the next has not taken.
  if (engine.drainedFrames != 0 || engine.drainLeft || engine.eqTailLeft) return;
  const bool resampler = engine.resampling && engine.streamResampled;
  if (!resampler && !engine.streamEqualized) return;
  engine.drainEq = 0;
  engine.drainedResampled = 0;
  if (engine.streamEqualized && signal_eq_on()) {
    engine.eqDrainTarget = signal_eq_drain_begin();
    engine.drainEq = engine.eqDrainTarget != 0;
    engine.eqDrainFed = engine.eqDrainMade = 0;
  }
  if (resampler) {
    engine.drainLeft = signal_drain_begin(engine.inRate);
    engine.drainedRate = engine.inRate;
  }
  engine.eqTailLeft = engine.drainEq && engine.drainLeft == 0;
  drain_more();
}
}  // namespace

void end_of_stream_drain(void) { drain_begin(); }

bool end_of_stream_pending(void) { return engine.drainLeft != 0 || engine.eqTailLeft != 0; }

void end_of_stream_abandon(void) {
  engine.drainLeft = 0;
  engine.eqTailLeft = 0;
}

int64_t ms_to_bytes(int64_t ms) { return 2 * int64_t(engine.outRate) * ms / 1000; }

bool prebuffer_complete(void) {
  if (!engine.prebufferFlag) return true;
  // A stream that ends before its prebuffer is full plays what it has.
  if (engine.closing) {
    engine.prebufferFlag = 0;
    return true;
  }
  int64_t bytes = int64_t(engine.submittedBytes) + engine.stagedBytes;
  // The ring can hold less than the prebuffer: without interpolation it
  // lasts 48000 / rate of the buffer length, and a new prebuffer goes live
  // before a new buffer length does. The host can write no more than the
  // ring takes until the voices play, so a ring filled to within two submit
  // blocks (or half of a small ring) counts as a complete prebuffer.
  int64_t b = ring_bytes();
  int64_t full = b - 2 * int64_t(SUBMIT_BLOCK_BYTES);
  if (full < b / 2) full = b / 2;
  if (to_ms(bytes, 2 * int64_t(engine.outRate)) < live_settings.prebufferMs && (b == 0 || bytes < full)) return false;
  engine.prebufferFlag = 0;
  return true;
}

void start_check(void) {
  // A pause holds the start back, faded or not, and so does a pause fade
  // until the output thread has taken up the resume: a seek during the
  // pause stops the voices, and the resume starts them again.
  const int32_t pause = engine.pauseState;
  if (engine.gapState != 2 && !engine.playing && !engine.paused && !engine.pauseRequest &&
      pause != PAUSE_FADING_OUT && pause != PAUSE_PAUSED && prebuffer_complete() && engine.submittedBytes != 0) {
    start_request();
    engine.playing = 1;
  }
}

void submit_staged(void) {
  if (engine.stagedBytes == 0 && !engine.closing) return;
  // Lost rings take no writes (every Lock fails and its chunk would be
  // skipped): the audio stays staged until the voices are restored.
  uint32_t play, write;
  read_cursors(&play, &write);
  if (voices_lost()) return;
  engine.submittedBytes += engine.stagedBytes;
  submit();
  engine.stagedBytes = 0;
}

void submit(void) {
  uint32_t b = ring_bytes();
  if (b == 0 || !engine.initialized) return;
  uint32_t s = engine.stagedBytes;
  uint32_t play, write;
  read_cursors(&play, &write);
  // The host fell behind: what it writes now is heard now, not a ring later.
  if (s > 0 && !engine.firstSubmit) underrun_resync(play, write, true);
  // Audio placed behind the cursor is heard a ring later, as the clock has it.
  if (s > 0) engine.starved = 0;
  trailing_cut(write);
  // The stream ends with the last part of its drain.
  const bool ending = engine.closing && !end_of_stream_pending();
  engine.closingAtLastSubmit = ending;
  move_back_for_crossfade(write);
  if (engine.freshStart) {
    // The seek position is heard when the play cursor reaches the write
    // cursor. By then the accumulator holds the seek position plus every
    // wrap counted since the seek, and one more if the write cursor has
    // already wrapped ahead of the play cursor; the offset takes the same
    // wraps, so the clock starts at the seek position even when the first
    // submit comes a wrap after the seek.
    count_play_wrap(play, b);
    int64_t seek_bytes = 2 * int64_t(engine.outRate) * engine.flushPosition / 1000;
    int64_t wraps = engine.playAccumulator - seek_bytes + (write < play ? int64_t(b) : 0);
    engine.clockOffset = int64_t(write) + wraps;
    engine.freshStart = 0;
  }
  for (uint32_t done = 0; done < s;) {
    uint32_t n = s - done < CHUNK_BYTES ? s - done : uint32_t(CHUNK_BYTES);
    int16_t *l = engine.stageLeft + done / 2, *r = engine.stageRight + done / 2;
    // The output thread clears played audio up to the write offset: the
    // chunk is written and the offset moved past it before it may look.
    ring_gate_enter();
    uint32_t at = engine.writeOffset;
    mix_chunk(l, r, n, at);
    ring_write(0, &submit_lock_left, at, l, n);
    ring_write(1, &submit_lock_right, at, r, n);
    // The mirror keeps what was written, at the same offsets.
    for (uint32_t copied = 0; copied < n;) {
      uint32_t to = (at + copied) % b;
      uint32_t m = b - to < n - copied ? b - to : n - copied;
      std::memcpy(reinterpret_cast<uint8_t *>(engine.mirrorLeft) + to, reinterpret_cast<uint8_t *>(l) + copied, m);
      std::memcpy(reinterpret_cast<uint8_t *>(engine.mirrorRight) + to, reinterpret_cast<uint8_t *>(r) + copied, m);
      copied += m;
    }
    engine.writeOffset = (at + n) % b;
    ring_gate_leave();
    done += n;
  }
  if (ending) {
    const EngineSettings &st = live_settings;
    engine.fadeOutLength = (st.fadeFlags & FADE_ON_END) ? int32_t(int64_t(st.fadeEndMs) * engine.outRate / 1000) : 0;
    fade_out(false, false);
    tail_decay();
  }
  trailing_scan(engine.stageLeft, engine.stageRight, s);
  engine.submitCount += 1;
  // An empty submit (the end of a stream that wrote nothing) places no
  // audio, so the stream's clock has not begun.
  if (s > 0) engine.firstSubmit = 0;
}

int SONORIUM_CDECL Open(int samplerate, int numchannels, int bitspersamp, int, int) {
  if (bitspersamp != 8 && bitspersamp != 16 && bitspersamp != 24) return -1;
  if (!engine.initialized || !engine_device_ready()) return -1;
  if (samplerate <= 0 || samplerate > int(MAX_INPUT_RATE)) return -1;
  if (numchannels <= 0 || numchannels > ENGINE_MAX_CHANNELS) return -1;
  // The output thread may be rebuilding the engine for new settings between
  // streams; the stream opens once it has finished.
  for (int32_t state = engine.streamState;; state = engine.streamState) {
    if (state != STREAM_RECONFIGURING && engine.streamState.compare_exchange_strong(state, STREAM_OPEN)) break;
    if (state == STREAM_RECONFIGURING) os_sleep(10);
  }
  if (voices_lost()) {
    voices_restore();
    full_stop();
  }
  // A previous stream that has played out only waits for the output
  // thread's stop. Stopped now, the new stream starts afresh; followed, it
  // would be queued behind the play cursor, with stale ring contents heard
  // until the cursor came round to it.
  // The pending stop is claimed here until the new stream is set up, so the
  // output thread cannot carry it out under this Open; one it is carrying
  // out already is waited for.
  for (;;) {
    if (stop_pending_claim()) {
      if (output_reached_end()) full_stop();
      break;
    }
    if (engine.stopPending == STOP_NONE) break;
    os_sleep(1);
  }
  const EngineSettings &s = live_settings;
  engine.prevInChannels = engine.inChannels;
  engine.prevInBits = engine.inBits;
  engine.inRate = samplerate;
  engine.inChannels = numchannels;
  engine.inBits = bitspersamp;
  // Without interpolation the voices play at the stream's rate; a rate
  // they cannot play is resampled to 48 kHz all the same.
  engine.resampling = (s.interpolation || samplerate > DSBFREQUENCY_MAX) ? 1 : 0;
  if (engine.resampling) {
    samplerate = 48000;
    numchannels = 2;
    bitspersamp = 16;
  }
  // What the drain had not pushed yet: a stream that continues the
  // resampler gives it as its own start.
  end_of_stream_abandon();
  // What the resampler holds of the previous stream was pushed out at its
  // end; a stream at another rate, or not resampled, starts it afresh. The
  // equalizer then goes on from its drained end, which has taken the
  // resampler's.
  if (engine.drainedResampled != 0 && (!engine.resampling || engine.inRate != engine.drainedRate)) {
    signal_reset_resamplers();
    if (engine.drainEq) signal_eq_take_drain();
    engine.drainedFrames = engine.drainedResampled = 0;
    engine.drainEq = 0;
  }
  // The equalizer switched off since: only the resampler's outputs repeat.
  if (engine.drainEq && !signal_eq_on()) {
    engine.drainedFrames = engine.drainedResampled;
    engine.drainEq = 0;
  }
  engine.drainRewrite = 0;
  engine.streamResampled = 0;
  engine.streamEqualized = 0;
  engine.starved = 0;
  engine.clockOffset += 2 * engine.writtenFrames;
  engine.outputFloorMs = 0;
  engine.outRate = samplerate;
  engine.outChannels = numchannels;
  engine.outBits = bitspersamp;
  if (engine.pauseRequest || engine.pauseState != PAUSE_IDLE || !engine.playing) {
    set_frequency();
    engine.paused = 0;
    engine.coldStart = 1;
  } else {
    engine.coldStart = 0;
    // An end-of-song fade and a stop fade have shaped the drained end; only
    // a plain or equalized end is written over.
    engine.drainRewrite = engine.drainedFrames != 0 && engine.closingAtLastSubmit &&
                          !((s.fadeFlags & FADE_ON_END) && s.fadeEndMs > 0);
  }
  engine.crossfadeMix = ((s.fadeFlags & FADE_CROSSFADE) || !engine.closingAtLastSubmit) ? 1 : 0;
  engine.closing = 0;
  engine.stopPending = STOP_NONE;
  engine.writtenFrames = 0;
  engine.fadeInGain = 0.0;
  engine.pauseRequest = 0;
  engine.pauseState = PAUSE_IDLE;
  engine.deferredFlush = 0;
  engine.submitCount = 0;
  engine.draining = 0;
  engine.leadingActive = 1;
  engine.firstSubmit = 1;
  engine.gapStartPending = 1;
  engine.submittedBytes = 0;
  engine.prebufferFlag = engine.coldStart.load();
  engine.cpuTick = os_tick_count();
  engine.leadingBudget = uint32_t(ms_to_bytes(s.leadingLimitMs)) & ~uint32_t(31);
  int32_t t = (s.fadeFlags & FADE_ON_START) ? s.fadeStartMs : 0;
  if (s.gapMode == GAP_REMOVE && (s.fadeFlags & FADE_ON_FIRST_START) && engine.coldStart) t = s.fadeFirstStartMs;
  engine.fadeInLength = int32_t(int64_t(engine.outRate) * t / 1000);
  engine.engineActive = 1;
  return int(int64_t(48000) * 32768 / engine.outRate * s.bufferLengthMs / 32768);
}

int SONORIUM_CDECL Write(char *buf, int len) {
  FpuGuard guard;
  if (!engine.initialized || engine.outRate <= 0) return 0;
  // Between Close and the next Open there is no stream to write to, and
  // the output thread may be stopping the last one: what a host writes then
  // is refused (nothing is taken), as before Open.
  if (engine.streamState != STREAM_OPEN) return 0;
  if (!buf || len <= 0) {
    if (!buf && len == 0) {
      // The host's end of stream: what is staged goes out with the end of
      // song processing.
      engine.closing = 1;
      os_sleep(10);
      drain_begin();
      if (!voices_lost()) submit_staged();
      start_check();
    }
    return 0;
  }
  int32_t bits = engine.resampling ? engine.inBits.load() : engine.outBits.load();
  int32_t channels = engine.resampling ? engine.inChannels.load() : engine.outChannels.load();
  // Open bounds both, so a frame is 1 to 96 bytes; the sizes are taken in
  // 64 bits all the same, so no format can make them wrap.
  const uint64_t frame_bytes = uint64_t(bits / 8) * uint64_t(channels);
  if (frame_bytes == 0) return 0;
  uint32_t frames = uint32_t(uint64_t(len) / frame_bytes);
  const uint8_t *in = reinterpret_cast<const uint8_t *>(buf);
  uint32_t piece = piece_frames();
  bool lost = false;
  while (frames > 0) {
    uint32_t n = frames < piece ? frames : piece;
    process_piece(in, n);
    in += uint64_t(n) * frame_bytes;
    frames -= n;
    if (voices_lost()) {
      lost = true;  // keep staging; the restore submits it
      continue;
    }
    submit_if_due();
  }
  if (lost) return 0;
  start_check();
  return 0;
}

int SONORIUM_CDECL CanWrite(void) {
  if (!engine.initialized || engine.outRate <= 0 || !engine_device_ready()) return 0;
  if (engine.deferredFlush || pause_fade_out_running()) return 0;
  uint32_t b = ring_bytes();
  uint32_t play, write;
  read_cursors(&play, &write);
  // The position query refreshes the lost flag: rings lost since the last
  // query take nothing.
  if (voices_lost()) return 0;
  uint32_t wo = engine.writeOffset;
  int64_t free_bytes = play > wo ? int64_t(play) - wo : int64_t(b) - wo + play;
  int64_t n = free_bytes - engine.stagedBytes - 2;
  if (n < 0) n = 0;
  int64_t result = (n / 2) * engine.inRate / engine.outRate * (int64_t(engine.inBits) * engine.inChannels / 8);
  uint32_t tick = os_tick_count();
  if (live_settings.cpuUsageControl && engine.submitCount >= 8) {
    int64_t queued = b ? (int64_t(wo) + b - write) % b : 0;
    if (queued >= engine.outRate && tick == engine.cpuTick) result = 0;
  }
  engine.cpuTick = tick;
  return result > INT32_MAX ? INT32_MAX : int(result);
}

int SONORIUM_CDECL IsPlaying(void) {
  if (!engine.initialized || engine.outRate <= 0) return 0;
  const EngineSettings &s = live_settings;
  int64_t margin = 500;
  if (s.fadeFlags & FADE_CROSSFADE) margin = s.fadeEndMs;
  if (s.silenceFlags & 2) margin = s.bufferLengthMs;
  if (s.gapMode != GAP_REMOVE) margin = s.fadeEndMs;
  engine.draining = 1;
  // The end of the stream is still going out as the rings make room.
  if (end_of_stream_pending()) {
    drain_more();
    if (end_of_stream_pending()) return 1;
  }
  return int64_t(GetOutputTime()) + margin < int64_t(GetWrittenTime()) ? 1 : 0;
}

int SONORIUM_CDECL GetWrittenTime(void) {
  if (engine.outRate <= 0) return 0;
  return clock_ms(engine.writtenFrames, engine.outRate);
}

namespace {
// The stream's position in bytes per channel as the play cursor gives it,
// before any hold; false while the stream's clock has not begun.
bool cursor_position(int64_t *position) {
  uint32_t b = ring_bytes();
  uint32_t play, write;
  read_cursors(&play, &write);
  count_play_wrap(play, b);
  // After a faded seek the new position's audio is not queued yet; until
  // then, and until it is heard, the clock stays at the seek position.
  // Likewise a stream that follows another begins only with its first
  // submit: before it the play cursor is still in the previous stream's
  // tail.
  if (engine.freshStart || (engine.firstSubmit && !engine.coldStart)) return false;
  int64_t p = engine.playAccumulator + int64_t(play) - engine.clockOffset;
  *position = p < 0 ? 0 : p;
  return true;
}

// The time at the end of what is in the voice rings: the written time less
// what is still staged.
int ring_end_ms(void) {
  const int64_t staged = engine.stagedBytes / 2;
  const int64_t frames = engine.writtenFrames - staged;
  return clock_ms(frames < 0 ? 0 : frames, engine.outRate);
}
}  // namespace

int SONORIUM_CDECL GetOutputTime(void) {
  if (!engine.initialized || engine.outRate <= 0) return 0;
  int32_t floor_ms = engine.outputFloorMs;
  int64_t position;
  if (!cursor_position(&position)) return floor_ms;
  int ms = clock_ms(position, 2 * int64_t(engine.outRate));
  // Nothing is heard that was not written into the rings: a cursor that has
  // run past their end (the stream ended, the host is late, or a stream that
  // follows another has no audio yet) plays what is not the stream's, and
  // audio still staged is not heard before it is submitted. And a time
  // once reported is not taken back when the output thread later rewinds
  // the clock by a ring for a cursor that came round again; the floor holds
  // it until the clock is past it.
  const int end = ring_end_ms();
  if (ms > end) ms = end;
  while (ms > floor_ms && !engine.outputFloorMs.compare_exchange_weak(floor_ms, ms)) {
  }
  return ms < floor_ms ? floor_ms : ms;
}

bool output_passed_written(void) {
  if (!engine.initialized || engine.outRate <= 0) return false;
  int64_t position;
  return cursor_position(&position) && clock_ms(position, 2 * int64_t(engine.outRate)) > ring_end_ms();
}

bool output_reached_end(void) {
  if (GetOutputTime() < GetWrittenTime()) return false;
  int64_t position;
  if (!cursor_position(&position)) return true;
  // Equal times leave up to a millisecond unplayed: the cursor decides.
  // One short by more than that is not in this stream's audio (it has come
  // round the ring again, the time held by its floor): the time decides.
  const int64_t end = 2 * engine.writtenFrames - int64_t(engine.stagedBytes);
  const int64_t short_by = end - position;
  return short_by <= 0 || short_by > 2 * int64_t(engine.outRate) / 1000 + 2;
}

namespace {
// Whether the write cursor has run past the write offset. `by_clock` also
// asks the stream's clock (for the moments before the output thread has
// seen the play cursor pass the end); only where everything written but
// the staged audio is in the rings.
bool cursor_past_write_offset(uint32_t play, uint32_t write, bool by_clock) {
  const uint32_t b = ring_bytes();
  if (b == 0 || !engine.playing) return false;
  if (engine.starved) return true;
  const uint32_t wo = engine.writeOffset;
  const uint32_t lead = (write + b - play) % b;
  // Where the clock runs, it tells: the write cursor at or past the end of
  // what the rings hold, the play cursor maybe too before the output thread
  // has seen it.
  int64_t position;
  if (by_clock && cursor_position(&position)) {
    const int64_t end = 2 * engine.writtenFrames - int64_t(engine.stagedBytes);
    return position + lead > end;
  }
  // Else the write offset strictly between the cursors: the write cursor is
  // past it. (At the play cursor itself it may as well be a full ring.)
  const uint32_t from_play = (wo + b - play) % b;
  return from_play != 0 && from_play < lead;
}
}  // namespace

uint32_t queued_ahead(uint32_t play, uint32_t write, uint32_t end) {
  const uint32_t b = ring_bytes();
  if (b == 0 || cursor_past_write_offset(play, write, false)) return 0;
  return (end + b - write) % b;
}

bool underrun_resync(uint32_t play, uint32_t write, bool by_clock) {
  const uint32_t b = ring_bytes();
  if (b == 0 || engine.freshStart || voices_lost() || !cursor_past_write_offset(play, write, by_clock)) return false;
  ring_gate_enter();
  // The clock: the stream's end (what the rings held) is heard when the
  // play cursor reaches the write cursor, `lead` bytes from now.
  count_play_wrap(play, b);
  const uint32_t lead = (write + b - play) % b;
  const int64_t end = 2 * engine.writtenFrames - int64_t(engine.stagedBytes);
  engine.clockOffset = engine.playAccumulator + int64_t(play) + int64_t(lead) - end;
  if (engine.savedEndValid && engine.savedFadeEnd == engine.writeOffset) engine.savedFadeEnd = write;
  engine.writeOffset = write;
  engine.starved = 0;
  ring_gate_leave();
  return true;
}
