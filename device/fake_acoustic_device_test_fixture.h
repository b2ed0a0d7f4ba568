// Test double for the acoustic side of the device: a listener, four voice
// buffers with 3D buffers and EAX property sets that keep what is set and
// answer it back, with the rules the tests lean on (an environment loads
// its room values, out-of-range decay times and volumes are refused).
// Installs itself into device_set. Tests only.
#pragma once

#include <cstdint>
#include <cstring>

#include "device/device.h"
#include "platform/eax2.h"

namespace fake {

#define FAKE_NOTIMPL \
  { return E_NOTIMPL; }

// Listener property storage, shared by all four property sets as a card's
// one room is.
struct Room {
  uint32_t value[16];
  int sets = 0;
  void load(uint32_t env) {
    struct Row {
      float size, diffusion;
      int32_t room, roomHF;
      float decay, hfRatio;
      int32_t reflections;
      float reflDelay;
      int32_t reverb;
      float revDelay;
      uint32_t flags;
    };
    static const Row generic = {7.5f, 1.0f, -1000, -100, 1.49f, 0.83f, -2602, 0.007f, 200, 0.011f, 0x3F};
    static const Row stone = {11.6f, 1.0f, -1000, -300, 2.31f, 0.64f, -711, 0.012f, 83, 0.017f, 0x3F};
    static const Row cave = {14.6f, 1.0f, -1000, 0, 2.91f, 1.30f, -602, 0.015f, -302, 0.022f, 0x1F};
    const Row &r = env == 5 ? stone : env == 8 ? cave : generic;
    put(11, env);
    putf(12, r.size);
    putf(13, r.diffusion);
    puti(2, r.room);
    puti(3, r.roomHF);
    putf(5, r.decay);
    putf(6, r.hfRatio);
    puti(7, r.reflections);
    putf(8, r.reflDelay);
    puti(9, r.reverb);
    putf(10, r.revDelay);
    putf(4, 0.0f);
    putf(14, -5.0f);
    put(15, r.flags);
  }
  void put(int id, uint32_t v) { value[id] = v; }
  void puti(int id, int32_t v) { std::memcpy(&value[id], &v, 4); }
  void putf(int id, float v) { std::memcpy(&value[id], &v, 4); }
  float getf(int id) const {
    float f;
    std::memcpy(&f, &value[id], 4);
    return f;
  }
  int32_t geti(int id) const {
    int32_t i;
    std::memcpy(&i, &value[id], 4);
    return i;
  }
};

struct PropertySet : IKsPropertySet {
  Room *room = nullptr;
  uint32_t voice[15] = {};
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Get(REFGUID set, ULONG id, LPVOID, ULONG, LPVOID data, ULONG size,
                                ULONG *returned) override {
    if (!data || size < 4) return E_POINTER;
    if (set == DSPROPSETID_EAX20_ListenerProperties && id >= 2 && id <= 15) {
      std::memcpy(data, &room->value[id], 4);
    } else if (set == DSPROPSETID_EAX20_BufferProperties && id >= 2 && id <= 14) {
      std::memcpy(data, &voice[id], 4);
    } else {
      return E_INVALIDARG;
    }
    if (returned) *returned = 4;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Set(REFGUID set, ULONG id, LPVOID, ULONG, LPVOID data, ULONG size) override {
    if (!data || size < 4) return E_POINTER;
    uint32_t v;
    std::memcpy(&v, data, 4);
    if (set == DSPROPSETID_EAX20_ListenerProperties && id >= 2 && id <= 15) {
      ++room->sets;
      if (id == 11) {
        if (v > 25) return E_INVALIDARG;
        room->load(v);
        return S_OK;
      }
      if (id == 5) {
        float f;
        std::memcpy(&f, &v, 4);
        if (!(f >= 0.1f && f <= 20.0f)) return E_INVALIDARG;
      }
      room->value[id] = v;
      return S_OK;
    }
    if (set == DSPROPSETID_EAX20_BufferProperties && id >= 2 && id <= 14) {
      voice[id] = v;
      return S_OK;
    }
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE QuerySupport(REFGUID, ULONG, ULONG *) override { return S_OK; }
};

struct Buffer : IDirectSoundBuffer {
  LONG volume = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD, LPDWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX, DWORD, LPDWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE GetVolume(LPLONG v) override {
    *v = volume;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPan(LPLONG) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE Lock(DWORD, DWORD, LPVOID *, LPDWORD, LPVOID *, LPDWORD, DWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE Play(DWORD, DWORD, DWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE SetVolume(LONG v) override {
    if (v < -10000 || v > 0) return E_INVALIDARG;
    volume = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetPan(LONG) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE SetFrequency(DWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE Stop() override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID, DWORD, LPVOID, DWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE Restore() override FAKE_NOTIMPL;
};

struct Buffer3D : IDirectSound3DBuffer {
  D3DVECTOR position{0, 0, 0}, velocity{0, 0, 0}, orientation{0, 0, 1};
  DWORD inside = 360, outside = 360, mode = 0;
  LONG outsideVolume = 0;
  float minDistance = 1, maxDistance = 1e9f;
  int coneAngleCalls = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetAllParameters(LPDS3DBUFFER) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE GetConeAngles(LPDWORD i, LPDWORD o) override {
    *i = inside;
    *o = outside;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConeOrientation(LPD3DVECTOR v) override {
    *v = orientation;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConeOutsideVolume(LPLONG v) override {
    *v = outsideVolume;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMaxDistance(LPD3DVALUE v) override {
    *v = maxDistance;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMinDistance(LPD3DVALUE v) override {
    *v = minDistance;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMode(LPDWORD v) override {
    *v = mode;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPosition(LPD3DVECTOR v) override {
    *v = position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetVelocity(LPD3DVECTOR v) override {
    *v = velocity;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetAllParameters(LPCDS3DBUFFER, DWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE SetConeAngles(DWORD i, DWORD o, DWORD) override {
    ++coneAngleCalls;
    if (i > 360 || o > 360) return E_INVALIDARG;
    inside = i;
    outside = o;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetConeOrientation(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) override {
    orientation = D3DVECTOR{x, y, z};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetConeOutsideVolume(LONG v, DWORD) override {
    if (v < -10000 || v > 0) return E_INVALIDARG;
    outsideVolume = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMaxDistance(D3DVALUE v, DWORD) override {
    maxDistance = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMinDistance(D3DVALUE v, DWORD) override {
    minDistance = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMode(DWORD v, DWORD) override {
    mode = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) override {
    position = D3DVECTOR{x, y, z};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) override {
    velocity = D3DVECTOR{x, y, z};
    return S_OK;
  }
};

struct Listener : IDirectSound3DListener {
  D3DVECTOR position{0, 0, 0}, velocity{0, 0, 0}, front{0, 0, 1}, top{0, 1, 0};
  float distance = 1, doppler = 1, rolloff = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetAllParameters(LPDS3DLISTENER) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE GetDistanceFactor(LPD3DVALUE v) override {
    *v = distance;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDopplerFactor(LPD3DVALUE v) override {
    *v = doppler;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetOrientation(LPD3DVECTOR f, LPD3DVECTOR t) override {
    *f = front;
    *t = top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPosition(LPD3DVECTOR v) override {
    *v = position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRolloffFactor(LPD3DVALUE v) override {
    *v = rolloff;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetVelocity(LPD3DVECTOR v) override {
    *v = velocity;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetAllParameters(LPCDS3DLISTENER, DWORD) override FAKE_NOTIMPL;
  HRESULT STDMETHODCALLTYPE SetDistanceFactor(D3DVALUE v, DWORD) override {
    if (!(v > 0)) return E_INVALIDARG;
    distance = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetDopplerFactor(D3DVALUE v, DWORD) override {
    doppler = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetOrientation(D3DVALUE a, D3DVALUE b, D3DVALUE c, D3DVALUE d, D3DVALUE e, D3DVALUE f,
                                           DWORD) override {
    front = D3DVECTOR{a, b, c};
    top = D3DVECTOR{d, e, f};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) override {
    position = D3DVECTOR{x, y, z};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetRolloffFactor(D3DVALUE v, DWORD) override {
    if (v < 0 || v > 10) return E_INVALIDARG;
    rolloff = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) override {
    velocity = D3DVECTOR{x, y, z};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CommitDeferredSettings() override { return S_OK; }
};

#undef FAKE_NOTIMPL

// The whole acoustic device, put into device_set while it lives.
struct Device {
  Room room;
  Listener listener;
  Buffer buffers[4];
  Buffer3D buffers3d[4];
  PropertySet sets[4];
  Device() {
    room.load(0);
    for (int v = 0; v < 4; ++v) {
      sets[v].room = &room;
      device_set.buffers[v] = &buffers[v];
      device_set.buffers3d[v] = &buffers3d[v];
      device_set.propertySets[v] = &sets[v];
    }
    device_set.listener = &listener;
    device_set.stateFlags = DEVICE_READY | DEVICE_VOICES_READY;
  }
  ~Device() {
    for (int v = 0; v < 4; ++v) {
      device_set.buffers[v] = nullptr;
      device_set.buffers3d[v] = nullptr;
      device_set.propertySets[v] = nullptr;
    }
    device_set.listener = nullptr;
    device_set.stateFlags = 0;
  }
  Device(const Device &) = delete;
  Device &operator=(const Device &) = delete;
};

}  // namespace fake
