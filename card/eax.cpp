// EAX 2.0: the listener (room) of a device and the per-buffer properties,
// reached through IKsPropertySet on any 3D buffer.
#include <cmath>
#include <cstring>

#include "card/card_private.h"

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr ULONG DEFERRED = 0x80000000u;
constexpr float SPEED_OF_SOUND = 343.3f;

bool in(LONG v, LONG lo, LONG hi) { return v >= lo && v <= hi; }
bool in(float v, float lo, float hi) { return v >= lo && v <= hi; }

bool listener_valid(const EAXLISTENERPROPERTIES &p) {
  return in(p.lRoom, EAXLISTENER_MINROOM, EAXLISTENER_MAXROOM) &&
         in(p.lRoomHF, EAXLISTENER_MINROOMHF, EAXLISTENER_MAXROOMHF) &&
         in(p.flRoomRolloffFactor, EAXLISTENER_MINROOMROLLOFFFACTOR, EAXLISTENER_MAXROOMROLLOFFFACTOR) &&
         in(p.flDecayTime, EAXLISTENER_MINDECAYTIME, EAXLISTENER_MAXDECAYTIME) &&
         in(p.flDecayHFRatio, EAXLISTENER_MINDECAYHFRATIO, EAXLISTENER_MAXDECAYHFRATIO) &&
         in(p.lReflections, EAXLISTENER_MINREFLECTIONS, EAXLISTENER_MAXREFLECTIONS) &&
         in(p.flReflectionsDelay, EAXLISTENER_MINREFLECTIONSDELAY, EAXLISTENER_MAXREFLECTIONSDELAY) &&
         in(p.lReverb, EAXLISTENER_MINREVERB, EAXLISTENER_MAXREVERB) &&
         in(p.flReverbDelay, EAXLISTENER_MINREVERBDELAY, EAXLISTENER_MAXREVERBDELAY) &&
         p.dwEnvironment <= EAXLISTENER_MAXENVIRONMENT &&
         in(p.flEnvironmentSize, EAXLISTENER_MINENVIRONMENTSIZE, EAXLISTENER_MAXENVIRONMENTSIZE) &&
         in(p.flEnvironmentDiffusion, EAXLISTENER_MINENVIRONMENTDIFFUSION, EAXLISTENER_MAXENVIRONMENTDIFFUSION) &&
         in(p.flAirAbsorptionHF, EAXLISTENER_MINAIRABSORPTIONHF, EAXLISTENER_MAXAIRABSORPTIONHF) &&
         !(p.dwFlags & EAXLISTENERFLAGS_RESERVED);
}

bool buffer_valid(const EAXBUFFERPROPERTIES &p) {
  return in(p.lDirect, EAXBUFFER_MINDIRECT, EAXBUFFER_MAXDIRECT) &&
         in(p.lDirectHF, EAXBUFFER_MINDIRECTHF, EAXBUFFER_MAXDIRECTHF) &&
         in(p.lRoom, EAXBUFFER_MINROOM, EAXBUFFER_MAXROOM) &&
         in(p.lRoomHF, EAXBUFFER_MINROOMHF, EAXBUFFER_MAXROOMHF) &&
         in(p.flRoomRolloffFactor, EAXBUFFER_MINROOMROLLOFFFACTOR, EAXBUFFER_MAXROOMROLLOFFFACTOR) &&
         in(p.lObstruction, EAXBUFFER_MINOBSTRUCTION, EAXBUFFER_MAXOBSTRUCTION) &&
         in(p.flObstructionLFRatio, EAXBUFFER_MINOBSTRUCTIONLFRATIO, EAXBUFFER_MAXOBSTRUCTIONLFRATIO) &&
         in(p.lOcclusion, EAXBUFFER_MINOCCLUSION, EAXBUFFER_MAXOCCLUSION) &&
         in(p.flOcclusionLFRatio, EAXBUFFER_MINOCCLUSIONLFRATIO, EAXBUFFER_MAXOCCLUSIONLFRATIO) &&
         in(p.flOcclusionRoomRatio, EAXBUFFER_MINOCCLUSIONROOMRATIO, EAXBUFFER_MAXOCCLUSIONROOMRATIO) &&
         in(p.lOutsideVolumeHF, EAXBUFFER_MINOUTSIDEVOLUMEHF, EAXBUFFER_MAXOUTSIDEVOLUMEHF) &&
         in(p.flAirAbsorptionFactor, EAXBUFFER_MINAIRABSORPTIONFACTOR, EAXBUFFER_MAXAIRABSORPTIONFACTOR) &&
         !(p.dwFlags & EAXBUFFERFLAGS_RESERVED);
}

// Byte offset of a single-valued property in its structure, -1 for none.
int listener_offset(ULONG id) {
  static const int offsets[16] = {-1, -1, 0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52};
  return id < 16 ? offsets[id] : -1;
}

int buffer_offset(ULONG id) { return id >= 2 && id <= 14 ? int(id - 2) * 4 : -1; }

LONG clamp_l(double v, LONG lo, LONG hi) { return v < lo ? lo : v > hi ? hi : LONG(v); }
float clamp_f(double v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : float(v); }

// Environment Size scales times in proportion and levels by 6 dB per
// doubling (9 dB for the reverb when the decay time stays), each relative
// to the current values; mB changes are truncated toward zero.
void rescale(EAXLISTENERPROPERTIES &p, float size) {
  if (size == p.flEnvironmentSize) return;
  double k = double(size) / double(p.flEnvironmentSize);
  double lg = std::log10(k);
  DWORD f = p.dwFlags;
  p.flEnvironmentSize = size;
  if (f & EAXLISTENERFLAGS_DECAYTIMESCALE)
    p.flDecayTime = clamp_f(p.flDecayTime * k, EAXLISTENER_MINDECAYTIME, EAXLISTENER_MAXDECAYTIME);
  if (f & EAXLISTENERFLAGS_REFLECTIONSSCALE)
    p.lReflections = clamp_l(double(p.lReflections) - double(LONG(2000.0 * lg)), EAXLISTENER_MINREFLECTIONS,
                             EAXLISTENER_MAXREFLECTIONS);
  if (f & EAXLISTENERFLAGS_REFLECTIONSDELAYSCALE)
    p.flReflectionsDelay =
        clamp_f(p.flReflectionsDelay * k, EAXLISTENER_MINREFLECTIONSDELAY, EAXLISTENER_MAXREFLECTIONSDELAY);
  if (f & EAXLISTENERFLAGS_REVERBSCALE) {
    double c = (f & EAXLISTENERFLAGS_DECAYTIMESCALE) ? 2000.0 : 3000.0;
    p.lReverb = clamp_l(double(p.lReverb) - double(LONG(c * lg)), EAXLISTENER_MINREVERB, EAXLISTENER_MAXREVERB);
  }
  if (f & EAXLISTENERFLAGS_REVERBDELAYSCALE)
    p.flReverbDelay = clamp_f(p.flReverbDelay * k, EAXLISTENER_MINREVERBDELAY, EAXLISTENER_MAXREVERBDELAY);
}

void commit_device(CardDevice *d) {
  if (d->eax.pending) {
    d->eax.current = d->eax.deferred;
    d->eax.pending = false;
  }
  for (CardBuffer *b : d->buffers) {
    if (b->eax.pending) {
      b->eax.current = b->eax.deferred;
      b->eax.pending = false;
    }
  }
}

}  // namespace

void eax_listener_init(EaxListener *l) {
  l->current = eax2_environment_presets[EAX_ENVIRONMENT_GENERIC];
  l->deferred = l->current;
  l->pending = false;
}

void eax_buffer_init(EaxBuffer *b) {
  b->current = eax2_buffer_defaults;
  b->deferred = b->current;
  b->pending = false;
}

HRESULT eax_listener_set(EAXLISTENERPROPERTIES *p, ULONG id, const void *data, ULONG size) {
  if (id == DSPROPERTY_EAXLISTENER_NONE) return DS_OK;
  if (id > DSPROPERTY_EAXLISTENER_FLAGS) return E_PROP_ID_UNSUPPORTED;
  ULONG need = id == DSPROPERTY_EAXLISTENER_ALLPARAMETERS ? sizeof(EAXLISTENERPROPERTIES) : 4;
  if (!data) return E_POINTER;
  if (size < need) return DSERR_INVALIDPARAM;
  if (id == DSPROPERTY_EAXLISTENER_ALLPARAMETERS) {
    EAXLISTENERPROPERTIES all;
    std::memcpy(&all, data, sizeof all);
    if (!listener_valid(all)) return DSERR_INVALIDPARAM;
    *p = all;
    return DS_OK;
  }
  if (id == DSPROPERTY_EAXLISTENER_ENVIRONMENT) {
    DWORD env;
    std::memcpy(&env, data, 4);
    if (env > EAXLISTENER_MAXENVIRONMENT) return DSERR_INVALIDPARAM;
    *p = eax2_environment_presets[env];
    return DS_OK;
  }
  EAXLISTENERPROPERTIES next = *p;
  std::memcpy(reinterpret_cast<uint8_t *>(&next) + listener_offset(id), data, 4);
  if (!listener_valid(next)) return DSERR_INVALIDPARAM;
  if (id == DSPROPERTY_EAXLISTENER_ENVIRONMENTSIZE) {
    rescale(*p, next.flEnvironmentSize);
    return DS_OK;
  }
  *p = next;
  return DS_OK;
}

HRESULT eax_listener_get(const EAXLISTENERPROPERTIES *p, ULONG id, void *data, ULONG size, ULONG *returned) {
  if (returned) *returned = 0;
  if (id > DSPROPERTY_EAXLISTENER_FLAGS) return E_PROP_ID_UNSUPPORTED;
  if (id == DSPROPERTY_EAXLISTENER_NONE) return DS_OK;
  ULONG need = id == DSPROPERTY_EAXLISTENER_ALLPARAMETERS ? sizeof(EAXLISTENERPROPERTIES) : 4;
  if (!data) return E_POINTER;
  if (size < need) return DSERR_INVALIDPARAM;
  if (id == DSPROPERTY_EAXLISTENER_ALLPARAMETERS)
    std::memcpy(data, p, need);
  else
    std::memcpy(data, reinterpret_cast<const uint8_t *>(p) + listener_offset(id), 4);
  if (returned) *returned = need;
  return DS_OK;
}

HRESULT eax_buffer_set(EAXBUFFERPROPERTIES *p, ULONG id, const void *data, ULONG size) {
  if (id == DSPROPERTY_EAXBUFFER_NONE) return DS_OK;
  if (id > DSPROPERTY_EAXBUFFER_FLAGS) return E_PROP_ID_UNSUPPORTED;
  ULONG need = id == DSPROPERTY_EAXBUFFER_ALLPARAMETERS ? sizeof(EAXBUFFERPROPERTIES) : 4;
  if (!data) return E_POINTER;
  if (size < need) return DSERR_INVALIDPARAM;
  EAXBUFFERPROPERTIES next = *p;
  if (id == DSPROPERTY_EAXBUFFER_ALLPARAMETERS)
    std::memcpy(&next, data, need);
  else
    std::memcpy(reinterpret_cast<uint8_t *>(&next) + buffer_offset(id), data, 4);
  if (!buffer_valid(next)) return DSERR_INVALIDPARAM;
  *p = next;
  return DS_OK;
}

HRESULT eax_buffer_get(const EAXBUFFERPROPERTIES *p, ULONG id, void *data, ULONG size, ULONG *returned) {
  if (returned) *returned = 0;
  if (id > DSPROPERTY_EAXBUFFER_FLAGS) return E_PROP_ID_UNSUPPORTED;
  if (id == DSPROPERTY_EAXBUFFER_NONE) return DS_OK;
  ULONG need = id == DSPROPERTY_EAXBUFFER_ALLPARAMETERS ? sizeof(EAXBUFFERPROPERTIES) : 4;
  if (!data) return E_POINTER;
  if (size < need) return DSERR_INVALIDPARAM;
  if (id == DSPROPERTY_EAXBUFFER_ALLPARAMETERS)
    std::memcpy(data, p, need);
  else
    std::memcpy(data, reinterpret_cast<const uint8_t *>(p) + buffer_offset(id), 4);
  if (returned) *returned = need;
  return DS_OK;
}

float eax_effective_decay_hf_ratio(const EAXLISTENERPROPERTIES *p) {
  float ratio = p->flDecayHFRatio;
  if ((p->dwFlags & EAXLISTENERFLAGS_DECAYHFLIMIT) && p->flAirAbsorptionHF < 0.0f) {
    // The HF decay may last no longer than air absorption alone takes to
    // remove 60 dB from the high frequencies.
    float limit = 6000.0f / (SPEED_OF_SOUND * -p->flAirAbsorptionHF * p->flDecayTime);
    if (limit < ratio) ratio = limit;
  }
  return ratio;
}

// --- IKsPropertySet ---------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CardPropertySet::QueryInterface(REFIID riid, void **out) {
  return owner->QueryInterface(riid, out);
}
ULONG STDMETHODCALLTYPE CardPropertySet::AddRef() { return owner->AddRef(); }
ULONG STDMETHODCALLTYPE CardPropertySet::Release() { return owner->Release(); }

HRESULT STDMETHODCALLTYPE CardPropertySet::Get(REFGUID set, ULONG id, LPVOID, ULONG, LPVOID data, ULONG size,
                                               ULONG *returned) {
  Guard lock(card_lock());
  if (returned) *returned = 0;
  CardDevice *d = owner->device;
  if (!d->config.eax) return E_PROP_ID_UNSUPPORTED;
  id &= ~DEFERRED;
  if (set == DSPROPSETID_EAX20_ListenerProperties) return eax_listener_get(&d->eax.current, id, data, size, returned);
  if (set == DSPROPSETID_EAX20_BufferProperties) return eax_buffer_get(&owner->eax.current, id, data, size, returned);
  return E_PROP_ID_UNSUPPORTED;
}

HRESULT STDMETHODCALLTYPE CardPropertySet::Set(REFGUID set, ULONG id, LPVOID, ULONG, LPVOID data, ULONG size) {
  Guard lock(card_lock());
  CardDevice *d = owner->device;
  if (!d->config.eax) return E_PROP_ID_UNSUPPORTED;
  bool deferred = (id & DEFERRED) != 0;
  id &= ~DEFERRED;
  bool listener = set == DSPROPSETID_EAX20_ListenerProperties;
  if (!listener && set != DSPROPSETID_EAX20_BufferProperties) return E_PROP_ID_UNSUPPORTED;
  if (deferred) {
    // Collected on a copy until something commits.
    if (listener) {
      if (!d->eax.pending) d->eax.deferred = d->eax.current;
      HRESULT hr = eax_listener_set(&d->eax.deferred, id, data, size);
      if (SUCCEEDED(hr)) d->eax.pending = true;
      return hr;
    }
    if (!owner->eax.pending) owner->eax.deferred = owner->eax.current;
    HRESULT hr = eax_buffer_set(&owner->eax.deferred, id, data, size);
    if (SUCCEEDED(hr)) owner->eax.pending = true;
    return hr;
  }
  // An immediate set also commits everything deferred on the device.
  commit_device(d);
  return listener ? eax_listener_set(&d->eax.current, id, data, size)
                  : eax_buffer_set(&owner->eax.current, id, data, size);
}

HRESULT STDMETHODCALLTYPE CardPropertySet::QuerySupport(REFGUID set, ULONG id, ULONG *support) {
  if (support) *support = 0;
  if (!support) return E_POINTER;
  HRESULT hr = card_injected(CARD_FAIL_EAX_QUERY);
  if (FAILED(hr)) return hr;
  Guard lock(card_lock());
  if (!owner->device->config.eax) return E_PROP_ID_UNSUPPORTED;
  id &= ~DEFERRED;
  if ((set == DSPROPSETID_EAX20_ListenerProperties && id <= DSPROPERTY_EAXLISTENER_FLAGS) ||
      (set == DSPROPSETID_EAX20_BufferProperties && id <= DSPROPERTY_EAXBUFFER_FLAGS)) {
    *support = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
    return S_OK;
  }
  return E_PROP_ID_UNSUPPORTED;
}
