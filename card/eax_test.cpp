#include <gtest/gtest.h>

#include <cstring>

#include "card/card_api.h"
#include "platform/dsound.h"
#include "platform/eax2.h"

namespace {

const GUID &LSET = DSPROPSETID_EAX20_ListenerProperties;
const GUID &BSET = DSPROPSETID_EAX20_BufferProperties;

class Eax : public ::testing::Test {
 protected:
  void SetUp() override {
    card_reset();
    card_set_sink_null();
    ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, &ds, nullptr));
    ASSERT_EQ(DS_OK, ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY));
    WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
    DSBUFFERDESC d = {20, 0x180B4, 9600, 0, &f, {}};
    ASSERT_EQ(DS_OK, ds->CreateSoundBuffer(&d, &voice, nullptr));
    ASSERT_EQ(DS_OK, ds->CreateSoundBuffer(&d, &other, nullptr));
    ASSERT_EQ(DS_OK, voice->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void **>(&ks)));
    ASSERT_EQ(DS_OK, other->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void **>(&ks2)));
  }
  void TearDown() override {
    ks2->Release();
    ks->Release();
    other->Release();
    voice->Release();
    ds->Release();
    EXPECT_EQ(0, card_live_devices());
  }

  HRESULT set_l(ULONG id, const void *v, ULONG size = 4) { return ks->Set(LSET, id, nullptr, 0, const_cast<void *>(v), size); }
  HRESULT set_b(ULONG id, const void *v, ULONG size = 4) { return ks->Set(BSET, id, nullptr, 0, const_cast<void *>(v), size); }
  EAXLISTENERPROPERTIES listener() {
    EAXLISTENERPROPERTIES p = {};
    ULONG n = 0;
    EXPECT_EQ(DS_OK, ks->Get(LSET, DSPROPERTY_EAXLISTENER_ALLPARAMETERS, nullptr, 0, &p, sizeof p, &n));
    EXPECT_EQ(56u, n);
    return p;
  }
  void set_size(float s) { ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ENVIRONMENTSIZE, &s)); }

  IDirectSound8 *ds = nullptr;
  IDirectSoundBuffer *voice = nullptr, *other = nullptr;
  IKsPropertySet *ks = nullptr, *ks2 = nullptr;
};

TEST_F(Eax, QuerySupportAnswersEveryIdOfBothSets) {
  ULONG support = 9;
  for (ULONG id = 0; id <= 15; ++id) {
    EXPECT_EQ(S_OK, ks->QuerySupport(LSET, id, &support)) << id;
    EXPECT_EQ(3u, support);
  }
  for (ULONG id = 0; id <= 14; ++id) EXPECT_EQ(S_OK, ks->QuerySupport(BSET, id | 0x80000000u, &support)) << id;
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, ks->QuerySupport(LSET, 16, &support));
  EXPECT_EQ(0u, support);
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, ks->QuerySupport(BSET, 15, &support));
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, ks->QuerySupport(DSPROPSETID_EAX30_ListenerProperties, 1, &support));
}

TEST_F(Eax, StartsAtTheHeaderDefaults) {
  EAXLISTENERPROPERTIES p = listener();
  EXPECT_EQ(0, std::memcmp(&p, &eax2_environment_presets[0], sizeof p));
  EAXBUFFERPROPERTIES b = {};
  ULONG n = 0;
  ASSERT_EQ(DS_OK, ks->Get(BSET, DSPROPERTY_EAXBUFFER_ALLPARAMETERS, nullptr, 0, &b, sizeof b, &n));
  EXPECT_EQ(52u, n);
  EXPECT_EQ(0.25f, b.flOcclusionLFRatio);
  EXPECT_EQ(0.5f, b.flOcclusionRoomRatio);
  EXPECT_EQ(1.0f, b.flAirAbsorptionFactor);
  EXPECT_EQ(7u, b.dwFlags);
}

TEST_F(Eax, SingleValuesRoundTripAndRangesAreEnforced) {
  LONG room = -2000;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ROOM, &room));
  LONG got = 0;
  ULONG n = 0;
  ASSERT_EQ(DS_OK, ks->Get(LSET, DSPROPERTY_EAXLISTENER_ROOM, nullptr, 0, &got, 4, &n));
  EXPECT_EQ(-2000, got);
  EXPECT_EQ(4u, n);
  EXPECT_EQ(0u, listener().dwEnvironment) << "a single value keeps the environment index";

  // Limits themselves are accepted, one step beyond is refused unchanged.
  LONG reverb = 2000, too_loud = 2001;
  EXPECT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_REVERB, &reverb));
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_REVERB, &too_loud));
  EXPECT_EQ(2000, listener().lReverb);
  float decay_low = 0.09f, air_pos = 0.1f, size_big = 100.5f;
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_DECAYTIME, &decay_low));
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_AIRABSORPTIONHF, &air_pos));
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_ENVIRONMENTSIZE, &size_big));
  DWORD env = 26, flags = 0x40;
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_ENVIRONMENT, &env));
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_FLAGS, &flags));
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_ROOM, &room, 2)) << "short data";
  EXPECT_EQ(E_POINTER, set_l(DSPROPERTY_EAXLISTENER_ROOM, nullptr));
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, set_l(16, &room));

  float ratio = 10.0f, ratio_bad = 10.01f;
  EXPECT_EQ(DS_OK, set_b(DSPROPERTY_EAXBUFFER_OCCLUSIONROOMRATIO, &ratio));
  EXPECT_EQ(DSERR_INVALIDPARAM, set_b(DSPROPERTY_EAXBUFFER_OCCLUSIONROOMRATIO, &ratio_bad));
  LONG direct = 1001;
  EXPECT_EQ(DSERR_INVALIDPARAM, set_b(DSPROPERTY_EAXBUFFER_DIRECT, &direct));
  DWORD bflags = 0x8;
  EXPECT_EQ(DSERR_INVALIDPARAM, set_b(DSPROPERTY_EAXBUFFER_FLAGS, &bflags));
}

TEST_F(Eax, AllParametersIsTakenAsGivenOrRefusedWhole) {
  EAXLISTENERPROPERTIES p = eax2_environment_presets[EAX_ENVIRONMENT_CAVE];
  p.flEnvironmentSize = 30.0f;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ALLPARAMETERS, &p, sizeof p));
  EAXLISTENERPROPERTIES got = listener();
  EXPECT_EQ(0, std::memcmp(&p, &got, sizeof p)) << "no rescaling, no preset load";
  EAXLISTENERPROPERTIES bad = p;
  bad.lRoom = 1;
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_ALLPARAMETERS, &bad, sizeof bad));
  EXPECT_EQ(DSERR_INVALIDPARAM, set_l(DSPROPERTY_EAXLISTENER_ALLPARAMETERS, &p, 52));
  got = listener();
  EXPECT_EQ(0, std::memcmp(&p, &got, sizeof p));
}

TEST_F(Eax, EveryEnvironmentLoadsItsPublishedRow) {
  for (DWORD env = 0; env < EAX_ENVIRONMENT_COUNT; ++env) {
    LONG room = -5000;
    ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ROOM, &room));
    ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ENVIRONMENT, &env));
    EAXLISTENERPROPERTIES p = listener();
    EXPECT_EQ(0, std::memcmp(&p, &eax2_environment_presets[env], sizeof p)) << env;
  }
  EXPECT_EQ(0x1Fu, eax2_environment_presets[EAX_ENVIRONMENT_MOUNTAINS].dwFlags);
  EXPECT_EQ(100.0f, eax2_environment_presets[EAX_ENVIRONMENT_MOUNTAINS].flEnvironmentSize);
}

TEST_F(Eax, EnvironmentSizeRescalesWhatItsFlagsSelect) {
  set_size(15.0f);
  EAXLISTENERPROPERTIES p = listener();
  EXPECT_NEAR(2.98f, p.flDecayTime, 1e-5);
  EXPECT_EQ(-3204, p.lReflections);
  EXPECT_NEAR(0.014f, p.flReflectionsDelay, 1e-6);
  EXPECT_EQ(-402, p.lReverb);
  EXPECT_NEAR(0.022f, p.flReverbDelay, 1e-6);
  EXPECT_EQ(-1000, p.lRoom) << "unscaled properties stay";
  EXPECT_EQ(0.83f, p.flDecayHFRatio);
  set_size(7.5f);
  p = listener();
  EXPECT_NEAR(1.49f, p.flDecayTime, 1e-5);
  EXPECT_EQ(-2602, p.lReflections);
  EXPECT_EQ(200, p.lReverb);
  EXPECT_NEAR(0.011f, p.flReverbDelay, 1e-6);

  set_size(100.0f);
  p = listener();
  EXPECT_NEAR(19.867f, p.flDecayTime, 1e-3);
  EXPECT_EQ(-4851, p.lReflections);
  EXPECT_EQ(-2049, p.lReverb);
  EXPECT_EQ(0.1f, p.flReverbDelay) << "clamped at its maximum";

  DWORD generic = 0;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ENVIRONMENT, &generic));
  set_size(1.0f);
  p = listener();
  EXPECT_NEAR(0.1987f, p.flDecayTime, 1e-4);
  EXPECT_EQ(-852, p.lReflections);
  EXPECT_EQ(1950, p.lReverb);
}

TEST_F(Eax, ReverbFallsFasterWhenDecayIsNotScaled) {
  DWORD flags = 0x3E;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_FLAGS, &flags));
  set_size(15.0f);
  EAXLISTENERPROPERTIES p = listener();
  EXPECT_EQ(1.49f, p.flDecayTime);
  EXPECT_EQ(-703, p.lReverb);
  EXPECT_EQ(-3204, p.lReflections);

  DWORD mountains = EAX_ENVIRONMENT_MOUNTAINS;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ENVIRONMENT, &mountains));
  set_size(50.0f);
  p = listener();
  EXPECT_NEAR(0.745f, p.flDecayTime, 1e-5);
  EXPECT_EQ(-2178, p.lReflections);
  EXPECT_NEAR(0.15f, p.flReflectionsDelay, 1e-6);
  EXPECT_EQ(-832, p.lReverb);
  EXPECT_NEAR(0.05f, p.flReverbDelay, 1e-6);

  flags = 0;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_FLAGS, &flags));
  set_size(25.0f);
  EAXLISTENERPROPERTIES q = listener();
  EXPECT_EQ(25.0f, q.flEnvironmentSize);
  q.flEnvironmentSize = p.flEnvironmentSize;
  q.dwFlags = p.dwFlags;
  EXPECT_EQ(0, std::memcmp(&p, &q, sizeof p)) << "no flags: only the size changes";
}

TEST_F(Eax, DecayHfLimitCapsTheRenderedRatioOnly) {
  DWORD cave = EAX_ENVIRONMENT_CAVE;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ENVIRONMENT, &cave));
  EXPECT_EQ(1.30f, card_effective_decay_hf_ratio(ds)) << "Cave has the limit off";
  DWORD flags = 0x3F;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_FLAGS, &flags));
  EXPECT_NEAR(3.4955f / 2.91f, card_effective_decay_hf_ratio(ds), 1e-3);
  EXPECT_EQ(1.30f, listener().flDecayHFRatio);
  float air = -100.0f;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_AIRABSORPTIONHF, &air));
  EXPECT_NEAR(0.17478f / 2.91f, card_effective_decay_hf_ratio(ds), 1e-4);
  air = 0.0f;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_AIRABSORPTIONHF, &air));
  EXPECT_EQ(1.30f, card_effective_decay_hf_ratio(ds)) << "no absorption, no limit";
}

TEST_F(Eax, DeferredSettingsWaitForACommit) {
  LONG room = -3000;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ROOM | 0x80000000u, &room));
  EXPECT_EQ(-1000, listener().lRoom);
  LONG direct = -500;
  ASSERT_EQ(DS_OK, ks2->Set(BSET, DSPROPERTY_EAXBUFFER_DIRECT | 0x80000000u, nullptr, 0, &direct, 4));
  ASSERT_EQ(DS_OK, ks->Set(LSET, DSPROPERTY_EAXLISTENER_NONE, nullptr, 0, nullptr, 0));
  EXPECT_EQ(-3000, listener().lRoom);
  LONG got = 0;
  ULONG n;
  ASSERT_EQ(DS_OK, ks2->Get(BSET, DSPROPERTY_EAXBUFFER_DIRECT, nullptr, 0, &got, 4, &n));
  EXPECT_EQ(-500, got) << "a commit applies every object's deferred settings";
}

TEST_F(Eax, ListenerIsSharedByEveryVoiceOfTheDevice) {
  LONG room = -4321;
  ASSERT_EQ(DS_OK, set_l(DSPROPERTY_EAXLISTENER_ROOM, &room));
  LONG got = 0;
  ULONG n;
  ASSERT_EQ(DS_OK, ks2->Get(LSET, DSPROPERTY_EAXLISTENER_ROOM, nullptr, 0, &got, 4, &n));
  EXPECT_EQ(-4321, got);
  LONG occl = -700;
  ASSERT_EQ(DS_OK, set_b(DSPROPERTY_EAXBUFFER_OCCLUSION, &occl));
  ASSERT_EQ(DS_OK, ks2->Get(BSET, DSPROPERTY_EAXBUFFER_OCCLUSION, nullptr, 0, &got, 4, &n));
  EXPECT_EQ(0, got) << "buffer properties are per voice";
}

}  // namespace
