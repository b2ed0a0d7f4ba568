// Sound buffers: ring memory, cursors moving with the clock, Lock/Unlock,
// duplicates sharing sample memory.
#include <cstdlib>
#include <cstring>
#include <new>

#include "card/card_private.h"
#include "platform/clock.h"

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

const Ds3dBufferState ds3d_defaults = {{0, 0, 0},          {0, 0, 0},
                                       DS3D_DEFAULTCONEANGLE, DS3D_DEFAULTCONEANGLE,
                                       {0, 0, 1},          DS3D_DEFAULTCONEOUTSIDEVOLUME,
                                       DS3D_DEFAULTMINDISTANCE, DS3D_DEFAULTMAXDISTANCE,
                                       DS3DMODE_NORMAL};

bool valid_pcm(const WAVEFORMATEX *f) {
  if (!f || f->wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f->nChannels < 1 || f->nChannels > 2) return false;
  if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) return false;
  if (f->nSamplesPerSec < DSBFREQUENCY_MIN || f->nSamplesPerSec > DSBFREQUENCY_MAX) return false;
  return f->nBlockAlign == f->nChannels * f->wBitsPerSample / 8;
}

CardBuffer *buffer_new(CardDevice *device) {
  CardBuffer *b = new (std::nothrow) CardBuffer();
  if (!b) return nullptr;
  b->refs = 1;
  b->device = device;
  device->AddRef();
  b->volume = DSBVOLUME_MAX;
  b->ds3d = ds3d_defaults;
  eax_buffer_init(&b->eax);
  b->buffer3d.owner = b;
  b->listener.owner = b;
  b->propertySet.owner = b;
  card_note_buffer(b, true);
  device->buffers.push_back(b);
  return b;
}

void buffer_settle(CardBuffer *b, uint64_t deviceFrame) {
  b->stoppedFrame = buffer_play_frame(b, deviceFrame);
}

// The mixer runs a period behind the clock; what is due is mixed before a
// buffer's memory or position changes, so a write just behind the play
// cursor or a repositioning never reaches back into time already past.
void mix_due(CardBuffer *b) {
  if (b->memory && b->device) mixer_render_until(b->device, device_frame_now(b->device));
}

}  // namespace

uint64_t device_frame_now(const CardDevice *device) {
  uint64_t us = clock_now_us() - device->createdUs;
  return us * CARD_RATE / 1000000;
}

uint32_t buffer_frames(const CardBuffer *b) {
  return b->memory ? b->memory->size / b->format.nBlockAlign : 0;
}

uint64_t buffer_play_frame(CardBuffer *b, uint64_t deviceFrame) {
  uint32_t frames = buffer_frames(b);
  if (!frames) return 0;
  if (!b->playing) return b->stoppedFrame;
  uint64_t elapsed = deviceFrame > b->deviceFrame0 ? deviceFrame - b->deviceFrame0 : 0;
  uint64_t pos = b->startFrame + elapsed * b->frequency / CARD_RATE;
  if (!b->looping && pos >= frames) {
    // A one-shot buffer stops at its end.
    b->playing = false;
    b->stoppedFrame = 0;
    return 0;
  }
  return pos % frames;
}

CardBuffer *buffer_create(CardDevice *device, const DSBUFFERDESC *desc, HRESULT *result) {
  DWORD flags = desc->dwFlags;
  if (flags & DSBCAPS_PRIMARYBUFFER) {
    *result = card_injected(CARD_FAIL_PRIMARY_BUFFER);
    if (FAILED(*result)) return nullptr;
    if (desc->dwBufferBytes || desc->lpwfxFormat) {
      *result = DSERR_INVALIDPARAM;
      return nullptr;
    }
    if (device->primary) {
      device->primary->AddRef();
      *result = DS_OK;
      return device->primary;
    }
    CardBuffer *b = buffer_new(device);
    if (!b) {
      *result = DSERR_OUTOFMEMORY;
      return nullptr;
    }
    b->flags = flags;
    b->format = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
    b->frequency = 22050;
    device->primary = b;
    return b;
  }
  *result = card_injected(CARD_FAIL_SECONDARY_BUFFER);
  if (FAILED(*result)) return nullptr;
  if (flags & DSBCAPS_LOCHARDWARE) {
    *result = card_injected(CARD_FAIL_HARDWARE_BUFFER);
    if (FAILED(*result)) return nullptr;
  }
  const WAVEFORMATEX *f = desc->lpwfxFormat;
  if (!valid_pcm(f) || desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX ||
      ((flags & DSBCAPS_LOCHARDWARE) && (flags & DSBCAPS_LOCSOFTWARE)) ||
      ((flags & DSBCAPS_CTRL3D) && ((flags & DSBCAPS_CTRLPAN) || f->nChannels != 1))) {
    *result = DSERR_INVALIDPARAM;
    return nullptr;
  }
  bool hardware = (flags & DSBCAPS_LOCHARDWARE) != 0;
  if (hardware && device->hardwareInUse >= uint32_t(device->config.hardwareVoices > 0 ? device->config.hardwareVoices : 0)) {
    *result = device->config.hardwareVoices > 0 ? DSERR_ALLOCATED : DSERR_INVALIDCALL;
    return nullptr;
  }
  SampleMemory *m = new (std::nothrow) SampleMemory{1, 0, nullptr};
  uint32_t size = desc->dwBufferBytes - desc->dwBufferBytes % f->nBlockAlign;
  if (m) m->data = static_cast<uint8_t *>(std::calloc(size, 1));
  if (!m || !m->data) {
    delete m;
    *result = DSERR_OUTOFMEMORY;
    return nullptr;
  }
  m->size = size;
  if (f->wBitsPerSample == 8) std::memset(m->data, 0x80, size);
  CardBuffer *b = buffer_new(device);
  if (!b) {
    std::free(m->data);
    delete m;
    *result = DSERR_OUTOFMEMORY;
    return nullptr;
  }
  b->flags = flags;
  b->format = *f;
  b->format.cbSize = 0;
  b->memory = m;
  b->frequency = f->nSamplesPerSec;
  b->hardware = hardware;
  if (hardware) device->hardwareInUse++;
  *result = DS_OK;
  return b;
}

CardBuffer *buffer_duplicate(CardBuffer *o, HRESULT *result) {
  CardDevice *device = o->device;
  if (o->hardware) {
    *result = card_injected(CARD_FAIL_HARDWARE_BUFFER);
    if (FAILED(*result)) return nullptr;
    if (device->hardwareInUse >= uint32_t(device->config.hardwareVoices)) {
      *result = DSERR_ALLOCATED;
      return nullptr;
    }
  }
  CardBuffer *b = buffer_new(device);
  if (!b) {
    *result = DSERR_OUTOFMEMORY;
    return nullptr;
  }
  // Shares the memory and starts from the original's settings except its
  // volume; play state, cursors and EAX settings are its own.
  b->flags = o->flags;
  b->format = o->format;
  b->memory = o->memory;
  b->memory->refs++;
  b->pan = o->pan;
  b->frequency = o->frequency;
  b->ds3d = o->ds3d;
  b->hardware = o->hardware;
  if (b->hardware) device->hardwareInUse++;
  *result = DS_OK;
  return b;
}

// --- IUnknown ------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CardBuffer::QueryInterface(REFIID riid, void **out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDirectSoundBuffer) {
    AddRef();
    *out = static_cast<IDirectSoundBuffer8 *>(this);
    return S_OK;
  }
  if (riid == IID_IDirectSoundBuffer8) {
    HRESULT hr = card_injected(CARD_FAIL_QI_BUFFER8);
    if (FAILED(hr)) return hr;
    if (!memory) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IDirectSoundBuffer8 *>(this);
    return S_OK;
  }
  if (riid == IID_IDirectSound3DListener) {
    HRESULT hr = card_injected(CARD_FAIL_QI_LISTENER);
    if (FAILED(hr)) return hr;
    if (memory || !(flags & DSBCAPS_CTRL3D)) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IDirectSound3DListener *>(&listener);
    return S_OK;
  }
  if (riid == IID_IDirectSound3DBuffer) {
    HRESULT hr = card_injected(CARD_FAIL_QI_3DBUFFER);
    if (FAILED(hr)) return hr;
    if (!memory || !(flags & DSBCAPS_CTRL3D)) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IDirectSound3DBuffer *>(&buffer3d);
    return S_OK;
  }
  if (riid == IID_IKsPropertySet) {
    HRESULT hr = card_injected(CARD_FAIL_QI_PROPERTYSET);
    if (FAILED(hr)) return hr;
    if (!memory || !(flags & DSBCAPS_CTRL3D)) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IKsPropertySet *>(&propertySet);
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CardBuffer::AddRef() { return ++refs; }

ULONG STDMETHODCALLTYPE CardBuffer::Release() {
  CardDevice *d = device;
  {
    Guard lock(card_lock());
    uint32_t left = --refs;
    if (left) return left;
    buffer_destroy(this);
  }
  // Outside the lock: the device's last release joins its mixer thread.
  d->Release();
  return 0;
}

void buffer_destroy(CardBuffer *b) {
  CardDevice *d = b->device;
  auto &v = d->buffers;
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] == b) {
      v.erase(v.begin() + long(i));
      break;
    }
  if (d->primary == b) d->primary = nullptr;
  if (b->hardware && d->hardwareInUse) d->hardwareInUse--;
  if (b->memory && --b->memory->refs == 0) {
    std::free(b->memory->data);
    delete b->memory;
  }
  card_note_buffer(b, false);
  delete b;
}

// --- IDirectSoundBuffer ----------------------------------------------------------

HRESULT STDMETHODCALLTYPE CardBuffer::GetCaps(LPDSBCAPS caps) {
  if (!caps || caps->dwSize < sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
  caps->dwFlags = (flags & ~DWORD(DSBCAPS_LOCDEFER)) | (memory ? (hardware ? DSBCAPS_LOCHARDWARE : DSBCAPS_LOCSOFTWARE) : 0);
  caps->dwBufferBytes = memory ? memory->size : CARD_RATE / 10 * 4;
  caps->dwUnlockTransferRate = 0;
  caps->dwPlayCpuOverhead = 0;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::GetCurrentPosition(LPDWORD play, LPDWORD write) {
  Guard lock(card_lock());
  if (lost) {
    if (play) *play = 0;
    if (write) *write = 0;
    return DSERR_BUFFERLOST;
  }
  uint32_t frames = buffer_frames(this);
  if (!frames) {
    // The primary buffer: a ring of 100 ms of the device's output.
    uint32_t ring = CARD_RATE / 10;
    uint32_t p = uint32_t(device_frame_now(device) % ring);
    if (play) *play = p * 4;
    if (write) *write = ((p + CARD_RATE * CARD_WRITE_LEAD_MS / 1000) % ring) * 4;
    return DS_OK;
  }
  uint64_t pos = buffer_play_frame(this, device_frame_now(device));
  uint64_t lead = playing ? uint64_t(frequency) * CARD_WRITE_LEAD_MS / 1000 : 0;
  if (play) *play = DWORD(pos * format.nBlockAlign);
  if (write) *write = DWORD(((pos + lead) % frames) * format.nBlockAlign);
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::GetFormat(LPWAVEFORMATEX out, DWORD allocated, LPDWORD written) {
  if (!out && !written) return DSERR_INVALIDPARAM;
  if (out) {
    if (allocated < sizeof(WAVEFORMATEX)) return DSERR_INVALIDPARAM;
    *out = format;
  }
  if (written) *written = sizeof(WAVEFORMATEX);
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::GetVolume(LPLONG mB) {
  if (!mB) return DSERR_INVALIDPARAM;
  if (!(flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
  *mB = volume;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::GetPan(LPLONG p) {
  if (!p) return DSERR_INVALIDPARAM;
  if (!(flags & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
  *p = pan;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::GetFrequency(LPDWORD hz) {
  if (!hz) return DSERR_INVALIDPARAM;
  if (!(flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
  *hz = frequency;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::GetStatus(LPDWORD status) {
  if (!status) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  if (memory) buffer_play_frame(this, device_frame_now(device));
  DWORD s = 0;
  if (lost) s |= DSBSTATUS_BUFFERLOST;
  if (playing) s |= DSBSTATUS_PLAYING | (looping ? DSBSTATUS_LOOPING : 0);
  if (memory) s |= hardware ? DSBSTATUS_LOCHARDWARE : DSBSTATUS_LOCSOFTWARE;
  *status = s;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) {
  return DSERR_ALREADYINITIALIZED;
}

HRESULT STDMETHODCALLTYPE CardBuffer::Lock(DWORD offset, DWORD bytes, LPVOID *p1, LPDWORD n1, LPVOID *p2,
                                           LPDWORD n2, DWORD lockFlags) {
  if (p1) *p1 = nullptr;
  if (n1) *n1 = 0;
  if (p2) *p2 = nullptr;
  if (n2) *n2 = 0;
  if (!p1 || !n1) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  if (!memory) return DSERR_PRIOLEVELNEEDED;
  if (lost) return DSERR_BUFFERLOST;
  HRESULT hr = card_injected(CARD_FAIL_LOCK);
  if (FAILED(hr)) return hr;
  mix_due(this);
  uint32_t size = memory->size;
  if (lockFlags & DSBLOCK_FROMWRITECURSOR) {
    DWORD play = 0;
    GetCurrentPosition(&play, &offset);
  }
  if (lockFlags & DSBLOCK_ENTIREBUFFER) bytes = size;
  if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
  if (locked) return DSERR_INVALIDPARAM;
  locked = true;
  if (offset + bytes <= size || !p2) {
    *p1 = memory->data + offset;
    *n1 = offset + bytes <= size ? bytes : size - offset;
  } else {
    *p1 = memory->data + offset;
    *n1 = size - offset;
    *p2 = memory->data;
    if (n2) *n2 = bytes - *n1;
  }
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::Play(DWORD reserved, DWORD priority, DWORD playFlags) {
  if (reserved) return DSERR_INVALIDPARAM;
  if (priority && !(flags & DSBCAPS_LOCDEFER)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  if (!memory) {
    if (!(playFlags & DSBPLAY_LOOPING)) return DSERR_INVALIDPARAM;
    HRESULT hr = card_injected(CARD_FAIL_PRIMARY_PLAY);
    if (FAILED(hr)) return hr;
    playing = true;
    looping = true;
    return DS_OK;
  }
  if (lost) return DSERR_BUFFERLOST;
  mix_due(this);
  uint64_t now = device_frame_now(device);
  uint64_t pos = buffer_play_frame(this, now);
  startFrame = pos;
  deviceFrame0 = now;
  playing = true;
  looping = (playFlags & DSBPLAY_LOOPING) != 0;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::SetCurrentPosition(DWORD position) {
  Guard lock(card_lock());
  if (!memory) return DSERR_INVALIDCALL;
  if (position >= memory->size) return DSERR_INVALIDPARAM;
  mix_due(this);
  uint64_t frame = position / format.nBlockAlign;
  stoppedFrame = frame;
  startFrame = frame;
  deviceFrame0 = device_frame_now(device);
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::SetFormat(LPCWAVEFORMATEX f) {
  Guard lock(card_lock());
  if (memory) return DSERR_INVALIDCALL;
  HRESULT hr = card_injected(CARD_FAIL_SET_FORMAT);
  if (FAILED(hr)) return hr;
  if (!valid_pcm(f) || f->nAvgBytesPerSec != f->nSamplesPerSec * f->nBlockAlign) return DSERR_BADFORMAT;
  if (device->cooperativeLevel < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
  format = *f;
  format.cbSize = 0;
  frequency = f->nSamplesPerSec;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::SetVolume(LONG mB) {
  if (!(flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
  if (mB < DSBVOLUME_MIN || mB > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  volume = mB;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::SetPan(LONG p) {
  if (!(flags & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
  if (p < DSBPAN_LEFT || p > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  pan = p;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::SetFrequency(DWORD hz) {
  if (!(flags & DSBCAPS_CTRLFREQUENCY) || !memory) return DSERR_CONTROLUNAVAIL;
  if (hz != DSBFREQUENCY_ORIGINAL && (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  mix_due(this);
  uint64_t now = device_frame_now(device);
  // Rebase so the cursor continues from where it is at the new rate.
  uint64_t pos = buffer_play_frame(this, now);
  startFrame = pos;
  deviceFrame0 = now;
  frequency = hz ? hz : format.nSamplesPerSec;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::Stop() {
  Guard lock(card_lock());
  if (memory && playing) {
    uint64_t now = device_frame_now(device);
    mixer_render_until(device, now);
    buffer_settle(this, now);
  }
  playing = false;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::Unlock(LPVOID p1, DWORD n1, LPVOID p2, DWORD n2) {
  Guard lock(card_lock());
  if (!memory || !locked) return DSERR_INVALIDCALL;
  uint8_t *base = memory->data;
  uint8_t *end = base + memory->size;
  auto inside = [&](LPVOID p, DWORD n) {
    uint8_t *q = static_cast<uint8_t *>(p);
    return !p || (q >= base && q + n <= end);
  };
  if (!p1 || !inside(p1, n1) || !inside(p2, n2)) return DSERR_INVALIDPARAM;
  locked = false;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::Restore() {
  Guard lock(card_lock());
  lost = false;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardBuffer::SetFX(DWORD, LPDSEFFECTDESC, LPDWORD) { return DSERR_CONTROLUNAVAIL; }

HRESULT STDMETHODCALLTYPE CardBuffer::AcquireResources(DWORD, DWORD, LPDWORD) { return DS_OK; }

HRESULT STDMETHODCALLTYPE CardBuffer::GetObjectInPath(REFGUID, DWORD, REFGUID, LPVOID *out) {
  if (out) *out = nullptr;
  return DSERR_OBJECTNOTFOUND;
}
