// make_scene_assets OUT.cpp: draws the 3D view's textures and builds its
// models, encodes the textures as PVRTC 4 bpp and packs the models, checks
// that the program's own decoder and unpacker give them back, and writes
// them as C++ arrays. Runs at build time on the build machine.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/gln_pack.h"
#include "tools/pvrtc_encode.h"
#include "tools/scene_art.h"
#include "ui/gln.h"
#include "ui/pvrtc.h"
#include "ui/scene.h"

namespace {

void array(std::string *out, const std::string &name, const std::vector<uint8_t> &bytes) {
  *out += "const uint8_t " + name + "[" + std::to_string(bytes.size()) + "] = {";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % 16 == 0) *out += "\n   ";
    *out += " " + std::to_string(bytes[i]) + ",";
  }
  *out += "\n};\n";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_scene_assets OUT.cpp\n");
    return 2;
  }
  static const char *const kTextureNames[4] = {"floor", "left_box", "right_box", "listener"};
  static const char *const kModelNames[4] = {"floor", "left_box", "right_box", "listener"};
  std::string out =
      "// Made by tools/make_scene_assets at build time; do not edit.\n"
      "#include \"ui/scene_assets.h\"\n\nnamespace {\n";
  for (int i = 0; i < SCENE_TEXTURE_COUNT; ++i) {
    int side = 0;
    std::vector<uint8_t> rgba = scene_art_texture(i, &side);
    std::vector<uint8_t> file = pvrtc_encode_file(rgba.data(), side, side);
    std::vector<uint8_t> back(rgba.size(), 0);
    int w = 0, h = 0;
    if (pvrtc_decode(file.data(), file.size(), back.data(), back.size(), &w, &h) != 0 || w != side || h != side) {
      std::fprintf(stderr, "make_scene_assets: texture %s does not decode\n", kTextureNames[i]);
      return 1;
    }
    std::printf("texture %-9s %3d x %-3d %5zu bytes, PSNR %.2f dB (RGB)\n", kTextureNames[i], side, side, file.size(),
                rgba_psnr(rgba.data(), back.data(), size_t(side) * side, false));
    array(&out, std::string("kTexture_") + kTextureNames[i], file);
  }
  for (int i = 0; i < SCENE_MODEL_COUNT; ++i) {
    std::vector<uint8_t> record = scene_art_model(i);
    std::vector<uint8_t> packed = gln_pack(record.data(), record.size());
    std::vector<uint8_t> back(record.size() + 1, 0);
    long n = gln_unpack(packed.data(), packed.size(), back.data(), back.size());
    back.resize(record.size());
    SceneModel parsed;
    if (n != long(record.size()) || back != record || scene_model_parse(record.data(), record.size(), &parsed) != 0) {
      std::fprintf(stderr, "make_scene_assets: model %s does not unpack to itself\n", kModelNames[i]);
      return 1;
    }
    std::printf("model   %-9s %4zu bytes, %2u triangles, packed %4zu bytes\n", kModelNames[i], record.size(),
                parsed.head.triangleCount, packed.size());
    array(&out, std::string("kModel_") + kModelNames[i], packed);
  }
  out += "}  // namespace\n\nconst StoredAsset scene_stored_textures[SCENE_TEXTURE_COUNT] = {\n";
  for (const char *n : kTextureNames) out += std::string("    {kTexture_") + n + ", sizeof kTexture_" + n + "},\n";
  out += "};\nconst StoredAsset scene_packed_models[SCENE_MODEL_COUNT] = {\n";
  for (const char *n : kModelNames) out += std::string("    {kModel_") + n + ", sizeof kModel_" + n + "},\n";
  out += "};\n";

  std::FILE *f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "make_scene_assets: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
