#include "device/device.h"

#include "device/report.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "platform/eax2.h"

DeviceSet device_set;

const char DEVICE_TEXT_NO_DRIVER[] = "No device driver is present.";
const char DEVICE_TEXT_OK[] = "ok - using DirectX 8 interface";

std::atomic<void (*)(void)> device_report_refresh_hook{nullptr};

namespace {

const ULONG property_support_get_set = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;

const DWORD PRIMARY_FLAGS = DSBCAPS_PRIMARYBUFFER | DSBCAPS_LOCHARDWARE | DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME;
const DWORD VOICE_FLAGS_SOFTWARE = DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME |
                                   DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
const DWORD VOICE_FLAGS_HARDWARE = VOICE_FLAGS_SOFTWARE | DSBCAPS_LOCHARDWARE;
static_assert(PRIMARY_FLAGS == 0x95, "primary buffer flags");
static_assert(VOICE_FLAGS_HARDWARE == 0x180B4 && VOICE_FLAGS_SOFTWARE == 0x180B0, "voice buffer flags");

const char TEXT_CREATE[] = "Failed to create DirectSound object";
const char TEXT_COOPERATIVE[] = "Failed to set cooperative level";
const char TEXT_PRIMARY[] = "Failed to create primary buffer";
const char TEXT_FORMAT[] = "Failed to set output format";
const char TEXT_PLAY_PRIMARY[] = "Can't play primary buffer";
const char TEXT_SECONDARY[] = "Failed to create secondary buffers";
const char TEXT_BUFFER8[] = "Failed to create DirectSoundBuffer8 interfaces";
const char TEXT_LISTENER[] = "Failed to create 3D Listener interface";
const char TEXT_3DBUFFER[] = "Failed to create 3D Buffer interfaces";
const char TEXT_PROPERTY_SETS[] = "Failed to get property set interfaces";
const char TEXT_NO_EAX[] = "EAX 2.0 support not available";

template <typename T>
void release(T *&ref) {
  if (ref) {
    ref->Release();
    ref = nullptr;
  }
}

// Backwards through the ordered references, as in device_close.
void release_voice_buffers(void) {
  for (int i = VOICE_COUNT - 1; i >= 0; --i) release(device_set.buffers[i]);
}

WAVEFORMATEX pcm_format(WORD channels) {
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = 48000;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(channels * 2);
  format.nAvgBytesPerSec = 48000u * format.nBlockAlign;
  format.cbSize = 0;
  return format;
}

// The short description (no 3D algorithm field), so the default algorithm
// applies.
DSBUFFERDESC buffer_description(DWORD flags, DWORD bytes, WAVEFORMATEX *format) {
  DSBUFFERDESC desc = {};
  desc.dwSize = sizeof(DSBUFFERDESC1);
  desc.dwFlags = flags;
  desc.dwBufferBytes = bytes;
  desc.lpwfxFormat = format;
  return desc;
}

// L1, its duplicate L2, R1, its duplicate R2.
bool create_voices(DWORD flags) {
  WAVEFORMATEX format = pcm_format(1);
  DSBUFFERDESC desc = buffer_description(flags, device_set.voiceBufferBytes, &format);
  IDirectSound8 *ds = device_set.device;
  IDirectSoundBuffer **b = device_set.buffers;
  const int channels[2] = {L1, R1};
  for (int channel : channels) {
    int copy = channel + 2;
    if (FAILED(ds->CreateSoundBuffer(&desc, &b[channel], nullptr)) || !b[channel]) return false;
    if (FAILED(ds->DuplicateSoundBuffer(b[channel], &b[copy])) || !b[copy]) return false;
  }
  return true;
}

// Steps of the open; each returns null on success or the failure text.
const char *open_device_objects(void) {
  const GUID zero = {};
  const GUID *id = deviceGuid == zero ? nullptr : &deviceGuid;
  if (FAILED(DirectSoundCreate8(id, &device_set.device, nullptr)) || !device_set.device) return TEXT_CREATE;
  if (FAILED(device_set.device->SetCooperativeLevel(plugin_window.load(), DSSCL_PRIORITY))) return TEXT_COOPERATIVE;
  DSBUFFERDESC desc = buffer_description(PRIMARY_FLAGS, 0, nullptr);
  if (FAILED(device_set.device->CreateSoundBuffer(&desc, &device_set.primary, nullptr)) || !device_set.primary)
    return TEXT_PRIMARY;
  WAVEFORMATEX format = pcm_format(2);
  if (FAILED(device_set.primary->SetFormat(&format))) return TEXT_FORMAT;
  if (FAILED(device_set.primary->Play(0, 0, DSBPLAY_LOOPING))) return TEXT_PLAY_PRIMARY;
  return nullptr;
}

const char *open_voices(void) {
  // Without a device object there is nothing to make voices with.
  if (!device_set.device) return TEXT_SECONDARY;
  if (!create_voices(VOICE_FLAGS_HARDWARE)) {
    release_voice_buffers();
    device_set.stateFlags.fetch_or(DEVICE_SOFTWARE_VOICES);
    if (!create_voices(VOICE_FLAGS_SOFTWARE)) return TEXT_SECONDARY;
  }
  for (int i = 0; i < VOICE_COUNT; ++i)
    if (FAILED(device_set.buffers[i]->QueryInterface(IID_IDirectSoundBuffer8,
                                                     reinterpret_cast<void **>(&device_set.buffer8s[i]))) ||
        !device_set.buffer8s[i])
      return TEXT_BUFFER8;
  device_set.stateFlags.fetch_or(DEVICE_VOICES_READY);
  // A voices-only open keeps the listener it already has.
  if (!device_set.listener && (!device_set.primary ||
      FAILED(device_set.primary->QueryInterface(IID_IDirectSound3DListener,
                                                reinterpret_cast<void **>(&device_set.listener))) ||
      !device_set.listener))
    return TEXT_LISTENER;
  for (int i = 0; i < VOICE_COUNT; ++i)
    if (FAILED(device_set.buffer8s[i]->QueryInterface(IID_IDirectSound3DBuffer,
                                                      reinterpret_cast<void **>(&device_set.buffers3d[i]))) ||
        !device_set.buffers3d[i])
      return TEXT_3DBUFFER;
  for (int i = 0; i < VOICE_COUNT; ++i)
    if (FAILED(device_set.buffers3d[i]->QueryInterface(IID_IKsPropertySet,
                                                       reinterpret_cast<void **>(&device_set.propertySets[i]))) ||
        !device_set.propertySets[i])
      return TEXT_PROPERTY_SETS;
  // Some DirectSound implementations answer S_OK with no support bits for a
  // set they don't know, so the bits must say Get and Set as well.
  ULONG support = 0;
  HRESULT hr = device_set.propertySets[L1]->QuerySupport(DSPROPSETID_EAX20_ListenerProperties,
                                                         DSPROPERTY_EAXLISTENER_ALLPARAMETERS, &support);
  device_set.eaxSupport = support;
  if (FAILED(hr) || (support & property_support_get_set) != property_support_get_set) return TEXT_NO_EAX;
  return nullptr;
}

}  // namespace

uint32_t voice_buffer_size(int32_t bufferLengthMs) {
  if (bufferLengthMs < 0) bufferLengthMs = 0;
  uint32_t bytes = static_cast<uint32_t>(96000ull * static_cast<uint32_t>(bufferLengthMs) / 1000u);
  return bytes & ~31u;
}

BOOL CALLBACK eax_probe_callback(LPGUID guid, LPCSTR, LPCSTR, LPVOID) {
  // The primary sound driver comes without a GUID; it is listed again with one.
  if (!guid) return TRUE;
  deviceGuid = *guid;
  device_open(0);
  if (device_ready()) enabled_flag.fetch_add(1);
  device_close();
  return TRUE;
}

void device_open(int voices_only) {
  // A second open without a release in between must not leak what is held.
  if (voices_only)
    voices_release();
  else
    device_close();
  device_report_reset();
  device_set.stateFlags.store(0);
  device_set.voiceBufferBytes = voice_buffer_size(live_settings.bufferLengthMs);

  const char *failure = voices_only ? nullptr : open_device_objects();
  if (!failure) failure = open_voices();
  if (!failure) device_set.stateFlags.fetch_or(DEVICE_READY);

  device_set.statusText.store(failure ? failure : DEVICE_TEXT_OK);
  if (void (*refresh)(void) = device_report_refresh_hook.load()) refresh();
}

void voices_release(void) {
  device_set.stateFlags.fetch_and(~(DEVICE_READY | DEVICE_VOICES_READY));
  for (int i = VOICE_COUNT - 1; i >= 0; --i) release(device_set.propertySets[i]);
  for (int i = VOICE_COUNT - 1; i >= 0; --i) release(device_set.buffers3d[i]);
  for (int i = VOICE_COUNT - 1; i >= 0; --i) release(device_set.buffer8s[i]);
  release_voice_buffers();
}

void device_close(void) {
  voices_release();
  release(device_set.listener);
  release(device_set.primary);
  release(device_set.device);
}

bool device_ready(void) { return (device_set.stateFlags.load() & DEVICE_READY) != 0; }

bool device_voices_ready(void) { return (device_set.stateFlags.load() & DEVICE_VOICES_READY) != 0; }

HRESULT voice_get_cursors(IDirectSoundBuffer8 *buffer, DWORD *play, DWORD *write) {
  if (!buffer) return E_POINTER;
  HRESULT hr = buffer->GetCurrentPosition(play, write);
  if (SUCCEEDED(hr)) {
    device_set.rememberedPlay.store(*play);
    device_set.rememberedWrite.store(*write);
  } else {
    // Failed queries leave the cursors unset; answer with the last good ones.
    *play = device_set.rememberedPlay.load();
    *write = device_set.rememberedWrite.load();
  }
  device_set.bufferLost.store(hr == DSERR_BUFFERLOST ? 1 : 0);
  return hr;
}

void voice_set_cursor(IDirectSoundBuffer8 *buffer, DWORD position) {
  if (buffer) buffer->SetCurrentPosition(position);
}

bool voice_lock(IDirectSoundBuffer8 *buffer, DWORD offset, DWORD bytes, VoiceLock *lock) {
  *lock = VoiceLock{};
  if (!buffer) return false;
  HRESULT hr = buffer->Lock(offset, bytes, &lock->ptr1, &lock->bytes1, &lock->ptr2, &lock->bytes2, 0);
  device_set.bufferLost.store(hr == DSERR_BUFFERLOST ? 1 : 0);
  if (FAILED(hr)) {
    *lock = VoiceLock{};
    return false;
  }
  return true;
}

void voice_unlock(IDirectSoundBuffer8 *buffer, const VoiceLock *lock) {
  if (buffer) buffer->Unlock(lock->ptr1, lock->bytes1, lock->ptr2, lock->bytes2);
}

HRESULT voice_play(IDirectSoundBuffer8 *buffer) {
  if (!buffer) return E_POINTER;
  HRESULT hr = buffer->Play(0, 0, DSBPLAY_LOOPING);
  device_set.bufferLost.store(hr == DSERR_BUFFERLOST ? 1 : 0);
  return hr;
}

void voice_stop(IDirectSoundBuffer8 *buffer) {
  if (buffer) buffer->Stop();
}

void voice_set_frequency(IDirectSoundBuffer8 *buffer, DWORD hz) {
  if (buffer) buffer->SetFrequency(hz);
}

void voice_set_volume(IDirectSoundBuffer8 *buffer, LONG level) {
  if (buffer) buffer->SetVolume(level);
}

LONG voice_get_volume(IDirectSoundBuffer8 *buffer) {
  LONG level = 0;
  if (buffer && FAILED(buffer->GetVolume(&level))) level = 0;
  return level;
}

DWORD device_get_speaker_config(IDirectSound8 *device) {
  DWORD config = 0;
  if (device && FAILED(device->GetSpeakerConfig(&config))) config = 0;
  return config;
}
