#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "card/card_api.h"
#include "platform/clock.h"
#include "platform/dsound.h"
#include "platform/eax2.h"
#include "platform/os.h"

namespace {

// Each test runs on simulated time with this thread taking part.
class Card : public ::testing::Test {
 protected:
  void SetUp() override {
    card_reset();
    card_set_sink_null();
    ASSERT_EQ(0, card_set_simulated_time(1));
    clock_thread_register();
  }
  void TearDown() override {
    if (ds) ds->Release();
    clock_thread_unregister();
    card_set_simulated_time(0);
    card_reset();
    EXPECT_EQ(0, card_live_devices());
  }

  void open_device() {
    ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, &ds, nullptr));
    ASSERT_EQ(DS_OK, ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY));
  }

  IDirectSoundBuffer *voice(DWORD flags = 0x180B4, DWORD bytes = 96000) {
    WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
    DSBUFFERDESC d = {};
    d.dwSize = 20;
    d.dwFlags = flags;
    d.dwBufferBytes = bytes;
    d.lpwfxFormat = &f;
    IDirectSoundBuffer *b = nullptr;
    EXPECT_EQ(DS_OK, ds->CreateSoundBuffer(&d, &b, nullptr));
    return b;
  }

  IKsPropertySet *props(IDirectSoundBuffer *b) {
    IDirectSound3DBuffer *b3 = nullptr;
    EXPECT_EQ(DS_OK, b->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&b3)));
    IKsPropertySet *p = nullptr;
    EXPECT_EQ(DS_OK, b3->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void **>(&p)));
    b3->Release();
    return p;
  }

  IDirectSound8 *ds = nullptr;
};

DWORD play_cursor(IDirectSoundBuffer *b, DWORD *write = nullptr) {
  DWORD p = 0, w = 0;
  EXPECT_EQ(DS_OK, b->GetCurrentPosition(&p, &w));
  if (write) *write = w;
  return p;
}

// --- Cursors --------------------------------------------------------------------

TEST_F(Card, CursorsFollowTheClockAtTheBufferFrequency) {
  open_device();
  IDirectSoundBuffer *b = voice();
  DWORD w = 0;
  EXPECT_EQ(0u, play_cursor(b, &w));
  EXPECT_EQ(0u, w);
  os_sleep(100);
  EXPECT_EQ(0u, play_cursor(b)) << "a stopped buffer stays put";
  ASSERT_EQ(DS_OK, b->Play(0, 0, DSBPLAY_LOOPING));
  os_sleep(100);
  EXPECT_EQ(9600u, play_cursor(b, &w));
  EXPECT_EQ(9600u + 960u, w) << "write cursor 10 ms ahead";
  os_sleep(1000);
  EXPECT_EQ(9600u, play_cursor(b)) << "wraps at the end of the ring";
  ASSERT_EQ(DS_OK, b->SetFrequency(24000));
  os_sleep(100);
  EXPECT_EQ(9600u + 4800u, play_cursor(b));
  ASSERT_EQ(DS_OK, b->Stop());
  os_sleep(100);
  EXPECT_EQ(14400u, play_cursor(b, &w));
  EXPECT_EQ(14400u, w) << "stopped: write cursor at the play cursor";
  ASSERT_EQ(DS_OK, b->SetCurrentPosition(50000));
  EXPECT_EQ(50000u, play_cursor(b));
  ASSERT_EQ(DS_OK, b->Play(0, 0, DSBPLAY_LOOPING));
  os_sleep(10);
  EXPECT_EQ(50000u + 480u, play_cursor(b)) << "Play resumes at the cursor, at the changed rate";
  b->Release();
}

TEST_F(Card, OneShotBufferStopsAtItsEnd) {
  open_device();
  IDirectSoundBuffer *b = voice(0x180B4, 9600);
  ASSERT_EQ(DS_OK, b->Play(0, 0, 0));
  os_sleep(50);
  DWORD status = 0;
  b->GetStatus(&status);
  EXPECT_EQ(DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOCHARDWARE), status);
  os_sleep(60);
  b->GetStatus(&status);
  EXPECT_EQ(0u, status & DSBSTATUS_PLAYING);
  EXPECT_EQ(0u, play_cursor(b));
  b->Release();
}

// --- Lock ----------------------------------------------------------------------

TEST_F(Card, LockSplitsAtTheRingEnd) {
  open_device();
  IDirectSoundBuffer *b = voice();
  void *p1, *p2;
  DWORD n1, n2;
  ASSERT_EQ(DS_OK, b->Lock(90000, 8192, &p1, &n1, &p2, &n2, 0));
  EXPECT_EQ(6000u, n1);
  EXPECT_EQ(2192u, n2);
  ASSERT_NE(nullptr, p2);
  EXPECT_EQ(90000, static_cast<uint8_t *>(p1) - static_cast<uint8_t *>(p2));
  void *x1, *x2;
  DWORD m1, m2;
  EXPECT_EQ(DSERR_INVALIDPARAM, b->Lock(0, 10, &x1, &m1, &x2, &m2, 0)) << "second lock before unlock";
  ASSERT_EQ(DS_OK, b->Unlock(p1, n1, p2, n2));

  ASSERT_EQ(DS_OK, b->Lock(0, 8192, &p1, &n1, &p2, &n2, 0));
  EXPECT_EQ(8192u, n1);
  EXPECT_EQ(nullptr, p2);
  EXPECT_EQ(0u, n2);
  ASSERT_EQ(DS_OK, b->Unlock(p1, n1, p2, n2));

  ASSERT_EQ(DS_OK, b->Lock(95999, 96000, &p1, &n1, &p2, &n2, 0));
  EXPECT_EQ(1u, n1);
  EXPECT_EQ(95999u, n2);
  ASSERT_EQ(DS_OK, b->Unlock(p1, n1, p2, n2));

  EXPECT_EQ(DSERR_INVALIDPARAM, b->Lock(96000, 2, &p1, &n1, &p2, &n2, 0));
  EXPECT_EQ(DSERR_INVALIDPARAM, b->Lock(0, 96001, &p1, &n1, &p2, &n2, 0));
  ASSERT_EQ(DS_OK, b->Lock(5, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER));
  EXPECT_EQ(96000u - 5u, n1);
  EXPECT_EQ(5u, n2);
  ASSERT_EQ(DS_OK, b->Unlock(p1, n1, p2, n2));
  b->Release();
}

// --- Duplicates ------------------------------------------------------------------

TEST_F(Card, DuplicateSharesMemoryButNotItsSettings) {
  open_device();
  IDirectSoundBuffer *l1 = voice();
  IDirectSoundBuffer *l2 = nullptr;
  ASSERT_EQ(DS_OK, ds->DuplicateSoundBuffer(l1, &l2));
  void *p1, *p2, *q1, *q2;
  DWORD n1, n2, m1, m2;
  ASSERT_EQ(DS_OK, l1->Lock(100, 4, &p1, &n1, &p2, &n2, 0));
  std::memcpy(p1, "\x11\x22\x33\x44", 4);
  l1->Unlock(p1, n1, p2, n2);
  ASSERT_EQ(DS_OK, l2->Lock(100, 4, &q1, &m1, &q2, &m2, 0));
  EXPECT_EQ(0, std::memcmp(q1, "\x11\x22\x33\x44", 4));
  l2->Unlock(q1, m1, q2, m2);

  ASSERT_EQ(DS_OK, l2->SetVolume(-2500));
  EXPECT_EQ(0, card_buffer_volume(l1));
  EXPECT_EQ(-2500, card_buffer_volume(l2));

  IDirectSound3DBuffer *b3 = nullptr;
  ASSERT_EQ(DS_OK, l2->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&b3)));
  ASSERT_EQ(DS_OK, b3->SetPosition(3, 0, 1, DS3D_IMMEDIATE));
  b3->Release();
  D3DVECTOR v1, v2;
  card_buffer_position(l1, &v1);
  card_buffer_position(l2, &v2);
  EXPECT_EQ(0.0f, v1.x);
  EXPECT_EQ(3.0f, v2.x);

  IKsPropertySet *k1 = props(l1), *k2 = props(l2);
  LONG direct = -800;
  ASSERT_EQ(DS_OK, k2->Set(DSPROPSETID_EAX20_BufferProperties, DSPROPERTY_EAXBUFFER_DIRECT, nullptr, 0, &direct, 4));
  LONG got = 1;
  ULONG n = 0;
  ASSERT_EQ(DS_OK, k1->Get(DSPROPSETID_EAX20_BufferProperties, DSPROPERTY_EAXBUFFER_DIRECT, nullptr, 0, &got, 4, &n));
  EXPECT_EQ(0, got);
  EXPECT_EQ(4u, n);

  ASSERT_EQ(DS_OK, l2->Play(0, 0, DSBPLAY_LOOPING));
  os_sleep(20);
  EXPECT_EQ(0u, play_cursor(l1)) << "play state is the duplicate's own";
  EXPECT_EQ(1920u, play_cursor(l2));

  k1->Release();
  k2->Release();
  l1->Release();
  // The memory lives on in the duplicate.
  ASSERT_EQ(DS_OK, l2->Lock(100, 4, &q1, &m1, &q2, &m2, 0));
  EXPECT_EQ(0, std::memcmp(q1, "\x11\x22\x33\x44", 4));
  l2->Unlock(q1, m1, q2, m2);
  l2->Release();
}

TEST_F(Card, SamplesWrittenIntoL1ArePlayedByL2) {
  card_set_sink_memory(48000);
  open_device();
  IDirectSoundBuffer *primary = nullptr;
  DSBUFFERDESC pd = {};
  pd.dwSize = 20;
  pd.dwFlags = 0x95;
  ASSERT_EQ(DS_OK, ds->CreateSoundBuffer(&pd, &primary, nullptr));
  IDirectSoundBuffer *l1 = voice();
  IDirectSoundBuffer *l2 = nullptr;
  ASSERT_EQ(DS_OK, ds->DuplicateSoundBuffer(l1, &l2));
  void *p1, *p2;
  DWORD n1, n2;
  ASSERT_EQ(DS_OK, l1->Lock(0, 96000, &p1, &n1, &p2, &n2, 0));
  int16_t *s = static_cast<int16_t *>(p1);
  for (int i = 0; i < 48000; ++i) s[i] = int16_t(1000 + (i % 100) * 10);
  l1->Unlock(p1, n1, p2, n2);
  IDirectSound3DBuffer *b3 = nullptr;
  ASSERT_EQ(DS_OK, l2->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&b3)));
  b3->SetMode(DS3DMODE_DISABLE, DS3D_IMMEDIATE);
  b3->Release();
  card_memory_clear();
  ASSERT_EQ(DS_OK, l2->Play(0, 0, DSBPLAY_LOOPING));
  os_sleep(50);
  card_mix_now();
  ASSERT_GE(card_memory_frames(), 2000u);
  const int16_t *out = card_memory_samples();
  // Centre pan: both channels carry the L1 samples from the start of the ring.
  int first = 0;
  while (first < 4000 && out[first * 2] == 0) ++first;
  ASSERT_LT(first, 4000);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(1000 + (i % 100) * 10, out[(first + i) * 2]) << i;
    EXPECT_EQ(out[(first + i) * 2], out[(first + i) * 2 + 1]);
  }
  l2->Release();
  l1->Release();
  primary->Release();
}

TEST_F(Card, VolumeAndPositionShapeTheMix) {
  card_set_room(0);  // exact levels: the plain mix, without the room's reflections
  card_set_sink_memory(4800);
  open_device();
  IDirectSoundBuffer *b = voice();
  void *p1, *p2;
  DWORD n1, n2;
  ASSERT_EQ(DS_OK, b->Lock(0, 96000, &p1, &n1, &p2, &n2, 0));
  int16_t *s = static_cast<int16_t *>(p1);
  for (int i = 0; i < 48000; ++i) s[i] = 10000;
  b->Unlock(p1, n1, p2, n2);
  IDirectSound3DBuffer *b3 = nullptr;
  ASSERT_EQ(DS_OK, b->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&b3)));
  b3->SetPosition(1, 0, 0, DS3D_IMMEDIATE);  // to the right, at the minimum distance
  b3->Release();
  b->SetVolume(-600);
  card_memory_clear();
  b->Play(0, 0, DSBPLAY_LOOPING);
  os_sleep(20);
  card_mix_now();
  const int16_t *out = card_memory_samples();
  uint32_t last = card_memory_frames() - 1;
  EXPECT_EQ(0, out[last * 2]);
  EXPECT_NEAR(10000 * std::pow(10.0, -600 / 2000.0), out[last * 2 + 1], 2);
  b->Release();
}

// --- Lost buffers ------------------------------------------------------------------

TEST_F(Card, LostBufferUntilRestore) {
  open_device();
  IDirectSoundBuffer *b = voice();
  ASSERT_EQ(DS_OK, b->Play(0, 0, DSBPLAY_LOOPING));
  os_sleep(10);
  ASSERT_EQ(0, card_lose_buffer(b));
  DWORD p, w, status;
  EXPECT_EQ(DSERR_BUFFERLOST, b->GetCurrentPosition(&p, &w));
  void *p1, *p2;
  DWORD n1, n2;
  EXPECT_EQ(DSERR_BUFFERLOST, b->Lock(0, 10, &p1, &n1, &p2, &n2, 0));
  EXPECT_EQ(DSERR_BUFFERLOST, b->Play(0, 0, DSBPLAY_LOOPING));
  ASSERT_EQ(DS_OK, b->GetStatus(&status));
  EXPECT_EQ(DWORD(DSBSTATUS_BUFFERLOST | DSBSTATUS_LOCHARDWARE), status);
  ASSERT_EQ(DS_OK, b->Restore());
  EXPECT_EQ(DS_OK, b->GetCurrentPosition(&p, &w));
  EXPECT_EQ(960u, p) << "the loss stopped it where it was";
  EXPECT_EQ(DS_OK, b->Play(0, 0, DSBPLAY_LOOPING));
  b->Release();
}

// --- Device opening and failure injection -----------------------------------------------

struct Opened {
  HRESULT create = S_OK, coop = S_OK, primary = S_OK, format = S_OK, play = S_OK, voices = S_OK, buffer8 = S_OK,
          listener = S_OK, b3d = S_OK, props = S_OK, eax = S_OK;
  bool software = false;
};

// The open sequence the plug-in makes; stops at the first failing step.
Opened open_like_the_plugin() {
  Opened r;
  IDirectSound8 *ds = nullptr;
  IDirectSoundBuffer *primary = nullptr, *v[4] = {};
  IDirectSoundBuffer8 *v8[4] = {};
  IDirectSound3DBuffer *v3[4] = {};
  IKsPropertySet *ks[4] = {};
  IDirectSound3DListener *listener = nullptr;
  WAVEFORMATEX pf = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  WAVEFORMATEX vf = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
  DSBUFFERDESC pd = {20, 0x95, 0, 0, nullptr, {}};
  ULONG support = 0;
  auto create_voices = [&](DWORD flags) {
    DSBUFFERDESC d = {20, flags, 96000, 0, &vf, {}};
    HRESULT hr = ds->CreateSoundBuffer(&d, &v[0], nullptr);
    if (SUCCEEDED(hr)) hr = ds->DuplicateSoundBuffer(v[0], &v[2]);
    if (SUCCEEDED(hr)) hr = ds->CreateSoundBuffer(&d, &v[1], nullptr);
    if (SUCCEEDED(hr)) hr = ds->DuplicateSoundBuffer(v[1], &v[3]);
    return hr;
  };
  if (FAILED(r.create = DirectSoundCreate8(nullptr, &ds, nullptr))) return r;
  if (FAILED(r.coop = ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY))) goto done;
  if (FAILED(r.primary = ds->CreateSoundBuffer(&pd, &primary, nullptr))) goto done;
  if (FAILED(r.format = primary->SetFormat(&pf))) goto done;
  if (FAILED(r.play = primary->Play(0, 0, DSBPLAY_LOOPING))) goto done;
  if (FAILED(r.voices = create_voices(0x180B4))) {
    for (auto &b : v)
      if (b) b->Release(), b = nullptr;
    r.software = true;
    if (FAILED(r.voices = create_voices(0x180B0))) goto done;
  }
  for (int i = 0; i < 4; ++i)
    if (FAILED(r.buffer8 = v[i]->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void **>(&v8[i]))))
      goto done;
  if (FAILED(r.listener = primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void **>(&listener))))
    goto done;
  for (int i = 0; i < 4; ++i)
    if (FAILED(r.b3d = v8[i]->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&v3[i]))))
      goto done;
  for (int i = 0; i < 4; ++i)
    if (FAILED(r.props = v3[i]->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void **>(&ks[i])))) goto done;
  r.eax = ks[0]->QuerySupport(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ALLPARAMETERS, &support);
  if (SUCCEEDED(r.eax)) {
    EXPECT_EQ(3u, support);
  }
done:
  for (int i = 3; i >= 0; --i) {
    if (ks[i]) ks[i]->Release();
    if (v3[i]) v3[i]->Release();
    if (v8[i]) v8[i]->Release();
    if (v[i]) v[i]->Release();
  }
  if (listener) listener->Release();
  if (primary) primary->Release();
  ds->Release();
  return r;
}

TEST_F(Card, DefaultDeviceOpensWithEaxAndHardwareVoices) {
  Opened r = open_like_the_plugin();
  EXPECT_EQ(S_OK, r.eax);
  EXPECT_FALSE(r.software);
  EXPECT_EQ(0, card_live_buffers()) << "everything released";
}

TEST_F(Card, EachOpenStepCanBeMadeToFail) {
  struct Case {
    int step;
    HRESULT Opened::*field;
    HRESULT expected;
  } cases[] = {
      {CARD_FAIL_CREATE, &Opened::create, DSERR_NODRIVER},
      {CARD_FAIL_COOPERATIVE_LEVEL, &Opened::coop, DSERR_PRIOLEVELNEEDED},
      {CARD_FAIL_PRIMARY_BUFFER, &Opened::primary, DSERR_GENERIC},
      {CARD_FAIL_SET_FORMAT, &Opened::format, DSERR_BADFORMAT},
      {CARD_FAIL_PRIMARY_PLAY, &Opened::play, DSERR_GENERIC},
      {CARD_FAIL_SECONDARY_BUFFER, &Opened::voices, DSERR_OUTOFMEMORY},
      {CARD_FAIL_QI_BUFFER8, &Opened::buffer8, E_NOINTERFACE},
      {CARD_FAIL_QI_LISTENER, &Opened::listener, E_NOINTERFACE},
      {CARD_FAIL_QI_3DBUFFER, &Opened::b3d, E_NOINTERFACE},
      {CARD_FAIL_QI_PROPERTYSET, &Opened::props, E_NOINTERFACE},
      {CARD_FAIL_EAX_QUERY, &Opened::eax, E_PROP_ID_UNSUPPORTED},
  };
  for (const Case &c : cases) {
    card_fail_clear();
    card_fail(c.step, 0, -1, 0);
    Opened r = open_like_the_plugin();
    EXPECT_EQ(c.expected, r.*c.field) << "step " << c.step;
    EXPECT_EQ(0, card_live_buffers()) << "step " << c.step;
  }
  // A chosen result, and a failure of only the third voice's interface.
  card_fail_clear();
  card_fail(CARD_FAIL_COOPERATIVE_LEVEL, 0, 1, DSERR_ALLOCATED);
  EXPECT_EQ(DSERR_ALLOCATED, open_like_the_plugin().coop);
  EXPECT_EQ(S_OK, open_like_the_plugin().eax) << "count 1 fails once";
  card_fail(CARD_FAIL_QI_3DBUFFER, 2, 1, 0);
  EXPECT_EQ(E_NOINTERFACE, open_like_the_plugin().b3d);
  EXPECT_EQ(S_OK, open_like_the_plugin().b3d);
}

TEST_F(Card, HardwareFailureFallsBackToSoftwareVoices) {
  card_fail(CARD_FAIL_HARDWARE_BUFFER, 0, -1, 0);
  Opened r = open_like_the_plugin();
  EXPECT_TRUE(r.software);
  EXPECT_EQ(S_OK, r.eax);
  card_fail_clear();
  card_fail(CARD_FAIL_DUPLICATE, 1, 1, 0);  // R2's duplicate only
  r = open_like_the_plugin();
  EXPECT_TRUE(r.software);
  EXPECT_EQ(S_OK, r.voices);
}

TEST_F(Card, ConfiguredDevices) {
  CardDeviceConfig plain;
  card_default_device_config(&plain);
  std::strcpy(plain.description, "Plain card");
  plain.guid.Data1 = 0x1234;
  plain.eax = 0;
  plain.hardwareVoices = 0;
  card_clear_devices();
  EXPECT_EQ(0, card_add_device(&plain));
  Opened r = open_like_the_plugin();
  EXPECT_TRUE(r.software);
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, r.eax);

  // Three hardware voices are not enough for four.
  CardDeviceConfig small;
  card_default_device_config(&small);
  small.guid.Data1 = 0x5678;
  small.hardwareVoices = 3;
  card_clear_devices();
  card_add_device(&small);
  r = open_like_the_plugin();
  EXPECT_TRUE(r.software);
  EXPECT_EQ(S_OK, r.eax);

  card_add_device(&plain);
  struct Seen {
    int calls = 0;
    bool firstNull = false;
    GUID second = {};
    char desc[128] = {};
  } seen;
  auto cb = [](LPGUID g, LPCSTR d, LPCSTR, LPVOID ctx) -> BOOL {
    Seen *s = static_cast<Seen *>(ctx);
    if (s->calls == 0) s->firstNull = g == nullptr;
    if (s->calls == 2) {
      s->second = *g;
      std::strcpy(s->desc, d);
    }
    s->calls++;
    return TRUE;
  };
  ASSERT_EQ(DS_OK, DirectSoundEnumerateA(cb, &seen));
  EXPECT_EQ(3, seen.calls);
  EXPECT_TRUE(seen.firstNull);
  EXPECT_TRUE(seen.second == plain.guid);
  EXPECT_STREQ("Plain card", seen.desc);
  GUID unknown = {0xDEAD, 0, 0, {}};
  IDirectSound8 *d = nullptr;
  EXPECT_EQ(DSERR_NODRIVER, DirectSoundCreate8(&unknown, &d, nullptr));
  ASSERT_EQ(DS_OK, DirectSoundCreate8(&plain.guid, &d, nullptr));
  DSCAPS caps = {};
  caps.dwSize = sizeof caps;
  ASSERT_EQ(DS_OK, d->GetCaps(&caps));
  EXPECT_EQ(0u, caps.dwFreeHw3DAllBuffers);
  d->Release();
}

// --- Buffer parameter checks ------------------------------------------------------------

TEST_F(Card, RefusesWhatThePublishedInterfaceRefuses) {
  open_device();
  IDirectSoundBuffer *b = voice();
  EXPECT_EQ(DSERR_INVALIDPARAM, b->SetVolume(1));
  EXPECT_EQ(DSERR_INVALIDPARAM, b->SetVolume(-10001));
  EXPECT_EQ(DSERR_INVALIDPARAM, b->SetFrequency(99));
  EXPECT_EQ(DSERR_CONTROLUNAVAIL, b->SetPan(0));
  EXPECT_EQ(DSERR_INVALIDPARAM, b->Play(1, 0, 0));
  IDirectSound3DBuffer *b3 = nullptr;
  ASSERT_EQ(DS_OK, b->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&b3)));
  EXPECT_EQ(DSERR_INVALIDPARAM, b3->SetConeAngles(361, 360, DS3D_IMMEDIATE));
  EXPECT_EQ(DSERR_INVALIDPARAM, b3->SetConeOutsideVolume(1, DS3D_IMMEDIATE));
  EXPECT_EQ(DSERR_INVALIDPARAM, b3->SetMinDistance(-1, DS3D_IMMEDIATE));
  DS3DBUFFER all = {};
  all.dwSize = sizeof all;
  ASSERT_EQ(DS_OK, b3->GetAllParameters(&all));
  EXPECT_EQ(360u, all.dwInsideConeAngle);
  EXPECT_EQ(1.0f, all.flMinDistance);
  EXPECT_EQ(1e9f, all.flMaxDistance);
  EXPECT_EQ(1.0f, all.vConeOrientation.z);
  b3->Release();

  WAVEFORMATEX stereo = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  DSBUFFERDESC d = {20, DSBCAPS_CTRL3D, 9600, 0, &stereo, {}};
  IDirectSoundBuffer *x = nullptr;
  EXPECT_EQ(DSERR_INVALIDPARAM, ds->CreateSoundBuffer(&d, &x, nullptr)) << "3D buffers are mono";

  IDirectSoundBuffer *primary = nullptr;
  DSBUFFERDESC pd = {20, 0x95, 0, 0, nullptr, {}};
  ASSERT_EQ(DS_OK, ds->CreateSoundBuffer(&pd, &primary, nullptr));
  EXPECT_EQ(DSERR_INVALIDPARAM, primary->Play(0, 0, 0)) << "the primary buffer plays looping only";
  IDirectSoundBuffer8 *p8 = nullptr;
  EXPECT_EQ(E_NOINTERFACE, primary->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void **>(&p8)));
  IDirectSound3DListener *l = nullptr;
  ASSERT_EQ(DS_OK, primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void **>(&l)));
  EXPECT_EQ(DSERR_INVALIDPARAM, l->SetDistanceFactor(0.0f, DS3D_IMMEDIATE));
  EXPECT_EQ(DSERR_INVALIDPARAM, l->SetRolloffFactor(10.5f, DS3D_IMMEDIATE));
  D3DVECTOR front, top;
  l->GetOrientation(&front, &top);
  EXPECT_EQ(1.0f, front.z);
  EXPECT_EQ(1.0f, top.y);
  l->Release();
  primary->Release();
  b->Release();
}

}  // namespace

namespace {

TEST(CardSink, EnvironmentVariableNamesTheWavFile) {
  const char *path = "card_sink_test.wav";
  setenv("SONORIUM_CARD_WAV", path, 1);
  card_reset();
  unsetenv("SONORIUM_CARD_WAV");
  ASSERT_EQ(0, clock_set_simulated(1));
  clock_thread_register();
  IDirectSound8 *ds = nullptr;
  ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, &ds, nullptr));
  ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
  os_sleep(100);
  ds->Release();
  clock_thread_unregister();
  ASSERT_EQ(0, clock_set_simulated(0));
  card_reset();  // closes the file
  FILE *f = std::fopen(path, "rb");
  ASSERT_NE(nullptr, f);
  uint8_t h[44] = {};
  ASSERT_EQ(44u, std::fread(h, 1, 44, f));
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  std::fclose(f);
  std::remove(path);
  EXPECT_EQ(0, std::memcmp(h, "RIFF", 4));
  EXPECT_EQ(0, std::memcmp(h + 8, "WAVEfmt ", 8));
  uint32_t rate = h[24] | h[25] << 8 | h[26] << 16 | uint32_t(h[27]) << 24;
  uint32_t data = h[40] | h[41] << 8 | h[42] << 16 | uint32_t(h[43]) << 24;
  EXPECT_EQ(48000u, rate);
  EXPECT_GE(data, 4800u * 4u) << "at least 100 ms of stereo frames";
  EXPECT_EQ(long(44 + data), size);
}

}  // namespace

// A sink chosen before anything else touches the card is the one kept: the
// card's first-use setup must not replace it. Run in a fresh process (the
// "threadsafe" style re-executes the test program) so this really is the
// card's first use.
TEST(CardFirstUse, ASinkChosenFirstIsKept) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        card_set_sink_memory(480);
        IDirectSound8 *ds = nullptr;
        if (DirectSoundCreate8(nullptr, &ds, nullptr) != DS_OK) std::exit(2);
        card_render(ds, 480);
        uint32_t kept = card_memory_frames();
        ds->Release();
        std::exit(kept == 480 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
