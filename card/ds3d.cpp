// DS3D: the listener (on the primary buffer) and the 3D buffers. Settings
// apply at once; deferred ones too, so CommitDeferredSettings has nothing
// left to do.
#include <cfloat>

#include "card/card_private.h"

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

bool valid_factor(float f) { return f >= DS3D_MINROLLOFFFACTOR && f <= DS3D_MAXROLLOFFFACTOR; }
bool valid_distance_factor(float f) { return f >= FLT_MIN && f <= FLT_MAX; }
bool valid_apply(DWORD apply) { return apply == DS3D_IMMEDIATE || apply == DS3D_DEFERRED; }

}  // namespace

// --- IDirectSound3DBuffer ----------------------------------------------------

HRESULT STDMETHODCALLTYPE Card3DBuffer::QueryInterface(REFIID riid, void **out) {
  return owner->QueryInterface(riid, out);
}
ULONG STDMETHODCALLTYPE Card3DBuffer::AddRef() { return owner->AddRef(); }
ULONG STDMETHODCALLTYPE Card3DBuffer::Release() { return owner->Release(); }

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetAllParameters(LPDS3DBUFFER all) {
  if (!all || all->dwSize < sizeof(DS3DBUFFER)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  const Ds3dBufferState &s = owner->ds3d;
  all->vPosition = s.position;
  all->vVelocity = s.velocity;
  all->dwInsideConeAngle = s.insideAngle;
  all->dwOutsideConeAngle = s.outsideAngle;
  all->vConeOrientation = s.coneOrientation;
  all->lConeOutsideVolume = s.coneOutsideVolume;
  all->flMinDistance = s.minDistance;
  all->flMaxDistance = s.maxDistance;
  all->dwMode = s.mode;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetConeAngles(LPDWORD inside, LPDWORD outside) {
  if (!inside || !outside) return DSERR_INVALIDPARAM;
  *inside = owner->ds3d.insideAngle;
  *outside = owner->ds3d.outsideAngle;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetConeOrientation(LPD3DVECTOR v) {
  if (!v) return DSERR_INVALIDPARAM;
  *v = owner->ds3d.coneOrientation;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetConeOutsideVolume(LPLONG mB) {
  if (!mB) return DSERR_INVALIDPARAM;
  *mB = owner->ds3d.coneOutsideVolume;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetMaxDistance(LPD3DVALUE d) {
  if (!d) return DSERR_INVALIDPARAM;
  *d = owner->ds3d.maxDistance;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetMinDistance(LPD3DVALUE d) {
  if (!d) return DSERR_INVALIDPARAM;
  *d = owner->ds3d.minDistance;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetMode(LPDWORD mode) {
  if (!mode) return DSERR_INVALIDPARAM;
  *mode = owner->ds3d.mode;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetPosition(LPD3DVECTOR v) {
  if (!v) return DSERR_INVALIDPARAM;
  *v = owner->ds3d.position;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::GetVelocity(LPD3DVECTOR v) {
  if (!v) return DSERR_INVALIDPARAM;
  *v = owner->ds3d.velocity;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetAllParameters(LPCDS3DBUFFER all, DWORD apply) {
  if (!all || all->dwSize < sizeof(DS3DBUFFER) || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  if (all->dwInsideConeAngle > DS3D_MAXCONEANGLE || all->dwOutsideConeAngle > DS3D_MAXCONEANGLE ||
      all->lConeOutsideVolume < DSBVOLUME_MIN || all->lConeOutsideVolume > DSBVOLUME_MAX ||
      !(all->flMinDistance >= 0) || !(all->flMaxDistance >= 0) || all->dwMode > DS3DMODE_DISABLE)
    return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  Ds3dBufferState &s = owner->ds3d;
  s.position = all->vPosition;
  s.velocity = all->vVelocity;
  s.insideAngle = all->dwInsideConeAngle;
  s.outsideAngle = all->dwOutsideConeAngle;
  s.coneOrientation = all->vConeOrientation;
  s.coneOutsideVolume = all->lConeOutsideVolume;
  s.minDistance = all->flMinDistance;
  s.maxDistance = all->flMaxDistance;
  s.mode = all->dwMode;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetConeAngles(DWORD inside, DWORD outside, DWORD apply) {
  if (inside > DS3D_MAXCONEANGLE || outside > DS3D_MAXCONEANGLE || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->ds3d.insideAngle = inside;
  owner->ds3d.outsideAngle = outside;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetConeOrientation(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) {
  if (!valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->ds3d.coneOrientation = D3DVECTOR{x, y, z};
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetConeOutsideVolume(LONG mB, DWORD apply) {
  if (mB < DSBVOLUME_MIN || mB > DSBVOLUME_MAX || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->ds3d.coneOutsideVolume = mB;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetMaxDistance(D3DVALUE d, DWORD apply) {
  if (!(d >= 0) || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->ds3d.maxDistance = d;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetMinDistance(D3DVALUE d, DWORD apply) {
  if (!(d >= 0) || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->ds3d.minDistance = d;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetMode(DWORD mode, DWORD apply) {
  if (mode > DS3DMODE_DISABLE || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->ds3d.mode = mode;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) {
  if (!valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->ds3d.position = D3DVECTOR{x, y, z};
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE Card3DBuffer::SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) {
  if (!valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->ds3d.velocity = D3DVECTOR{x, y, z};
  return DS_OK;
}

// --- IDirectSound3DListener -------------------------------------------------------

HRESULT STDMETHODCALLTYPE CardListener::QueryInterface(REFIID riid, void **out) {
  return owner->QueryInterface(riid, out);
}
ULONG STDMETHODCALLTYPE CardListener::AddRef() { return owner->AddRef(); }
ULONG STDMETHODCALLTYPE CardListener::Release() { return owner->Release(); }

HRESULT STDMETHODCALLTYPE CardListener::GetAllParameters(LPDS3DLISTENER all) {
  if (!all || all->dwSize < sizeof(DS3DLISTENER)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  const Ds3dListenerState &s = owner->device->listener;
  all->vPosition = s.position;
  all->vVelocity = s.velocity;
  all->vOrientFront = s.front;
  all->vOrientTop = s.top;
  all->flDistanceFactor = s.distanceFactor;
  all->flRolloffFactor = s.rolloffFactor;
  all->flDopplerFactor = s.dopplerFactor;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::GetDistanceFactor(LPD3DVALUE f) {
  if (!f) return DSERR_INVALIDPARAM;
  *f = owner->device->listener.distanceFactor;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::GetDopplerFactor(LPD3DVALUE f) {
  if (!f) return DSERR_INVALIDPARAM;
  *f = owner->device->listener.dopplerFactor;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::GetOrientation(LPD3DVECTOR front, LPD3DVECTOR top) {
  if (!front || !top) return DSERR_INVALIDPARAM;
  *front = owner->device->listener.front;
  *top = owner->device->listener.top;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::GetPosition(LPD3DVECTOR v) {
  if (!v) return DSERR_INVALIDPARAM;
  *v = owner->device->listener.position;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::GetRolloffFactor(LPD3DVALUE f) {
  if (!f) return DSERR_INVALIDPARAM;
  *f = owner->device->listener.rolloffFactor;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::GetVelocity(LPD3DVECTOR v) {
  if (!v) return DSERR_INVALIDPARAM;
  *v = owner->device->listener.velocity;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::SetAllParameters(LPCDS3DLISTENER all, DWORD apply) {
  if (!all || all->dwSize < sizeof(DS3DLISTENER) || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  if (!valid_distance_factor(all->flDistanceFactor) || !valid_factor(all->flRolloffFactor) ||
      !valid_factor(all->flDopplerFactor))
    return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  Ds3dListenerState &s = owner->device->listener;
  s.position = all->vPosition;
  s.velocity = all->vVelocity;
  s.front = all->vOrientFront;
  s.top = all->vOrientTop;
  s.distanceFactor = all->flDistanceFactor;
  s.rolloffFactor = all->flRolloffFactor;
  s.dopplerFactor = all->flDopplerFactor;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::SetDistanceFactor(D3DVALUE f, DWORD apply) {
  if (!valid_distance_factor(f) || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->device->listener.distanceFactor = f;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::SetDopplerFactor(D3DVALUE f, DWORD apply) {
  if (!valid_factor(f) || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->device->listener.dopplerFactor = f;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::SetOrientation(D3DVALUE xf, D3DVALUE yf, D3DVALUE zf, D3DVALUE xt,
                                                       D3DVALUE yt, D3DVALUE zt, DWORD apply) {
  if (!valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->device->listener.front = D3DVECTOR{xf, yf, zf};
  owner->device->listener.top = D3DVECTOR{xt, yt, zt};
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) {
  if (!valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->device->listener.position = D3DVECTOR{x, y, z};
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::SetRolloffFactor(D3DVALUE f, DWORD apply) {
  if (!valid_factor(f) || !valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->device->listener.rolloffFactor = f;
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) {
  if (!valid_apply(apply)) return DSERR_INVALIDPARAM;
  Guard lock(card_lock());
  owner->device->listener.velocity = D3DVECTOR{x, y, z};
  return DS_OK;
}

HRESULT STDMETHODCALLTYPE CardListener::CommitDeferredSettings() { return DS_OK; }
