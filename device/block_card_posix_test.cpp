// The property block and the quit ramp against the software card: what the
// fake device shows in block_test.cpp must also hold where the card's own
// EAX model rescales, clamps and loads environments.
#include <gtest/gtest.h>

#include <cstring>

#include "card/card_api.h"
#include "device/card_device_test_fixture.h"
#include "device/block.h"
#include "device/device.h"
#include "device/properties.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "platform/os.h"
#include "ui/poses.h"

namespace {

// Everything the block carries that the device holds, read back from it.
struct CardState {
  uint32_t listener[16];
  uint32_t voice[VOICE_COUNT][15];
  int32_t volume[VOICE_COUNT];
  DWORD inside[VOICE_COUNT], outside[VOICE_COUNT];
  LONG outsideVolume[VOICE_COUNT];
  float minDistance[VOICE_COUNT], maxDistance[VOICE_COUNT];
  DWORD mode[VOICE_COUNT];
  D3DVECTOR velocity[VOICE_COUNT];
  float distanceFactor, dopplerFactor, rolloffFactor;
  D3DVECTOR listenerVelocity;
};

CardState read_card(void) {
  CardState s;
  std::memset(&s, 0xA5, sizeof s);
  for (uint32_t id = EAXL_ROOM; id <= EAXL_FLAGS; ++id) eax_listener_get(id, &s.listener[id]);
  CurrentVoiceScope scope;
  for (int v = 0; v < VOICE_COUNT; ++v) {
    current_voice_select(v);
    for (uint32_t id = EAXB_DIRECT; id <= EAXB_FLAGS; ++id) eax_voice_get(id, &s.voice[v][id]);
    voice_volume_get(&s.volume[v]);
    IDirectSound3DBuffer *b = device_set.buffers3d[v];
    EXPECT_EQ(DS_OK, b->GetConeAngles(&s.inside[v], &s.outside[v])) << v;
    EXPECT_EQ(DS_OK, b->GetConeOutsideVolume(&s.outsideVolume[v])) << v;
    EXPECT_EQ(DS_OK, b->GetMinDistance(&s.minDistance[v])) << v;
    EXPECT_EQ(DS_OK, b->GetMaxDistance(&s.maxDistance[v])) << v;
    EXPECT_EQ(DS_OK, b->GetMode(&s.mode[v])) << v;
    EXPECT_EQ(DS_OK, b->GetVelocity(&s.velocity[v])) << v;
  }
  ds3d_listener_get_distance_factor(&s.distanceFactor);
  ds3d_listener_get_doppler_factor(&s.dopplerFactor);
  ds3d_listener_get_rolloff_factor(&s.rolloffFactor);
  float lv[3];
  ds3d_listener_get_velocity(lv);
  s.listenerVelocity = D3DVECTOR{lv[0], lv[1], lv[2]};
  return s;
}

class BlockOnCard : public card_device_fixture::DeviceOnCard {
 protected:
  void SetUp() override {
    DeviceOnCard::SetUp();
    if (HasFatalFailure()) return;
    // The plug-in sends the view's poses and cones once the device is up, so
    // device and view agree from then on.
    apply_poses();
  }
};

// Moves the card away from its defaults: an environment with explicit
// values on top, the size scaling flags left on, and voices that differ.
void give_every_value_its_own(void) {
  uint32_t environment = 8;
  eax_listener_set(EAXL_ENVIRONMENT, &environment);
  float size = 12.5f;
  eax_listener_set(EAXL_ENVIRONMENTSIZE, &size);
  int32_t room = -700;
  eax_listener_set(EAXL_ROOM, &room);
  float decay = 2.37f;
  eax_listener_set(EAXL_DECAYTIME, &decay);
  float air = -7.5f;
  eax_listener_set(EAXL_AIRABSORPTIONHF, &air);
  float distance = 2.0f, rolloff = 0.5f;
  ds3d_listener_set_distance_factor(&distance);
  ds3d_listener_set_rolloff_factor(&rolloff);
  CurrentVoiceScope scope;
  for (int v = 0; v < VOICE_COUNT; ++v) {
    current_voice_select(v);
    int32_t direct = -100 * (v + 1), occlusion = -500 * (v + 1);
    eax_voice_set(EAXB_DIRECT, &direct);
    eax_voice_set(EAXB_OCCLUSION, &occlusion);
    float ratio = 0.125f * float(v + 1);
    eax_voice_set(EAXB_OCCLUSIONLFRATIO, &ratio);
    int32_t volume = -200 * (v + 1);
    voice_volume_set(&volume);
    int32_t outside = -1000 * (v + 1);
    ds3d_voice_set_cone_outside_volume(&outside);
    float minimum = 1.5f + float(v), maximum = 100.0f * float(v + 1);
    ds3d_voice_set_min_distance(&minimum);
    ds3d_voice_set_max_distance(&maximum);
    uint32_t mode = uint32_t(v % 3);
    ds3d_voice_set_mode(&mode);
  }
}

TEST_F(BlockOnCard, CaptureThenApplyLeavesTheCardAsItWas) {
  give_every_value_its_own();
  CardState before = read_card();
  ASSERT_EQ(before.listener[EAXL_ENVIRONMENT], 8u);
  int32_t room_before;
  std::memcpy(&room_before, &before.listener[EAXL_ROOM], 4);
  ASSERT_EQ(room_before, -700);
  for (int v = 0; v < VOICE_COUNT; ++v) {
    int32_t direct;
    std::memcpy(&direct, &before.voice[v][EAXB_DIRECT], 4);
    ASSERT_EQ(direct, -100 * (v + 1)) << v;
    ASSERT_EQ(before.volume[v], -200 * (v + 1)) << v;
    ASSERT_EQ(before.mode[v], DWORD(v % 3)) << v;
  }

  EXPECT_EQ(block_capture(), 572);
  EXPECT_EQ(std::memcmp(property_block.magic, "env4", 4), 0);
  EXPECT_EQ(property_block.environment, 8u);
  EXPECT_EQ(block_apply(), 572);
  CardState after = read_card();

  for (uint32_t id = EAXL_ROOM; id <= EAXL_FLAGS; ++id)
    EXPECT_EQ(after.listener[id], before.listener[id]) << "listener property " << id;
  for (int v = 0; v < VOICE_COUNT; ++v) {
    for (uint32_t id = EAXB_DIRECT; id <= EAXB_FLAGS; ++id)
      EXPECT_EQ(after.voice[v][id], before.voice[v][id]) << "voice " << v << " property " << id;
    EXPECT_EQ(after.volume[v], before.volume[v]) << v;
    EXPECT_EQ(after.inside[v], before.inside[v]) << v;
    EXPECT_EQ(after.outside[v], before.outside[v]) << v;
    EXPECT_EQ(after.outsideVolume[v], before.outsideVolume[v]) << v;
    EXPECT_EQ(after.minDistance[v], before.minDistance[v]) << v;
    EXPECT_EQ(after.maxDistance[v], before.maxDistance[v]) << v;
    EXPECT_EQ(after.mode[v], before.mode[v]) << v;
    EXPECT_EQ(after.velocity[v].x, before.velocity[v].x) << v;
  }
  EXPECT_EQ(after.distanceFactor, 2.0f);
  EXPECT_EQ(after.rolloffFactor, 0.5f);
  EXPECT_EQ(after.dopplerFactor, before.dopplerFactor);
}

TEST_F(BlockOnCard, ExplicitRoomOutlastsTheEnvironmentItFollows) {
  block_capture();
  property_block.environment = 5;
  property_block.room = -2000;
  EXPECT_EQ(block_apply(), 572);
  uint32_t environment = 0;
  eax_listener_get(EAXL_ENVIRONMENT, &environment);
  EXPECT_EQ(environment, 5u);
  int32_t room = 0;
  eax_listener_get(EAXL_ROOM, &room);
  EXPECT_EQ(room, -2000);
}

TEST_F(BlockOnCard, ReverbRampEndsAtTheCardsMinimumDecay) {
  float start = 1.49f;
  eax_listener_set(EAXL_DECAYTIME, &start);
  float decay = 0;
  eax_listener_get(EAXL_DECAYTIME, &decay);
  ASSERT_FLOAT_EQ(decay, 1.49f);
  reverb_ramp_down();
  eax_listener_get(EAXL_DECAYTIME, &decay);
  EXPECT_FLOAT_EQ(decay, 0.1f);
}

}  // namespace
