// Gap control between songs and the silence remover: leading silence of a
// following song is dropped as it is written, trailing silence of the
// previous one is cut back at the new song's first submit.
#include "engine/engine_internal.h"
#include "engine/settings.h"
#include "platform/os.h"

namespace {
// The ramp before a trailing cut.
const int64_t CUT_RAMP_MS = 4;
}  // namespace

bool frame_loud(int16_t left, int16_t right) {
  int32_t t = live_settings.silenceThreshold;
  return left > t || left < -t || right > t || right < -t;
}

// Returns how many frames to drop from the front of the block.
uint32_t leading_silence_skip(const int16_t *frames, uint32_t count) {
  const EngineSettings &s = live_settings;
  if (engine.coldStart || (s.fadeFlags & FADE_ON_START) || s.gapMode != GAP_REMOVE || !(s.silenceFlags & 1) ||
      !engine.leadingActive)
    return 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (s.silenceLimitFlags & 1) {
      if (engine.leadingBudget == 0) {
        engine.leadingActive = 0;
        return i;
      }
      engine.leadingBudget -= 2;
    }
    if (frame_loud(frames[2 * i], frames[2 * i + 1])) {
      engine.leadingActive = 0;
      return i;
    }
  }
  return count;
}

void trailing_cut(uint32_t writeCursor) {
  const EngineSettings &s = live_settings;
  if (engine.overlap != 0 || s.gapMode != GAP_REMOVE || !(s.silenceFlags & 2) || engine.coldStart ||
      !engine.firstSubmit)
    return;
  int64_t silence = engine.trailingTotal - engine.trailingLastLoud;
  engine.trailingTotal = 0;
  engine.trailingLastLoud = 0;
  int64_t limit = INT64_MAX;
  if (s.silenceLimitFlags & 2) limit = ms_to_bytes(s.trailingLimitMs) & ~int64_t(31);
  int64_t cut = (silence < limit ? silence : limit) - 2;
  if (cut <= 0) return;
  uint32_t b = ring_bytes();
  if (b == 0) return;
  uint32_t wo = engine.writeOffset;
  int64_t queued = (int64_t(wo) + b - writeCursor) % b;
  if (cut > queued) cut = queued;
  cut &= ~int64_t(1);
  engine.writeOffset = uint32_t((int64_t(wo) + b - cut) % b);
  engine.clockOffset -= cut;
  // The cut falls where the previous song was last loud: a quiet tail (a
  // fade-out, a decaying note) would end there in a step, heard as a click.
  // The last milliseconds before the cut are ramped down to silence. A cut
  // shorter than the ramp took no tail worth the name (a song that ends
  // loud, or plays on into the next): it is left as it is.
  const int64_t ramp = ms_to_bytes(CUT_RAMP_MS) & ~int64_t(1);
  if (cut >= ramp) ramp_down_before(engine.writeOffset, writeCursor, uint32_t(ramp));
}

void trailing_scan(const int16_t *left, const int16_t *right, uint32_t bytes) {
  const EngineSettings &s = live_settings;
  if (s.gapMode != GAP_REMOVE || !(s.silenceFlags & 2)) return;
  uint32_t n = bytes / 2;
  for (uint32_t i = n; i-- > 0;) {
    if (frame_loud(left[i], right[i])) {
      engine.trailingLastLoud = engine.trailingTotal + int64_t(i) * 2;
      break;
    }
  }
  engine.trailingTotal += bytes;
}

// The end of the inserted pause: the voices start once the pause has run,
// the next song has opened and its prebuffer is complete.
void insert_gap_end(void) {
  if (!engine.gapStartPending || engine.gapState != 2) return;
  if (uint32_t(os_tick_count() - engine.stopTick) < uint32_t(live_settings.insertGapMs)) return;
  if (engine.submittedBytes == 0 || !prebuffer_complete()) return;
  start_voices();
  engine.playing = 1;
  engine.gapStartPending = 0;
  engine.gapState = 0;
}
