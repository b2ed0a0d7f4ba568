// The textures and models the 3D view draws with, stored in the program:
// four PVRTC images and four packed models (made at build time by
// tools/make_scene_assets), and what the view makes of them at set-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/scene.h"

struct StoredAsset {
  const uint8_t *bytes;
  size_t size;
};

// Texture 0 floor, 1 left box, 2 right box, 3 listener.
extern const StoredAsset scene_stored_textures[SCENE_TEXTURE_COUNT];
// SCENE_FLOOR, SCENE_LEFT_BOX, SCENE_RIGHT_BOX, SCENE_LISTENER.
extern const StoredAsset scene_packed_models[SCENE_MODEL_COUNT];

// The decoded textures and unpacked models, made once.
struct SceneResources {
  std::vector<uint8_t> texture[SCENE_TEXTURE_COUNT];  // RGBA8, side x side
  int textureSide[SCENE_TEXTURE_COUNT] = {};
  std::vector<uint8_t> record[SCENE_MODEL_COUNT];  // unpacked model records
  SceneModel model[SCENE_MODEL_COUNT] = {};        // pointing into record
};

// Decodes the four textures and unpacks the four models. 0 on success, -1
// when a stored asset is refused (then nothing in *out is usable).
int scene_resources_load(SceneResources *out);
