#include "ui/poses.h"

#include <cmath>
#include <cstdint>

#include "device/properties.h"

namespace {
const float kPi = 3.14159265358979f;

const ScenePose kVoiceDefaults[4] = {
    {{-1, 0, 1}, {0, 2.3562f, 0}},   // L1
    {{1, 0, 1}, {0, 3.927f, 0}},     // R1
    {{-1, 0, -1}, {0, 0.7854f, 0}},  // L2
    {{1, 0, -1}, {0, 5.4978f, 0}},   // R2
};

// Colours as alpha, blue, green, red from the RGBA of the design.
constexpr ConeRecord cone(float angle, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return ConeRecord{angle, 0.3f, 20, 1.35f, {a, b, g, r}};
}
const ConeRecord kConeDefaults[4][2] = {
    {cone(35, 160, 255, 255, 159), cone(80, 144, 255, 192, 95)},
    {cone(35, 160, 255, 255, 159), cone(80, 144, 255, 192, 95)},
    {cone(35, 192, 207, 207, 159), cone(80, 176, 207, 176, 95)},
    {cone(35, 192, 207, 207, 159), cone(80, 176, 207, 176, 95)},
};
}  // namespace

ScenePose scene_poses[POSE_COUNT] = {
    {{0, 0, 0}, {0, 0, 0}},
    kVoiceDefaults[0],
    kVoiceDefaults[1],
    kVoiceDefaults[2],
    kVoiceDefaults[3],
};
ConeRecord cone_records[4][2] = {
    {kConeDefaults[0][0], kConeDefaults[0][1]},
    {kConeDefaults[1][0], kConeDefaults[1][1]},
    {kConeDefaults[2][0], kConeDefaults[2][1]},
    {kConeDefaults[3][0], kConeDefaults[3][1]},
};
ConeModel cone_models[4][2];

void poses_reset(void) {
  AcousticGuard hold;
  scene_poses[POSE_LISTENER] = ScenePose{{0, 0, 0}, {0, 0, 0}};
  for (int v = 0; v < 4; ++v) {
    scene_poses[POSE_VOICE_FIRST + v] = kVoiceDefaults[v];
    cone_records[v][CONE_INSIDE] = kConeDefaults[v][CONE_INSIDE];
    cone_records[v][CONE_OUTSIDE] = kConeDefaults[v][CONE_OUTSIDE];
  }
}

void rotate_vector(const float angles[3], const float in[3], float out[3]) {
  float x = in[0], y = in[1], z = in[2];
  float c = angles[2], b = angles[1], a = angles[0];
  // About x by angle 3.
  float y1 = y * std::cos(c) + z * std::sin(c);
  float z1 = -y * std::sin(c) + z * std::cos(c);
  // About y by angle 2.
  float x2 = x * std::cos(b) + z1 * std::sin(b);
  float z2 = -x * std::sin(b) + z1 * std::cos(b);
  // About z by angle 1.
  out[0] = x2 * std::cos(a) + y1 * std::sin(a);
  out[1] = -x2 * std::sin(a) + y1 * std::cos(a);
  out[2] = z2;
}

void pose_front(const ScenePose &pose, float out[3]) {
  const float f[3] = {0, 0, 1};
  rotate_vector(pose.angles, f, out);
}

void pose_top(const ScenePose &pose, float out[3]) {
  const float t[3] = {0, 1, 0};
  rotate_vector(pose.angles, t, out);
}

void rebuild_cones(void) {
  AcousticGuard hold;
  for (int v = 0; v < 4; ++v) {
    for (int k = 0; k < 2; ++k) {
      const ConeRecord &rec = cone_records[v][k];
      ConeModel &m = cone_models[v][k];
      int segments = rec.segments;
      if (segments > CONE_MAX_SEGMENTS) segments = CONE_MAX_SEGMENTS;
      m.head.flags = CONE_MODEL_FLAGS;
      m.head.triangleCount = uint32_t(segments);
      m.head.pose = scene_poses[POSE_VOICE_FIRST + v];
      m.head.scale = rec.scale;
      if (segments == 0) continue;
      float h = rec.angle * kPi / 360.0f;
      float c = rec.length * std::cos(h);
      float r = rec.length * std::sin(h);
      float step = 2 * kPi / float(segments);
      for (int i = 0; i < segments; ++i) {
        float t0 = float(i) * step, t1 = t0 + step;
        ConeVertex *tri = &m.vertices[3 * i];
        const float pos[3][3] = {{0, 0, 0},
                                 {r * std::cos(t0), r * std::sin(t0), c},
                                 {r * std::cos(t1), r * std::sin(t1), c}};
        const float nrm[3][2] = {{std::cos(t0), std::sin(t0)},
                                 {std::cos(t0), std::sin(t0)},
                                 {std::cos(t1), std::sin(t1)}};
        for (int j = 0; j < 3; ++j) {
          for (int a = 0; a < 3; ++a) tri[j].position[a] = pos[j][a];
          for (int a = 0; a < 4; ++a) tri[j].colour[a] = rec.colour[a];
          tri[j].normal[0] = nrm[j][0];
          tri[j].normal[1] = nrm[j][1];
          tri[j].normal[2] = 0;
        }
      }
    }
  }
}

void apply_poses(void) {
  CurrentVoiceScope scope;
  const ScenePose &listener = scene_poses[POSE_LISTENER];
  ds3d_listener_set_position(listener.position);
  float ft[6];
  pose_front(listener, ft);
  pose_top(listener, ft + 3);
  ds3d_listener_set_orientation(ft);
  for (int v = 0; v < 4; ++v) {
    current_voice_select(v);
    ds3d_voice_set_position(scene_poses[POSE_VOICE_FIRST + v].position);
  }
  for (int v = 0; v < 4; ++v) {
    current_voice_select(v);
    float front[3];
    pose_front(scene_poses[POSE_VOICE_FIRST + v], front);
    ds3d_voice_set_cone_orientation(front);
  }
  for (int v = 0; v < 4; ++v) {
    current_voice_select(v);
    float in = cone_records[v][CONE_INSIDE].angle, out = cone_records[v][CONE_OUTSIDE].angle;
    uint32_t angles[2] = {in > 0 ? uint32_t(std::lround(in)) : 0u, out > 0 ? uint32_t(std::lround(out)) : 0u};
    ds3d_voice_set_cone_angles(angles);
  }
}
