// The software sound card's own C API: configuration before a device is
// created (devices, failures to inject, sink, clock) and inspection helpers
// for tests. Exported next to DirectSoundEnumerateA and DirectSoundCreate8.
#pragma once

#include <cstdint>

#include "platform/dsound.h"

#ifdef _WIN32
#define CARD_API extern "C" __declspec(dllexport)
#else
#define CARD_API extern "C" __attribute__((visibility("default")))
#endif

typedef struct CardDeviceConfig {
  char description[128];
  char module[64];
  GUID guid;
  int eax;              // 1: the EAX 2.0 listener and buffer sets are answered
  int hardwareVoices;   // hardware 3D voices; 0 refuses DSBCAPS_LOCHARDWARE
  DSCAPS caps;          // GetCaps figures; the free hardware counts follow use
  DWORD speakerConfig;  // GetSpeakerConfig
} CardDeviceConfig;

// The steps of a device open that can be made to fail.
enum CardFailStep {
  CARD_FAIL_CREATE = 0,         // DirectSoundCreate8
  CARD_FAIL_COOPERATIVE_LEVEL,  // SetCooperativeLevel
  CARD_FAIL_PRIMARY_BUFFER,     // CreateSoundBuffer of the primary buffer
  CARD_FAIL_SET_FORMAT,         // SetFormat on the primary buffer
  CARD_FAIL_PRIMARY_PLAY,       // Play on the primary buffer
  CARD_FAIL_HARDWARE_BUFFER,    // CreateSoundBuffer/Duplicate of LOCHARDWARE buffers
  CARD_FAIL_SECONDARY_BUFFER,   // CreateSoundBuffer of any secondary buffer
  CARD_FAIL_DUPLICATE,          // DuplicateSoundBuffer
  CARD_FAIL_QI_BUFFER8,         // QueryInterface IID_IDirectSoundBuffer8
  CARD_FAIL_QI_LISTENER,        // QueryInterface IID_IDirectSound3DListener
  CARD_FAIL_QI_3DBUFFER,        // QueryInterface IID_IDirectSound3DBuffer
  CARD_FAIL_QI_PROPERTYSET,     // QueryInterface IID_IKsPropertySet
  CARD_FAIL_EAX_QUERY,          // IKsPropertySet::QuerySupport of an EAX set
  CARD_FAIL_LOCK,               // IDirectSoundBuffer::Lock
  CARD_FAIL_COUNT
};

// Back to the state without configuration: one device with EAX 2.0 and
// hardware 3D voices, no failures, output discarded unless SONORIUM_CARD_WAV
// names a file. Objects still alive keep working.
CARD_API void card_reset(void);

// The room: 1 (the default, restored by card_reset) renders every 3D voice
// as a card with EAX 2.0 would (positioning, cones, filters, reverb); 0 mixes
// each buffer at its volume with a plain pan, for tests that check levels.
CARD_API void card_set_room(int on);

// The output limiter on the room's mix: 1 (the default, restored by
// card_reset) brings peaks that would reach full scale down to just below
// it, smoothly, and delays what the sink receives by its look-ahead of 48
// frames (1 ms; the first 48 frames are silence, and the last ones follow
// when the device is released or the room switched off); 0 clips peaks at
// the conversion to 16 bits, without delay, as the plain mix (room off)
// always does. Applies to devices created afterwards.
CARD_API void card_set_limiter(int on);

// Devices. The default device is the first one.
CARD_API void card_default_device_config(CardDeviceConfig *out);
CARD_API void card_clear_devices(void);
CARD_API int card_add_device(const CardDeviceConfig *config);  // index, or -1
CARD_API int card_device_count(void);

// The next `count` calls of `step` after `skip` successful ones fail with
// `result` (0: the step's usual error). count < 0: every call from then on.
CARD_API void card_fail(int step, int skip, int count, HRESULT result);
CARD_API void card_fail_clear(void);

// Buffer loss: Lock, Play and GetCurrentPosition answer DSERR_BUFFERLOST
// and GetStatus shows DSBSTATUS_BUFFERLOST until Restore.
CARD_API int card_lose_buffer(IDirectSoundBuffer *buffer);
CARD_API void card_lose_all_buffers(void);

// Where the mix goes. Chosen sinks apply to devices created afterwards.
CARD_API int card_set_sink_wav(const char *path);  // 0, or -1 if it can't be opened
CARD_API void card_set_sink_null(void);
CARD_API void card_set_sink_memory(uint32_t max_frames);  // keeps the first frames
CARD_API uint32_t card_memory_frames(void);               // frames kept so far
CARD_API const int16_t *card_memory_samples(void);        // interleaved L, R
CARD_API void card_memory_clear(void);
// Mixes everything due up to the clock's present now (the mixer thread does
// this every few milliseconds on its own).
CARD_API void card_mix_now(void);
// Renders the device's next `frames` frames (from the last one rendered)
// into the sink at once and moves the device's present on to their end: its
// cursors advance as if that much time had passed, without waiting for the
// clock. 0, or -1 for an unknown device.
CARD_API int card_render(IDirectSound8 *device, uint32_t frames);

// Real (0) or simulated (1) time for every thread; see platform/clock.h.
CARD_API int card_set_simulated_time(int on);

// Inspection.
CARD_API int card_live_devices(void);  // device objects not yet released
CARD_API int card_live_buffers(void);  // buffers (primary included) not yet released
CARD_API LONG card_buffer_volume(IDirectSoundBuffer *buffer);
CARD_API int card_buffer_position(IDirectSoundBuffer *buffer, D3DVECTOR *out);
CARD_API int card_buffer_is_playing(IDirectSoundBuffer *buffer);
CARD_API DWORD card_buffer_flags(IDirectSoundBuffer *buffer);
CARD_API int card_cooperative_level(IDirectSound8 *device);
// The Decay HF Ratio the device renders its room with (Decay HF Limit applied).
CARD_API float card_effective_decay_hf_ratio(IDirectSound8 *device);
// What a program set on a 3D buffer through IDirectSound3DBuffer.
typedef struct CardVoice3D {
  D3DVECTOR position;
  D3DVECTOR coneOrientation;
  DWORD insideAngle;
  DWORD outsideAngle;
} CardVoice3D;
// The DS3D state of the device made last among those alive: the listener's
// position, front and top vectors into listener[0..2], and the first `max`
// 3D buffers (DSBCAPS_CTRL3D) in the order they were made into `voices`.
// Returns the number of 3D buffers, or -1 when no device is alive. For
// tests of programs that hold the interfaces themselves.
CARD_API int card_ds3d_state(D3DVECTOR listener[3], CardVoice3D *voices, int max);
