// The 3D view's frame rendered without a window, through Mesa's off-screen
// library where the build found it: for the preset tool and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/scene.h"

// What a frame shows: camera and view size, the five poses, the cone
// records, hidden voices and the fog density.
struct SceneView {
  SceneCamera camera;
  ScenePose poses[POSE_COUNT];
  ConeRecord cones[4][2];
  bool hidden[4] = {false, false, false, false};
  float fogDensity = 0;
};

// The view as it starts: start camera at 400 x 400, the listener at the
// origin, the voice defaults and default cone records, no fog.
SceneView scene_view_start(void);

// True when this build can render off screen.
bool scene_offscreen_available(void);

// Renders the frame into width x height RGBA8 pixels, top row first. With
// `list` the frame's triangle list is kept there (for picking). 0 on
// success; -1 with a message otherwise (no off-screen library in this
// build, a size outside 1..4096, a context that could not be made, stored
// assets refused).
int scene_render_offscreen(const SceneView &view, std::vector<uint8_t> *rgba, FrameList *list, std::string *error);
