// The acoustic poses of the DS3D view: where the listener and the four
// voices stand and which way they face, the voices' inside and outside cone
// records, and the cone models generated from them. These records are the
// only copy of the positions, orientations and cone angles; the property
// block captures and applies them, and apply_poses sends them to the device.
#pragma once

#include <cstdint>

// Position and the three angles of a scene object. Angle 2 (yaw) and angle 3
// (pitch) give the orientation; angle 1 stays 0.
struct ScenePose {
  float position[3];
  float angles[3];
};

// The head of a scene model as the renderer walks it: flags, triangle
// count, pose and uniform scale, followed by the triangles.
struct SceneModelHeader {
  uint32_t flags;
  uint32_t triangleCount;
  ScenePose pose;
  float scale;
};
static_assert(sizeof(SceneModelHeader) == 36, "scene model head is 36 bytes");

enum : int { POSE_LISTENER = 0, POSE_VOICE_FIRST = 1, POSE_COUNT = 5 };
enum : int { CONE_INSIDE = 0, CONE_OUTSIDE = 1 };

struct ConeRecord {
  float angle;   // degrees, 0..360: the full aperture
  float length;
  uint16_t segments;
  float scale;
  uint8_t colour[4];  // alpha, blue, green, red
};

// A cone vertex in the layout of model flags 0x6E: position, colour bytes
// (alpha, blue, green, red), normal.
struct ConeVertex {
  float position[3];
  uint8_t colour[4];
  float normal[3];
};
static_assert(sizeof(ConeVertex) == 28, "cone vertex is 28 bytes");

enum : uint32_t { CONE_MODEL_FLAGS = 0x6E };
enum : int { CONE_MAX_SEGMENTS = 64 };

struct ConeModel {
  SceneModelHeader head;
  ConeVertex vertices[CONE_MAX_SEGMENTS * 3];
};

// Where the voices stand at start: each faces the centre of the room.
inline constexpr ScenePose scene_voice_defaults[4] = {
    {{-1, 0, 1}, {0, 2.3562f, 0}},   // L1
    {{1, 0, 1}, {0, 3.927f, 0}},     // R1
    {{-1, 0, -1}, {0, 0.7854f, 0}},  // L2
    {{1, 0, -1}, {0, 5.4978f, 0}},   // R2
};
// The cone records at start; colours alpha, blue, green, red.
inline constexpr ConeRecord cone_record_defaults[4][2] = {
    {{35, 0.3f, 20, 1.35f, {159, 255, 255, 160}}, {80, 0.3f, 20, 1.35f, {95, 192, 255, 144}}},
    {{35, 0.3f, 20, 1.35f, {159, 255, 255, 160}}, {80, 0.3f, 20, 1.35f, {95, 192, 255, 144}}},
    {{35, 0.3f, 20, 1.35f, {159, 207, 207, 192}}, {80, 0.3f, 20, 1.35f, {95, 176, 207, 176}}},
    {{35, 0.3f, 20, 1.35f, {159, 207, 207, 192}}, {80, 0.3f, 20, 1.35f, {95, 176, 207, 176}}},
};

// 0 listener, 1..4 the voices L1, R1, L2, R2.
extern ScenePose scene_poses[POSE_COUNT];
// [voice][CONE_INSIDE / CONE_OUTSIDE]
extern ConeRecord cone_records[4][2];
extern ConeModel cone_models[4][2];

// Writes the voice defaults into the four voice poses and the default cone
// records; the listener goes to the origin facing +z. The records start in
// this state, so only a deliberate reset needs it.
void poses_reset(void);

// Turns v by angle 3 about x, then angle 2 about y, then angle 1 about z.
void rotate_vector(const float angles[3], const float in[3], float out[3]);

// The forward vector (0, 0, 1) and the top vector (0, 1, 0) of a pose.
void pose_front(const ScenePose &pose, float out[3]);
void pose_top(const ScenePose &pose, float out[3]);

// The cone of a voice: the record's `segments` triangles (at most
// CONE_MAX_SEGMENTS) opening along the pose's forward direction.
void cone_model_build(const ConeRecord &record, const ScenePose &pose, ConeModel *out);

// Regenerates the eight cone models from the voice poses and cone records.
void rebuild_cones(void);

// Sends every pose and cone angle to the device: listener position and
// orientation, then each voice's position, cone orientation and cone angles
// rounded to whole degrees. Holds the acoustic lock for the whole run.
void apply_poses(void);
