// The DS3D positioning view of the real out_sonorium.dll on the software
// card's drop-in dsound.dll, shown through the tray command and driven with
// the mouse and key messages a user's actions produce. OpenGL runs through
// Mesa. What the window shows is compared with the same frame drawn here by
// the scene pipeline in a window of our own; what the drags change is read
// back from the card's DS3D listener and buffers.
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "card/card_api.h"
#include "support/png.h"
#include "tests/ui_test_fixture.h"
#include "ui/poses.h"
#include "ui/scene_assets.h"
#include "ui/scene_gl.h"
#include "ui/tray.h"
#include "ui/view.h"

namespace {

const char kNotifyClass[] = "Sonorium notifywindow";
const char kViewClass[] = "DS3D positioning";
const WPARAM kShowView = 97;
const float kPi = 3.14159265f;

// --- The card's view of the 3D state --------------------------------------------

struct Ds3d {
  D3DVECTOR listener[3];  // position, front, top
  CardVoice3D voices[8];
  int count = -1;
};

Ds3d read_card() {
  Ds3d d;
  typedef int (*StateFn)(D3DVECTOR *, CardVoice3D *, int);
  HMODULE card = GetModuleHandleA("dsound.dll");
  auto fn = card ? reinterpret_cast<StateFn>(reinterpret_cast<void (*)(void)>(GetProcAddress(card, "card_ds3d_state")))
                 : nullptr;
  if (fn) d.count = fn(d.listener, d.voices, 8);
  return d;
}

bool near3(const D3DVECTOR &v, float x, float y, float z, float tol = 1e-3f) {
  return std::fabs(v.x - x) < tol && std::fabs(v.y - y) < tol && std::fabs(v.z - z) < tol;
}

// The card's buffer standing at a voice's default place, or -1.
int buffer_at(const Ds3d &d, const float p[3]) {
  for (int i = 0; i < d.count && i < 8; ++i)
    if (near3(d.voices[i].position, p[0], p[1], p[2])) return i;
  return -1;
}

// --- Frames ---------------------------------------------------------------------

// RGB pixels of a client area, rows from the top.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  // The mean colour of the 5 x 5 pixels around (x, y).
  void mean(int x, int y, int out[3]) const {
    int sum[3] = {0, 0, 0}, n = 0;
    for (int j = y - 2; j <= y + 2; ++j)
      for (int i = x - 2; i <= x + 2; ++i) {
        if (i < 0 || j < 0 || i >= width || j >= height) continue;
        for (int c = 0; c < 3; ++c) sum[c] += rgb[3 * (size_t(j) * width + i) + c];
        ++n;
      }
    for (int c = 0; c < 3; ++c) out[c] = n ? sum[c] / n : -1;
  }
  bool similar(const Picture &o, int x, int y, int tol = 24) const {
    int a[3], b[3];
    mean(x, y, a);
    o.mean(x, y, b);
    for (int c = 0; c < 3; ++c)
      if (std::abs(a[c] - b[c]) > tol) return false;
    return true;
  }
  int differing(const Picture &o) const {
    if (o.width != width || o.height != height) return -1;
    int n = 0;
    for (size_t i = 0; i < rgb.size(); i += 3)
      if (std::abs(rgb[i] - o.rgb[i]) + std::abs(rgb[i + 1] - o.rgb[i + 1]) + std::abs(rgb[i + 2] - o.rgb[i + 2]) > 30)
        ++n;
    return n;
  }
};

std::string describe(const Picture &p, int x, int y) {
  int m[3];
  p.mean(x, y, m);
  return "(" + std::to_string(m[0]) + ", " + std::to_string(m[1]) + ", " + std::to_string(m[2]) + ") at " +
         std::to_string(x) + ", " + std::to_string(y);
}

// What the view shows, read back from its OpenGL frame: the screen's GDI
// copy of a GL window holds nothing under Wine.
Picture view_picture(HWND view) {
  Picture p;
  RECT cr;
  GetClientRect(view, &cr);
  std::vector<uint8_t> rgba(size_t(cr.right) * cr.bottom * 4);
  LRESULT size = SendMessageA(view, VIEW_MESSAGE_READ_FRAME, rgba.size(), reinterpret_cast<LPARAM>(rgba.data()));
  if (LOWORD(size) != cr.right || HIWORD(size) != cr.bottom) return p;
  p.width = cr.right;
  p.height = cr.bottom;
  p.rgb.resize(size_t(p.width) * p.height * 3);
  for (size_t i = 0, n = size_t(p.width) * p.height; i < n; ++i)
    for (int c = 0; c < 3; ++c) p.rgb[3 * i + c] = rgba[4 * i + c];
  return p;
}

// Saves the view's frame as <screenshot folder>/<name>.png.
void screenshot(HWND view, const char *name) {
  Picture p = view_picture(view);
  ASSERT_GT(p.width, 0);
  std::string path = uitest::screenshot_dir() + "/" + name + ".png";
  EXPECT_EQ(png_write_file(path.c_str(), p.rgb.data(), p.width, p.height, p.width * 3, 3), 0) << path;
}

// The frame of `state` with the poses and cones of this program (ui/poses.h,
// separate from the DLL's), drawn by the scene pipeline in a GL window of
// our own and read back from its back buffer.
class Reference {
 public:
  Reference() {
    WNDCLASSA wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "view test reference";
    RegisterClassA(&wc);
  }
  bool render(const ViewState &state, Picture *out) {
    const int w = state.camera.width, h = state.camera.height;
    HWND window = CreateWindowExA(0, "view test reference", "", WS_POPUP | WS_VISIBLE, 600, 0, w, h, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) return false;
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 16;
    pfd.cDepthBits = 16;
    SetPixelFormat(dc, ChoosePixelFormat(dc, &pfd), &pfd);
    HGLRC rc = wglCreateContext(dc);
    bool ok = rc && wglMakeCurrent(dc, rc);
    static SceneResources res;
    static bool loaded = scene_resources_load(&res) == 0;
    ok = ok && loaded;
    if (ok) {
      glViewport(0, 0, w, h);
      scene_gl_setup(0);
      unsigned int names[SCENE_TEXTURE_COUNT];
      for (int i = 0; i < SCENE_TEXTURE_COUNT; ++i)
        names[i] = scene_gl_texture(res.texture[i].data(), res.textureSide[i]);
      rebuild_cones();
      std::unique_ptr<FrameList> list(new FrameList);
      view_frame_build(state, res.model, list.get());
      scene_gl_frame(*list, names, 0);
      glFinish();
      std::vector<uint8_t> rgba(size_t(w) * h * 4);
      glReadBuffer(GL_BACK);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
      out->width = w;
      out->height = h;
      out->rgb.assign(size_t(w) * h * 3, 0);
      for (int y = 0; y < h; ++y)  // OpenGL's rows go up
        for (int x = 0; x < w; ++x)
          for (int c = 0; c < 3; ++c)
            out->rgb[3 * (size_t(y) * w + x) + c] = rgba[4 * (size_t(h - 1 - y) * w + x) + c];
      glDeleteTextures(SCENE_TEXTURE_COUNT, names);
    }
    wglMakeCurrent(nullptr, nullptr);
    if (rc) wglDeleteContext(rc);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    return ok;
  }
};

// Whether this Wine can make an OpenGL context at all (a 32-bit Wine without
// the system's 32-bit GL library cannot); asked once.
bool opengl_available() {
  static int known = -1;
  if (known >= 0) return known == 1;
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  HDC dc = GetDC(window);
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 16;
  int format = ChoosePixelFormat(dc, &pfd);
  HGLRC rc = format && SetPixelFormat(dc, format, &pfd) ? wglCreateContext(dc) : nullptr;
  known = rc ? 1 : 0;
  if (rc) wglDeleteContext(rc);
  ReleaseDC(window, dc);
  DestroyWindow(window);
  return known == 1;
}

// --- The fixture ------------------------------------------------------------------

class ViewOnCard : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!opengl_available()) GTEST_SKIP() << "this Wine has no OpenGL (no system GL library for its word size)";
    poses_reset();
    ASSERT_TRUE(uitest::plugin_load(plugin_));
    notify_ = uitest::find_window(kNotifyClass, kNotifyClass);
    ASSERT_NE(notify_, nullptr);
    SendMessageA(notify_, WM_COMMAND, kShowView, 0);
    view_ = uitest::find_window(kViewClass, kViewClass);
    ASSERT_NE(view_, nullptr);
    ASSERT_TRUE(IsWindowVisible(view_));
    RECT cr;
    GetClientRect(view_, &cr);
    camera_.width = cr.right;
    camera_.height = cr.bottom;
    card_ = read_card();
    ASSERT_GE(card_.count, 4) << "the plug-in's four voices should have 3D buffers on the card";
    for (int v = 0; v < 4; ++v) {
      voice_buffer_[v] = buffer_at(card_, scene_voice_defaults[v].position);
      ASSERT_GE(voice_buffer_[v], 0) << "voice " << v << " should stand at its default place";
    }
  }
  void TearDown() override {
    if (plugin_.dll) uitest::plugin_unload(plugin_);
  }

  // Where a world point shows in the view's client area with `camera`.
  POINT pixel_of(const float p[3], const SceneCamera &camera) const {
    float at[4];
    scene_project_point(camera, p, at);
    POINT pt = {LONG(std::lround((at[0] / at[3] + 1) * 0.5f * camera.width)),
                LONG(std::lround((1 - at[1] / at[3]) * 0.5f * camera.height))};
    return pt;
  }
  POINT voice_pixel(int v) const { return pixel_of(scene_voice_defaults[v].position, camera_); }
  POINT centre() const { return POINT{camera_.width / 2, camera_.height / 2}; }

  void send(UINT msg, WPARAM w, int x, int y) { SendMessageA(view_, msg, w, MAKELPARAM(x, y)); }
  void left_down(POINT p) { send(WM_LBUTTONDOWN, MK_LBUTTON, p.x, p.y); }
  void right_down(POINT p) { send(WM_RBUTTONDOWN, MK_RBUTTON, p.x, p.y); }
  void move(POINT p, int dx, int dy) { send(WM_MOUSEMOVE, MK_LBUTTON, p.x + dx, p.y + dy); }
  void up() { send(WM_LBUTTONUP, 0, 0, 0); }
  void key(WPARAM vk) { SendMessageA(view_, WM_KEYDOWN, vk, 1); }
  void wheel(int delta, int times) {
    for (int i = 0; i < times; ++i) SendMessageA(view_, WM_MOUSEWHEEL, WPARAM(short(delta)) << 16, 0);
  }
  Picture picture() const { return view_picture(view_); }
  ViewState start_state() const {
    ViewState s = view_state_start();
    s.camera = camera_;
    return s;
  }
  const CardVoice3D &card_voice(const Ds3d &d, int v) const { return d.voices[voice_buffer_[v]]; }

  uitest::Plugin plugin_;
  HWND notify_ = nullptr;
  HWND view_ = nullptr;
  SceneCamera camera_;
  Ds3d card_;
  int voice_buffer_[4] = {-1, -1, -1, -1};
  Reference reference_;
};

// --- Tests ----------------------------------------------------------------------

TEST_F(ViewOnCard, StartFrameMatchesThePipelinesFrame) {
  Picture shown = picture();
  screenshot(view_, "view_start");
  Picture expected;
  ASSERT_TRUE(reference_.render(start_state(), &expected));
  ASSERT_EQ(shown.width, expected.width);
  // The floor around the centre, the four voices and the room beyond the
  // floor in a corner.
  const POINT c = centre();
  const POINT samples[] = {{c.x + 30, c.y + 30}, {c.x - 30, c.y - 40}, voice_pixel(0), voice_pixel(1),
                           voice_pixel(2),       voice_pixel(3),       {3, 3},         {shown.width - 4, 3}};
  for (const POINT &p : samples)
    EXPECT_TRUE(shown.similar(expected, p.x, p.y)) << describe(shown, p.x, p.y) << " vs " << describe(expected, p.x, p.y);
  // L1 upper left, R2 lower right, the listener in the centre.
  EXPECT_LT(voice_pixel(0).x, c.x);
  EXPECT_LT(voice_pixel(0).y, c.y);
  EXPECT_GT(voice_pixel(3).x, c.x);
  EXPECT_GT(voice_pixel(3).y, c.y);
  // Nothing was changed, so the card holds the start poses: the listener at
  // the origin facing +z, L1's cones 35 and 80 degrees facing the centre.
  EXPECT_TRUE(near3(card_.listener[0], 0, 0, 0));
  EXPECT_TRUE(near3(card_.listener[1], 0, 0, 1));
  EXPECT_TRUE(near3(card_.listener[2], 0, 1, 0));
  EXPECT_EQ(card_voice(card_, 0).insideAngle, 35u);
  EXPECT_EQ(card_voice(card_, 0).outsideAngle, 80u);
  EXPECT_TRUE(near3(card_voice(card_, 0).coneOrientation, std::sin(2.3562f), 0, std::cos(2.3562f)));
}

TEST_F(ViewOnCard, LeftDragTurnsTheListenerAndTheCardHearsAtTheNextMove) {
  const POINT c = centre();
  left_down(c);
  move(c, 50, 0);
  // The first step sends what stood before it.
  Ds3d d = read_card();
  EXPECT_TRUE(near3(d.listener[1], 0, 0, 1));
  move(c, 50, 0);
  d = read_card();
  const float yaw = -0.008f * 50;
  EXPECT_TRUE(near3(d.listener[1], std::sin(yaw), 0, std::cos(yaw)))
      << d.listener[1].x << " " << d.listener[1].y << " " << d.listener[1].z;
  EXPECT_TRUE(near3(d.listener[2], 0, 1, 0));
  EXPECT_TRUE(near3(d.listener[0], 0, 0, 0));
  // Up and down turns it about x: pitch follows dy.
  move(c, 50, 25);
  move(c, 50, 25);
  d = read_card();
  const float ang[3] = {0, yaw, 0.008f * 25};
  float front[3];
  const float z[3] = {0, 0, 1};
  rotate_vector(ang, z, front);
  EXPECT_TRUE(near3(d.listener[1], front[0], front[1], front[2]));
  up();
  // The voices were not touched.
  for (int v = 0; v < 4; ++v) {
    const D3DVECTOR &p = card_voice(d, v).position;
    EXPECT_TRUE(near3(p, scene_voice_defaults[v].position[0], scene_voice_defaults[v].position[1],
                      scene_voice_defaults[v].position[2]))
        << v;
  }
}

TEST_F(ViewOnCard, RightDragOnAVoiceWidensItsConesUpToTheLimits) {
  const POINT l1 = voice_pixel(0);
  right_down(l1);
  move(l1, 25, -25);
  move(l1, 25, -25);
  Ds3d d = read_card();
  EXPECT_EQ(card_voice(d, 0).insideAngle, 45u);
  EXPECT_EQ(card_voice(d, 0).outsideAngle, 90u);
  EXPECT_EQ(card_voice(d, 1).insideAngle, 35u);  // other voices keep theirs
  move(l1, 150, -60);
  move(l1, 150, -60);
  d = read_card();
  EXPECT_EQ(card_voice(d, 0).insideAngle, 59u);
  EXPECT_EQ(card_voice(d, 0).outsideAngle, 140u);
  screenshot(view_, "view_wide_cones");
  // The red selection marker stands on L1.
  Picture p = picture();
  int red = 0;
  for (int y = l1.y - 8; y <= l1.y + 8; ++y)
    for (int x = l1.x - 8; x <= l1.x + 8; ++x) {
      if (x < 0 || y < 0 || x >= p.width || y >= p.height) continue;
      const uint8_t *c = &p.rgb[3 * (size_t(y) * p.width + x)];
      if (c[0] > 200 && c[1] < 60 && c[2] < 60) ++red;
    }
  EXPECT_GE(red, 10);
  // Far up: the inside reaches 360 and the outside is never below it.
  move(l1, 0, -2000);
  move(l1, 0, -2000);
  d = read_card();
  EXPECT_EQ(card_voice(d, 0).insideAngle, 360u);
  EXPECT_EQ(card_voice(d, 0).outsideAngle, 360u);
  move(l1, -2000, 2000);
  move(l1, -2000, 2000);
  d = read_card();
  EXPECT_EQ(card_voice(d, 0).insideAngle, 0u);
  EXPECT_EQ(card_voice(d, 0).outsideAngle, 0u);
  up();
  // A right drag on the listener changes nothing.
  right_down(centre());
  move(centre(), 80, -80);
  move(centre(), 80, -80);
  d = read_card();
  EXPECT_TRUE(near3(d.listener[1], 0, 0, 1));
  EXPECT_TRUE(near3(d.listener[0], 0, 0, 0));
  up();
}

TEST_F(ViewOnCard, CameraDragsTurnTheViewAndLeaveThePosesAlone) {
  // Below the listener, between the voices: only floor there.
  const POINT p = {centre().x, centre().y + camera_.height / 8};
  Picture before = picture();
  left_down(p);
  move(p, 0, 120);
  move(p, 0, 120);
  up();
  Picture turned = picture();
  screenshot(view_, "view_turned_camera");
  ViewState s = start_state();
  s.camera.pitch += 0.00409f * 120;
  Picture expected;
  ASSERT_TRUE(reference_.render(s, &expected));
  EXPECT_GT(turned.differing(before), turned.width * turned.height / 20);
  const POINT samples[] = {{3, 3}, {turned.width / 2, turned.height - 10}, centre(), {turned.width / 2, 10}};
  for (const POINT &q : samples)
    EXPECT_TRUE(turned.similar(expected, q.x, q.y)) << describe(turned, q.x, q.y) << " vs " << describe(expected, q.x, q.y);
  Ds3d d = read_card();
  EXPECT_TRUE(near3(d.listener[1], 0, 0, 1));
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(card_voice(d, v).insideAngle, 35u);
    EXPECT_EQ(card_voice(d, v).outsideAngle, 80u);
  }
}

TEST_F(ViewOnCard, PlacementClampsToTheSquareAndAClickOutsideLeaves) {
  const POINT l1 = voice_pixel(0);
  send(WM_LBUTTONDBLCLK, MK_LBUTTON, l1.x, l1.y);
  up();
  Picture placing = picture();
  screenshot(view_, "view_placement");
  // The overlay darkens the middle of the view.
  Picture plain;
  ASSERT_TRUE(reference_.render(start_state(), &plain));
  int shown[3], was[3];
  placing.mean(centre().x + 40, centre().y + 40, shown);
  plain.mean(centre().x + 40, centre().y + 40, was);
  EXPECT_LT(shown[0] + shown[1] + shown[2], was[0] + was[1] + was[2]) << describe(placing, centre().x + 40, centre().y + 40);
  // A click inside the square sets x and z from the top view ...
  const int w = camera_.width, h = camera_.height;
  const POINT q = {w / 2 + w / 8, h / 2 - h / 8};  // u = 0.25, v = 0.25
  left_down(q);
  move(q, 0, 0);
  Ds3d d = read_card();
  float u = 2.0f * q.x / w - 1, v = 1 - 2.0f * q.y / h;
  EXPECT_TRUE(near3(card_voice(d, 0).position, u / 0.875f, 0, v / 0.875f))
      << card_voice(d, 0).position.x << " " << card_voice(d, 0).position.z;
  // ... and a drag beyond it stops at the edge.
  move(q, 2 * w, -2 * h);
  move(q, 2 * w, -2 * h);
  d = read_card();
  EXPECT_TRUE(near3(card_voice(d, 0).position, 1, 0, 1));
  up();
  // The right button sets the height from the side view.
  right_down(POINT{w / 2, h / 2 + h / 4});  // v = -0.5
  move(POINT{w / 2, h / 2 + h / 4}, 0, 0);
  d = read_card();
  EXPECT_NEAR(card_voice(d, 0).position.y, -0.5f / 0.875f, 0.01f);
  up();
  // A click outside the square leaves the mode; the place stays.
  left_down(POINT{w - 2, h / 2});
  move(POINT{w - 2, h / 2}, 0, 0);
  up();
  d = read_card();
  EXPECT_NEAR(card_voice(d, 0).position.x, 1, 1e-3);
  EXPECT_NEAR(card_voice(d, 0).position.z, 1, 1e-3);
  // Out of placement mode a click inside the square moves nothing.
  left_down(q);
  move(q, 0, 0);
  up();
  d = read_card();
  EXPECT_NEAR(card_voice(d, 0).position.x, 1, 1e-3);
  // The turns of L1 were never touched by the placement drags.
  EXPECT_TRUE(near3(card_voice(d, 0).coneOrientation, std::sin(2.3562f), 0, std::cos(2.3562f)));
}

TEST_F(ViewOnCard, KeysHideAVoiceWhichIsStillSentButNotPickable) {
  key('1');
  key('D');
  Picture hidden = picture();
  ViewState s = start_state();
  s.hidden[0] = true;
  s.selection = VIEW_L1;
  Picture expected;
  ASSERT_TRUE(reference_.render(s, &expected));
  const POINT l1 = voice_pixel(0);
  // Floor shows where L1 stood (away from the marker's cross).
  EXPECT_TRUE(hidden.similar(expected, l1.x + 8, l1.y + 8)) << describe(hidden, l1.x + 8, l1.y + 8);
  // D with the listener selected is not the view's; with L1 it shows L1 again.
  key('5');
  key('D');
  key('1');
  key('D');
  EXPECT_FALSE(picture().similar(expected, l1.x + 8, l1.y + 8));
  s.hidden[0] = false;
  ASSERT_TRUE(reference_.render(s, &expected));
  EXPECT_TRUE(picture().similar(expected, l1.x + 8, l1.y + 8));
  // Hidden again: a right drag there moves the camera, not L1's cones, and
  // L1 is still sent to the card.
  key('D');
  right_down(l1);
  move(l1, 40, -40);
  move(l1, 40, -40);
  up();
  Ds3d d = read_card();
  EXPECT_EQ(card_voice(d, 0).insideAngle, 35u);
  EXPECT_EQ(card_voice(d, 0).outsideAngle, 80u);
  EXPECT_TRUE(near3(card_voice(d, 0).position, -1, 0, 1));
  EXPECT_GT(picture().differing(hidden), 0);
}

TEST_F(ViewOnCard, WheelZoomStopsAtItsLimits) {
  wheel(-120, 100);
  Picture zoomed_out = picture();
  ViewState s = start_state();
  s.camera.zoom = 0.5f;
  Picture expected;
  ASSERT_TRUE(reference_.render(s, &expected));
  const POINT c = centre();
  for (POINT p : {POINT{c.x + 10, c.y + 10}, POINT{c.x + camera_.width / 5, c.y}, POINT{5, 5}})
    EXPECT_TRUE(zoomed_out.similar(expected, p.x, p.y)) << describe(zoomed_out, p.x, p.y) << " vs " << describe(expected, p.x, p.y);
  wheel(-120, 5);
  EXPECT_EQ(picture().differing(zoomed_out), 0);
  wheel(120, 200);
  Picture zoomed_in = picture();
  s.camera.zoom = 15;
  ASSERT_TRUE(reference_.render(s, &expected));
  for (POINT p : {POINT{c.x + 40, c.y + 40}, POINT{5, 5}, POINT{camera_.width - 5, camera_.height - 5}})
    EXPECT_TRUE(zoomed_in.similar(expected, p.x, p.y)) << describe(zoomed_in, p.x, p.y) << " vs " << describe(expected, p.x, p.y);
}

TEST_F(ViewOnCard, BothButtonsOnlyResendThePoses) {
  // A turn of R1 whose last step has not reached the card yet.
  const POINT r1 = voice_pixel(1);
  left_down(r1);
  move(r1, -40, 0);
  up();
  Ds3d d = read_card();
  EXPECT_TRUE(near3(card_voice(d, 1).coneOrientation, std::sin(3.927f), 0, std::cos(3.927f)));
  Picture before = picture();
  // Both buttons down on empty floor, then moves.
  const POINT p = {centre().x, centre().y + camera_.height / 8};
  left_down(p);
  right_down(p);
  send(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, p.x + 90, p.y - 70);
  d = read_card();
  const float yaw = 3.927f + 0.008f * 40;
  EXPECT_TRUE(near3(card_voice(d, 1).coneOrientation, std::sin(yaw), 0, std::cos(yaw)));
  send(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, p.x + 150, p.y + 70);
  up();
  EXPECT_EQ(picture().differing(before), 0);
  Ds3d after = read_card();
  EXPECT_EQ(0, std::memcmp(&after.listener, &d.listener, sizeof d.listener));
  for (int v = 0; v < 4; ++v) EXPECT_EQ(0, std::memcmp(&card_voice(after, v), &card_voice(d, v), sizeof(CardVoice3D)));
}

TEST_F(ViewOnCard, PresetLoadHandOverSendsThePosesAndTheDragGoesOn) {
  const POINT l2 = voice_pixel(2);
  right_down(l2);
  move(l2, 50, 0);  // outside 80 -> 100, not yet sent
  Ds3d d = read_card();
  EXPECT_EQ(card_voice(d, 2).outsideAngle, 80u);
  SendMessageA(view_, VIEW_MESSAGE_APPLY_POSES, 0, 0);
  d = read_card();
  EXPECT_EQ(card_voice(d, 2).outsideAngle, 100u);
  // The drag in progress still follows the mouse.
  move(l2, 100, 0);
  move(l2, 100, 0);
  up();
  d = read_card();
  EXPECT_EQ(card_voice(d, 2).outsideAngle, 120u);
  EXPECT_EQ(card_voice(d, 2).insideAngle, 35u);
}

TEST_F(ViewOnCard, CloseBoxHidesAndTheViewComesBackAsItWas) {
  wheel(120, 3);
  key('2');
  const POINT p = {centre().x, centre().y + camera_.height / 8};
  left_down(p);
  move(p, 60, 0);
  up();
  Picture before = picture();
  SendMessageA(view_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(view_));
  EXPECT_TRUE(IsWindow(view_));
  SendMessageA(notify_, WM_COMMAND, kShowView, 0);
  ASSERT_TRUE(IsWindowVisible(view_));
  EXPECT_LT(picture().differing(before), before.width * before.height / 200);
}

}  // namespace
