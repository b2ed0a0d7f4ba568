// The 3D view's scene on the processor: scene models in their byte form,
// the camera, the frame triangle list (transformed, projected, shaded, lit
// and depth-sorted here), picking, and drawing the list through a small
// interface that OpenGL 1.1 or a recorder implements.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ui/poses.h"

// Model flags. The same for every triangle of a model.
enum : uint32_t {
  MODEL_COLOUR_SOURCE = 0x3,  // 0 white, 1 grey (red byte), 2 RGB bytes
  MODEL_ALPHA = 0x4,          // alpha from the colour bytes, else 255
  MODEL_NORMALS = 0x8,
  MODEL_DEPTH_SHADE = 0x10,   // darker with camera depth (the floor)
  MODEL_LIGHTING = 0x20,      // lit by the normal
  MODEL_FOG = 0x40,           // OpenGL fog while drawn
  MODEL_TEXCOORDS = 0x80,     // texture coordinates; texturing while drawn
  MODEL_TEX_ADD = 0x100,      // GL_ADD, else GL_MODULATE
  MODEL_LIGHT_FACTOR = 0x200, // a light factor per vertex, else 0.6
  MODEL_EDGE_FLAGS = 0x400,   // an edge flag per vertex, else 1
  MODEL_TEX_NUMBER = 0x1000,  // a texture number per triangle, else 0
  // Set in the frame list on a triangle with a vertex alpha other than 255.
  FRAME_TRANSLUCENT = 0x80000000u,
};

// The models of the scene and their flags.
enum : uint32_t {
  FLOOR_FLAGS = 0x14D6,
  LISTENER_FLAGS = 0x17EA,
  BOX_FLAGS = 0x16E8,
};
enum : int {
  SCENE_FLOOR = 0,
  SCENE_LEFT_BOX = 1,
  SCENE_RIGHT_BOX = 2,
  SCENE_LISTENER = 3,
  SCENE_MODEL_COUNT = 4,
  SCENE_TEXTURE_COUNT = 4,  // 0 floor, 1 left box, 2 right box, 3 listener
};

// Bytes of one triangle of a model with these flags, and of one vertex.
size_t scene_vertex_bytes(uint32_t flags);
size_t scene_triangle_bytes(uint32_t flags);

// A scene model: its head and its triangles' bytes in the stored layout.
struct SceneModel {
  SceneModelHeader head;
  const uint8_t *triangles;
};

// Reads the head of a model record of `size` bytes and points at its
// triangles. 0 when the record holds exactly the triangles its head
// announces and every texture number is 0..3; -1 otherwise.
int scene_model_parse(const uint8_t *record, size_t size, SceneModel *model);

// A cone model (see cone_model_build) in the same form.
SceneModel scene_cone_model(const ConeModel &cone);

struct SceneCamera {
  float yaw = 0;
  float pitch = 1.57f;  // looking straight down on the floor
  float panX = 0;
  float dolly = 0;
  float zoom = 2.5f;
  int width = 400;  // the view size
  int height = 400;
};

// Turns a world point by the camera: yaw about y, then pitch about x.
void scene_camera_turn(const SceneCamera &camera, const float in[3], float out[3]);
// Projects a turned point to (X, Y, depth, w); OpenGL divides by w.
void scene_project(const SceneCamera &camera, const float turned[3], float out[4]);
// Both: a world point as OpenGL receives it.
void scene_project_point(const SceneCamera &camera, const float world[3], float out[4]);

struct FrameVertex {
  float x, y, depth, w;
  float s, t, r, q;
  uint8_t rgba[4];
  float normal[3];
  uint32_t edge;
};

struct FrameTriangle {
  uint32_t sequence;  // order of adding within the frame
  uint32_t flags;     // model flags, with FRAME_TRANSLUCENT
  uint8_t texture;
  uint8_t owner;  // 0 not pickable, 1 listener, 2..5 L1, R1, L2, R2
  FrameVertex v[3];
};

enum : int { FRAME_CAPACITY = 900, FRAME_TRIANGLES = 220 };

struct FrameList {
  int count = 0;
  FrameTriangle triangles[FRAME_CAPACITY];
};

void frame_clear(FrameList *list);
// Adds the model's triangles at its head's pose, turned by the camera and
// projected, coloured, depth-shaded and lit as its flags say. owner is what
// picking reports for them (0: never picked). Returns the number added:
// fewer than the model holds only when the list is full.
int frame_add_model(FrameList *list, const SceneModel &model, const SceneCamera &camera, int owner);
// Far to near by the sum of the three depths; on equal sums the later
// triangle goes first.
void frame_depth_sort(FrameList *list);

// What is needed to draw the view's frame.
struct SceneContent {
  SceneModel floor, leftBox, rightBox, listener;  // heads' poses are ignored but for the floor
  const ScenePose *poses;                         // [POSE_COUNT]: listener, L1, R1, L2, R2
  const ConeModel (*cones)[2];                    // [4][2]
  const bool *hidden;                             // [4], may be null
};

// Empties the list and adds the floor, the listener, each shown voice and
// then the inside and outside cones of each shown voice; then sorts it.
// Returns the number of triangles.
int frame_build(FrameList *list, const SceneContent &content, const SceneCamera &camera);

// The object at client pixel (x, y) of the last frame: 1 listener, 2..5
// L1, R1, L2, R2, 0 nothing. Edges count as inside.
int frame_pick(const FrameList &list, const SceneCamera &camera, int x, int y);

// The drawing calls of a frame; OpenGL 1.1 in the view, a recorder in tests.
class SceneDrawTarget {
 public:
  virtual ~SceneDrawTarget() = default;
  virtual void depth_mask(bool write) = 0;
  virtual void bind_texture(int number) = 0;
  virtual void texture_add(bool add) = 0;  // GL_ADD, else GL_MODULATE
  virtual void enable_texture(bool on) = 0;
  virtual void enable_fog(bool on) = 0;
  // glBegin(GL_TRIANGLES), per vertex edge flag, normal, colour, texture
  // coordinates and position, glEnd.
  virtual void triangle(const FrameTriangle &t) = 0;
};

// Depth writes on, then two passes in list order: the opaque triangles,
// then every triangle.
void frame_draw(const FrameList &list, SceneDrawTarget *target);
