#include "ui/scene.h"

#include <cmath>
#include <cstring>

namespace {

const float kPi = 3.14159265358979f;

float read_float(const uint8_t *p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}
uint32_t read_u32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool has_colour(uint32_t flags) { return (flags & (MODEL_ALPHA | MODEL_COLOUR_SOURCE)) != 0; }
bool has_light_factor(uint32_t flags) {
  return (flags & MODEL_NORMALS) && (flags & MODEL_LIGHTING) && (flags & MODEL_LIGHT_FACTOR);
}

uint8_t clamp_byte(float v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v > 255) return 255;
  return uint8_t(v);
}

// A texture number as stored, kept in range for the drawing.
uint8_t texture_of(uint8_t stored) { return stored < SCENE_TEXTURE_COUNT ? stored : 0; }

}  // namespace

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

size_t scene_vertex_bytes(uint32_t flags) {
  size_t n = 12;
  if (flags & MODEL_TEXCOORDS) n += 8;
  if (has_colour(flags)) n += 4;
  if (flags & MODEL_NORMALS) n += 12;
  if (has_light_factor(flags)) n += 4;
  if (flags & MODEL_EDGE_FLAGS) n += 4;
  return n;
}

size_t scene_triangle_bytes(uint32_t flags) {
  return (flags & MODEL_TEX_NUMBER ? 1 : 0) + 3 * scene_vertex_bytes(flags);
}

int scene_model_parse(const uint8_t *record, size_t size, SceneModel *model) {
  if (!record || size < sizeof(SceneModelHeader)) return -1;
  SceneModelHeader head;
  std::memcpy(&head, record, sizeof head);
  size_t each = scene_triangle_bytes(head.flags);
  size_t body = size - sizeof head;
  if (head.triangleCount > body / each || body != each * head.triangleCount) return -1;
  const uint8_t *tri = record + sizeof head;
  if (head.flags & MODEL_TEX_NUMBER)
    for (uint32_t i = 0; i < head.triangleCount; ++i)
      if (tri[i * each] >= SCENE_TEXTURE_COUNT) return -1;
  model->head = head;
  model->triangles = tri;
  return 0;
}

SceneModel scene_cone_model(const ConeModel &cone) {
  SceneModel m;
  m.head = cone.head;
  if (m.head.triangleCount > CONE_MAX_SEGMENTS) m.head.triangleCount = CONE_MAX_SEGMENTS;
  m.triangles = reinterpret_cast<const uint8_t *>(cone.vertices);
  return m;
}

void cone_model_build(const ConeRecord &rec, const ScenePose &pose, ConeModel *m) {
  int segments = rec.segments;
  if (segments > CONE_MAX_SEGMENTS) segments = CONE_MAX_SEGMENTS;
  m->head.flags = CONE_MODEL_FLAGS;
  m->head.triangleCount = uint32_t(segments);
  m->head.pose = pose;
  m->head.scale = rec.scale;
  if (segments == 0) return;
  float h = rec.angle * kPi / 360.0f;
  float c = rec.length * std::cos(h);
  float r = rec.length * std::sin(h);
  float step = 2 * kPi / float(segments);
  for (int i = 0; i < segments; ++i) {
    float t0 = float(i) * step, t1 = t0 + step;
    ConeVertex *tri = &m->vertices[3 * i];
    const float pos[3][3] = {{0, 0, 0}, {r * std::cos(t0), r * std::sin(t0), c}, {r * std::cos(t1), r * std::sin(t1), c}};
    const float nrm[3][2] = {{std::cos(t0), std::sin(t0)}, {std::cos(t0), std::sin(t0)}, {std::cos(t1), std::sin(t1)}};
    for (int j = 0; j < 3; ++j) {
      for (int a = 0; a < 3; ++a) tri[j].position[a] = pos[j][a];
      for (int a = 0; a < 4; ++a) tri[j].colour[a] = rec.colour[a];
      tri[j].normal[0] = nrm[j][0];
      tri[j].normal[1] = nrm[j][1];
      tri[j].normal[2] = 0;
    }
  }
}

void scene_camera_turn(const SceneCamera &camera, const float in[3], float out[3]) {
  // Yaw about y first, so that the orbit turns about the room's vertical,
  // then pitch about the screen's horizontal.
  float cb = std::cos(camera.yaw), sb = std::sin(camera.yaw);
  float x1 = in[0] * cb + in[2] * sb;
  float z1 = -in[0] * sb + in[2] * cb;
  float cc = std::cos(camera.pitch), sc = std::sin(camera.pitch);
  out[0] = x1;
  out[1] = in[1] * cc + z1 * sc;
  out[2] = -in[1] * sc + z1 * cc;
}

void scene_project(const SceneCamera &camera, const float p[3], float out[4]) {
  // A view without width (a minimised window) keeps the square's aspect
  // instead of dividing by zero.
  float aspect = camera.width > 0 ? float(camera.height) / float(camera.width) : 1.0f;
  float d = p[2] + 1;
  out[0] = 4 * camera.zoom * (p[0] * aspect + camera.panX);
  out[1] = 4 * camera.zoom * p[1];
  out[2] = d;
  out[3] = 7 * (d + camera.dolly) + 8;
}

void scene_project_point(const SceneCamera &camera, const float world[3], float out[4]) {
  float turned[3];
  scene_camera_turn(camera, world, turned);
  scene_project(camera, turned, out);
}

void frame_clear(FrameList *list) { list->count = 0; }

namespace {
// A turn as the images of the three axes, so that each vertex costs a
// matrix product instead of a dozen sines and cosines.
struct Turn {
  float m[3][3];  // m[axis] = image of that unit axis
  void apply(const float in[3], float out[3]) const {
    for (int a = 0; a < 3; ++a) out[a] = in[0] * m[0][a] + in[1] * m[1][a] + in[2] * m[2][a];
  }
};
Turn model_turn(const float angles[3]) {
  Turn t;
  for (int axis = 0; axis < 3; ++axis) {
    const float unitAxis[3] = {axis == 0 ? 1.0f : 0.0f, axis == 1 ? 1.0f : 0.0f, axis == 2 ? 1.0f : 0.0f};
    rotate_vector(angles, unitAxis, t.m[axis]);
  }
  return t;
}
Turn camera_turn(const SceneCamera &camera) {
  Turn t;
  for (int axis = 0; axis < 3; ++axis) {
    const float unitAxis[3] = {axis == 0 ? 1.0f : 0.0f, axis == 1 ? 1.0f : 0.0f, axis == 2 ? 1.0f : 0.0f};
    scene_camera_turn(camera, unitAxis, t.m[axis]);
  }
  return t;
}
}  // namespace

int frame_add_model(FrameList *list, const SceneModel &model, const SceneCamera &camera, int owner) {
  const uint32_t flags = model.head.flags;
  const size_t vertexBytes = scene_vertex_bytes(flags);
  const uint8_t *p = model.triangles;
  const ScenePose &pose = model.head.pose;
  const Turn turnModel = model_turn(pose.angles), turnCamera = camera_turn(camera);
  int added = 0;
  for (uint32_t i = 0; i < model.head.triangleCount; ++i) {
    if (list->count >= FRAME_CAPACITY) break;
    FrameTriangle &t = list->triangles[list->count];
    t.sequence = uint32_t(list->count);
    t.flags = flags;
    t.owner = uint8_t(owner);
    t.texture = 0;
    if (flags & MODEL_TEX_NUMBER) t.texture = texture_of(*p++);
    bool translucent = false;
    for (int k = 0; k < 3; ++k, p += vertexBytes) {
      FrameVertex &v = t.v[k];
      const uint8_t *q = p;
      float local[3] = {read_float(q), read_float(q + 4), read_float(q + 8)}, world[3];
      q += 12;
      turnModel.apply(local, world);
      for (int a = 0; a < 3; ++a) world[a] = world[a] * model.head.scale + pose.position[a];
      float turned[3], clip[4];
      turnCamera.apply(world, turned);
      scene_project(camera, turned, clip);
      v.x = clip[0];
      v.y = clip[1];
      v.depth = clip[2];
      v.w = clip[3];
      v.s = v.t = 0;
      v.r = 0;
      v.q = 1;
      if (flags & MODEL_TEXCOORDS) {
        v.s = read_float(q);
        v.t = read_float(q + 4);
        q += 8;
      }
      // Stored alpha, blue, green, red; the list holds R, G, B, A.
      uint8_t abgr[4] = {255, 255, 255, 255};
      if (has_colour(flags)) {
        std::memcpy(abgr, q, 4);
        q += 4;
      }
      switch (flags & MODEL_COLOUR_SOURCE) {
        case 0:
          v.rgba[0] = v.rgba[1] = v.rgba[2] = 255;
          break;
        case 1:
          v.rgba[0] = v.rgba[1] = v.rgba[2] = abgr[3];
          break;
        default:
          v.rgba[0] = abgr[3];
          v.rgba[1] = abgr[2];
          v.rgba[2] = abgr[1];
          break;
      }
      v.rgba[3] = flags & MODEL_ALPHA ? abgr[0] : 255;
      if (v.rgba[3] != 255) translucent = true;
      if (flags & MODEL_DEPTH_SHADE) {
        long n = std::lround((1.9f - v.depth) * 256.0f / 0.9f);
        if (n < 0) n = 0;
        if (n > 255) n = 255;
        for (int c = 0; c < 3; ++c) v.rgba[c] = uint8_t(v.rgba[c] * n / 256);
      }
      float light = 0.6f;
      v.normal[0] = v.normal[1] = v.normal[2] = 0;
      if (flags & MODEL_NORMALS) {
        float n[3] = {read_float(q), read_float(q + 4), read_float(q + 8)}, nw[3];
        q += 12;
        turnModel.apply(n, nw);
        turnCamera.apply(nw, v.normal);
        if (has_light_factor(flags)) {
          light = read_float(q);
          q += 4;
        }
      }
      if (flags & MODEL_LIGHTING) {
        // Full colour facing the camera (normal z = -1), darker as the
        // face turns away; a light factor of 0 or below leaves only faces
        // turned straight at the camera lit.
        float f = light > 0 ? 1 - (1 + v.normal[2]) / (2 * light) : (v.normal[2] <= -1 ? 1.0f : 0.0f);
        for (int c = 0; c < 3; ++c) v.rgba[c] = clamp_byte(std::round(v.rgba[c] * f));
      }
      v.edge = flags & MODEL_EDGE_FLAGS ? (read_u32(q) ? 1u : 0u) : 1u;
    }
    if (translucent) t.flags |= FRAME_TRANSLUCENT;
    ++list->count;
    ++added;
  }
  return added;
}

void frame_depth_sort(FrameList *list) {
  const int n = list->count;
  if (n < 2) return;
  float keys[FRAME_CAPACITY];
  for (int i = 0; i < n; ++i) {
    const FrameTriangle &t = list->triangles[i];
    keys[i] = t.v[0].depth + t.v[1].depth + t.v[2].depth;
  }
  for (int i = 0; i < n - 1; ++i) {
    int best = i;
    for (int j = i + 1; j < n; ++j)
      if (keys[j] >= keys[best]) best = j;  // equal keys: the later wins
    if (best != i) {
      FrameTriangle tmp = list->triangles[i];
      list->triangles[i] = list->triangles[best];
      list->triangles[best] = tmp;
      float k = keys[i];
      keys[i] = keys[best];
      keys[best] = k;
    }
  }
}

int frame_build(FrameList *list, const SceneContent &content, const SceneCamera &camera) {
  frame_clear(list);
  frame_add_model(list, content.floor, camera, 0);
  SceneModel listener = content.listener;
  listener.head.pose = content.poses[POSE_LISTENER];
  frame_add_model(list, listener, camera, 1);
  for (int v = 0; v < 4; ++v) {
    if (content.hidden && content.hidden[v]) continue;
    SceneModel box = v % 2 == 0 ? content.leftBox : content.rightBox;
    box.head.pose = content.poses[POSE_VOICE_FIRST + v];
    frame_add_model(list, box, camera, 2 + v);
  }
  for (int v = 0; v < 4; ++v) {
    if (content.hidden && content.hidden[v]) continue;
    for (int k = 0; k < 2; ++k) frame_add_model(list, scene_cone_model(content.cones[v][k]), camera, 0);
  }
  frame_depth_sort(list);
  return list->count;
}

namespace {
float edge(float ax, float ay, float bx, float by, float px, float py) {
  return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}
}  // namespace

int frame_pick(const FrameList &list, const SceneCamera &camera, int x, int y) {
  float width = camera.width > 0 ? float(camera.width) : 1.0f;
  float height = camera.height > 0 ? float(camera.height) : 1.0f;
  float u = 2.0f * float(x) / width - 1, v = 1 - 2.0f * float(y) / height;
  int found = 0;
  float bestSum = 0;
  for (int i = 0; i < list.count; ++i) {
    const FrameTriangle &t = list.triangles[i];
    if (t.owner == 0) continue;
    if (t.v[0].w < 0.75f && t.v[1].w < 0.75f && t.v[2].w < 0.75f) continue;
    float px[3], py[3];
    bool usable = true;
    for (int k = 0; k < 3; ++k) {
      if (t.v[k].w == 0) usable = false;
      px[k] = t.v[k].x / t.v[k].w;
      py[k] = t.v[k].y / t.v[k].w;
    }
    if (!usable) continue;
    // Inside when on the same side of all three edges, whichever way the
    // triangle winds; points on an edge count as inside.
    float e0 = edge(px[0], py[0], px[1], py[1], u, v);
    float e1 = edge(px[1], py[1], px[2], py[2], u, v);
    float e2 = edge(px[2], py[2], px[0], py[0], u, v);
    bool inside = (e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0);
    if (!inside) continue;
    float sum = t.v[0].depth + t.v[1].depth + t.v[2].depth;
    if (!found || sum < bestSum) {
      found = t.owner;
      bestSum = sum;
    }
  }
  return found;
}

void frame_draw(const FrameList &list, SceneDrawTarget *target) {
  target->depth_mask(true);
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < list.count; ++i) {
      const FrameTriangle &t = list.triangles[i];
      if (pass == 0 && (t.flags & FRAME_TRANSLUCENT)) continue;
      target->bind_texture(t.texture);
      target->texture_add((t.flags & MODEL_TEX_ADD) != 0);
      target->enable_texture((t.flags & MODEL_TEXCOORDS) != 0);
      target->enable_fog((t.flags & MODEL_FOG) != 0);
      target->triangle(t);
    }
  }
}
