// A voice buffer for the engine's tests: memory of its own or shared with
// the buffer it duplicates, cursors that the test moves by hand, and a
// record of the calls the engine made.
#pragma once

#include <cstring>
#include <vector>

#include "device/device.h"

struct TestVoice : IDirectSoundBuffer8 {
  std::vector<uint8_t> own;
  std::vector<uint8_t> *memory = &own;
  DWORD play = 0, lead = 0;
  DWORD frequency = 0;
  LONG volume = 0;
  bool playing = false;
  bool lost = false;
  bool failLock = false;
  int plays = 0, stops = 0, restores = 0, frequencySets = 0;

  explicit TestVoice(uint32_t bytes) : own(bytes, 0) {}
  TestVoice(TestVoice &shared, int) : memory(shared.memory) {}

  int16_t sample(uint32_t offset) const {
    int16_t s;
    std::memcpy(&s, memory->data() + offset, 2);
    return s;
  }
  DWORD size() const { return DWORD(memory->size()); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD p, LPDWORD w) override {
    if (lost) return DSERR_BUFFERLOST;
    if (p) *p = play;
    if (w) *w = (play + lead) % size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX, DWORD, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVolume(LPLONG v) override {
    *v = volume;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPan(LPLONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD f) override {
    *f = frequency;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD s) override {
    *s = playing ? DSBSTATUS_PLAYING : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID *p1, LPDWORD n1, LPVOID *p2, LPDWORD n2,
                                 DWORD) override {
    if (lost) return DSERR_BUFFERLOST;
    if (failLock || offset >= size() || bytes > size()) return E_INVALIDARG;
    DWORD first = bytes < size() - offset ? bytes : size() - offset;
    *p1 = memory->data() + offset;
    *n1 = first;
    if (p2) *p2 = first < bytes ? memory->data() : nullptr;
    if (n2) *n2 = bytes - first;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Play(DWORD, DWORD, DWORD) override {
    if (lost) return DSERR_BUFFERLOST;
    playing = true;
    ++plays;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD p) override {
    play = p % size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetVolume(LONG v) override {
    volume = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetPan(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFrequency(DWORD f) override {
    frequency = f;
    ++frequencySets;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop() override {
    playing = false;
    ++stops;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID, DWORD, LPVOID, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Restore() override {
    lost = false;
    ++restores;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFX(DWORD, LPDSEFFECTDESC, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AcquireResources(DWORD, DWORD, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetObjectInPath(REFGUID, DWORD, REFGUID, LPVOID *) override { return E_NOTIMPL; }
};
