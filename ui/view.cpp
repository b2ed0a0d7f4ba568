#include "ui/view.h"

#include "device/properties.h"
#include "ui/poses.h"

namespace {

bool is_object(int o) { return o >= VIEW_LISTENER && o <= VIEW_R2; }
bool is_voice(int o) { return o >= VIEW_L1 && o <= VIEW_R2; }
// Index into scene_poses: the listener first, then the voices.
int pose_of(int o) { return o - VIEW_LISTENER; }
int voice_of(int o) { return o - VIEW_L1; }

float clamp(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

// Both overlay points from the placed object's position.
void points_from_position(ViewState *s) {
  AcousticGuard hold;
  const float *p = scene_poses[pose_of(s->placed)].position;
  s->topPoint[0] = VIEW_PLACEMENT_EDGE * p[0];
  s->topPoint[1] = VIEW_PLACEMENT_EDGE * p[2];
  s->sidePoint[0] = VIEW_PLACEMENT_EDGE * p[0];
  s->sidePoint[1] = VIEW_PLACEMENT_EDGE * p[1];
}

}  // namespace

const uint16_t view_glyph_xz[9] = {0x0000, 0x0000, 0x0000, 0x84F0, 0x4880, 0x3041, 0x3020, 0x4810, 0x84F0};
const uint16_t view_glyph_y[9] = {0x4000, 0x4000, 0x2000, 0x2000, 0x3000, 0x5040, 0x4800, 0x8800, 0x8400};
const uint16_t view_glyph_marker[9] = {0x8080, 0x0000, 0x2200, 0x1400, 0x0800, 0x1400, 0x2200, 0x0000, 0x8080};

void view_glyph_bytes(const uint16_t rows[9], uint8_t out[18]) {
  for (int i = 0; i < 9; ++i) {
    out[2 * i] = uint8_t(rows[i] >> 8);
    out[2 * i + 1] = uint8_t(rows[i] & 0xFF);
  }
}

ViewState view_state_start(void) { return ViewState(); }

void view_to_device(const SceneCamera &camera, int x, int y, float *u, float *v) {
  float w = camera.width > 0 ? float(camera.width) : 1.0f;
  float h = camera.height > 0 ? float(camera.height) : 1.0f;
  *u = 2.0f * float(x) / w - 1.0f;
  *v = 1.0f - 2.0f * float(y) / h;
}

float view_zoom_step(float zoom, int wheelDelta) {
  zoom = wheelDelta < 0 ? zoom / VIEW_ZOOM_STEP : zoom * VIEW_ZOOM_STEP;
  return clamp(zoom, VIEW_ZOOM_MIN, VIEW_ZOOM_MAX);
}

void view_cone_drag(float startInside, float startOutside, int dx, int dy, float *inside, float *outside) {
  float in = clamp(startInside - VIEW_CONE_PER_PIXEL * float(dy), 0, 360);
  float out = clamp(startOutside + VIEW_CONE_PER_PIXEL * float(dx), 0, 360);
  if (out < in) out = in;
  *inside = in;
  *outside = out;
}

void view_button_down(ViewState *s, int button, int x, int y, int picked) {
  s->buttons |= button;
  s->downX = x;
  s->downY = y;
  s->startYaw = s->camera.yaw;
  s->startPitch = s->camera.pitch;
  s->startPanX = s->camera.panX;
  s->startDolly = s->camera.dolly;
  if (s->placement) {
    // A click that leaves placement mode goes on as a drag of the camera,
    // from start values taken now, never of an object picked earlier.
    if (!view_placement_step(s, x, y, true)) s->picked = VIEW_NONE;
    return;
  }
  s->picked = is_object(picked) ? picked : VIEW_NONE;
  if (s->picked == VIEW_NONE) return;
  s->selection = s->picked;
  AcousticGuard hold;
  for (int i = 0; i < 3; ++i) s->startAngles[i] = scene_poses[pose_of(s->picked)].angles[i];
  if (is_voice(s->picked)) {
    s->startInside = cone_records[voice_of(s->picked)][CONE_INSIDE].angle;
    s->startOutside = cone_records[voice_of(s->picked)][CONE_OUTSIDE].angle;
  }
}

void view_button_up(ViewState *s) { s->buttons = 0; }

ViewStepResult view_drag_step(ViewState *s, int x, int y) {
  if (s->buttons == 0) return VIEW_STEP_NONE;
  if (s->buttons == VIEW_BUTTONS_BOTH) return VIEW_STEP_RESENT;
  const int dx = x - s->downX, dy = y - s->downY;
  // A placement drag only moves the placed object: the start values of a
  // turn or a camera move were not taken when it began.
  if (s->placement) {
    view_placement_step(s, x, y, false);
    return VIEW_STEP_CHANGED;
  }
  const bool left = s->buttons == VIEW_BUTTON_LEFT;
  if (s->picked != VIEW_NONE) {
    AcousticGuard hold;
    bool changed = false;
    if (left) {
      ScenePose &p = scene_poses[pose_of(s->picked)];
      p.angles[1] = s->startAngles[1] - VIEW_TURN_PER_PIXEL * float(dx);
      p.angles[2] = s->startAngles[2] + VIEW_TURN_PER_PIXEL * float(dy);
      changed = true;
    } else if (is_voice(s->picked)) {
      ConeRecord *cones = cone_records[voice_of(s->picked)];
      view_cone_drag(s->startInside, s->startOutside, dx, dy, &cones[CONE_INSIDE].angle, &cones[CONE_OUTSIDE].angle);
      changed = true;
    }
    // The device hears of it at the next step's apply_poses.
    if (changed) rebuild_cones();
  } else if (left) {
    s->camera.pitch = s->startPitch + VIEW_CAMERA_PITCH_PER_PIXEL * float(dy);
    s->camera.yaw = s->startYaw - VIEW_CAMERA_YAW_PER_PIXEL * float(dx);
  } else {
    s->camera.dolly = s->startDolly + VIEW_CAMERA_MOVE_PER_PIXEL * float(dy);
    s->camera.panX = s->startPanX - VIEW_CAMERA_MOVE_PER_PIXEL * float(dx);
  }
  return VIEW_STEP_CHANGED;
}

bool view_placement_step(ViewState *s, int x, int y, bool click) {
  float u, v;
  view_to_device(s->camera, x, y, &u, &v);
  if (click && (u < -VIEW_PLACEMENT_EDGE || u >= VIEW_PLACEMENT_EDGE || v < -VIEW_PLACEMENT_EDGE ||
                v >= VIEW_PLACEMENT_EDGE)) {
    s->placement = false;
    return false;
  }
  u = clamp(u, -VIEW_PLACEMENT_EDGE, VIEW_PLACEMENT_EDGE);
  v = clamp(v, -VIEW_PLACEMENT_EDGE, VIEW_PLACEMENT_EDGE);
  float *point = s->buttons == VIEW_BUTTON_RIGHT ? s->sidePoint : s->topPoint;
  point[0] = u;
  point[1] = v;
  if (!is_object(s->placed)) return true;
  AcousticGuard hold;
  float *p = scene_poses[pose_of(s->placed)].position;
  p[0] = s->topPoint[0] / VIEW_PLACEMENT_EDGE;
  p[1] = s->sidePoint[1] / VIEW_PLACEMENT_EDGE;
  p[2] = s->topPoint[1] / VIEW_PLACEMENT_EDGE;
  rebuild_cones();
  return true;
}

bool view_enter_placement(ViewState *s, int picked) {
  if (s->placement) return false;
  s->selection = s->placed = is_object(picked) ? picked : VIEW_NONE;
  if (s->placed == VIEW_NONE) return false;
  s->placement = true;
  points_from_position(s);
  return true;
}

bool view_key(ViewState *s, unsigned key) {
  if (key >= '1' && key <= '5') {
    // 1..4 the voices in order, 5 the listener.
    int chosen = key == '5' ? VIEW_LISTENER : VIEW_L1 + int(key - '1');
    s->selection = s->picked = chosen;
    if (s->placement) {
      s->placed = chosen;
      points_from_position(s);
    }
    return true;
  }
  if (key == 'D' && is_voice(s->selection)) {
    s->hidden[voice_of(s->selection)] = !s->hidden[voice_of(s->selection)];
    return true;
  }
  return false;
}

bool view_marker_point(const ViewState &s, float out[4]) {
  if (!is_object(s.selection)) return false;
  float p[3];
  {
    AcousticGuard hold;
    for (int i = 0; i < 3; ++i) p[i] = scene_poses[pose_of(s.selection)].position[i];
  }
  scene_project_point(s.camera, p, out);
  return true;
}

int view_frame_build(const ViewState &s, const SceneModel models[SCENE_MODEL_COUNT], FrameList *list) {
  AcousticGuard hold;
  SceneContent content{models[SCENE_FLOOR], models[SCENE_LEFT_BOX], models[SCENE_RIGHT_BOX], models[SCENE_LISTENER],
                       scene_poses,         cone_models,           s.hidden};
  return frame_build(list, content, s.camera);
}
