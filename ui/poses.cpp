#include "ui/poses.h"

#include <cmath>
#include <cstdint>

#include "device/properties.h"
#include "ui/scene.h"

ScenePose scene_poses[POSE_COUNT] = {
    {{0, 0, 0}, {0, 0, 0}},  scene_voice_defaults[0], scene_voice_defaults[1],
    scene_voice_defaults[2], scene_voice_defaults[3],
};
ConeRecord cone_records[4][2] = {
    {cone_record_defaults[0][0], cone_record_defaults[0][1]},
    {cone_record_defaults[1][0], cone_record_defaults[1][1]},
    {cone_record_defaults[2][0], cone_record_defaults[2][1]},
    {cone_record_defaults[3][0], cone_record_defaults[3][1]},
};
ConeModel cone_models[4][2];

void poses_reset(void) {
  AcousticGuard hold;
  scene_poses[POSE_LISTENER] = ScenePose{{0, 0, 0}, {0, 0, 0}};
  for (int v = 0; v < 4; ++v) {
    scene_poses[POSE_VOICE_FIRST + v] = scene_voice_defaults[v];
    cone_records[v][CONE_INSIDE] = cone_record_defaults[v][CONE_INSIDE];
    cone_records[v][CONE_OUTSIDE] = cone_record_defaults[v][CONE_OUTSIDE];
  }
}

void rebuild_cones(void) {
  AcousticGuard hold;
  for (int v = 0; v < 4; ++v)
    for (int k = 0; k < 2; ++k)
      cone_model_build(cone_records[v][k], scene_poses[POSE_VOICE_FIRST + v], &cone_models[v][k]);
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
