// What the 3D view shows of a stored acoustic state.
#pragma once

#include "device/block.h"
#include "ui/scene_offscreen.h"

// Takes the listener and voice poses, the voices' cone angles and the fog
// (air absorption HF / -120) from the block; the rest of *view is kept.
void scene_view_from_block(const PropertyBlock &block, SceneView *view);
