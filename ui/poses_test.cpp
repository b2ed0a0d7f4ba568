#include "ui/poses.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float kPi = 3.14159265358979f;

TEST(RotationRule, PitchThenYawThenRoll) {
  const float v[3] = {0, 0, 1};
  float out[3];
  const float yaw[3] = {0, kPi / 2, 0};
  rotate_vector(yaw, v, out);
  EXPECT_NEAR(out[0], 1, 1e-6);
  EXPECT_NEAR(out[2], 0, 1e-6);
  // Pitch first: +z goes to +y, and the yaw about y leaves +y alone.
  const float both[3] = {0, kPi / 2, kPi / 2};
  rotate_vector(both, v, out);
  EXPECT_NEAR(out[0], 0, 1e-6);
  EXPECT_NEAR(out[1], 1, 1e-6);
  EXPECT_NEAR(out[2], 0, 1e-6);
  // Roll about z by a: (x, y) -> (x cos a + y sin a, -x sin a + y cos a).
  const float x[3] = {1, 0, 0};
  const float roll[3] = {kPi / 2, 0, 0};
  rotate_vector(roll, x, out);
  EXPECT_NEAR(out[0], 0, 1e-6);
  EXPECT_NEAR(out[1], -1, 1e-6);
}

TEST(VoiceDefaults, EveryVoiceFacesTheCentre) {
  poses_reset();
  for (int v = 0; v < 4; ++v) {
    const ScenePose &p = scene_poses[POSE_VOICE_FIRST + v];
    float f[3];
    pose_front(p, f);
    float len = std::sqrt(p.position[0] * p.position[0] + p.position[2] * p.position[2]);
    EXPECT_NEAR(f[0], -p.position[0] / len, 1e-4) << v;
    EXPECT_NEAR(f[1], 0, 1e-6) << v;
    EXPECT_NEAR(f[2], -p.position[2] / len, 1e-4) << v;
    EXPECT_EQ(cone_records[v][CONE_INSIDE].angle, 35.0f);
    EXPECT_EQ(cone_records[v][CONE_OUTSIDE].angle, 80.0f);
  }
  // Alpha, blue, green, red: L1's inside cone is RGBA (160, 255, 255, 159).
  const uint8_t *c = cone_records[0][CONE_INSIDE].colour;
  EXPECT_EQ(c[0], 159);
  EXPECT_EQ(c[1], 255);
  EXPECT_EQ(c[2], 255);
  EXPECT_EQ(c[3], 160);
  EXPECT_EQ(cone_records[3][CONE_OUTSIDE].colour[3], 176);
}

TEST(RebuildCones, GeometryOfAKnownPose) {
  poses_reset();
  scene_poses[POSE_VOICE_FIRST + 1] = ScenePose{{0.5f, 0.25f, -0.5f}, {0, 1.0f, 0.3f}};
  cone_records[1][CONE_INSIDE].angle = 90;
  cone_records[1][CONE_INSIDE].segments = 4;
  rebuild_cones();
  const ConeModel &m = cone_models[1][CONE_INSIDE];
  EXPECT_EQ(m.head.flags, 0x6Eu);
  EXPECT_EQ(m.head.triangleCount, 4u);
  EXPECT_EQ(m.head.scale, 1.35f);
  EXPECT_EQ(m.head.pose.position[0], 0.5f);
  EXPECT_EQ(m.head.pose.angles[2], 0.3f);
  // Half angle 45 degrees: depth and radius both 0.3 * cos 45.
  const float d = 0.3f * std::sqrt(0.5f);
  const ConeVertex *t1 = &m.vertices[3];  // theta = 90 degrees
  EXPECT_EQ(t1[0].position[0], 0.0f);
  EXPECT_EQ(t1[0].position[2], 0.0f);
  EXPECT_NEAR(t1[0].normal[1], 1, 1e-6);
  EXPECT_NEAR(t1[1].position[0], 0, 1e-6);
  EXPECT_NEAR(t1[1].position[1], d, 1e-6);
  EXPECT_NEAR(t1[1].position[2], d, 1e-6);
  EXPECT_NEAR(t1[2].position[0], -d, 1e-6);  // theta + step = 180 degrees
  EXPECT_NEAR(t1[2].position[1], 0, 1e-6);
  EXPECT_NEAR(t1[2].normal[0], -1, 1e-6);
  EXPECT_EQ(t1[2].normal[2], 0.0f);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(t1[j].colour[3], 160);
  // The last triangle closes the ring on the first vertex of the first.
  EXPECT_NEAR(m.vertices[11].position[0], m.vertices[1].position[0], 1e-6);
  EXPECT_NEAR(m.vertices[11].position[1], m.vertices[1].position[1], 1e-6);
  poses_reset();
  rebuild_cones();
}

TEST(RebuildCones, ExtremeAnglesAndSegmentCountsStayInTheModel) {
  poses_reset();
  cone_records[0][CONE_OUTSIDE].angle = 180;
  cone_records[0][CONE_OUTSIDE].segments = 1000;
  cone_records[0][CONE_INSIDE].segments = 0;
  rebuild_cones();
  EXPECT_EQ(cone_models[0][CONE_OUTSIDE].head.triangleCount, uint32_t(CONE_MAX_SEGMENTS));
  EXPECT_EQ(cone_models[0][CONE_INSIDE].head.triangleCount, 0u);
  // A 180-degree cone is a flat disc of radius 0.3 at the apex.
  EXPECT_NEAR(cone_models[0][CONE_OUTSIDE].vertices[1].position[2], 0, 1e-6);
  EXPECT_NEAR(cone_models[0][CONE_OUTSIDE].vertices[1].position[0], 0.3f, 1e-6);
  poses_reset();
  rebuild_cones();
}

}  // namespace
