#include "ui/scene_gl.h"

#ifdef _WIN32
#include <windows.h>  // the calling convention GL/gl.h expects
#endif
#include <GL/gl.h>

#include <vector>

GlSceneTarget::GlSceneTarget(const unsigned int names[SCENE_TEXTURE_COUNT]) {
  for (int i = 0; i < SCENE_TEXTURE_COUNT; ++i) names_[i] = names[i];
}

void GlSceneTarget::depth_mask(bool write) { glDepthMask(write ? GL_TRUE : GL_FALSE); }

void GlSceneTarget::bind_texture(int number) {
  glBindTexture(GL_TEXTURE_2D, names_[number >= 0 && number < SCENE_TEXTURE_COUNT ? number : 0]);
}

void GlSceneTarget::texture_add(bool add) { glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, add ? GL_ADD : GL_MODULATE); }

void GlSceneTarget::enable_texture(bool on) { on ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D); }

void GlSceneTarget::enable_fog(bool on) { on ? glEnable(GL_FOG) : glDisable(GL_FOG); }

void GlSceneTarget::triangle(const FrameTriangle &t) {
  glBegin(GL_TRIANGLES);
  for (const FrameVertex &v : t.v) {
    glEdgeFlag(v.edge ? GL_TRUE : GL_FALSE);
    glNormal3fv(v.normal);
    glColor4ubv(v.rgba);
    const GLfloat st[4] = {v.s, v.t, v.r, v.q};
    glTexCoord4fv(st);
    const GLfloat p[4] = {v.x, v.y, v.depth, v.w};
    glVertex4fv(p);
  }
  glEnd();
}

void scene_gl_setup(float fog_density) {
  glClearColor(0.2f, 0.3f, 0.5f, 0.0f);
  glEnable(GL_DEPTH_TEST);
  glFogi(GL_FOG_MODE, GL_EXP);
  const GLfloat fog[4] = {0.2f, 0.3f, 0.5f, 1.0f};
  glFogfv(GL_FOG_COLOR, fog);
  glFogf(GL_FOG_DENSITY, fog_density);
  glHint(GL_FOG_HINT, GL_NICEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_POLYGON_SMOOTH);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(1, 1);
}

unsigned int scene_gl_texture(const uint8_t *rgba, int side) {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  std::vector<uint8_t> level(rgba, rgba + size_t(side) * side * 4), next;
  for (int n = side / 2, lv = 1; n >= 1; n /= 2, ++lv) {
    next.assign(size_t(n) * n * 4, 0);
    const int above = n * 2;
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x)
        for (int c = 0; c < 4; ++c) {
          const uint8_t *p = &level[4 * (size_t(2 * y) * above + 2 * x) + c];
          unsigned sum = p[0] + p[4] + p[4 * above] + p[4 * above + 4];
          next[4 * (size_t(y) * n + x) + c] = uint8_t((sum + 2) / 4);
        }
    glTexImage2D(GL_TEXTURE_2D, lv, GL_RGBA, n, n, 0, GL_RGBA, GL_UNSIGNED_BYTE, next.data());
    level.swap(next);
  }
  return name;
}

void scene_gl_frame(const FrameList &list, const unsigned int names[SCENE_TEXTURE_COUNT], float fog_density) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glFogf(GL_FOG_DENSITY, fog_density);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  GlSceneTarget target(names);
  frame_draw(list, &target);
}
