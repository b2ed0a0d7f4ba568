// The engine's process-wide state, shared by the stream callbacks, the
// output thread, the fades and the gap control. Flags touched by more than
// one thread are atomics; everything else belongs to the decoder thread.
#pragma once

#include <atomic>
#include <cstdint>

// Capacities of the audio path, all allocated at engine_init.
enum : uint32_t {
  CONVERSION_BYTES = 32768,          // one piece of a written block, 16-bit stereo
  CONVERSION_FRAMES = CONVERSION_BYTES / 4,
  RESAMPLED_BYTES = 196608,          // the resampled piece, 16-bit stereo
  RESAMPLED_FRAMES = RESAMPLED_BYTES / 4,
  STAGING_BYTES = 131072,            // per channel, 16-bit mono
  MIRROR_BYTES = 1920000,            // per channel: 20 s at 48 kHz
  SUBMIT_BLOCK_BYTES = 8192,         // per channel
  CHUNK_BYTES = 1024,                // longest single Lock of a ring write
  MAX_INPUT_RATE = 384000            // the resampler states admit ratio 8.0
};

// The latest seek position taken from the host, about 12 days: a stream
// sought there can still be written for as long again before its clocks
// reach the top of the host's int milliseconds, where they then stay.
constexpr int32_t ENGINE_MAX_POSITION_MS = 0x3FFFFFFF;
// The widest frame Open takes: 32 channels (of which the first two are
// played), so a frame is at most 96 bytes and no size computed from the
// host's format can wrap.
constexpr int32_t ENGINE_MAX_CHANNELS = 32;

struct ResamplerState;
struct EqState;

// Pause fade states.
enum : int32_t { PAUSE_IDLE = 0, PAUSE_FADING_OUT = 1, PAUSE_PAUSED = 2, PAUSE_FADING_IN = 3 };
// Stream states.
enum : int32_t { STREAM_CLOSED = 0, STREAM_OPEN = 1, STREAM_RECONFIGURING = 2 };
// stopPending: none; a stop waits for the end to go out; a thread is carrying it out.
enum : int32_t { STOP_NONE = 0, STOP_PENDING = 1, STOP_RUNNING = 2 };

struct Engine {
  bool initialized;

  // Buffers.
  int16_t *conversion;  // interleaved stereo
  int16_t *resampled;   // interleaved stereo
  int16_t *equalized;   // interleaved stereo
  int16_t *stageLeft;
  int16_t *stageRight;
  int16_t *mirrorLeft;
  int16_t *mirrorRight;
  ResamplerState *resamplerLeft;
  ResamplerState *resamplerRight;
  EqState *eqLeft;
  EqState *eqRight;

  // Stream format.
  std::atomic<int32_t> inRate, inChannels, inBits;
  std::atomic<int32_t> outRate, outChannels, outBits;
  int32_t resampling;
  int32_t prevInChannels, prevInBits;

  // Positions, bytes per channel.
  std::atomic<uint32_t> writeOffset;
  std::atomic<uint32_t> stagedBytes;
  std::atomic<uint32_t> submittedBytes;
  std::atomic<uint32_t> submitCount;
  std::atomic<int64_t> writtenFrames;
  std::atomic<int64_t> playAccumulator;
  std::atomic<int32_t> wrapArmed;
  std::atomic<int64_t> clockOffset;
  std::atomic<int32_t> prebufferFlag;
  std::atomic<int32_t> outputFloorMs;  // GetOutputTime never reports less within a stream
  std::atomic<uint32_t> cpuTick;

  // Stream flags.
  std::atomic<int32_t> coldStart;
  std::atomic<int32_t> closing;
  std::atomic<int32_t> closingAtLastSubmit;
  std::atomic<int32_t> stopPending;
  std::atomic<int32_t> freshStart;
  std::atomic<int32_t> draining;
  std::atomic<int32_t> firstSubmit;

  // Fades.
  int32_t fadeInLength;  // samples
  double fadeInGain;
  std::atomic<int32_t> fadeOutLength;  // samples; 0 = none pending
  std::atomic<int32_t> savedEndValid;
  std::atomic<uint32_t> savedFadeEnd;
  std::atomic<int32_t> overlap;
  std::atomic<uint32_t> zeroPad;
  std::atomic<int32_t> crossfadeMix;
  std::atomic<int32_t> flushPosition;
  std::atomic<int32_t> deferredFlush;

  // Pause.
  std::atomic<int32_t> pauseRequest;
  std::atomic<int32_t> pauseState;
  std::atomic<double> pauseLevel;
  std::atomic<int64_t> pauseFadeStart;
  std::atomic<int64_t> pauseFadeEnd;
  std::atomic<int64_t> cursorAccumulator;  // wrap accumulator of the write cursor
  std::atomic<int32_t> cursorArmed;

  // Output thread hand-over.
  std::atomic<int32_t> startRequest;
  std::atomic<int32_t> streamState;
  std::atomic<int32_t> engineActive;
  std::atomic<int32_t> playing;
  std::atomic<int32_t> paused;
  std::atomic<int32_t> autosaveLoaded;
  std::atomic<int32_t> lastFrequency;
  std::atomic<int32_t> volumeTarget;
  std::atomic<int32_t> volumeCurrent;
  std::atomic<int32_t> threadRunning;
  std::atomic<int32_t> threadStop;

  // Gap control and silence remover.
  std::atomic<int32_t> gapState;
  std::atomic<uint32_t> stopTick;
  std::atomic<int32_t> gapStartPending;
  int32_t leadingActive;
  uint32_t leadingBudget;
  int64_t trailingTotal;
  int64_t trailingLastLoud;

  // Underruns: the output thread clears what the voices have played and the
  // host has not written again (clear_played). A submit holds the gate while
  // it writes a chunk and moves the write offset past it; the output thread
  // only tries the gate and skips a pass when the submit has it.
  std::atomic<int32_t> ringGate;
  uint32_t clearedPlay;  // output thread: the play cursor at the last clear
  uint32_t clearedWo;    // and the write offset and submit count then
  uint32_t clearedSubmits;
  int32_t clearFresh;    // output thread: the next clear takes all the free ring
  // The play cursor has run past the end of the stream's audio and the
  // output thread has set the clock a ring ahead; the next submit goes on
  // at the write cursor instead (underrun_resync).
  std::atomic<int32_t> starved;

  // End of stream: resampler outputs already pushed out by a drain, which
  // the resampler gives once more at the front of what it makes next; the
  // input rate they were made at.
  uint32_t drainedFrames;
  int32_t drainedRate;
  int32_t streamResampled;  // the stream has given the resampler input
  int32_t drainRewrite;     // the next stream continues the ring: write them over the drained end
  // A drain goes out in parts as the ring has room (at a low input rate the
  // look-ahead is seconds long): the resampler outputs still owed, and
  // whether the equalizer's delay is still to follow them.
  std::atomic<uint32_t> drainLeft;
  std::atomic<int32_t> eqTailLeft;
  // With the equalizer on, the drain runs through a copy of its states, so
  // the stream that continues them gives the drained end again at the
  // equalizer's output (drainedFrames counts those) from the resampler
  // outputs it gives again (drainedResampled).
  int32_t drainEq;
  uint32_t drainedResampled;
  uint32_t eqDrainFed;     // resampler outputs through the copy
  uint32_t eqDrainMade;    // outputs of the copy
  uint32_t eqDrainTarget;  // outputs of the copy that end the stream, less eqDrainFed
  int32_t streamEqualized;  // the stream has given the equalizer input
};

extern Engine engine;

// output_thread.cpp: engine_init with or without the output thread (tests
// drive output_thread_pass themselves).
int engine_start(bool with_thread);

// stream.cpp
void submit(void);
void submit_staged(void);   // submits what is staged, if anything
void start_check(void);
// Pushes the resampler's look-ahead and the equalizer's delay into the
// rings at the end of a stream, as far as they have room; IsPlaying pushes
// the rest.
void end_of_stream_drain(void);
// Whether a drain still has audio to push.
bool end_of_stream_pending(void);
// Gives up what a drain has not pushed yet (a stop, a seek, a stream opened
// before the end was heard).
void end_of_stream_abandon(void);
bool prebuffer_complete(void);
// Whether the play cursor has run past the last sample in the rings (the
// output time before GetOutputTime holds it at the end of the rings).
bool output_passed_written(void);
// Bytes of the stream's audio queued from the write cursor to `end` (the
// write offset or a point before it): 0 once the cursor has run past the
// write offset, where the ring distance alone would read as almost a ring.
uint32_t queued_ahead(uint32_t play, uint32_t write, uint32_t end);
// After an underrun the write offset lies behind the cursor, a ring of
// silence ahead of it: the write offset moves up to the write cursor and
// the clock with it, so what comes next is heard at once. Returns whether
// it moved. Holds the ring gate. `by_clock`: the stream's clock may tell
// too (not within a submit, once it has written into the rings).
bool underrun_resync(uint32_t play, uint32_t write, bool by_clock);
// Whether the play cursor has played the last sample in the rings, to the
// sample (the times alone stop up to a millisecond early).
bool output_reached_end(void);
int64_t ms_to_bytes(int64_t ms);  // bytes per channel at the output rate

// output_thread.cpp
void start_request(void);
void ring_gate_enter(void);
void ring_gate_leave(void);
void clear_played(void);
void start_voices(void);
void stop_voices(void);
void set_frequency(void);
void full_stop(void);
bool stop_pending_claim(void);
void apply_volume(int32_t current);
int32_t volume_to_mb(int32_t current);  // primary level in mB for 0..10000
void recreate_filter_states(void);

// fades.cpp
void mix_chunk(int16_t *left, int16_t *right, uint32_t bytes, uint32_t position);
void move_back_for_crossfade(uint32_t writeCursor);
void fade_out(bool fromCursor, bool uncapped);
void tail_decay(void);
// Ramps the `bytes` before `end` down to silence, from the mirror and into
// it, as far as they are still ahead of the write cursor.
void ramp_down_before(uint32_t end, uint32_t writeCursor, uint32_t bytes);
// Zeroes bytes of both rings and of the mirror from offset.
void zero_ring_and_mirror(uint32_t offset, uint32_t bytes);
// Bytes after the write offset that the tail decay writes at most.
constexpr uint32_t TAIL_DECAY_BYTES = 8192;
void pause_fade_step(void);
bool pause_fade_enabled(void);
bool pause_fade_out_running(void);
void perform_flush(int32_t t);
int64_t monotonic_write_position(void);

// gaps.cpp
bool frame_loud(int16_t left, int16_t right);
uint32_t leading_silence_skip(const int16_t *frames, uint32_t count);
void trailing_cut(uint32_t writeCursor);
void trailing_scan(const int16_t *left, const int16_t *right, uint32_t bytes);
void insert_gap_end(void);

// voices.cpp: the engine's side of the device.
bool engine_device_ready(void);
bool voices_lost(void);
uint32_t ring_bytes(void);
void read_cursors(uint32_t *play, uint32_t *write);
// Writes bytes of samples at offset (wrapping at B) into voice L1 (channel 0)
// or R1 (channel 1) in Lock/Unlock chunks of at most CHUNK_BYTES. slot names
// the caller's lock record. A failed Lock skips its chunk.
struct VoiceLock;
void ring_write(int channel, VoiceLock *slot, uint32_t offset, const int16_t *samples, uint32_t bytes);
void voices_restore(void);
void voices_play_all(void);
void voices_stop_all(void);
void voices_set_position(uint32_t position);
void voices_set_frequency(uint32_t hz);
void primary_set_volume(int32_t level);

// signal.cpp: the engine's side of the resampler and the equalizer.
int signal_init(void);      // tables, states, kernel
void signal_release(void);
int signal_recreate_states(void);
// Resamples frames of 16-bit stereo at inRate to 48 kHz; returns frames out.
uint32_t signal_resample(const int16_t *in, int16_t *out, uint32_t frames, int32_t inRate);
// The resampler's look-ahead at the end of a stream, as 16-bit stereo
// (resampler_drain); the states stay as they were.
uint32_t signal_drain(int16_t *out, int32_t inRate);
void signal_reset_resamplers(void);
// The drain in parts: the outputs owed, then up to `most` of them at a time.
uint32_t signal_drain_begin(int32_t inRate);
uint32_t signal_drain_next(int16_t *out, uint32_t most);
// The equalizer's end of a stream, on a copy of its states: begin copies
// them and returns the samples they hold back (pending in a block of four);
// drain_through filters resampler outputs on the copy; drain_tail gives
// exactly `frames` more outputs of the copy, with silence following.
uint32_t signal_eq_drain_begin(void);
uint32_t signal_eq_drain_through(const int16_t *in, int16_t *out, uint32_t frames);
uint32_t signal_eq_drain_tail(int16_t *out, uint32_t frames);
// The states take the copy's place: a stream that does not continue the
// resampler goes on from the equalizer's drained end.
void signal_eq_take_drain(void);
bool signal_eq_on(void);
uint32_t signal_equalize(const int16_t *in, int16_t *out, uint32_t frames);
