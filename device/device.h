// The DirectSound 8 device of the plug-in: the probe for full EAX 2.0
// support, the open of the device with its 48 kHz primary buffer, 3D
// listener and four mono 3D voices, their release, and the thin wrappers
// through which the engine and the property model drive the voices.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/dsound.h"
#include "platform/win32.h"

// The voices, always in this order. L2 and R2 are duplicates of L1 and R1
// and share their sample memory.
enum : int { L1 = 0, R1 = 1, L2 = 2, R2 = 3, VOICE_COUNT = 4 };

// Device state flags.
enum : uint32_t {
  DEVICE_VOICES_READY = 0x0040,    // the four buffers and buffer8s exist
  DEVICE_READY = 0x0080,           // everything, EAX 2.0 included, is there
  DEVICE_SOFTWARE_VOICES = 0x8000  // the voices fell back to software mixing
};

// The device the plug-in opens is the engine setting deviceGuid
// (engine/settings.h); all zeros is the system's default device.
struct DeviceSet {
  IDirectSound8 *probeDevice;  // the device report's temporary device only
  IDirectSound8 *device;
  IDirectSoundBuffer *primary;
  IDirectSound3DListener *listener;
  IDirectSoundBuffer *buffers[VOICE_COUNT];
  IDirectSoundBuffer8 *buffer8s[VOICE_COUNT];
  IDirectSound3DBuffer *buffers3d[VOICE_COUNT];
  IKsPropertySet *propertySets[VOICE_COUNT];
  std::atomic<uint32_t> stateFlags;
  uint32_t eaxSupport;  // kept as the EAX 2.0 query returned it
  std::atomic<const char *> statusText;
  // 1 when the last position query, lock or play on a voice returned
  // DSERR_BUFFERLOST.
  std::atomic<uint8_t> bufferLost;
  // Cursors of the last position query that did not report a lost buffer.
  std::atomic<uint32_t> rememberedPlay;
  std::atomic<uint32_t> rememberedWrite;
  uint32_t voiceBufferBytes;
};

extern DeviceSet device_set;

// The texts a device open leaves as the status text.
extern const char DEVICE_TEXT_NO_DRIVER[];  // "No device driver is present."
extern const char DEVICE_TEXT_OK[];         // "ok - using DirectX 8 interface"

// Set by the DirectSound settings dialog while it is open; called after
// every device open to refresh the device report. Null otherwise. A device
// open may run on the output thread: the hook must only hand the refresh to
// the dialog's thread (a posted message), never touch its windows.
extern std::atomic<void (*)(void)> device_report_refresh_hook;

// The DirectSoundEnumerateA callback of Init's device test: opens each
// enumerated device, counts the fully EAX 2.0 capable ones in enabled_flag
// (engine/module.h) and closes it again. Always TRUE, so every device is
// visited; the context is not used.
BOOL CALLBACK eax_probe_callback(LPGUID guid, LPCSTR description, LPCSTR module, LPVOID context);

// Opens the device named by deviceGuid. voices_only = 1 keeps the device
// object, primary buffer and listener and recreates only the voices.
// Success is the device-ready flag; the result is the status text.
void device_open(int voices_only);
// Releases every interface of the device set, device object included.
void device_close(void);
// Releases the voices' interfaces and keeps device, primary and listener.
void voices_release(void);

// True when the last open succeeded in full and nothing was released since.
bool device_ready(void);
bool device_voices_ready(void);

// Bytes per voice buffer for a buffer length: 96 bytes per millisecond,
// rounded down to a multiple of 32.
uint32_t voice_buffer_size(int32_t bufferLengthMs);

// The result slots of one Lock. Each write routine of the engine owns one,
// so one routine's lock never overwrites another's.
struct VoiceLock {
  void *ptr1;
  DWORD bytes1;
  void *ptr2;
  DWORD bytes2;
};

// The voice wrappers. Each does nothing when the reference is null.

// Play and write cursors into *play and *write. A lost buffer gives the
// remembered cursors and sets the buffer-lost flag; a good query remembers
// its cursors and clears the flag. Returns the call's result.
HRESULT voice_get_cursors(IDirectSoundBuffer8 *buffer, DWORD *play, DWORD *write);
void voice_set_cursor(IDirectSoundBuffer8 *buffer, DWORD position);
// Locks bytes at offset into *lock. False when the reference is null or the
// lock failed (the slots are then cleared); a lost buffer sets the flag.
bool voice_lock(IDirectSoundBuffer8 *buffer, DWORD offset, DWORD bytes, VoiceLock *lock);
void voice_unlock(IDirectSoundBuffer8 *buffer, const VoiceLock *lock);
// Looping play; the buffer-lost flag follows the result. E_POINTER on null.
HRESULT voice_play(IDirectSoundBuffer8 *buffer);
void voice_stop(IDirectSoundBuffer8 *buffer);
void voice_set_frequency(IDirectSoundBuffer8 *buffer, DWORD hz);
void voice_set_volume(IDirectSoundBuffer8 *buffer, LONG level);
// The level in mB; 0 when the reference is null or the query fails.
LONG voice_get_volume(IDirectSoundBuffer8 *buffer);
// The speaker configuration; 0 when the reference is null or the query fails.
DWORD device_get_speaker_config(IDirectSound8 *device);
