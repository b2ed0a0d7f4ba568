// The DS3D positioning window: an OpenGL 1.1 view of the room on the view
// thread. Messages become the rules of ui/view.h; each change is drawn at
// once, and the poses reach the device at the next mouse move with a button
// held (or the next apply_poses of anyone else).
#include <windows.h>
#include <windowsx.h>

#include <GL/gl.h>

#include <cstring>
#include <vector>

#include "device/properties.h"
#include "ui/poses.h"
#include "ui/scene_assets.h"
#include "ui/scene_gl.h"
#include "ui/tray.h"
#include "ui/view.h"

namespace {

// How long a preset load waits for the view thread to send the poses.
const UINT kApplyTimeoutMs = 5000;

// All of it belongs to the view thread. The view state outlives hiding the
// window, so the camera and selection are the same when it is shown again.
ViewState state = view_state_start();
SceneResources resources;
bool resources_ok = false;
FrameList frame;
HDC dc = nullptr;
HGLRC context = nullptr;
unsigned int texture_names[SCENE_TEXTURE_COUNT] = {};

bool ready(void) { return context != nullptr; }

void set_up_scene(HWND window) {
  dc = GetDC(window);
  PIXELFORMATDESCRIPTOR pfd;
  ZeroMemory(&pfd, sizeof pfd);
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 16;
  pfd.cDepthBits = 16;
  static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "pixel format record");
  int format = ChoosePixelFormat(dc, &pfd);
  SetPixelFormat(dc, format, &pfd);
  context = wglCreateContext(dc);
  if (!context || !wglMakeCurrent(dc, context)) {
    // Without a context the window shows nothing useful, but it still hides,
    // shows and closes like any other.
    if (context) wglDeleteContext(context);
    context = nullptr;
    return;
  }
  scene_gl_setup(fog_density.load());
  if (!resources_ok) resources_ok = scene_resources_load(&resources) == 0;
  if (resources_ok)
    for (int i = 0; i < SCENE_TEXTURE_COUNT; ++i)
      texture_names[i] = scene_gl_texture(resources.texture[i].data(), resources.textureSide[i]);
  RECT client;
  GetClientRect(window, &client);
  state.camera.width = client.right > 0 ? client.right : 1;
  state.camera.height = client.bottom > 0 ? client.bottom : 1;
  glViewport(0, 0, state.camera.width, state.camera.height);
  // The poses already hold the voice defaults or what the autosave load
  // wrote into them; only the cone models are made from them here.
  rebuild_cones();
}

void release_scene(void) {
  if (context) {
    glDeleteTextures(SCENE_TEXTURE_COUNT, texture_names);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
    context = nullptr;
  }
  for (int i = 0; i < SCENE_TEXTURE_COUNT; ++i) {
    std::vector<uint8_t>().swap(resources.texture[i]);
    texture_names[i] = 0;
  }
  for (int i = 0; i < SCENE_MODEL_COUNT; ++i) std::vector<uint8_t>().swap(resources.record[i]);
  resources_ok = false;
}

void glyph(const uint16_t rows[9], float x, float y, float originX, float originY) {
  uint8_t bytes[18];
  view_glyph_bytes(rows, bytes);
  glRasterPos2f(x, y);
  glBitmap(16, 9, originX, originY, 0, 0, bytes);
}

void draw_placement_overlay(void) {
  const float e = VIEW_PLACEMENT_EDGE;
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LINE_SMOOTH);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_FOG);
  glEdgeFlag(GL_FALSE);
  glColor4ub(25, 38, 64, 128);
  glBegin(GL_QUADS);
  glVertex2f(-e, -e);
  glVertex2f(e, -e);
  glVertex2f(e, e);
  glVertex2f(-e, e);
  glEnd();
  glEdgeFlag(GL_TRUE);
  glColor4ub(0, 0, 0, 255);
  glBegin(GL_LINES);
  const float outline[5][2] = {{-e, -e}, {e, -e}, {e, e}, {-e, e}, {-e, -e}};
  for (int i = 0; i < 4; ++i) {
    glVertex2fv(outline[i]);
    glVertex2fv(outline[i + 1]);
  }
  glVertex2f(-e, 0);
  glVertex2f(e, 0);
  glVertex2f(0, e);
  glVertex2f(0, -e);
  glEnd();
  glColor4ub(255, 255, 255, 255);
  glyph(view_glyph_xz, state.topPoint[0], state.topPoint[1], 16, 5);
  glyph(view_glyph_y, state.sidePoint[0], state.sidePoint[1], 10, 5);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_DEPTH_TEST);
}

void draw_selection_marker(void) {
  float at[4];
  if (!view_marker_point(state, at)) return;
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_FOG);
  glColor4ub(255, 0, 0, 255);
  glRasterPos4fv(at);
  uint8_t bytes[18];
  view_glyph_bytes(view_glyph_marker, bytes);
  glBitmap(16, 9, 5, 4, 0, 0, bytes);
  glEnable(GL_DEPTH_TEST);
}

// The frame into the back buffer: the scene, then the overlay and marker.
void render(void) {
  if (resources_ok) {
    view_frame_build(state, resources.model, &frame);
  } else {
    frame_clear(&frame);
  }
  scene_gl_frame(frame, texture_names, fog_density.load());
  if (state.placement) draw_placement_overlay();
  if (state.selection != VIEW_NONE) draw_selection_marker();
}

void draw_frame(void) {
  if (!ready()) return;
  render();
  glFlush();
  SwapBuffers(dc);
}

// Draws a frame and copies its pixels before they are shown.
LRESULT read_frame(uint8_t *rgba, size_t bytes) {
  const int w = state.camera.width, h = state.camera.height;
  if (!ready() || !rgba || bytes < size_t(w) * h * 4) return 0;
  render();
  glFinish();
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  std::vector<uint8_t> up(size_t(w) * h * 4);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, up.data());
  for (int y = 0; y < h; ++y)  // OpenGL's rows go up
    std::memcpy(rgba + size_t(y) * w * 4, up.data() + size_t(h - 1 - y) * w * 4, size_t(w) * 4);
  SwapBuffers(dc);
  return MAKELRESULT(w, h);
}

int pick_at(int x, int y) { return frame_pick(frame, state.camera, x, y); }

void button_down(HWND window, int button, LPARAM lparam) {
  const int x = GET_X_LPARAM(lparam), y = GET_Y_LPARAM(lparam);
  view_button_down(&state, button, x, y, pick_at(x, y));
  SetCapture(window);
  draw_frame();
}

void mouse_moved(LPARAM lparam) {
  if (state.buttons == 0) return;
  // What the previous step changed reaches the device now.
  apply_poses();
  if (view_drag_step(&state, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)) == VIEW_STEP_CHANGED) draw_frame();
}

}  // namespace

LRESULT CALLBACK view_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CREATE:
      set_up_scene(window);
      return 0;
    case WM_SIZE:
      if (wparam != SIZE_MINIMIZED) view_window_sized(window);
      if (!ready()) break;
      if (LOWORD(lparam) > 0 && HIWORD(lparam) > 0) {
        state.camera.width = LOWORD(lparam);
        state.camera.height = HIWORD(lparam);
      }
      glViewport(0, 0, LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_PAINT: {
      if (!ready()) break;
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      draw_frame();
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // OpenGL covers the whole client area
    case WM_KEYDOWN:
      if (!view_key(&state, unsigned(wparam))) break;
      draw_frame();
      return 0;
    case WM_LBUTTONDOWN:
      button_down(window, VIEW_BUTTON_LEFT, lparam);
      return 0;
    case WM_RBUTTONDOWN:
      button_down(window, VIEW_BUTTON_RIGHT, lparam);
      return 0;
    case WM_MOUSEMOVE:
      mouse_moved(lparam);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      view_button_up(&state);
      ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      // Capture taken away mid-drag: no button-up will come, so the drag
      // ends here rather than following the bare mouse later.
      if (reinterpret_cast<HWND>(lparam) != window) view_button_up(&state);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (!state.placement) {
        view_enter_placement(&state, pick_at(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)));
        draw_frame();
      }
      return 0;
    case WM_MOUSEWHEEL:
      state.camera.zoom = view_zoom_step(state.camera.zoom, GET_WHEEL_DELTA_WPARAM(wparam));
      draw_frame();
      return 0;
    case VIEW_MESSAGE_APPLY_POSES: {
      // As a mouse move with both button flags set: the poses are sent and
      // nothing else changes; a drag in progress goes on afterwards.
      const int held = state.buttons;
      state.buttons = VIEW_BUTTONS_BOTH;
      mouse_moved(0);
      state.buttons = held;
      return 0;
    }
    case VIEW_MESSAGE_READ_FRAME:
      return read_frame(reinterpret_cast<uint8_t *>(lparam), size_t(wparam));
    case WM_CLOSE:
      // The close box only hides the view; the tray menu shows it again.
      ShowWindow(window, SW_HIDE);
      view_shown_flip();
      return 0;
    case VIEW_MESSAGE_DESTROY:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      release_scene();
      if (dc) ReleaseDC(window, dc);
      dc = nullptr;
      view_window_destroyed();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, msg, wparam, lparam);
}

void view_apply_poses(void) {
  HWND window = view_window();
  DWORD_PTR result = 0;
  if (window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    SendMessageA(window, VIEW_MESSAGE_APPLY_POSES, 0, 0);
    return;
  }
  // SMTO_NORMAL serves messages sent to this thread while it waits, so the
  // view thread may send to the caller's windows meanwhile. The lock inside
  // apply_poses keeps a fallback call from interleaving with the view's.
  if (!window || !SendMessageTimeoutA(window, VIEW_MESSAGE_APPLY_POSES, 0, 0, SMTO_NORMAL, kApplyTimeoutMs, &result))
    apply_poses();
}
