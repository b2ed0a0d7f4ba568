#include "ui/scene_offscreen.h"

#include <cstring>
#include <memory>

#include "ui/scene_assets.h"

#ifdef SONORIUM_HAVE_OSMESA
#include <GL/osmesa.h>

#include "ui/scene_gl.h"

#if defined(__SANITIZE_ADDRESS__)
// Mesa's off-screen library keeps a few hundred bytes of each context it
// has made until the process ends, even after the context is destroyed;
// the leak checker is told that these are not ours.
extern "C" const char *__lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }
#endif
#endif

SceneView scene_view_start(void) {
  SceneView v;
  v.poses[POSE_LISTENER] = ScenePose{{0, 0, 0}, {0, 0, 0}};
  for (int i = 0; i < 4; ++i) {
    v.poses[POSE_VOICE_FIRST + i] = scene_voice_defaults[i];
    v.cones[i][CONE_INSIDE] = cone_record_defaults[i][CONE_INSIDE];
    v.cones[i][CONE_OUTSIDE] = cone_record_defaults[i][CONE_OUTSIDE];
  }
  return v;
}

bool scene_offscreen_available(void) {
#ifdef SONORIUM_HAVE_OSMESA
  return true;
#else
  return false;
#endif
}

int scene_render_offscreen(const SceneView &view, std::vector<uint8_t> *rgba, FrameList *list, std::string *error) {
  const int w = view.camera.width, h = view.camera.height;
  if (w < 1 || h < 1 || w > 4096 || h > 4096) {
    *error = "the picture must be 1 to 4096 pixels each way";
    return -1;
  }
#ifndef SONORIUM_HAVE_OSMESA
  (void)rgba;
  (void)list;
  *error = "this build has no off-screen OpenGL (Mesa's OSMesa library was not found when it was configured)";
  return -1;
#else
  // Decoded and unpacked once per process, like the view's set-up.
  static SceneResources resources;
  static bool loaded = false;
  if (!loaded) {
    if (scene_resources_load(&resources) != 0) {
      *error = "the stored textures or models are damaged";
      return -1;
    }
    loaded = true;
  }
  // The frame's geometry, as the view builds it.
  std::unique_ptr<FrameList> own;
  if (!list) {
    own.reset(new FrameList);
    list = own.get();
  }
  std::unique_ptr<ConeModel[][2]> cones(new ConeModel[4][2]);
  for (int v = 0; v < 4; ++v)
    for (int k = 0; k < 2; ++k) cone_model_build(view.cones[v][k], view.poses[POSE_VOICE_FIRST + v], &cones[v][k]);
  SceneContent content{resources.model[SCENE_FLOOR], resources.model[SCENE_LEFT_BOX], resources.model[SCENE_RIGHT_BOX],
                       resources.model[SCENE_LISTENER], view.poses, cones.get(), view.hidden};
  frame_build(list, content, view.camera);

  OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
  if (!ctx) {
    *error = "Mesa could not make an off-screen context";
    return -1;
  }
  std::vector<uint8_t> pixels(size_t(w) * h * 4, 0);
  if (!OSMesaMakeCurrent(ctx, pixels.data(), GL_UNSIGNED_BYTE, w, h)) {
    OSMesaDestroyContext(ctx);
    *error = "Mesa could not draw into the picture";
    return -1;
  }
  OSMesaPixelStore(OSMESA_Y_UP, 0);  // row 0 is the top row
  glViewport(0, 0, w, h);
  scene_gl_setup(view.fogDensity);
  unsigned int names[SCENE_TEXTURE_COUNT];
  for (int i = 0; i < SCENE_TEXTURE_COUNT; ++i)
    names[i] = scene_gl_texture(resources.texture[i].data(), resources.textureSide[i]);
  scene_gl_frame(*list, names, view.fogDensity);
  glFinish();
  glDeleteTextures(SCENE_TEXTURE_COUNT, names);
  OSMesaMakeCurrent(nullptr, nullptr, GL_UNSIGNED_BYTE, 0, 0);
  OSMesaDestroyContext(ctx);
  rgba->swap(pixels);
  return 0;
#endif
}
