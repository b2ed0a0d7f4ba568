#include "ui/scene_offscreen.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "support/png.h"

namespace {

struct Rgb {
  int r, g, b;
};

class OffscreenFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!scene_offscreen_available()) GTEST_SKIP() << "built without Mesa's off-screen library";
  }

  // Renders the view, keeps its list for picking, and saves the picture
  // (RGB, as the window shows it) for a person to look at.
  void render(const SceneView &view, const char *name) {
    std::string error;
    list_.reset(new FrameList);
    ASSERT_EQ(scene_render_offscreen(view, &rgba_, list_.get(), &error), 0) << error;
    width_ = view.camera.width;
    height_ = view.camera.height;
    ASSERT_EQ(rgba_.size(), size_t(width_) * height_ * 4);
    std::string dir = SONORIUM_SCREENSHOT_DIR;
    ::mkdir(dir.c_str(), 0755);
    std::vector<uint8_t> rgb(size_t(width_) * height_ * 3);
    for (size_t i = 0; i < size_t(width_) * height_; ++i)
      for (int c = 0; c < 3; ++c) rgb[3 * i + c] = rgba_[4 * i + c];
    EXPECT_EQ(png_write_file((dir + "/" + name + ".png").c_str(), rgb.data(), width_, height_, width_ * 3, 3), 0);
  }

  Rgb pixel(int x, int y) const {
    const uint8_t *p = &rgba_[4 * (size_t(y) * width_ + x)];
    return {p[0], p[1], p[2]};
  }
  // Where a world point lands, in pixels from the top left.
  void pixel_of(const SceneCamera &c, const float p[3], int *x, int *y) const {
    float out[4];
    scene_project_point(c, p, out);
    *x = int(std::lround((out[0] / out[3] + 1) * c.width / 2));
    *y = int(std::lround((1 - out[1] / out[3]) * c.height / 2));
  }
  // The middle of a voice box's top face (0.2 above its position at the
  // box's scale), which the start camera sees straight on.
  void top_of(const SceneCamera &c, const ScenePose &pose, int *x, int *y) const {
    const float top[3] = {pose.position[0], pose.position[1] + 0.04f, pose.position[2]};
    pixel_of(c, top, x, y);
  }
  bool background(int x, int y) const {
    Rgb p = pixel(x, y);  // the clear colour (0.2, 0.3, 0.5)
    return std::abs(p.r - 51) <= 1 && std::abs(p.g - 77) <= 1 && std::abs(p.b - 128) <= 1;
  }
  // The blue left box and the red right box, seen from above.
  bool bluish(int x, int y) const {
    Rgb p = pixel(x, y);
    return p.b > p.r + 50;
  }
  bool reddish(int x, int y) const {
    Rgb p = pixel(x, y);
    return p.r > p.b + 50 && p.r > p.g + 30;
  }

  std::vector<uint8_t> rgba_;
  std::unique_ptr<FrameList> list_;
  int width_ = 0, height_ = 0;
};

TEST_F(OffscreenFrame, StartViewShowsTheFloorFromAboveWithTheVoicesAtItsCorners) {
  SceneView view = scene_view_start();
  render(view, "view_start");
  const SceneCamera &c = view.camera;
  // The floor: a square centred in the picture; its edges where the
  // floor's corners (±1.15, -0.2, ±1.15) project.
  const float corner[3] = {1.15f, -0.2f, 1.15f};
  int ex, ey;
  pixel_of(c, corner, &ex, &ey);
  const int half = ex - 200;
  EXPECT_NEAR(200 - ey, half, 1);  // square
  EXPECT_GT(half, 120);
  EXPECT_LT(half, 160);
  for (int k : {-1, 1}) {
    EXPECT_TRUE(background(200 + k * (half + 4), 200)) << k;
    EXPECT_TRUE(background(200, 200 + k * (half + 4))) << k;
    EXPECT_FALSE(background(200 + k * (half - 4), 200)) << k;
    EXPECT_FALSE(background(200, 200 + k * (half - 4))) << k;
  }
  EXPECT_TRUE(background(3, 3));
  EXPECT_TRUE(background(396, 396));
  // L1 near the upper left corner, R1 upper right, L2 lower left, R2
  // lower right.
  int x[4], y[4];
  for (int v = 0; v < 4; ++v) top_of(c, view.poses[POSE_VOICE_FIRST + v], &x[v], &y[v]);
  EXPECT_LT(x[0], 100);
  EXPECT_LT(y[0], 100);
  EXPECT_GT(x[1], 300);
  EXPECT_LT(y[1], 100);
  EXPECT_LT(x[2], 100);
  EXPECT_GT(y[2], 300);
  EXPECT_GT(x[3], 300);
  EXPECT_GT(y[3], 300);
  EXPECT_TRUE(bluish(x[0], y[0]));
  EXPECT_TRUE(reddish(x[1], y[1]));
  EXPECT_TRUE(bluish(x[2], y[2]));
  EXPECT_TRUE(reddish(x[3], y[3]));
  // The listener in the centre: brown, with far less blue than the floor
  // around it.
  Rgb centre = pixel(200, 197), floor = pixel(200, 170);
  EXPECT_GT(centre.r, centre.g);
  EXPECT_LT(centre.b, centre.g / 2);
  EXPECT_GT(floor.b, centre.b + 30);
}

TEST_F(OffscreenFrame, AHiddenVoiceIsNeitherDrawnNorPickable) {
  SceneView view = scene_view_start();
  render(view, "view_start_for_hiding");
  std::vector<uint8_t> shown = rgba_;
  int x, y;
  top_of(view.camera, view.poses[POSE_VOICE_FIRST + 2], &x, &y);  // L2
  EXPECT_EQ(frame_pick(*list_, view.camera, x, y), 4);
  // Along L2's cone, towards the centre.
  const float along[3] = {-0.8f, 0, -0.8f};
  int cx, cy;
  pixel_of(view.camera, along, &cx, &cy);
  Rgb coneShown = pixel(cx, cy);

  view.hidden[2] = true;
  render(view, "view_L2_hidden");
  EXPECT_FALSE(bluish(x, y));
  EXPECT_EQ(frame_pick(*list_, view.camera, x, y), 0);
  Rgb coneHidden = pixel(cx, cy);
  EXPECT_GT(std::abs(coneShown.r - coneHidden.r) + std::abs(coneShown.g - coneHidden.g) +
                std::abs(coneShown.b - coneHidden.b),
            20);
  // The other voices are drawn as before.
  int x1, y1;
  top_of(view.camera, view.poses[POSE_VOICE_FIRST], &x1, &y1);
  EXPECT_TRUE(bluish(x1, y1));
  EXPECT_EQ(frame_pick(*list_, view.camera, x1, y1), 2);
  size_t same = 0;
  for (size_t i = 0; i < rgba_.size(); ++i) same += rgba_[i] == shown[i];
  EXPECT_GT(same, rgba_.size() * 9 / 10);
}

TEST_F(OffscreenFrame, FogAndAnOrbitedCamera) {
  SceneView view = scene_view_start();
  view.camera.pitch = 0.75f;
  view.camera.yaw = 0.5f;
  view.camera.zoom = 3.5f;
  view.camera.width = 640;
  view.camera.height = 400;
  render(view, "view_orbit");
  std::vector<uint8_t> clear = rgba_;
  view.fogDensity = 100 / 120.0f;  // the most air absorption
  render(view, "view_orbit_fog");
  // Fog draws the floor towards the clear colour.
  Rgb foggy = pixel(320, 200);
  const uint8_t *p = &clear[4 * (size_t(200) * 640 + 320)];
  EXPECT_LT(std::abs(foggy.b - 128), std::abs(int(p[2]) - 128));
}

// Close to the voices, tilted so that the boxes' sides show their letters.
TEST_F(OffscreenFrame, CloseUpOfTheVoices) {
  SceneView view = scene_view_start();
  view.camera.pitch = 0.35f;
  view.camera.zoom = 9;
  view.camera.width = 800;
  view.camera.height = 500;
  view.camera.dolly = 0.2f;
  // Turn the voices to face the camera (their letters towards -z).
  for (int v = 0; v < 4; ++v) view.poses[POSE_VOICE_FIRST + v].angles[1] = 3.14159265f;
  for (int v = 0; v < 2; ++v) {
    ScenePose &p = view.poses[POSE_VOICE_FIRST + v];
    p.position[0] = v ? 0.3f : -0.3f;
    p.position[2] = -0.2f;
    view.cones[v][CONE_INSIDE].angle = 20;
    view.cones[v][CONE_OUTSIDE].angle = 40;
  }
  render(view, "view_closeup");
  int x, y;
  pixel_of(view.camera, view.poses[POSE_VOICE_FIRST].position, &x, &y);
  EXPECT_EQ(frame_pick(*list_, view.camera, x, y), 2);
}

TEST_F(OffscreenFrame, RefusesSizesItCannotDraw) {
  SceneView view = scene_view_start();
  view.camera.width = 0;
  std::string error;
  EXPECT_EQ(scene_render_offscreen(view, &rgba_, nullptr, &error), -1);
  EXPECT_FALSE(error.empty());
}

}  // namespace
