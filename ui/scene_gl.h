// The scene's drawing calls on OpenGL 1.1 in immediate mode, and the
// texture upload of the view's set-up. Needs a current rendering context.
#pragma once

#include <cstdint>

#include "ui/scene.h"

class GlSceneTarget : public SceneDrawTarget {
 public:
  // names: the four texture names of the view, indexed by texture number.
  explicit GlSceneTarget(const unsigned int names[SCENE_TEXTURE_COUNT]);
  void depth_mask(bool write) override;
  void bind_texture(int number) override;
  void texture_add(bool add) override;
  void enable_texture(bool on) override;
  void enable_fog(bool on) override;
  void triangle(const FrameTriangle &t) override;

 private:
  unsigned int names_[SCENE_TEXTURE_COUNT];
};

// The view's fixed state: clear colour, depth test, exponential fog of the
// given density, blending, smooth lines, polygon offset.
void scene_gl_setup(float fog_density);

// Makes a texture name for side x side RGBA8 pixels: trilinear filtering,
// repeating, with every mipmap level (2 x 2 box-filtered from the one
// above, as gluBuild2DMipmaps does for power-of-two sizes).
unsigned int scene_gl_texture(const uint8_t *rgba, int side);

// One frame: clear, fog density, the list drawn in fill mode.
void scene_gl_frame(const FrameList &list, const unsigned int names[SCENE_TEXTURE_COUNT], float fog_density);
