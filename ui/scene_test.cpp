#include "ui/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "ui/scene_assets.h"

namespace {

const float kPi = 3.14159265358979f;

// One-triangle-at-a-time model records for the pipeline's arithmetic.
struct TestVertex {
  float p[3];
  uint8_t abgr[4];
  float n[3];
  float light;
};

std::vector<uint8_t> record(uint32_t flags, const std::vector<TestVertex> &vertices, ScenePose pose = {},
                            float scale = 1) {
  SceneModelHeader head{flags, uint32_t(vertices.size() / 3), pose, scale};
  std::vector<uint8_t> out(sizeof head);
  std::memcpy(out.data(), &head, sizeof head);
  auto put = [&](const void *p, size_t n) {
    const uint8_t *b = static_cast<const uint8_t *>(p);
    out.insert(out.end(), b, b + n);
  };
  for (size_t i = 0; i < vertices.size(); ++i) {
    if (i % 3 == 0 && (flags & MODEL_TEX_NUMBER)) out.push_back(0);
    const TestVertex &v = vertices[i];
    put(v.p, 12);
    if (flags & MODEL_TEXCOORDS) {
      const float st[2] = {0.5f, 0.25f};
      put(st, 8);
    }
    if (flags & (MODEL_ALPHA | MODEL_COLOUR_SOURCE)) put(v.abgr, 4);
    if (flags & MODEL_NORMALS) {
      put(v.n, 12);
      if ((flags & MODEL_LIGHTING) && (flags & MODEL_LIGHT_FACTOR)) put(&v.light, 4);
    }
    if (flags & MODEL_EDGE_FLAGS) {
      const uint32_t e = i % 3 == 1 ? 0 : 1;
      put(&e, 4);
    }
  }
  return out;
}

TestVertex at(float x, float y, float z, uint8_t r = 200, uint8_t g = 100, uint8_t b = 50, uint8_t a = 255) {
  return TestVertex{{x, y, z}, {a, b, g, r}, {0, 0, -1}, 0.6f};
}

SceneModel parsed(const std::vector<uint8_t> &bytes) {
  SceneModel m{};
  EXPECT_EQ(scene_model_parse(bytes.data(), bytes.size(), &m), 0);
  return m;
}

// A camera looking along +z with nothing turned.
SceneCamera level_camera() {
  SceneCamera c;
  c.pitch = 0;
  return c;
}

struct Loaded {
  SceneResources res;
  ScenePose poses[POSE_COUNT];
  ConeModel cones[4][2];
  bool hidden[4] = {false, false, false, false};
  SceneContent content() {
    return SceneContent{res.model[SCENE_FLOOR], res.model[SCENE_LEFT_BOX], res.model[SCENE_RIGHT_BOX],
                        res.model[SCENE_LISTENER], poses, cones, hidden};
  }
  Loaded() {
    EXPECT_EQ(scene_resources_load(&res), 0);
    poses[0] = ScenePose{{0, 0, 0}, {0, 0, 0}};
    for (int v = 0; v < 4; ++v) poses[1 + v] = scene_voice_defaults[v];
    rebuild();
  }
  void rebuild() {
    for (int v = 0; v < 4; ++v)
      for (int k = 0; k < 2; ++k) cone_model_build(cone_record_defaults[v][k], poses[1 + v], &cones[v][k]);
  }
};

TEST(StoredScene, ModelsHaveTheirSizesShapesAndFlags) {
  SceneResources res;
  ASSERT_EQ(scene_resources_load(&res), 0);
  const size_t sizes[4] = {376, 1488, 1488, 1100};
  const uint32_t counts[4] = {4, 12, 12, 8}, flags[4] = {0x14D6, 0x16E8, 0x16E8, 0x17EA};
  const float scales[4] = {2.3f, 0.2f, 0.2f, 0.2f};
  for (int i = 0; i < SCENE_MODEL_COUNT; ++i) {
    EXPECT_EQ(res.record[i].size(), sizes[i]) << i;
    EXPECT_EQ(res.model[i].head.triangleCount, counts[i]) << i;
    EXPECT_EQ(res.model[i].head.flags, flags[i]) << i;
    EXPECT_FLOAT_EQ(res.model[i].head.scale, scales[i]) << i;
  }
  EXPECT_FLOAT_EQ(res.model[SCENE_FLOOR].head.pose.position[1], -0.2f);
  // The boxes carry their own textures on every triangle.
  for (int box : {SCENE_LEFT_BOX, SCENE_RIGHT_BOX})
    for (uint32_t t = 0; t < 12; ++t)
      EXPECT_EQ(res.model[box].triangles[t * scene_triangle_bytes(BOX_FLAGS)], box == SCENE_LEFT_BOX ? 1 : 2);
  const int sides[4] = {128, 64, 64, 64};
  for (int i = 0; i < SCENE_TEXTURE_COUNT; ++i) {
    EXPECT_EQ(res.textureSide[i], sides[i]);
    EXPECT_EQ(res.texture[i].size(), size_t(sides[i]) * sides[i] * 4);
  }
}

TEST(StoredScene, AFrameHolds220TrianglesAndHidingAVoiceDropsIts52) {
  Loaded s;
  std::unique_ptr<FrameList> list(new FrameList);
  EXPECT_EQ(frame_build(list.get(), s.content(), SceneCamera()), FRAME_TRIANGLES);
  s.hidden[2] = true;
  EXPECT_EQ(frame_build(list.get(), s.content(), SceneCamera()), FRAME_TRIANGLES - 12 - 40);
  for (int i = 0; i < list->count; ++i) EXPECT_NE(list->triangles[i].owner, 4);
}

TEST(SceneModelRecord, RefusesRecordsThatDoNotMatchTheirHead) {
  std::vector<uint8_t> good = record(0x1000 | 0x2, {at(0, 0, 0), at(1, 0, 0), at(0, 1, 0)});
  SceneModel m;
  EXPECT_EQ(scene_model_parse(good.data(), good.size(), &m), 0);
  EXPECT_EQ(scene_model_parse(good.data(), good.size() - 1, &m), -1);
  EXPECT_EQ(scene_model_parse(good.data(), 20, &m), -1);
  std::vector<uint8_t> more = good;
  more[4] = 2;  // two triangles announced, one present
  EXPECT_EQ(scene_model_parse(more.data(), more.size(), &m), -1);
  more[4] = 0xFF;
  more[7] = 0xFF;  // a count whose byte size overflows
  EXPECT_EQ(scene_model_parse(more.data(), more.size(), &m), -1);
  std::vector<uint8_t> texture = good;
  texture[36] = 4;
  EXPECT_EQ(scene_model_parse(texture.data(), texture.size(), &m), -1);
}

TEST(SceneCameraTurn, YawAboutTheVerticalFirstThenPitch) {
  SceneCamera c;
  c.yaw = kPi / 2;
  c.pitch = kPi / 2;
  const float forward[3] = {0, 0, 1};
  float out[3];
  scene_camera_turn(c, forward, out);
  EXPECT_NEAR(out[0], 1, 1e-6);
  EXPECT_NEAR(out[1], 0, 1e-6);
  EXPECT_NEAR(out[2], 0, 1e-6);
  // At the start camera the room's +z is up the screen and -y away from it.
  const float up[3] = {0, 1, 0};
  scene_camera_turn(SceneCamera(), forward, out);
  EXPECT_NEAR(out[1], 1, 1e-5);
  scene_camera_turn(SceneCamera(), up, out);
  EXPECT_NEAR(out[2], -1, 1e-5);
}

TEST(SceneProjection, ZoomAspectPanAndDolly) {
  SceneCamera c;  // start: zoom 2.5, 400 x 400, pitch 1.57
  const float p[3] = {1, 0, 1};
  float out[4];
  scene_project_point(c, p, out);
  const float d = 1 + std::cos(1.57f);
  EXPECT_NEAR(out[0], 10, 1e-5);
  EXPECT_NEAR(out[1], 10 * std::sin(1.57f), 1e-5);
  EXPECT_NEAR(out[2], d, 1e-6);
  EXPECT_NEAR(out[3], 7 * d + 8, 1e-5);
  c.width = 800;
  c.panX = 0.1f;
  c.dolly = 0.5f;
  c.zoom = 1;
  scene_project_point(c, p, out);
  EXPECT_NEAR(out[0], 4 * (0.5f + 0.1f), 1e-5);
  EXPECT_NEAR(out[1], 4 * std::sin(1.57f), 1e-5);
  EXPECT_NEAR(out[3], 7 * (d + 0.5f) + 8, 1e-5);
  // A view without width keeps a square's aspect instead of dividing by 0.
  c.width = 0;
  scene_project_point(c, p, out);
  EXPECT_TRUE(std::isfinite(out[0]));
}

TEST(FrameAdd, ModelPoseTurnsScalesAndMovesThenTheCameraProjects) {
  ScenePose pose{{0, 0, 0.5f}, {0, kPi / 2, 0}};
  std::vector<uint8_t> r = record(0x2, {at(1, 0, 0), at(0, 1, 0), at(0, 0, 0)}, pose, 2);
  std::unique_ptr<FrameList> list(new FrameList);
  ASSERT_EQ(frame_add_model(list.get(), parsed(r), level_camera(), 0), 1);
  const FrameVertex &v = list->triangles[0].v[0];
  // (1, 0, 0) turned a quarter about y is (0, 0, -1); doubled and moved:
  // z = -1.5, so depth -0.5.
  EXPECT_NEAR(v.x, 0, 1e-5);
  EXPECT_NEAR(v.depth, -0.5f, 1e-5);
  EXPECT_NEAR(list->triangles[0].v[1].y, 4 * 2.5f * 2, 1e-5);
  // Without texture coordinates: (0, 0, 0, 1); edge flags default to 1.
  EXPECT_EQ(v.s, 0);
  EXPECT_EQ(v.q, 1);
  EXPECT_EQ(v.edge, 1u);
}

TEST(FrameAdd, ColourSourcesAlphaAndTheTranslucentMark) {
  std::unique_ptr<FrameList> list(new FrameList);
  auto first = [&](uint32_t flags, uint8_t alpha) {
    frame_clear(list.get());
    frame_add_model(list.get(), parsed(record(flags, {at(0, 0, 0, 200, 100, 50, alpha), at(1, 0, 0), at(0, 1, 0)})),
                    level_camera(), 0);
    return list->triangles[0];
  };
  FrameTriangle t = first(0x2, 255);
  EXPECT_EQ(t.v[0].rgba[0], 200);
  EXPECT_EQ(t.v[0].rgba[1], 100);
  EXPECT_EQ(t.v[0].rgba[2], 50);
  EXPECT_EQ(t.v[0].rgba[3], 255);
  EXPECT_FALSE(t.flags & FRAME_TRANSLUCENT);
  t = first(0x1, 255);  // grey: the red byte
  EXPECT_EQ(t.v[0].rgba[1], 200);
  EXPECT_EQ(t.v[0].rgba[2], 200);
  t = first(0x2, 128);  // alpha not taken without 0x4
  EXPECT_EQ(t.v[0].rgba[3], 255);
  EXPECT_FALSE(t.flags & FRAME_TRANSLUCENT);
  t = first(0x4, 128);  // white, alpha from the bytes: translucent
  EXPECT_EQ(t.v[0].rgba[0], 255);
  EXPECT_EQ(t.v[0].rgba[3], 128);
  EXPECT_TRUE(t.flags & FRAME_TRANSLUCENT);
  EXPECT_EQ(t.flags & ~FRAME_TRANSLUCENT, 0x4u);
  // Edge flags from the data when present.
  t = first(0x2 | MODEL_EDGE_FLAGS, 255);
  EXPECT_EQ(t.v[0].edge, 1u);
  EXPECT_EQ(t.v[1].edge, 0u);
}

TEST(FrameAdd, DepthShadingDarkensWithDepth) {
  std::unique_ptr<FrameList> list(new FrameList);
  // Depth = z + 1 with the level camera.
  auto shaded = [&](float z) {
    frame_clear(list.get());
    frame_add_model(list.get(), parsed(record(0x12, {at(0, 0, z), at(1, 0, z), at(0, 1, z)})), level_camera(), 0);
    return int(list->triangles[0].v[0].rgba[0]);
  };
  EXPECT_EQ(shaded(-0.1f), 200 * 255 / 256);  // n clamped to 255
  EXPECT_EQ(shaded(0.45f), 100);              // n = 128
  EXPECT_EQ(shaded(0.9f), 0);                 // n = 0
  EXPECT_EQ(shaded(2.0f), 0);                 // clamped below
}

TEST(FrameAdd, LightingByTheTurnedNormalAndTheLightFactor) {
  std::unique_ptr<FrameList> list(new FrameList);
  auto lit = [&](uint32_t flags, float nx, float nz, float light, ScenePose pose = {}) {
    TestVertex v = at(0, 0, 0, 100, 100, 100);
    v.n[0] = nx;
    v.n[1] = 0;
    v.n[2] = nz;
    v.light = light;
    frame_clear(list.get());
    frame_add_model(list.get(), parsed(record(flags, {v, v, v}, pose)), level_camera(), 0);
    return list->triangles[0].v[0];
  };
  const uint32_t withFactor = 0x2 | 0x8 | 0x20 | 0x200, withoutFactor = 0x2 | 0x8 | 0x20;
  EXPECT_EQ(lit(withFactor, 0, -1, 0.8f).rgba[0], 100);  // facing the camera
  EXPECT_EQ(lit(withFactor, 1, 0, 0.8f).rgba[0], 38);    // 1 - 1/1.6, rounded
  EXPECT_EQ(lit(withoutFactor, 1, 0, 0.8f).rgba[0], 17);  // k = 0.6: 1 - 1/1.2
  EXPECT_EQ(lit(withFactor, 0, 1, 0.8f).rgba[0], 0);     // turned away: clamped
  EXPECT_EQ(lit(withFactor, 0, 1, 0.8f).rgba[3], 255);   // alpha untouched
  // The normal turns with the model: +x turned a quarter about y faces -z.
  FrameVertex v = lit(withFactor, 1, 0, 0.8f, ScenePose{{0, 0, 0}, {0, kPi / 2, 0}});
  EXPECT_NEAR(v.normal[2], -1, 1e-6);
  EXPECT_EQ(v.rgba[0], 100);
  // A light factor of 0 does not divide by zero.
  EXPECT_EQ(lit(withFactor, 1, 0, 0).rgba[0], 0);
  // Without normals the normal is (0, 0, 0).
  EXPECT_EQ(lit(0x2 | 0x20, 1, 0, 0.8f).normal[0], 0);
}

TEST(FrameList, StopsAtItsCapacity) {
  std::vector<TestVertex> many;
  for (int i = 0; i < 3 * 500; ++i) many.push_back(at(float(i % 3), 0, 0));
  std::vector<uint8_t> r = record(0x2, many);
  std::unique_ptr<FrameList> list(new FrameList);
  EXPECT_EQ(frame_add_model(list.get(), parsed(r), SceneCamera(), 0), 500);
  EXPECT_EQ(frame_add_model(list.get(), parsed(r), SceneCamera(), 0), FRAME_CAPACITY - 500);
  EXPECT_EQ(list->count, FRAME_CAPACITY);
  EXPECT_EQ(frame_add_model(list.get(), parsed(r), SceneCamera(), 0), 0);
  EXPECT_EQ(list->triangles[FRAME_CAPACITY - 1].sequence, uint32_t(FRAME_CAPACITY - 1));
}

TEST(FrameDepthSort, FarToNearAndTheLaterOfEqualKeysFirst) {
  std::unique_ptr<FrameList> list(new FrameList);
  auto add = [&](float z) {
    frame_add_model(list.get(), parsed(record(0x2, {at(0, 0, z), at(1, 0, z), at(0, 1, z)})), level_camera(), 0);
  };
  add(0.1f);  // 0
  add(0.5f);  // 1
  add(0.3f);  // 2
  add(0.5f);  // 3
  frame_depth_sort(list.get());
  const uint32_t want[4] = {3, 1, 2, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list->triangles[i].sequence, want[i]) << i;
  // All keys equal: each place takes the last remaining triangle.
  frame_clear(list.get());
  for (int i = 0; i < 4; ++i) add(0.2f);
  frame_depth_sort(list.get());
  const uint32_t equal[4] = {3, 0, 1, 2};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list->triangles[i].sequence, equal[i]) << i;
  // One triangle stays as it is.
  frame_clear(list.get());
  add(0.2f);
  frame_depth_sort(list.get());
  EXPECT_EQ(list->count, 1);
}

// The pixel a world point lands on in the start view.
void pixel_of(const SceneCamera &c, const float p[3], int *x, int *y) {
  float out[4];
  scene_project_point(c, p, out);
  *x = int(std::lround((out[0] / out[3] + 1) * c.width / 2));
  *y = int(std::lround((1 - out[1] / out[3]) * c.height / 2));
}

TEST(FramePick, ListenerAndVoicesButNeitherFloorNorConesNorHiddenVoices) {
  Loaded s;
  std::unique_ptr<FrameList> list(new FrameList);
  SceneCamera c;
  frame_build(list.get(), s.content(), c);
  EXPECT_EQ(frame_pick(*list, c, 200, 200), 1);
  for (int v = 0; v < 4; ++v) {
    int x, y;
    pixel_of(c, s.poses[1 + v].position, &x, &y);
    EXPECT_EQ(frame_pick(*list, c, x, y), 2 + v) << v;
  }
  EXPECT_EQ(frame_pick(*list, c, 200, 120), 0);  // floor only
  EXPECT_EQ(frame_pick(*list, c, 5, 5), 0);      // nothing
  // On L1's cone, halfway to the centre: cones are not picked.
  const float cone[3] = {-0.85f, 0, 0.85f};
  int x, y;
  pixel_of(c, cone, &x, &y);
  EXPECT_EQ(frame_pick(*list, c, x, y), 0);
  // Hidden: L1 is neither in the list nor picked.
  s.hidden[0] = true;
  frame_build(list.get(), s.content(), c);
  pixel_of(c, s.poses[1].position, &x, &y);
  EXPECT_EQ(frame_pick(*list, c, x, y), 0);
}

TEST(FramePick, TheNearestWinsAndObjectsTooCloseAreSkipped) {
  Loaded s;
  std::unique_ptr<FrameList> list(new FrameList);
  SceneCamera c;
  // R1 above the listener, nearer the camera looking down.
  s.poses[2] = ScenePose{{0, 0.1f, 0}, {0, 0, 0}};
  frame_build(list.get(), s.content(), c);
  EXPECT_EQ(frame_pick(*list, c, 200, 200), 3);
  s.poses[2].position[1] = -0.1f;
  frame_build(list.get(), s.content(), c);
  EXPECT_EQ(frame_pick(*list, c, 200, 200), 1);
  // Dollied in until every vertex of the listener has w below 0.75.
  s.poses[2] = scene_voice_defaults[1];
  c.dolly = -2.0f;
  frame_build(list.get(), s.content(), c);
  EXPECT_EQ(frame_pick(*list, c, 200, 200), 1);
  c.dolly = -2.1f;
  frame_build(list.get(), s.content(), c);
  EXPECT_EQ(frame_pick(*list, c, 200, 200), 0);
}

TEST(ConeModel, TwentySlicesOpeningAlongTheVoicesForwardDirection) {
  ConeModel m;
  const ConeRecord &rec = cone_record_defaults[0][CONE_OUTSIDE];
  cone_model_build(rec, scene_voice_defaults[0], &m);
  EXPECT_EQ(m.head.flags, 0x6Eu);
  EXPECT_EQ(m.head.triangleCount, 20u);
  EXPECT_FLOAT_EQ(m.head.scale, 1.35f);
  const float h = 80 * kPi / 360;
  float rim[3] = {0, 0, 0};
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(m.vertices[3 * i].position[2], 0);
    for (int a = 0; a < 3; ++a) rim[a] += m.vertices[3 * i + 1].position[a] / 20;
    float r = std::hypot(m.vertices[3 * i + 1].position[0], m.vertices[3 * i + 1].position[1]);
    EXPECT_NEAR(r, 0.3f * std::sin(h), 1e-6);
    EXPECT_EQ(std::memcmp(m.vertices[3 * i + 2].colour, rec.colour, 4), 0);
  }
  EXPECT_NEAR(rim[0], 0, 1e-6);
  EXPECT_NEAR(rim[2], 0.3f * std::cos(h), 1e-6);
  // More segments than a model holds are cut to what it holds.
  ConeRecord wide = rec;
  wide.segments = 1000;
  cone_model_build(wide, scene_voice_defaults[0], &m);
  EXPECT_EQ(m.head.triangleCount, uint32_t(CONE_MAX_SEGMENTS));
}

// Records the drawing calls as text.
class Recorder : public SceneDrawTarget {
 public:
  std::vector<std::string> calls;
  int triangles = 0;
  void depth_mask(bool w) override { calls.push_back(w ? "mask on" : "mask off"); }
  void bind_texture(int n) override { calls.push_back("bind " + std::to_string(n)); }
  void texture_add(bool add) override { calls.push_back(add ? "add" : "modulate"); }
  void enable_texture(bool on) override { calls.push_back(on ? "tex on" : "tex off"); }
  void enable_fog(bool on) override { calls.push_back(on ? "fog on" : "fog off"); }
  void triangle(const FrameTriangle &t) override {
    calls.push_back("tri " + std::to_string(t.sequence));
    ++triangles;
  }
};

TEST(FrameDraw, OpaqueFirstThenEverythingWithEachModelsState) {
  Loaded s;
  std::unique_ptr<FrameList> list(new FrameList);
  frame_build(list.get(), s.content(), SceneCamera());
  int translucent = 0;
  for (int i = 0; i < list->count; ++i) translucent += (list->triangles[i].flags & FRAME_TRANSLUCENT) ? 1 : 0;
  EXPECT_EQ(translucent, 160);  // the cones
  Recorder r;
  frame_draw(*list, &r);
  ASSERT_FALSE(r.calls.empty());
  EXPECT_EQ(r.calls[0], "mask on");
  EXPECT_EQ(r.triangles, 60 + 220);
  // The listener's triangles: texture 3 added, textured, fogged.
  for (size_t i = 1; i + 4 < r.calls.size(); i += 5) {
    const std::string &tri = r.calls[i + 4];
    uint32_t seq = uint32_t(std::stoul(tri.substr(4)));
    std::string want[4];
    if (seq >= 4 && seq < 12) {
      want[0] = "bind 3", want[1] = "add", want[2] = "tex on", want[3] = "fog on";
    } else if (seq < 4) {
      want[0] = "bind 0", want[1] = "modulate", want[2] = "tex on", want[3] = "fog on";
    } else if (seq < 60) {
      want[0] = (seq - 12) / 12 % 2 == 0 ? "bind 1" : "bind 2", want[1] = "modulate", want[2] = "tex on",
      want[3] = "fog on";
    } else {
      want[0] = "bind 0", want[1] = "modulate", want[2] = "tex off", want[3] = "fog on";
    }
    for (int k = 0; k < 4; ++k) EXPECT_EQ(r.calls[i + k], want[k]) << tri;
  }
  // The first pass ends where the first translucent triangle would be
  // drawn a second time: sequences 60 and above appear only once.
  int cones = 0;
  for (const std::string &c : r.calls)
    if (c.rfind("tri ", 0) == 0 && std::stoul(c.substr(4)) >= 60) ++cones;
  EXPECT_EQ(cones, 160);
}

}  // namespace
