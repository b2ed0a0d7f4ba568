// The card's configuration, its devices (IDirectSound8) and the two
// DirectSound entry points.
#include <algorithm>
#include <cstring>
#include <new>

#include "card/card_private.h"
#include "platform/clock.h"

namespace {

struct Failure {
  int skip;
  int count;
  HRESULT result;
};

struct CardState {
  bool configured = false;
  std::vector<CardDeviceConfig> devices;
  Failure failures[CARD_FAIL_COUNT];
  std::vector<CardBuffer *> buffers;
  std::vector<CardDevice *> devicesAlive;
};

CardState &state() {
  static CardState s;
  return s;
}

const HRESULT usual_failure[CARD_FAIL_COUNT] = {
    DSERR_NODRIVER,          // create
    DSERR_PRIOLEVELNEEDED,   // cooperative level
    DSERR_GENERIC,           // primary buffer
    DSERR_BADFORMAT,         // set format
    DSERR_GENERIC,           // primary play
    DSERR_INVALIDCALL,       // hardware buffer
    DSERR_OUTOFMEMORY,       // secondary buffer
    DSERR_OUTOFMEMORY,       // duplicate
    E_NOINTERFACE,           // QI buffer8
    E_NOINTERFACE,           // QI listener
    E_NOINTERFACE,           // QI 3D buffer
    E_NOINTERFACE,           // QI property set
    E_PROP_ID_UNSUPPORTED,   // EAX query
    DSERR_INVALIDCALL,       // lock
};

// A fixed identifier for the card's first device.
const GUID default_device_guid = {0x5C0A0D1E, 0x2B7E, 0x4C19, {0x9A, 0x31, 0x53, 0x4F, 0x4E, 0x4F, 0x52, 0x31}};

void ensure_configured() {
  CardState &s = state();
  if (s.configured) return;
  s.configured = true;
  CardDeviceConfig c;
  card_default_device_config(&c);
  s.devices.assign(1, c);
  for (auto &f : s.failures) f = Failure{0, 0, S_OK};
  card_room_on() = 1;
  card_limiter_on() = 1;
  sink_default_from_environment();
}

const CardDeviceConfig *find_device(const GUID *guid) {
  CardState &s = state();
  if (s.devices.empty()) return nullptr;
  if (!guid || *guid == GUID_NULL || *guid == DSDEVID_DefaultPlayback) return &s.devices[0];
  for (auto &d : s.devices)
    if (d.guid == *guid) return &d;
  return nullptr;
}

}  // namespace

void card_configure() {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
}

std::atomic<int> &card_room_on() {
  static std::atomic<int> on{1};
  return on;
}

std::atomic<int> &card_limiter_on() {
  static std::atomic<int> on{1};
  return on;
}

std::recursive_mutex &card_lock() {
  static std::recursive_mutex m;
  return m;
}

HRESULT card_injected(int step) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  Failure &f = state().failures[step];
  if (f.count == 0) return S_OK;
  if (f.skip > 0) {
    --f.skip;
    return S_OK;
  }
  if (f.count > 0) --f.count;
  return f.result ? f.result : usual_failure[step];
}

void card_note_buffer(CardBuffer *b, bool alive) {
  auto &v = state().buffers;
  if (alive)
    v.push_back(b);
  else
    v.erase(std::remove(v.begin(), v.end(), b), v.end());
}

bool card_is_buffer(const void *p) {
  auto &v = state().buffers;
  return std::find(v.begin(), v.end(), p) != v.end();
}

std::vector<CardDevice *> &card_devices_alive() { return state().devicesAlive; }

bool card_is_device(const void *p) {
  auto &v = state().devicesAlive;
  return std::find(v.begin(), v.end(), p) != v.end();
}

// --- The C API -----------------------------------------------------------------

CARD_API void card_default_device_config(CardDeviceConfig *out) {
  std::memset(out, 0, sizeof *out);
  std::strcpy(out->description, "Sonorium Software Sound Card");
  std::strcpy(out->module, "sonorium_card");
  out->guid = default_device_guid;
  out->eax = 1;
  out->hardwareVoices = 32;
  DSCAPS &c = out->caps;
  c.dwSize = sizeof(DSCAPS);
  c.dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
              DSCAPS_CONTINUOUSRATE | DSCAPS_CERTIFIED | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO |
              DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
  c.dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
  c.dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
  c.dwPrimaryBuffers = 1;
  c.dwMaxHwMixingAllBuffers = c.dwMaxHwMixingStaticBuffers = c.dwMaxHwMixingStreamingBuffers = 32;
  c.dwMaxHw3DAllBuffers = c.dwMaxHw3DStaticBuffers = c.dwMaxHw3DStreamingBuffers = 32;
  c.dwTotalHwMemBytes = c.dwFreeHwMemBytes = c.dwMaxContigFreeHwMemBytes = 64u << 20;
  out->speakerConfig = DSSPEAKER_COMBINED(DSSPEAKER_STEREO, DSSPEAKER_GEOMETRY_WIDE);
}

CARD_API void card_reset(void) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  CardState &s = state();
  s.configured = false;
  ensure_configured();
}

CARD_API void card_set_room(int on) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  card_room_on() = on ? 1 : 0;
}

CARD_API void card_set_limiter(int on) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  card_limiter_on() = on ? 1 : 0;
}

CARD_API void card_clear_devices(void) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  state().devices.clear();
}

CARD_API int card_add_device(const CardDeviceConfig *config) {
  if (!config) return -1;
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  state().devices.push_back(*config);
  return int(state().devices.size()) - 1;
}

CARD_API int card_device_count(void) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  return int(state().devices.size());
}

CARD_API void card_fail(int step, int skip, int count, HRESULT result) {
  if (step < 0 || step >= CARD_FAIL_COUNT) return;
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  state().failures[step] = Failure{skip < 0 ? 0 : skip, count, result};
}

CARD_API void card_fail_clear(void) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  for (auto &f : state().failures) f = Failure{0, 0, S_OK};
}

CARD_API int card_lose_buffer(IDirectSoundBuffer *buffer) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!card_is_buffer(buffer)) return -1;
  CardBuffer *b = reinterpret_cast<CardBuffer *>(buffer);
  if (b->playing) b->Stop();
  b->lost = true;
  return 0;
}

CARD_API void card_lose_all_buffers(void) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  for (CardBuffer *b : state().buffers)
    if (b->memory) card_lose_buffer(reinterpret_cast<IDirectSoundBuffer *>(b));
}

CARD_API int card_set_simulated_time(int on) { return clock_set_simulated(on); }

CARD_API int card_live_devices(void) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  return int(state().devicesAlive.size());
}

CARD_API int card_live_buffers(void) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  return int(state().buffers.size());
}

CARD_API LONG card_buffer_volume(IDirectSoundBuffer *buffer) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!card_is_buffer(buffer)) return 0;
  return reinterpret_cast<CardBuffer *>(buffer)->volume;
}

CARD_API int card_buffer_position(IDirectSoundBuffer *buffer, D3DVECTOR *out) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!card_is_buffer(buffer) || !out) return -1;
  *out = reinterpret_cast<CardBuffer *>(buffer)->ds3d.position;
  return 0;
}

CARD_API int card_ds3d_state(D3DVECTOR listener[3], CardVoice3D *voices, int max) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  auto &devices = card_devices_alive();
  if (devices.empty()) return -1;
  const CardDevice *d = devices.back();
  if (listener) {
    listener[0] = d->listener.position;
    listener[1] = d->listener.front;
    listener[2] = d->listener.top;
  }
  int n = 0;
  for (const CardBuffer *b : d->buffers) {
    if (!(b->flags & DSBCAPS_CTRL3D)) continue;
    if (voices && n < max)
      voices[n] = CardVoice3D{b->ds3d.position, b->ds3d.coneOrientation, b->ds3d.insideAngle, b->ds3d.outsideAngle};
    ++n;
  }
  return n;
}

CARD_API int card_buffer_is_playing(IDirectSoundBuffer *buffer) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!card_is_buffer(buffer)) return 0;
  CardBuffer *b = reinterpret_cast<CardBuffer *>(buffer);
  if (b->memory) buffer_play_frame(b, device_frame_now(b->device));
  return b->playing ? 1 : 0;
}

CARD_API DWORD card_buffer_flags(IDirectSoundBuffer *buffer) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!card_is_buffer(buffer)) return 0;
  return reinterpret_cast<CardBuffer *>(buffer)->flags;
}

CARD_API int card_cooperative_level(IDirectSound8 *device) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!card_is_device(device)) return -1;
  return int(static_cast<CardDevice *>(device)->cooperativeLevel);
}

CARD_API float card_effective_decay_hf_ratio(IDirectSound8 *device) {
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!card_is_device(device)) return 0.0f;
  return eax_effective_decay_hf_ratio(&static_cast<CardDevice *>(device)->eax.current);
}

// --- Entry points ----------------------------------------------------------------

extern "C" HRESULT WINAPI DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context) {
  if (!callback) return DSERR_INVALIDPARAM;
  std::vector<CardDeviceConfig> devices;
  {
    std::lock_guard<std::recursive_mutex> lock(card_lock());
    ensure_configured();
    devices = state().devices;
  }
  if (devices.empty()) return DS_OK;
  // The primary sound driver comes first, without a GUID.
  if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
  for (auto &d : devices) {
    GUID g = d.guid;
    if (!callback(&g, d.description, d.module, context)) break;
  }
  return DS_OK;
}

extern "C" HRESULT WINAPI DirectSoundCreate8(LPCGUID guid, LPDIRECTSOUND8 *out, LPUNKNOWN outer) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (outer) return DSERR_NOAGGREGATION;
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  ensure_configured();
  HRESULT hr = card_injected(CARD_FAIL_CREATE);
  if (FAILED(hr)) return hr;
  const CardDeviceConfig *config = find_device(guid);
  if (!config) return DSERR_NODRIVER;
  CardDevice *d = new (std::nothrow) CardDevice();
  if (!d) return DSERR_OUTOFMEMORY;
  d->refs = 1;
  d->config = *config;
  d->speakerConfig = config->speakerConfig;
  d->createdUs = clock_now_us();
  d->listener = Ds3dListenerState{{0, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f, 1.0f, 1.0f};
  eax_listener_init(&d->eax);
  d->mixerQuit = 0;
  state().devicesAlive.push_back(d);
  mixer_device_created(d);
  *out = d;
  return DS_OK;
}

// --- IDirectSound8 -----------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CardDevice::QueryInterface(REFIID riid, void **out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDirectSound8 || riid == IID_IDirectSound) {
    AddRef();
    *out = this;
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CardDevice::AddRef() { return ++refs; }

ULONG STDMETHODCALLTYPE CardDevice::Release() {
  uint32_t left = --refs;
  if (left) return left;
  mixer_device_released(this);
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  auto &v = state().devicesAlive;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  delete this;
  return 0;
}

HRESULT STDMETHODCALLTYPE CardDevice::CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER *out,
                                                        LPUNKNOWN outer) {
  if (!out || !desc) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (outer) return DSERR_NOAGGREGATION;
  // The short form is 20 bytes on 32-bit Windows; its natively built
  // callers may pass that figure too.
  if (desc->dwSize < 20) return DSERR_INVALIDPARAM;
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!cooperativeLevel) return DSERR_PRIOLEVELNEEDED;
  HRESULT hr = S_OK;
  CardBuffer *b = buffer_create(this, desc, &hr);
  if (!b) return hr;
  *out = reinterpret_cast<IDirectSoundBuffer *>(static_cast<IDirectSoundBuffer8 *>(b));
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardDevice::GetCaps(LPDSCAPS caps) {
  if (!caps || caps->dwSize < sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  *caps = config.caps;
  caps->dwSize = sizeof(DSCAPS);
  DWORD total = DWORD(config.hardwareVoices > 0 ? config.hardwareVoices : 0);
  DWORD free = total > hardwareInUse ? total - hardwareInUse : 0;
  caps->dwFreeHw3DAllBuffers = caps->dwFreeHw3DStaticBuffers = caps->dwFreeHw3DStreamingBuffers = free;
  caps->dwFreeHwMixingAllBuffers = caps->dwFreeHwMixingStaticBuffers = caps->dwFreeHwMixingStreamingBuffers = free;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardDevice::DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                                           LPLPDIRECTSOUNDBUFFER duplicate) {
  if (!duplicate) return DSERR_INVALIDPARAM;
  *duplicate = nullptr;
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  if (!card_is_buffer(original)) return DSERR_INVALIDPARAM;
  CardBuffer *o = reinterpret_cast<CardBuffer *>(original);
  if (!o->memory || o->device != this) return DSERR_INVALIDCALL;
  HRESULT hr = card_injected(CARD_FAIL_DUPLICATE);
  if (FAILED(hr)) return hr;
  CardBuffer *b = buffer_duplicate(o, &hr);
  if (!b) return hr;
  *duplicate = reinterpret_cast<IDirectSoundBuffer *>(static_cast<IDirectSoundBuffer8 *>(b));
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardDevice::SetCooperativeLevel(HWND, DWORD level) {
  if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
  HRESULT hr = card_injected(CARD_FAIL_COOPERATIVE_LEVEL);
  if (FAILED(hr)) return hr;
  std::lock_guard<std::recursive_mutex> lock(card_lock());
  cooperativeLevel = level;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardDevice::Compact() { return cooperativeLevel ? DS_OK : DSERR_PRIOLEVELNEEDED; }

HRESULT STDMETHODCALLTYPE CardDevice::GetSpeakerConfig(LPDWORD config_) {
  if (!config_) return DSERR_INVALIDPARAM;
  *config_ = speakerConfig;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardDevice::SetSpeakerConfig(DWORD config_) {
  speakerConfig = config_;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardDevice::Initialize(LPCGUID) { return DSERR_ALREADYINITIALIZED; }

HRESULT STDMETHODCALLTYPE CardDevice::VerifyCertification(LPDWORD certified) {
  if (!certified) return DSERR_INVALIDPARAM;
  *certified = (config.caps.dwFlags & DSCAPS_CERTIFIED) ? DS_CERTIFIED : DS_UNCERTIFIED;
  return DS_OK;
}
