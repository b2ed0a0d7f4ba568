// The engine's side of the device: the voice ring of "Left channel 1" and
// "Right channel 1" written in short locks, and the four voices played,
// stopped and positioned together.
#include <cstring>

#include "device/device.h"
#include "engine/engine_internal.h"

bool engine_device_ready(void) { return device_ready(); }

bool voices_lost(void) { return device_set.bufferLost.load() != 0; }

uint32_t ring_bytes(void) { return device_set.voiceBufferBytes; }

void read_cursors(uint32_t *play, uint32_t *write) {
  DWORD p = device_set.rememberedPlay.load(), w = device_set.rememberedWrite.load();
  voice_get_cursors(device_set.buffer8s[L1], &p, &w);
  *play = p;
  *write = w;
}

void ring_write(int channel, VoiceLock *slot, uint32_t offset, const int16_t *samples, uint32_t bytes) {
  uint32_t b = ring_bytes();
  if (b == 0) return;
  IDirectSoundBuffer8 *buffer = device_set.buffer8s[channel == 0 ? L1 : R1];
  const uint8_t *src = reinterpret_cast<const uint8_t *>(samples);
  offset %= b;
  while (bytes > 0) {
    uint32_t n = bytes < CHUNK_BYTES ? bytes : uint32_t(CHUNK_BYTES);
    if (voice_lock(buffer, offset, n, slot)) {
      if (slot->ptr1) std::memcpy(slot->ptr1, src, slot->bytes1);
      if (slot->ptr2) std::memcpy(slot->ptr2, src + slot->bytes1, slot->bytes2);
      voice_unlock(buffer, slot);
    }
    src += n;
    bytes -= n;
    offset = (offset + n) % b;
  }
}

void voices_restore(void) {
  for (int v = 0; v < VOICE_COUNT; ++v) {
    IDirectSoundBuffer8 *buffer = device_set.buffer8s[v];
    if (buffer) buffer->Restore();
  }
  // The fourth restore decides; a position query tells whether it held.
  DWORD p, w;
  voice_get_cursors(device_set.buffer8s[L1], &p, &w);
}

void voices_play_all(void) {
  for (int v = 0; v < VOICE_COUNT; ++v) voice_play(device_set.buffer8s[v]);
}

void voices_stop_all(void) {
  for (int v = 0; v < VOICE_COUNT; ++v) voice_stop(device_set.buffer8s[v]);
}

void voices_set_position(uint32_t position) {
  for (int v = 0; v < VOICE_COUNT; ++v) voice_set_cursor(device_set.buffer8s[v], position);
}

void voices_set_frequency(uint32_t hz) {
  for (int v = 0; v < VOICE_COUNT; ++v) voice_set_frequency(device_set.buffer8s[v], hz);
}

void primary_set_volume(int32_t level) {
  if (device_set.primary) device_set.primary->SetVolume(level);
}
