#include "device/block.h"

#include <cmath>
#include <cstring>

#include "device/device.h"
#include "device/properties.h"
#include "ui/poses.h"

const char PROPERTY_BLOCK_MAGIC[4] = {'e', 'n', 'v', '4'};
PropertyBlock property_block;

namespace {
// The EAX fields lie in block order as consecutive 4-byte values.
unsigned char *listener_field(int i) {
  return reinterpret_cast<unsigned char *>(&property_block.environment) + 4 * i;
}
unsigned char *voice_field(int v, int i) {
  return reinterpret_cast<unsigned char *>(&property_block.eaxVoice[v]) + 4 * i;
}
uint32_t whole_degrees(float angle) {
  if (!(angle > 0)) return 0;
  return uint32_t(std::lround(angle));
}
}  // namespace

int block_capture(void) {
  CurrentVoiceScope scope;
  PropertyBlock &b = property_block;
  std::memcpy(b.magic, PROPERTY_BLOCK_MAGIC, 4);
  for (int v = 0; v < VOICE_COUNT; ++v) {
    current_voice_select(v);
    voice_volume_get(&b.volume[v]);
  }
  for (int i = 0; i < 14; ++i) eax_listener_get(eax_listener_block_order[i], listener_field(i));
  for (int v = 0; v < VOICE_COUNT; ++v) {
    current_voice_select(v);
    for (int i = 0; i < 13; ++i) eax_voice_get(eax_voice_block_order[i], voice_field(v, i));
  }
  ds3d_listener_get_distance_factor(&b.distanceFactor);
  ds3d_listener_get_doppler_factor(&b.dopplerFactor);
  std::memcpy(b.listenerAngles, scene_poses[POSE_LISTENER].angles, 12);
  std::memcpy(b.listenerPosition, scene_poses[POSE_LISTENER].position, 12);
  ds3d_listener_get_rolloff_factor(&b.rolloffFactor);
  ds3d_listener_get_velocity(b.listenerVelocity);
  for (int v = 0; v < VOICE_COUNT; ++v) {
    Ds3dVoiceFields &d = b.ds3dVoice[v];
    const ScenePose &pose = scene_poses[POSE_VOICE_FIRST + v];
    current_voice_select(v);
    d.insideConeAngle = cone_records[v][CONE_INSIDE].angle;
    d.outsideConeAngle = cone_records[v][CONE_OUTSIDE].angle;
    std::memcpy(d.angles, pose.angles, 12);
    ds3d_voice_get_cone_outside_volume(&d.coneOutsideVolume);
    ds3d_voice_get_max_distance(&d.maxDistance);
    ds3d_voice_get_min_distance(&d.minDistance);
    ds3d_voice_get_mode(&d.mode);
    std::memcpy(d.position, pose.position, 12);
    ds3d_voice_get_velocity(d.velocity);
  }
  return PROPERTY_BLOCK_BYTES;
}

int block_apply(void) {
  CurrentVoiceScope scope;
  const PropertyBlock &b = property_block;
  for (int v = 0; v < VOICE_COUNT; ++v) {
    current_voice_select(v);
    voice_volume_set(&b.volume[v]);
  }
  for (int i = 0; i < 14; ++i) eax_listener_set(eax_listener_block_order[i], listener_field(i));
  for (int v = 0; v < VOICE_COUNT; ++v) {
    current_voice_select(v);
    for (int i = 0; i < 13; ++i) eax_voice_set(eax_voice_block_order[i], voice_field(v, i));
  }
  ds3d_listener_set_distance_factor(&b.distanceFactor);
  // The Doppler factor and the velocities are recorded, never applied.
  std::memcpy(scene_poses[POSE_LISTENER].angles, b.listenerAngles, 12);
  std::memcpy(scene_poses[POSE_LISTENER].position, b.listenerPosition, 12);
  ds3d_listener_set_rolloff_factor(&b.rolloffFactor);
  for (int v = 0; v < VOICE_COUNT; ++v) {
    const Ds3dVoiceFields &d = b.ds3dVoice[v];
    ScenePose &pose = scene_poses[POSE_VOICE_FIRST + v];
    current_voice_select(v);
    uint32_t angles[2] = {whole_degrees(d.insideConeAngle), whole_degrees(d.outsideConeAngle)};
    ds3d_voice_set_cone_angles(angles);
    cone_records[v][CONE_INSIDE].angle = d.insideConeAngle;
    cone_records[v][CONE_OUTSIDE].angle = d.outsideConeAngle;
    std::memcpy(pose.angles, d.angles, 12);
    ds3d_voice_set_cone_outside_volume(&d.coneOutsideVolume);
    ds3d_voice_set_max_distance(&d.maxDistance);
    ds3d_voice_set_min_distance(&d.minDistance);
    ds3d_voice_set_mode(&d.mode);
    std::memcpy(pose.position, d.position, 12);
  }
  return PROPERTY_BLOCK_BYTES;
}

bool block_is_valid(const void *bytes, long count) {
  return count == PROPERTY_BLOCK_BYTES && std::memcmp(bytes, PROPERTY_BLOCK_MAGIC, 4) == 0;
}
