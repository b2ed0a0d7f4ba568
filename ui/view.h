// The rules of the DS3D positioning view, apart from its window: what a
// drag, a placement click, a key and the wheel do to the camera, the
// selection and the acoustic poses and cone angles. The window procedure
// (view_win32.cpp) turns messages into these calls and draws the result.
#pragma once

#include <cstdint>

#include "ui/scene.h"

enum : int {
  VIEW_BUTTON_LEFT = 1,
  VIEW_BUTTON_RIGHT = 2,
  // Both flags at once: a mouse move then only sends the poses to the
  // device again. The preset load uses it to have the view thread do that.
  VIEW_BUTTONS_BOTH = 3,
};

// Objects as selection, picking and placement name them.
enum : int {
  VIEW_NONE = 0,
  VIEW_LISTENER = 1,
  VIEW_L1 = 2,
  VIEW_R1 = 3,
  VIEW_L2 = 4,
  VIEW_R2 = 5,
};

// The placement square: corners at +-0.875 in normalised device coordinates.
inline constexpr float VIEW_PLACEMENT_EDGE = 0.875f;
inline constexpr float VIEW_ZOOM_MIN = 0.5f;
inline constexpr float VIEW_ZOOM_MAX = 15.0f;
inline constexpr float VIEW_ZOOM_STEP = 1.05f;

// Radians and degrees per pixel of mouse travel.
inline constexpr float VIEW_TURN_PER_PIXEL = 0.008f;       // an object's yaw and pitch
inline constexpr float VIEW_CONE_PER_PIXEL = 0.4f;         // cone angles, degrees
inline constexpr float VIEW_CAMERA_PITCH_PER_PIXEL = 0.00409f;
inline constexpr float VIEW_CAMERA_YAW_PER_PIXEL = 0.003067f;
inline constexpr float VIEW_CAMERA_MOVE_PER_PIXEL = 0.0015f;  // dolly and pan

// Everything the view keeps besides the poses and cone records, which are
// shared with the property block (ui/poses.h). Lives on the view thread and
// survives hiding the window.
struct ViewState {
  int selection = VIEW_NONE;
  bool hidden[4] = {false, false, false, false};
  SceneCamera camera;
  bool placement = false;
  int placed = VIEW_NONE;
  float topPoint[2] = {0, 0};   // (x, z) of the placed object, scaled into the square
  float sidePoint[2] = {0, 0};  // (x, y)
  // The drag in progress.
  int buttons = 0;
  int downX = 0, downY = 0;
  int picked = VIEW_NONE;
  float startYaw = 0, startPitch = 0, startPanX = 0, startDolly = 0;
  float startAngles[3] = {0, 0, 0};
  float startInside = 0, startOutside = 0;
};

// The state a process starts with: start camera at 400 x 400, nothing
// selected, no voice hidden, not placing.
ViewState view_state_start(void);

// Client pixel (x, y) as normalised device coordinates of the view.
void view_to_device(const SceneCamera &camera, int x, int y, float *u, float *v);

// The wheel: one step in or out per message, whatever its size, kept
// within VIEW_ZOOM_MIN..VIEW_ZOOM_MAX.
float view_zoom_step(float zoom, int wheelDelta);

// A right drag on a voice: moving up widens the inside cone, moving right
// the outside one. Both stay within 0..360 and the outside never ends below
// the inside.
void view_cone_drag(float startInside, float startOutside, int dx, int dy, float *inside, float *outside);

// A button went down at (x, y). `picked` is what picking found there in the
// last frame (used unless placing). The view redraws after it.
void view_button_down(ViewState *s, int button, int x, int y, int picked);
// A button went up: the drag ends.
void view_button_up(ViewState *s);

// What a mouse move with a button held did.
enum ViewStepResult {
  VIEW_STEP_NONE,     // no button held: nothing to do
  VIEW_STEP_RESENT,   // both buttons: only the poses were to be re-sent
  VIEW_STEP_CHANGED,  // the camera, a pose or a cone changed: redraw
};
// The drag step after the poses were sent to the device: turns the picked
// object, widens or narrows its cones, moves the camera, or in placement
// mode moves the placed object. Cones are rebuilt after a change of a pose.
ViewStepResult view_drag_step(ViewState *s, int x, int y);

// A placement click or move at (x, y). A click outside the square leaves
// placement mode (returns false then) and the object stays where it was.
bool view_placement_step(ViewState *s, int x, int y, bool click);

// The left double click: `picked` is the object under the mouse. Enters
// placement mode for it; false when nothing was hit or already placing.
bool view_enter_placement(ViewState *s, int picked);

// A virtual-key code: "1".."5" choose L1, R1, L2, R2 and the listener,
// "D" hides or shows the selected voice. False when the key is not the
// view's (it is then passed on).
bool view_key(ViewState *s, unsigned key);

// Where the selection marker goes: the selected object's position turned by
// the camera and projected, as OpenGL receives it. False with no selection.
bool view_marker_point(const ViewState &s, float out[4]);

// The frame of the view from the models (SCENE_FLOOR..SCENE_LISTENER), the
// poses and the cone models: floor, listener, the shown voices and their
// cones, sorted. Holds the acoustic lock while it reads the poses.
int view_frame_build(const ViewState &s, const SceneModel models[SCENE_MODEL_COUNT], FrameList *list);

// Bitmaps of 16 x 9 pixels, bottom row first, leftmost pixel in the high bit.
extern const uint16_t view_glyph_xz[9];
extern const uint16_t view_glyph_y[9];
extern const uint16_t view_glyph_marker[9];
// The same as OpenGL's glBitmap reads them: two bytes a row, high byte first.
void view_glyph_bytes(const uint16_t rows[9], uint8_t out[18]);
