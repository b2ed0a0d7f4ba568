// The software sound card's objects. One card-wide lock guards all of them;
// the mixer thread takes it for each period it renders.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <vector>

#include "card/card_api.h"
#include "card/limiter.h"
#include "card/room.h"
#include "platform/dsound.h"
#include "platform/eax2.h"
#include "platform/os.h"

// The card's output: 48 kHz, 16-bit stereo.
constexpr uint32_t CARD_RATE = 48000;
// How far the write cursor runs ahead of the play cursor.
constexpr uint32_t CARD_WRITE_LEAD_MS = 10;
// Period of the mixer thread.
constexpr uint32_t CARD_MIX_PERIOD_MS = 5;

struct CardDevice;
struct CardBuffer;
struct Reverb;

struct SampleMemory {
  uint32_t refs;
  uint32_t size;
  uint8_t *data;
};

struct Ds3dBufferState {
  D3DVECTOR position;
  D3DVECTOR velocity;
  DWORD insideAngle;
  DWORD outsideAngle;
  D3DVECTOR coneOrientation;
  LONG coneOutsideVolume;
  float minDistance;
  float maxDistance;
  DWORD mode;
};

struct Ds3dListenerState {
  D3DVECTOR position;
  D3DVECTOR velocity;
  D3DVECTOR front;
  D3DVECTOR top;
  float distanceFactor;
  float rolloffFactor;
  float dopplerFactor;
};

struct EaxListener {
  EAXLISTENERPROPERTIES current;
  EAXLISTENERPROPERTIES deferred;
  bool pending;
};

struct EaxBuffer {
  EAXBUFFERPROPERTIES current;
  EAXBUFFERPROPERTIES deferred;
  bool pending;
};

struct Card3DBuffer : public IDirectSound3DBuffer {
  CardBuffer *owner;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetAllParameters(LPDS3DBUFFER all) override;
  HRESULT STDMETHODCALLTYPE GetConeAngles(LPDWORD inside, LPDWORD outside) override;
  HRESULT STDMETHODCALLTYPE GetConeOrientation(LPD3DVECTOR v) override;
  HRESULT STDMETHODCALLTYPE GetConeOutsideVolume(LPLONG mB) override;
  HRESULT STDMETHODCALLTYPE GetMaxDistance(LPD3DVALUE d) override;
  HRESULT STDMETHODCALLTYPE GetMinDistance(LPD3DVALUE d) override;
  HRESULT STDMETHODCALLTYPE GetMode(LPDWORD mode) override;
  HRESULT STDMETHODCALLTYPE GetPosition(LPD3DVECTOR v) override;
  HRESULT STDMETHODCALLTYPE GetVelocity(LPD3DVECTOR v) override;
  HRESULT STDMETHODCALLTYPE SetAllParameters(LPCDS3DBUFFER all, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetConeAngles(DWORD inside, DWORD outside, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetConeOrientation(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetConeOutsideVolume(LONG mB, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetMaxDistance(D3DVALUE d, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetMinDistance(D3DVALUE d, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetMode(DWORD mode, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
};

struct CardListener : public IDirectSound3DListener {
  CardBuffer *owner;  // the primary buffer
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetAllParameters(LPDS3DLISTENER all) override;
  HRESULT STDMETHODCALLTYPE GetDistanceFactor(LPD3DVALUE f) override;
  HRESULT STDMETHODCALLTYPE GetDopplerFactor(LPD3DVALUE f) override;
  HRESULT STDMETHODCALLTYPE GetOrientation(LPD3DVECTOR front, LPD3DVECTOR top) override;
  HRESULT STDMETHODCALLTYPE GetPosition(LPD3DVECTOR v) override;
  HRESULT STDMETHODCALLTYPE GetRolloffFactor(LPD3DVALUE f) override;
  HRESULT STDMETHODCALLTYPE GetVelocity(LPD3DVECTOR v) override;
  HRESULT STDMETHODCALLTYPE SetAllParameters(LPCDS3DLISTENER all, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetDistanceFactor(D3DVALUE f, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetDopplerFactor(D3DVALUE f, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetOrientation(D3DVALUE xf, D3DVALUE yf, D3DVALUE zf, D3DVALUE xt, D3DVALUE yt,
                                           D3DVALUE zt, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetRolloffFactor(D3DVALUE f, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
  HRESULT STDMETHODCALLTYPE CommitDeferredSettings() override;
};

struct CardPropertySet : public IKsPropertySet {
  CardBuffer *owner;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Get(REFGUID set, ULONG id, LPVOID instance, ULONG instanceLength, LPVOID data,
                                ULONG dataLength, ULONG *returned) override;
  HRESULT STDMETHODCALLTYPE Set(REFGUID set, ULONG id, LPVOID instance, ULONG instanceLength, LPVOID data,
                                ULONG dataLength) override;
  HRESULT STDMETHODCALLTYPE QuerySupport(REFGUID set, ULONG id, ULONG *support) override;
};

// A primary or secondary buffer. IDirectSoundBuffer and IDirectSoundBuffer8
// share one vtable layout, so the same object answers both.
struct CardBuffer final : public IDirectSoundBuffer8 {
  std::atomic<uint32_t> refs;
  CardDevice *device;
  DWORD flags;
  WAVEFORMATEX format;
  SampleMemory *memory;  // null for the primary buffer
  LONG volume;
  LONG pan;
  DWORD frequency;
  bool playing;
  bool looping;
  bool lost;
  bool locked;
  bool hardware;
  uint64_t startFrame;     // play position in frames at deviceFrame0
  uint64_t deviceFrame0;   // device frame at which playing (re)started
  uint64_t stoppedFrame;   // position while stopped
  Ds3dBufferState ds3d;
  EaxBuffer eax;
  VoiceRoomState room;  // the mixer's ramps and filters for this voice
  Card3DBuffer buffer3d;
  CardListener listener;
  CardPropertySet propertySet;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS caps) override;
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD play, LPDWORD write) override;
  HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX format, DWORD allocated, LPDWORD written) override;
  HRESULT STDMETHODCALLTYPE GetVolume(LPLONG mB) override;
  HRESULT STDMETHODCALLTYPE GetPan(LPLONG pan) override;
  HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD hz) override;
  HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override;
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND ds, LPCDSBUFFERDESC desc) override;
  HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID *p1, LPDWORD n1, LPVOID *p2, LPDWORD n2,
                                 DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Play(DWORD reserved, DWORD priority, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD position) override;
  HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX format) override;
  HRESULT STDMETHODCALLTYPE SetVolume(LONG mB) override;
  HRESULT STDMETHODCALLTYPE SetPan(LONG pan) override;
  HRESULT STDMETHODCALLTYPE SetFrequency(DWORD hz) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID p1, DWORD n1, LPVOID p2, DWORD n2) override;
  HRESULT STDMETHODCALLTYPE Restore() override;
  HRESULT STDMETHODCALLTYPE SetFX(DWORD count, LPDSEFFECTDESC effects, LPDWORD results) override;
  HRESULT STDMETHODCALLTYPE AcquireResources(DWORD flags, DWORD count, LPDWORD results) override;
  HRESULT STDMETHODCALLTYPE GetObjectInPath(REFGUID object, DWORD index, REFGUID iid, LPVOID *out) override;
};

struct CardDevice final : public IDirectSound8 {
  std::atomic<uint32_t> refs;
  CardDeviceConfig config;
  DWORD cooperativeLevel;
  DWORD speakerConfig;
  uint32_t hardwareInUse;
  uint64_t createdUs;       // clock time of device frame 0
  uint64_t renderedFrames;  // device frames the mixer has rendered
  CardBuffer *primary;      // not counted: the primary buffer refers to us
  std::vector<CardBuffer *> buffers;
  Ds3dListenerState listener;
  EaxListener eax;
  OsThread *mixer;
  std::atomic<int> mixerQuit;
  Reverb *reverb;  // the room; allocated with the device, null if that failed
  bool limiting;        // card_set_limiter when the device was made
  bool limiterEngaged;  // the limiter is in the output path (room on)
  Limiter limiter;      // on the room's mix before the conversion to 16 bits

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER *out,
                                              LPUNKNOWN outer) override;
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) override;
  HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                                 LPLPDIRECTSOUNDBUFFER duplicate) override;
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hwnd, DWORD level) override;
  HRESULT STDMETHODCALLTYPE Compact() override;
  HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD config) override;
  HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD config) override;
  HRESULT STDMETHODCALLTYPE Initialize(LPCGUID guid) override;
  HRESULT STDMETHODCALLTYPE VerifyCertification(LPDWORD certified) override;
};

// card.cpp: configuration, lock, failure injection.
std::recursive_mutex &card_lock();
// Sets up the default device, failures and sink on the card's first use (or
// after card_reset); does nothing once done.
void card_configure();
// 1: the mixer renders the room (see card_set_room).
std::atomic<int> &card_room_on();
// 1: devices created from now on limit their output (see card_set_limiter).
std::atomic<int> &card_limiter_on();
// Returns the failure to inject for this call of `step`, or S_OK.
HRESULT card_injected(int step);
void card_note_buffer(CardBuffer *b, bool alive);
bool card_is_buffer(const void *p);
bool card_is_device(const void *p);
std::vector<CardDevice *> &card_devices_alive();

// buffer.cpp
CardBuffer *buffer_create(CardDevice *device, const DSBUFFERDESC *desc, HRESULT *result);
CardBuffer *buffer_duplicate(CardBuffer *original, HRESULT *result);
void buffer_destroy(CardBuffer *b);
uint64_t device_frame_now(const CardDevice *device);
// Current play position in frames (wrapped); settles a one-shot buffer that ran out.
uint64_t buffer_play_frame(CardBuffer *b, uint64_t deviceFrame);
uint32_t buffer_frames(const CardBuffer *b);

// eax.cpp
void eax_listener_init(EaxListener *l);
void eax_buffer_init(EaxBuffer *b);
HRESULT eax_listener_set(EAXLISTENERPROPERTIES *p, ULONG id, const void *data, ULONG size);
HRESULT eax_listener_get(const EAXLISTENERPROPERTIES *p, ULONG id, void *data, ULONG size, ULONG *returned);
HRESULT eax_buffer_set(EAXBUFFERPROPERTIES *p, ULONG id, const void *data, ULONG size);
HRESULT eax_buffer_get(const EAXBUFFERPROPERTIES *p, ULONG id, void *data, ULONG size, ULONG *returned);
// The Decay HF Ratio the room is rendered with: the stored one, capped by air
// absorption when the decay-HF limit flag is set.
float eax_effective_decay_hf_ratio(const EAXLISTENERPROPERTIES *p);

// mixer.cpp
void mixer_device_created(CardDevice *device);
void mixer_device_released(CardDevice *device);
void mixer_render_until(CardDevice *device, uint64_t frame);
void sink_default_from_environment(void);
