#include "device/block.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "device/fake_acoustic_device_test_fixture.h"
#include "device/properties.h"
#include "ui/poses.h"

namespace {

class Block : public ::testing::Test {
 protected:
  fake::Device dev;
  void SetUp() override {
    poses_reset();
    std::memset(&property_block, 0, sizeof property_block);
  }
  void TearDown() override { poses_reset(); }
};

// Gives every field of the device and the poses a value of its own.
void scramble(fake::Device &dev) {
  dev.room.load(8);
  dev.room.puti(EAXL_ROOM, -500);
  dev.room.putf(EAXL_DECAYTIME, 3.25f);
  for (int v = 0; v < 4; ++v) {
    dev.buffers[v].volume = -100 * (v + 1);
    for (int id = 2; id <= 14; ++id) dev.sets[v].voice[id] = uint32_t(1000 * v + id);
    dev.buffers3d[v].outsideVolume = -1000 * (v + 1);
    dev.buffers3d[v].minDistance = 1.5f + float(v);
    dev.buffers3d[v].maxDistance = 100.0f * float(v + 1);
    dev.buffers3d[v].mode = uint32_t(v % 3);
    dev.buffers3d[v].velocity = D3DVECTOR{float(v), 0, 0};
    cone_records[v][CONE_INSIDE].angle = 40.0f + float(v);
    cone_records[v][CONE_OUTSIDE].angle = 90.0f + float(v);
  }
  dev.listener.distance = 2.0f;
  dev.listener.doppler = 3.0f;
  dev.listener.rolloff = 0.5f;
  scene_poses[POSE_LISTENER] = ScenePose{{0.5f, 0.25f, -0.5f}, {0, 1.0f, 0.2f}};
}

TEST(BlockLayout, FieldsLieWhereTheFileFormatPutsThem) {
  EXPECT_EQ(offsetof(PropertyBlock, volume), 4u);
  EXPECT_EQ(offsetof(PropertyBlock, listenerFlags), 72u);
  EXPECT_EQ(offsetof(PropertyBlock, eaxVoice[1]), 128u);
  EXPECT_EQ(offsetof(PropertyBlock, listenerVelocity), 320u);
  EXPECT_EQ(offsetof(PropertyBlock, ds3dVoice[0].coneOutsideVolume), 352u);
  EXPECT_EQ(offsetof(PropertyBlock, ds3dVoice[3].velocity), 332u + 180u + 48u);
}

TEST_F(Block, CaptureThenApplyLeavesTheDeviceAsItWas) {
  scramble(dev);
  fake::Room room_before = dev.room;
  fake::Device *d = &dev;
  uint32_t voice_before[4][15];
  for (int v = 0; v < 4; ++v) std::memcpy(voice_before[v], d->sets[v].voice, sizeof voice_before[v]);
  EXPECT_EQ(block_capture(), 572);
  EXPECT_EQ(std::memcmp(property_block.magic, "env4", 4), 0);
  EXPECT_EQ(property_block.environment, 8u);
  EXPECT_EQ(block_apply(), 572);
  EXPECT_EQ(std::memcmp(dev.room.value + 2, room_before.value + 2, 14 * 4), 0);
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(std::memcmp(dev.sets[v].voice + 2, voice_before[v] + 2, 13 * 4), 0) << v;
    EXPECT_EQ(dev.buffers[v].volume, -100 * (v + 1));
    EXPECT_EQ(dev.buffers3d[v].outsideVolume, -1000 * (v + 1));
    EXPECT_EQ(dev.buffers3d[v].minDistance, 1.5f + float(v));
    EXPECT_EQ(dev.buffers3d[v].maxDistance, 100.0f * float(v + 1));
    EXPECT_EQ(dev.buffers3d[v].mode, uint32_t(v % 3));
    EXPECT_EQ(dev.buffers3d[v].inside, DWORD(40 + v));
    EXPECT_EQ(dev.buffers3d[v].outside, DWORD(90 + v));
  }
  EXPECT_EQ(dev.listener.distance, 2.0f);
  EXPECT_EQ(dev.listener.rolloff, 0.5f);
  EXPECT_EQ(dev.listener.doppler, 3.0f);
}

TEST_F(Block, ExplicitValuesOverrideWhatTheEnvironmentLoads) {
  block_capture();
  property_block.environment = 5;
  property_block.room = -2000;
  block_apply();
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 5u);
  EXPECT_EQ(dev.room.geti(EAXL_ROOM), -2000);
}

TEST_F(Block, RecordsButNeverAppliesDopplerAndVelocities) {
  block_capture();
  property_block.dopplerFactor = 9.0f;
  property_block.listenerVelocity[0] = 5.0f;
  property_block.ds3dVoice[2].velocity[1] = 7.0f;
  block_apply();
  EXPECT_EQ(dev.listener.doppler, 1.0f);
  EXPECT_EQ(dev.listener.velocity.x, 0.0f);
  EXPECT_EQ(dev.buffers3d[2].velocity.y, 0.0f);
}

TEST_F(Block, ApplyMovesPosesIntoTheViewAndRoundsConeAngles) {
  block_capture();
  property_block.ds3dVoice[1].insideConeAngle = 44.6f;
  property_block.ds3dVoice[1].outsideConeAngle = 120.4f;
  property_block.ds3dVoice[1].position[0] = 0.75f;
  property_block.ds3dVoice[1].angles[1] = 1.25f;
  property_block.listenerPosition[2] = -0.5f;
  block_apply();
  EXPECT_EQ(dev.buffers3d[1].inside, 45u);
  EXPECT_EQ(dev.buffers3d[1].outside, 120u);
  EXPECT_EQ(cone_records[1][CONE_INSIDE].angle, 44.6f);
  EXPECT_EQ(scene_poses[POSE_VOICE_FIRST + 1].position[0], 0.75f);
  EXPECT_EQ(scene_poses[POSE_VOICE_FIRST + 1].angles[1], 1.25f);
  EXPECT_EQ(scene_poses[POSE_LISTENER].position[2], -0.5f);
  // Positions reach the device only through apply_poses.
  EXPECT_EQ(dev.buffers3d[1].position.x, 0.0f);
  EXPECT_EQ(dev.listener.position.z, 0.0f);
}

TEST_F(Block, CaptureAndApplyRestoreTheCurrentVoice) {
  current_voice_select(R1);
  block_capture();
  EXPECT_EQ(current_voice_get(), R1);
  block_apply();
  EXPECT_EQ(current_voice_get(), R1);
  current_voice_select(NO_VOICE);
}

TEST_F(Block, APartlyOpenDeviceKeepsThePreviousBlockContents) {
  block_capture();
  device_set.propertySets[0] = nullptr;
  property_block.room = -4321;
  block_capture();
  EXPECT_EQ(property_block.room, -4321);
}

TEST(BlockValidity, OnlyAWholeBlockWithItsMagicCounts) {
  unsigned char bytes[573] = {'e', 'n', 'v', '4'};
  EXPECT_TRUE(block_is_valid(bytes, 572));
  EXPECT_FALSE(block_is_valid(bytes, 571));
  EXPECT_FALSE(block_is_valid(bytes, 573));
  EXPECT_FALSE(block_is_valid(bytes, 0));
  EXPECT_FALSE(block_is_valid(bytes, -1));
  bytes[3] = '3';
  EXPECT_FALSE(block_is_valid(bytes, 572));
}

TEST_F(Block, ApplyPosesSendsRotatedVectorsAndWholeDegrees) {
  scene_poses[POSE_LISTENER] = ScenePose{{0.1f, 0.2f, 0.3f}, {0, 3.14159265f / 2, 0}};
  cone_records[0][CONE_INSIDE].angle = 35.5f;
  cone_records[0][CONE_OUTSIDE].angle = 79.4f;
  apply_poses();
  EXPECT_FLOAT_EQ(dev.listener.position.y, 0.2f);
  // A quarter turn about y takes the nose from +z to +x; the top stays up.
  EXPECT_NEAR(dev.listener.front.x, 1.0f, 1e-6);
  EXPECT_NEAR(dev.listener.front.z, 0.0f, 1e-6);
  EXPECT_NEAR(dev.listener.top.y, 1.0f, 1e-6);
  // L1 at (-1, 0, 1) faces the centre of the room.
  EXPECT_FLOAT_EQ(dev.buffers3d[L1].position.x, -1.0f);
  EXPECT_NEAR(dev.buffers3d[L1].orientation.x, std::sqrt(0.5f), 1e-4);
  EXPECT_NEAR(dev.buffers3d[L1].orientation.z, -std::sqrt(0.5f), 1e-4);
  EXPECT_EQ(dev.buffers3d[L1].inside, 36u);
  EXPECT_EQ(dev.buffers3d[L1].outside, 79u);
  EXPECT_EQ(dev.buffers3d[R2].inside, 35u);
  EXPECT_EQ(dev.buffers3d[R2].outside, 80u);
}

TEST_F(Block, APitchedListenerTiltsItsTopVector) {
  scene_poses[POSE_LISTENER].angles[2] = 3.14159265f / 2;
  apply_poses();
  // A quarter turn of angle 3 about x raises the nose to +y and tips the top
  // back to -z.
  EXPECT_NEAR(dev.listener.front.y, 1.0f, 1e-6);
  EXPECT_NEAR(dev.listener.top.z, -1.0f, 1e-6);
}

}  // namespace
