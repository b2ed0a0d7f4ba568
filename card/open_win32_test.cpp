// Runs under Wine with WINEDLLOVERRIDES="dsound=n,b": the test links the
// system's dsound import library and must be served by the card's dsound.dll
// found next to it.
#include <gtest/gtest.h>

#include <cstring>

#include "card/card_api.h"
#include "platform/dsound.h"
#include "platform/eax2.h"

namespace {

typedef void (*FailFn)(int, int, int, HRESULT);
typedef void (*VoidFn)(void);

FARPROC card_proc(const char *name) {
  HMODULE m = GetModuleHandleA("dsound.dll");
  return m ? GetProcAddress(m, name) : nullptr;
}

BOOL CALLBACK remember(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
  if (guid) std::strcpy(static_cast<char *>(context), description);
  return TRUE;
}

TEST(CardDll, IsTheDsoundThatIsLoaded) {
  char description[256] = "";
  ASSERT_EQ(DS_OK, DirectSoundEnumerateA(remember, description));
  EXPECT_STREQ("Sonorium Software Sound Card", description);
  EXPECT_NE(nullptr, card_proc("card_fail"));
}

TEST(CardDll, OpensADeviceWithEaxVoicesAndMovingCursors) {
  IDirectSound8 *ds = nullptr;
  ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, &ds, nullptr));
  ASSERT_EQ(DS_OK, ds->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY));
  DSBUFFERDESC pd = {20, 0x95, 0, 0, nullptr, {}};
  IDirectSoundBuffer *primary = nullptr;
  ASSERT_EQ(DS_OK, ds->CreateSoundBuffer(&pd, &primary, nullptr));
  WAVEFORMATEX pf = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  ASSERT_EQ(DS_OK, primary->SetFormat(&pf));
  ASSERT_EQ(DS_OK, primary->Play(0, 0, DSBPLAY_LOOPING));
  WAVEFORMATEX vf = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
  DSBUFFERDESC vd = {20, 0x180B4, 96000, 0, &vf, {}};
  IDirectSoundBuffer *l1 = nullptr, *l2 = nullptr;
  ASSERT_EQ(DS_OK, ds->CreateSoundBuffer(&vd, &l1, nullptr));
  ASSERT_EQ(DS_OK, ds->DuplicateSoundBuffer(l1, &l2));
  IDirectSoundBuffer8 *b8 = nullptr;
  ASSERT_EQ(DS_OK, l1->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void **>(&b8)));
  IDirectSound3DListener *listener = nullptr;
  ASSERT_EQ(DS_OK, primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void **>(&listener)));
  IDirectSound3DBuffer *b3 = nullptr;
  ASSERT_EQ(DS_OK, b8->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&b3)));
  IKsPropertySet *ks = nullptr;
  ASSERT_EQ(DS_OK, b3->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void **>(&ks)));
  ULONG support = 0;
  EXPECT_EQ(S_OK, ks->QuerySupport(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ALLPARAMETERS,
                                   &support));
  EXPECT_EQ(3u, support);
  DWORD env = EAX_ENVIRONMENT_HANGAR;
  ASSERT_EQ(DS_OK, ks->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0,
                           &env, 4));
  float decay = 0;
  ULONG n = 0;
  ASSERT_EQ(DS_OK, ks->Get(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_DECAYTIME, nullptr, 0,
                           &decay, 4, &n));
  EXPECT_EQ(10.05f, decay);

  ASSERT_EQ(DS_OK, b8->Play(0, 0, DSBPLAY_LOOPING));
  Sleep(100);
  DWORD play = 0, write = 0;
  ASSERT_EQ(DS_OK, b8->GetCurrentPosition(&play, &write));
  EXPECT_GT(play, 4800u);
  EXPECT_LT(play, 48000u);
  EXPECT_EQ((play + 960) % 96000, write);
  b8->Stop();

  ks->Release();
  b3->Release();
  listener->Release();
  b8->Release();
  l2->Release();
  l1->Release();
  primary->Release();
  ds->Release();
}

TEST(CardDll, FailureInjectionReachesTheDll) {
  FailFn fail = reinterpret_cast<FailFn>(reinterpret_cast<void *>(card_proc("card_fail")));
  VoidFn clear = reinterpret_cast<VoidFn>(reinterpret_cast<void *>(card_proc("card_fail_clear")));
  ASSERT_TRUE(fail && clear);
  fail(CARD_FAIL_CREATE, 0, 1, 0);
  IDirectSound8 *ds = nullptr;
  EXPECT_EQ(DSERR_NODRIVER, DirectSoundCreate8(nullptr, &ds, nullptr));
  ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, &ds, nullptr));
  ds->Release();
  clear();
}

}  // namespace
