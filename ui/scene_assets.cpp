#include "ui/scene_assets.h"

#include "ui/gln.h"
#include "ui/pvrtc.h"

int scene_resources_load(SceneResources *out) {
  for (int i = 0; i < SCENE_TEXTURE_COUNT; ++i) {
    const StoredAsset &a = scene_stored_textures[i];
    PvrHeader h;
    if (pvrtc_read_header(a.bytes, a.size, &h) != 0 || h.width != h.height) return -1;
    out->texture[i].assign(size_t(h.width) * h.height * 4, 0);
    int w = 0, hh = 0;
    if (pvrtc_decode(a.bytes, a.size, out->texture[i].data(), out->texture[i].size(), &w, &hh) != 0) return -1;
    out->textureSide[i] = w;
  }
  for (int i = 0; i < SCENE_MODEL_COUNT; ++i) {
    const StoredAsset &a = scene_packed_models[i];
    long n = gln_unpacked_size(a.bytes, a.size);
    if (n < 0 || n > (1 << 20)) return -1;
    out->record[i].assign(size_t(n), 0);
    if (gln_unpack(a.bytes, a.size, out->record[i].data(), out->record[i].size()) != n) return -1;
    if (scene_model_parse(out->record[i].data(), out->record[i].size(), &out->model[i]) != 0) return -1;
  }
  return 0;
}
