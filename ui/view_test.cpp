#include "ui/view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "ui/poses.h"
#include "ui/scene_assets.h"

namespace {

// Every test starts from the default poses and a fresh view.
class View : public ::testing::Test {
 protected:
  void SetUp() override {
    poses_reset();
    rebuild_cones();
    s = view_state_start();
  }
  ViewState s;
};

TEST_F(View, WheelStepsAndLimits) {
  EXPECT_FLOAT_EQ(view_zoom_step(2.5f, 120), 2.5f * 1.05f);
  // The size of the delta does not matter, only its sign.
  EXPECT_FLOAT_EQ(view_zoom_step(2.5f, 1200), 2.5f * 1.05f);
  EXPECT_FLOAT_EQ(view_zoom_step(2.5f, -1), 2.5f / 1.05f);
  float z = 2.5f;
  for (int i = 0; i < 200; ++i) z = view_zoom_step(z, -120);
  EXPECT_FLOAT_EQ(z, 0.5f);
  for (int i = 0; i < 200; ++i) z = view_zoom_step(z, 120);
  EXPECT_FLOAT_EQ(z, 15.0f);
  EXPECT_FLOAT_EQ(view_zoom_step(14.9f, 120), 15.0f);
}

TEST_F(View, ConeDragWidensAndClamps) {
  float in, out;
  // Up (negative dy) widens the inside cone, right widens the outside one.
  view_cone_drag(35, 80, 10, -10, &in, &out);
  EXPECT_FLOAT_EQ(in, 39);
  EXPECT_FLOAT_EQ(out, 84);
  // Far up: the inside reaches 360 and pulls the outside with it.
  view_cone_drag(35, 80, 0, -2000, &in, &out);
  EXPECT_FLOAT_EQ(in, 360);
  EXPECT_FLOAT_EQ(out, 360);
  // Far left and down: both end at 0, never below.
  view_cone_drag(35, 80, -2000, 2000, &in, &out);
  EXPECT_FLOAT_EQ(in, 0);
  EXPECT_FLOAT_EQ(out, 0);
  // The outside narrowed below the inside is raised to it.
  view_cone_drag(35, 80, -200, 0, &in, &out);
  EXPECT_FLOAT_EQ(in, 35);
  EXPECT_FLOAT_EQ(out, 35);
}

TEST_F(View, LeftDragTurnsThePickedObjectFromItsStart) {
  view_button_down(&s, VIEW_BUTTON_LEFT, 100, 100, VIEW_R1);
  EXPECT_EQ(s.selection, VIEW_R1);
  const float yaw0 = scene_poses[2].angles[1];
  EXPECT_EQ(view_drag_step(&s, 110, 95), VIEW_STEP_CHANGED);
  EXPECT_NEAR(scene_poses[2].angles[1], yaw0 - 0.08f, 1e-5);
  EXPECT_NEAR(scene_poses[2].angles[2], -0.04f, 1e-5);
  // Steps measure from the button-down point, not from the last step.
  view_drag_step(&s, 110, 95);
  EXPECT_NEAR(scene_poses[2].angles[1], yaw0 - 0.08f, 1e-5);
  // The cone model follows the pose.
  EXPECT_NEAR(cone_models[1][CONE_INSIDE].head.pose.angles[1], scene_poses[2].angles[1], 1e-6);
  // The camera did not move.
  EXPECT_FLOAT_EQ(s.camera.yaw, 0);
  EXPECT_FLOAT_EQ(s.camera.pitch, 1.57f);
}

TEST_F(View, RightDragOnVoiceChangesConesOnListenerNothing) {
  view_button_down(&s, VIEW_BUTTON_RIGHT, 50, 50, VIEW_L2);
  view_drag_step(&s, 60, 40);
  EXPECT_FLOAT_EQ(cone_records[2][CONE_INSIDE].angle, 39);
  EXPECT_FLOAT_EQ(cone_records[2][CONE_OUTSIDE].angle, 84);
  EXPECT_FLOAT_EQ(cone_models[2][CONE_INSIDE].head.triangleCount, 20);
  view_button_up(&s);

  const ScenePose before = scene_poses[POSE_LISTENER];
  view_button_down(&s, VIEW_BUTTON_RIGHT, 50, 50, VIEW_LISTENER);
  view_drag_step(&s, 90, 10);
  EXPECT_EQ(0, std::memcmp(&before, &scene_poses[POSE_LISTENER], sizeof before));
  EXPECT_FLOAT_EQ(s.camera.dolly, 0);
  EXPECT_FLOAT_EQ(s.camera.panX, 0);
}

TEST_F(View, EmptySpaceDragsMoveTheCamera) {
  view_button_down(&s, VIEW_BUTTON_LEFT, 200, 200, VIEW_NONE);
  view_drag_step(&s, 300, 250);
  EXPECT_NEAR(s.camera.pitch, 1.57f + 0.00409f * 50, 1e-5);
  EXPECT_NEAR(s.camera.yaw, -0.003067f * 100, 1e-5);
  view_button_up(&s);
  view_button_down(&s, VIEW_BUTTON_RIGHT, 200, 200, VIEW_NONE);
  view_drag_step(&s, 100, 240);
  EXPECT_NEAR(s.camera.dolly, 0.0015f * 40, 1e-6);
  EXPECT_NEAR(s.camera.panX, 0.0015f * 100, 1e-6);
  // The orbit of the first drag stays.
  EXPECT_NEAR(s.camera.yaw, -0.3067f, 1e-5);
  EXPECT_EQ(s.selection, VIEW_NONE);
}

TEST_F(View, BothButtonsChangeNothing) {
  view_button_down(&s, VIEW_BUTTON_LEFT, 200, 200, VIEW_L1);
  view_button_down(&s, VIEW_BUTTON_RIGHT, 200, 200, VIEW_L1);
  ASSERT_EQ(s.buttons, VIEW_BUTTONS_BOTH);
  const ScenePose before = scene_poses[1];
  const ViewState was = s;
  EXPECT_EQ(view_drag_step(&s, 260, 120), VIEW_STEP_RESENT);
  EXPECT_EQ(0, std::memcmp(&before, &scene_poses[1], sizeof before));
  EXPECT_FLOAT_EQ(cone_records[0][CONE_OUTSIDE].angle, 80);
  EXPECT_EQ(0, std::memcmp(&was.camera, &s.camera, sizeof s.camera));
  view_button_up(&s);
  EXPECT_EQ(view_drag_step(&s, 10, 10), VIEW_STEP_NONE);
}

TEST_F(View, PlacementMovesWithinTheSquareAndLeavesOnAClickOutside) {
  ASSERT_TRUE(view_enter_placement(&s, VIEW_L1));
  EXPECT_TRUE(s.placement);
  EXPECT_EQ(s.selection, VIEW_L1);
  // The markers start at 0.875 x the position (L1 at (-1, 0, 1)).
  EXPECT_FLOAT_EQ(s.topPoint[0], -0.875f);
  EXPECT_FLOAT_EQ(s.topPoint[1], 0.875f);
  EXPECT_FLOAT_EQ(s.sidePoint[1], 0);
  EXPECT_FALSE(view_enter_placement(&s, VIEW_R1));  // already placing
  EXPECT_EQ(s.placed, VIEW_L1);

  // 400 x 400: pixel (250, 150) is (0.25, 0.25); the top view sets x and z.
  view_button_down(&s, VIEW_BUTTON_LEFT, 250, 150, VIEW_NONE);
  EXPECT_NEAR(scene_poses[1].position[0], 0.25f / 0.875f, 1e-5);
  EXPECT_NEAR(scene_poses[1].position[2], 0.25f / 0.875f, 1e-5);
  EXPECT_FLOAT_EQ(scene_poses[1].position[1], 0);
  // Dragged beyond the square the point is clamped to its edge.
  const float yaw = scene_poses[1].angles[1];
  view_drag_step(&s, 399, -50);
  EXPECT_FLOAT_EQ(scene_poses[1].position[0], 1);
  EXPECT_FLOAT_EQ(scene_poses[1].position[2], 1);
  // A placement drag never turns the object.
  EXPECT_FLOAT_EQ(scene_poses[1].angles[1], yaw);
  view_button_up(&s);
  // The right button sets the side view: y up the screen, x ignored.
  view_button_down(&s, VIEW_BUTTON_RIGHT, 100, 100, VIEW_NONE);
  EXPECT_NEAR(scene_poses[1].position[1], 0.5f / 0.875f, 1e-5);
  EXPECT_FLOAT_EQ(scene_poses[1].position[0], 1);
  view_drag_step(&s, 100, 500);
  EXPECT_FLOAT_EQ(scene_poses[1].position[1], -1);
  view_button_up(&s);
  EXPECT_TRUE(s.placement);
  // The square's upper and right edges are already outside for a click.
  const ScenePose kept = scene_poses[1];
  view_button_down(&s, VIEW_BUTTON_LEFT, 375, 200, VIEW_NONE);  // u = 0.875
  EXPECT_FALSE(s.placement);
  EXPECT_EQ(0, std::memcmp(&kept, &scene_poses[1], sizeof kept));
  // The rest of that drag moves the camera, not the object placed before.
  view_drag_step(&s, 395, 200);
  EXPECT_EQ(0, std::memcmp(&kept, &scene_poses[1], sizeof kept));
  EXPECT_NEAR(s.camera.yaw, -0.003067f * 20, 1e-6);
}

TEST_F(View, DoubleClickOnNothingSelectsNothing) {
  s.selection = VIEW_R2;
  EXPECT_FALSE(view_enter_placement(&s, VIEW_NONE));
  EXPECT_FALSE(s.placement);
  EXPECT_EQ(s.selection, VIEW_NONE);
}

TEST_F(View, KeysChooseAndHide) {
  EXPECT_TRUE(view_key(&s, '3'));
  EXPECT_EQ(s.selection, VIEW_L2);
  EXPECT_EQ(s.picked, VIEW_L2);
  EXPECT_TRUE(view_key(&s, 'D'));
  EXPECT_TRUE(s.hidden[2]);
  EXPECT_EQ(s.selection, VIEW_L2);
  EXPECT_TRUE(view_key(&s, 'D'));
  EXPECT_FALSE(s.hidden[2]);
  EXPECT_TRUE(view_key(&s, '5'));
  EXPECT_EQ(s.selection, VIEW_LISTENER);
  // D with the listener selected is not the view's key.
  EXPECT_FALSE(view_key(&s, 'D'));
  EXPECT_FALSE(view_key(&s, '6'));
  EXPECT_FALSE(view_key(&s, 'd'));  // virtual keys are upper case
  // In placement mode a key also changes the placed object and the markers.
  ASSERT_TRUE(view_enter_placement(&s, VIEW_L1));
  EXPECT_TRUE(view_key(&s, '4'));
  EXPECT_EQ(s.placed, VIEW_R2);
  EXPECT_FLOAT_EQ(s.topPoint[0], 0.875f);
  EXPECT_FLOAT_EQ(s.topPoint[1], -0.875f);
  // A hidden voice can still be chosen.
  view_key(&s, '2');
  view_key(&s, 'D');
  EXPECT_TRUE(view_key(&s, '2'));
  EXPECT_EQ(s.selection, VIEW_R1);
}

TEST_F(View, HiddenVoicesLeaveTheFrameAndCannotBePicked) {
  static SceneResources res;
  ASSERT_EQ(scene_resources_load(&res), 0);
  std::unique_ptr<FrameList> list(new FrameList);
  EXPECT_EQ(view_frame_build(s, res.model, list.get()), FRAME_TRIANGLES);
  // L1 is near the upper left corner of a 400 x 400 view from above.
  float at[4];
  scene_project_point(s.camera, scene_poses[1].position, at);
  const int x = int((at[0] / at[3] + 1) * 200), y = int((1 - at[1] / at[3]) * 200);
  EXPECT_EQ(frame_pick(*list, s.camera, x, y), VIEW_L1);
  view_key(&s, '1');
  view_key(&s, 'D');
  EXPECT_EQ(view_frame_build(s, res.model, list.get()), FRAME_TRIANGLES - 12 - 2 * 20);
  EXPECT_EQ(frame_pick(*list, s.camera, x, y), VIEW_NONE);
}

TEST_F(View, GlyphsAreRowsOfTwoBytesHighFirst) {
  uint8_t b[18];
  view_glyph_bytes(view_glyph_marker, b);
  EXPECT_EQ(b[0], 0x80);
  EXPECT_EQ(b[1], 0x80);
  EXPECT_EQ(b[8], 0x08);
  EXPECT_EQ(b[9], 0x00);
  view_glyph_bytes(view_glyph_xz, b);
  EXPECT_EQ(b[10], 0x30);
  EXPECT_EQ(b[11], 0x41);
}

TEST_F(View, MarkerAtTheSelectedObject) {
  float at[4];
  EXPECT_FALSE(view_marker_point(s, at));
  view_key(&s, '5');
  ASSERT_TRUE(view_marker_point(s, at));
  // The listener at the origin is in the middle of the view.
  EXPECT_NEAR(at[0] / at[3], 0, 1e-5);
  EXPECT_NEAR(at[1] / at[3], 0, 1e-3);
  view_key(&s, '1');
  ASSERT_TRUE(view_marker_point(s, at));
  // L1 (-1, 0, 1) is upper left when looking down.
  EXPECT_LT(at[0] / at[3], -0.2f);
  EXPECT_GT(at[1] / at[3], 0.2f);
}

}  // namespace
