#include "tools/scene_art.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "ui/scene.h"

namespace {

// --- Pictures -------------------------------------------------------------------

struct Rgb {
  float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

// A repeatable pseudo-random value 0..1 for integer coordinates.
float hash01(int x, int y, int seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return float(h & 0xFFFF) / 65535.0f;
}

// Renders shade(u, v) at 4 x 4 samples per pixel (u, v in 0..1 across the
// picture) into RGBA8 with alpha 255.
template <typename Shade>
std::vector<uint8_t> render(int size, Shade shade) {
  std::vector<uint8_t> out(size_t(size) * size * 4);
  const int n = 4;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      Rgb acc{0, 0, 0};
      for (int sy = 0; sy < n; ++sy)
        for (int sx = 0; sx < n; ++sx) {
          Rgb c = shade((x + (sx + 0.5f) / n) / size, (y + (sy + 0.5f) / n) / size, x, y);
          acc.r += c.r;
          acc.g += c.g;
          acc.b += c.b;
        }
      uint8_t *o = &out[4 * (size_t(y) * size + x)];
      o[0] = uint8_t(std::lround(std::min(255.0f, std::max(0.0f, acc.r / (n * n)))));
      o[1] = uint8_t(std::lround(std::min(255.0f, std::max(0.0f, acc.g / (n * n)))));
      o[2] = uint8_t(std::lround(std::min(255.0f, std::max(0.0f, acc.b / (n * n)))));
      o[3] = 255;
    }
  }
  return out;
}

// Parquet of 4 x 4 square tiles in two warm tones with dark joints. Every
// feature repeats with the picture, so copies of it join without seams.
std::vector<uint8_t> floor_texture(int size) {
  const Rgb light{206, 186, 152}, dark{168, 140, 106}, joint{96, 80, 64};
  return render(size, [&](float u, float v, int px, int py) {
    const int tiles = 4;
    float tu = u * tiles, tv = v * tiles;
    int ix = int(tu) % tiles, iy = int(tv) % tiles;
    float fx = tu - std::floor(tu), fy = tv - std::floor(tv);
    Rgb base = (ix + iy) % 2 ? dark : light;
    // Each tile slightly different, with a faint grain across it.
    float tint = (hash01(ix, iy, 7) - 0.5f) * 16;
    float grain = (hash01(px, py, 3) - 0.5f) * 10 + 5 * std::sin((ix % 2 ? fx : fy) * 40.0f + ix * 3.0f + iy);
    Rgb c{base.r + tint + grain, base.g + tint + grain * 0.85f, base.b + tint * 0.8f + grain * 0.6f};
    // Joints along the tile edges, a little under 2 pixels wide.
    float edge = std::min(std::min(fx, 1 - fx), std::min(fy, 1 - fy)) * size / tiles;
    if (edge < 0.8f) return joint;
    // A soft bevel just inside the joint.
    if (edge < 2.5f) return mix(c, joint, 0.35f * (2.5f - edge) / 1.7f);
    return c;
  });
}

// Distance-free shapes for the letters: rectangles in pixel units of a 64
// picture, tested per sample.
struct Box {
  float x0, y0, x1, y1;
  bool has(float x, float y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

bool letter_l(float x, float y) { return Box{22, 12, 31, 52}.has(x, y) || Box{22, 43, 44, 52}.has(x, y); }

bool letter_r(float x, float y) {
  if (Box{21, 12, 30, 52}.has(x, y)) return true;  // stem
  // The bowl: a ring around (31, 23.5) on the right of the stem.
  float dx = x - 31, dy = y - 23.5f;
  float r = std::sqrt(dx * dx * 0.8f + dy * dy);
  if (x >= 28 && r < 11.5f && r >= 2.8f && (x >= 30 || dy < -2.8f || dy > 2.8f)) return true;
  if (Box{21, 12, 32, 20.7f}.has(x, y) || Box{21, 26.3f, 32, 35}.has(x, y)) return true;
  // The leg, from the bowl down to the right.
  float t = (y - 33) / 19.0f;
  if (t >= 0 && t <= 1) {
    float cx = 31 + t * 13;
    if (std::fabs(x - cx) < 5.0f) return true;
  }
  return false;
}

// A box face: a coloured panel with a lighter rim, and the letter in white
// with a dark outline so that it reads on any background.
std::vector<uint8_t> voice_texture(int size, Rgb panel, bool (*letter)(float, float)) {
  const Rgb rim = mix(panel, Rgb{255, 255, 255}, 0.35f), ink{250, 250, 245}, outline{20, 24, 40};
  return render(size, [&](float u, float v, int, int) {
    float x = u * 64, y = v * 64;
    if (letter(x, y)) return ink;
    for (int k = 0; k < 8; ++k) {
      float a = float(k) * 0.785398f;
      if (letter(x + 1.6f * std::cos(a), y + 1.6f * std::sin(a))) return outline;
    }
    float border = std::min(std::min(x, 64 - x), std::min(y, 64 - y));
    if (border < 3) return rim;
    // A gentle vertical gradient across the panel.
    return mix(panel, Rgb{panel.r * 0.7f, panel.g * 0.7f, panel.b * 0.7f}, v);
  });
}

// The listener's texture is added to its brown: dark, with a light stripe
// along the arrow's spine (s = 0.5) and a faint rim, so that the head reads
// as pointing forward.
std::vector<uint8_t> listener_texture(int size) {
  return render(size, [&](float u, float v, int, int) {
    float spine = std::max(0.0f, 1 - std::fabs(u - 0.5f) / 0.06f);
    float rim = std::max(0.0f, 1 - std::min(std::min(u, 1 - u), std::min(v, 1 - v)) / 0.08f);
    float k = 18 + 70 * spine * (1 - v * 0.5f) + 24 * rim;
    return Rgb{k, k * 0.8f, k * 0.45f};
  });
}

// --- Models ----------------------------------------------------------------------

class ModelWriter {
 public:
  ModelWriter(uint32_t flags, float position[3], float scale) : flags_(flags) {
    SceneModelHeader head{};
    head.flags = flags;
    for (int i = 0; i < 3; ++i) head.pose.position[i] = position[i];
    head.scale = scale;
    bytes_.resize(sizeof head);
    std::memcpy(bytes_.data(), &head, sizeof head);
  }

  struct Vertex {
    float p[3];
    float s, t;
    uint8_t abgr[4];
    float n[3];
    float light;
    uint32_t edge;
  };

  void triangle(uint8_t texture, const Vertex v[3]) {
    if (flags_ & MODEL_TEX_NUMBER) bytes_.push_back(texture);
    for (int k = 0; k < 3; ++k) {
      put(v[k].p, 12);
      if (flags_ & MODEL_TEXCOORDS) {
        put(&v[k].s, 4);
        put(&v[k].t, 4);
      }
      if (flags_ & (MODEL_ALPHA | MODEL_COLOUR_SOURCE)) put(v[k].abgr, 4);
      if (flags_ & MODEL_NORMALS) {
        put(v[k].n, 12);
        if ((flags_ & MODEL_LIGHTING) && (flags_ & MODEL_LIGHT_FACTOR)) put(&v[k].light, 4);
      }
      if (flags_ & MODEL_EDGE_FLAGS) put(&v[k].edge, 4);
    }
    ++count_;
  }

  std::vector<uint8_t> finish() {
    std::memcpy(bytes_.data() + 4, &count_, 4);
    return bytes_;
  }

 private:
  void put(const void *p, size_t n) {
    const uint8_t *b = static_cast<const uint8_t *>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  uint32_t flags_;
  uint32_t count_ = 0;
  std::vector<uint8_t> bytes_;
};

using V3 = std::array<float, 3>;

V3 sub(V3 a, V3 b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 cross(V3 a, V3 b) { return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}; }
V3 unit(V3 a) {
  float l = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  return {a[0] / l, a[1] / l, a[2] / l};
}

ModelWriter::Vertex vertex(V3 p, float s, float t, V3 n, float light, uint32_t edge, const uint8_t abgr[4]) {
  ModelWriter::Vertex v{};
  std::memcpy(v.p, p.data(), 12);
  v.s = s;
  v.t = t;
  std::memcpy(v.abgr, abgr, 4);
  std::memcpy(v.n, n.data(), 12);
  v.light = light;
  v.edge = edge;
  return v;
}

// Side 1 in the plane y = 0, four triangles fanned around the centre, the
// texture repeated twice each way; t grows towards -z (down the screen
// seen from above). Only the outer edges are edges.
std::vector<uint8_t> floor_model() {
  float position[3] = {0, -0.2f, 0};
  ModelWriter w(FLOOR_FLAGS, position, 2.3f);
  const uint8_t white[4] = {255, 255, 255, 255};
  const V3 corners[4] = {{-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}, {0.5f, 0, -0.5f}, {-0.5f, 0, -0.5f}};
  auto st = [](V3 p, float *s, float *t) {
    *s = (p[0] + 0.5f) * 2;
    *t = (0.5f - p[2]) * 2;
  };
  const V3 up{0, 1, 0};
  for (int i = 0; i < 4; ++i) {
    V3 a = corners[i], b = corners[(i + 1) % 4], c{0, 0, 0};
    float s[3], t[3];
    st(c, &s[0], &t[0]);
    st(a, &s[1], &t[1]);
    st(b, &s[2], &t[2]);
    ModelWriter::Vertex v[3] = {vertex(c, s[0], t[0], up, 0, 0, white), vertex(a, s[1], t[1], up, 0, 1, white),
                                vertex(b, s[2], t[2], up, 0, 0, white)};
    w.triangle(0, v);
  }
  return w.finish();
}

// The tapered box: base 0.4 x 0.4 at y = -0.2, top 0.2 x 0.2 at y = 0.2.
// Each side shows the texture as a trapezoid, upright and unmirrored seen
// from outside; top and bottom take the plain texel at (0.1, 0.1).
std::vector<uint8_t> box_model(uint8_t texture) {
  float position[3] = {0, 0, 0};
  ModelWriter w(BOX_FLAGS, position, 0.2f);
  const uint8_t none[4] = {0, 0, 0, 0};
  const float light = 0.4f;
  // Outward horizontal directions of the four sides and, for each, the
  // direction a viewer outside sees as "right" (up x outward).
  const V3 out[4] = {{0, 0, 1}, {1, 0, 0}, {0, 0, -1}, {-1, 0, 0}};
  for (int f = 0; f < 4; ++f) {
    V3 o = out[f];
    V3 right = cross(V3{0, 1, 0}, o);
    auto at = [&](float half, float y, float side) {
      return V3{o[0] * half + right[0] * half * side, y, o[2] * half + right[2] * half * side};
    };
    V3 topLeft = at(0.1f, 0.2f, -1), topRight = at(0.1f, 0.2f, 1);
    V3 bottomLeft = at(0.2f, -0.2f, -1), bottomRight = at(0.2f, -0.2f, 1);
    V3 n = unit(cross(sub(bottomLeft, topLeft), sub(topRight, topLeft)));
    if (n[0] * o[0] + n[2] * o[2] < 0) n = {-n[0], -n[1], -n[2]};
    ModelWriter::Vertex a[3] = {vertex(topLeft, 0.25f, 0, n, light, 1, none),
                                vertex(bottomLeft, 0, 1, n, light, 1, none),
                                vertex(bottomRight, 1, 1, n, light, 0, none)};
    ModelWriter::Vertex b[3] = {vertex(topLeft, 0.25f, 0, n, light, 0, none),
                                vertex(bottomRight, 1, 1, n, light, 1, none),
                                vertex(topRight, 0.75f, 0, n, light, 1, none)};
    w.triangle(texture, a);
    w.triangle(texture, b);
  }
  for (int cap = 0; cap < 2; ++cap) {
    float y = cap ? 0.2f : -0.2f, h = cap ? 0.1f : 0.2f;
    V3 n{0, cap ? 1.0f : -1.0f, 0};
    V3 c[4] = {{-h, y, -h}, {h, y, -h}, {h, y, h}, {-h, y, h}};
    if (!cap) std::swap(c[1], c[3]);  // keep the outside counter-clockwise
    ModelWriter::Vertex a[3] = {vertex(c[0], 0.1f, 0.1f, n, light, 1, none),
                                vertex(c[1], 0.1f, 0.1f, n, light, 1, none),
                                vertex(c[2], 0.1f, 0.1f, n, light, 0, none)};
    ModelWriter::Vertex b[3] = {vertex(c[0], 0.1f, 0.1f, n, light, 0, none),
                                vertex(c[2], 0.1f, 0.1f, n, light, 1, none),
                                vertex(c[3], 0.1f, 0.1f, n, light, 1, none)};
    w.triangle(texture, a);
    w.triangle(texture, b);
  }
  return w.finish();
}

// An arrow head pointing along +z: four front faces from the tip to the
// base edges, four back faces from the base edges to the base centre,
// pushed in. Texture coordinates from above (x across, z down the picture).
std::vector<uint8_t> listener_model() {
  float position[3] = {0, 0, 0};
  ModelWriter w(LISTENER_FLAGS, position, 0.2f);
  const uint8_t brown[4] = {255, 0, 64, 112};  // alpha, blue, green, red
  const V3 tip{0, 0, 0.2f}, back{0, 0, -0.1f};
  const V3 base[4] = {{-0.3f, -0.2f, -0.2f}, {0.3f, -0.2f, -0.2f}, {0.1f, 0.2f, -0.2f}, {-0.1f, 0.2f, -0.2f}};
  auto st = [](V3 p, float *s, float *t) {
    *s = (p[0] + 0.3f) / 0.6f;
    *t = (0.2f - p[2]) / 0.4f;
  };
  for (int side = 0; side < 2; ++side) {
    const V3 apex = side ? back : tip;
    const float light = side ? 0.3f : 0.35f;
    for (int i = 0; i < 4; ++i) {
      V3 a = base[i], b = base[(i + 1) % 4];
      if (side) std::swap(a, b);
      V3 n = unit(cross(sub(a, apex), sub(b, apex)));
      // Outward: away from the inside point between tip and base centre.
      V3 mid{(apex[0] + a[0] + b[0]) / 3, (apex[1] + a[1] + b[1]) / 3, (apex[2] + a[2] + b[2]) / 3};
      V3 inside{0, 0, 0.02f};
      V3 away = sub(mid, inside);
      if (n[0] * away[0] + n[1] * away[1] + n[2] * away[2] < 0) n = {-n[0], -n[1], -n[2]};
      float s[3], t[3];
      st(apex, &s[0], &t[0]);
      st(a, &s[1], &t[1]);
      st(b, &s[2], &t[2]);
      ModelWriter::Vertex v[3] = {vertex(apex, s[0], t[0], n, light, 1, brown),
                                  vertex(a, s[1], t[1], n, light, 1, brown),
                                  vertex(b, s[2], t[2], n, light, 1, brown)};
      w.triangle(3, v);
    }
  }
  return w.finish();
}

}  // namespace

std::vector<uint8_t> scene_art_texture(int number, int *size) {
  int n = number == 0 ? 128 : 64;
  if (size) *size = n;
  switch (number) {
    case 0:
      return floor_texture(n);
    case 1:
      return voice_texture(n, Rgb{38, 104, 214}, letter_l);
    case 2:
      return voice_texture(n, Rgb{222, 78, 40}, letter_r);
    case 3:
      return listener_texture(n);
    default:
      if (size) *size = 0;
      return {};
  }
}

std::vector<uint8_t> scene_art_model(int number) {
  switch (number) {
    case SCENE_FLOOR:
      return floor_model();
    case SCENE_LEFT_BOX:
      return box_model(1);
    case SCENE_RIGHT_BOX:
      return box_model(2);
    case SCENE_LISTENER:
      return listener_model();
    default:
      return {};
  }
}
