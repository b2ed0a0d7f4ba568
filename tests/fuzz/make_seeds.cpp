// Writes the seed corpora of the fuzz targets into DIR/<target>/ with our
// own writers: small real inputs of every kind each target reads.
//   fuzz_make_seeds DIR
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/eq_preset.h"
#include "host/wav.h"
#include "tools/gln_pack.h"
#include "tools/preset_text.h"
#include "tools/pvrtc_encode.h"
#include "tools/scene_art.h"

namespace {

std::string root;

void put(const std::string &target, const std::string &name, const std::vector<uint8_t> &bytes) {
  std::string dir = root + "/" + target;
  mkdir(dir.c_str(), 0755);
  std::string path = dir + "/" + name;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

std::vector<uint8_t> text_bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

template <class T>
void append(std::vector<uint8_t> *out, T v) {
  const uint8_t *p = reinterpret_cast<const uint8_t *>(&v);
  out->insert(out->end(), p, p + sizeof v);
}

void format_seeds() {
  struct Seed {
    const char *name, *format;
  };
  const Seed seeds[] = {
      {"int", "Volume %+i mB"},       {"grouped", "%#,3d bytes"},   {"hex", "0x%08X %Bx %Wh"},
      {"float", "%.2f dB at %Q.3f"},  {"pad", "[%-12i|%12d]"},      {"suppress", "%!d%i %%"},
      {"wide", "%T i %Qb %D.,4f"},    {"decimal", "%.,1f s"},
  };
  for (const Seed &s : seeds) {
    std::vector<uint8_t> in = text_bytes(s.format);
    in.push_back(0);
    append<int32_t>(&in, -1500);
    append<double>(&in, 3.14159);
    append<int64_t>(&in, 1234567890123LL);
    append<float>(&in, -0.5f);
    append<int32_t>(&in, 48000);
    put("fuzz_format_text", s.name, in);
  }
}

void wav_seeds() {
  const int formats[][3] = {{44100, 2, 16}, {22050, 1, 8}, {48000, 2, 24}, {8000, 1, 16}};
  for (auto &f : formats) {
    int frames = 64, bytes = f[1] * f[2] / 8;
    std::vector<uint8_t> pcm(size_t(frames * bytes));
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(std::lround(100 * std::sin(double(i) / 5)));
    char name[64];
    std::snprintf(name, sizeof name, "pcm_%d_%dch_%dbit.wav", f[0], f[1], f[2]);
    put("fuzz_wav", name, wav_build(f[0], f[1], f[2], pcm));
  }
}

void gln_seeds() {
  std::string text = "the listener, the four voices and their cones; the listener, the four voices";
  std::vector<uint8_t> plain = text_bytes(text);
  put("fuzz_gln", "text.gln", gln_pack(plain.data(), plain.size()));
  std::vector<uint8_t> model = scene_art_model(0);
  if (model.size() > 2048) model.resize(2048);
  put("fuzz_gln", "model.gln", gln_pack(model.data(), model.size()));
  std::vector<uint8_t> zeros(1000, 0);
  put("fuzz_gln", "zeros.gln", gln_pack(zeros.data(), zeros.size()));
}

void pvrtc_seeds() {
  for (int side : {8, 16, 32}) {
    std::vector<uint8_t> rgba(size_t(side * side * 4));
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        uint8_t *p = &rgba[size_t((y * side + x) * 4)];
        p[0] = uint8_t(x * 255 / side);
        p[1] = uint8_t(y * 255 / side);
        p[2] = uint8_t((x ^ y) * 16);
        p[3] = uint8_t(x < side / 2 ? 255 : 128);
      }
    put("fuzz_pvrtc", "gradient" + std::to_string(side) + ".pvr", pvrtc_encode_file(rgba.data(), side, side, 1));
  }
}

void preset_text_seeds() {
  PropertyBlock b;
  env_block_defaults(&b);
  EqSettings s;
  eq_settings_defaults(&s);
  put("fuzz_preset_text", "defaults_env", text_bytes(std::string(1, '\0') + env_block_to_text(b)));
  put("fuzz_preset_text", "defaults_eq", text_bytes(std::string(1, '\1') + eq_settings_to_text(s)));
  put("fuzz_preset_text", "hall_env",
      text_bytes(std::string(1, '\0') +
                 "environment = Concert Hall     # first: it loads all listener values\n"
                 "[listener]\ndecay_time = 3.5\n[voice1]\nposition = -2 0 1\n"
                 "[voices]\nflags = 0x7\nlistener.room = -1500\n"));
  put("fuzz_preset_text", "bright_eq", text_bytes(std::string(1, '\1') + "[eq]\nband1 = +3 dB\nband32 = 30\n"));
  std::vector<uint8_t> env_file(1, 0);
  const uint8_t *p = reinterpret_cast<const uint8_t *>(&b);
  env_file.insert(env_file.end(), p, p + sizeof b);
  put("fuzz_preset_text", "defaults_env_file", env_file);
  std::vector<uint8_t> eq_file(1, 1);
  unsigned char eq_bytes[EQ_PRESET_BYTES];
  eq_settings_to_bytes(s, eq_bytes);
  eq_file.insert(eq_file.end(), eq_bytes, eq_bytes + EQ_PRESET_BYTES);
  put("fuzz_preset_text", "defaults_eq_file", eq_file);
}

// The three autosave files as the plug-in writes them, in the target's
// length-prefixed container.
void autosave_seeds() {
  PropertyBlock b;
  env_block_defaults(&b);
  EqSettings s;
  eq_settings_defaults(&s);
  s.bands[3] = 80;
  s.preamp = 70;
  unsigned char eq_bytes[EQ_PRESET_BYTES];
  eq_settings_to_bytes(s, eq_bytes);
  std::vector<uint8_t> ds;
  append<int32_t>(&ds, 1);
  for (int i = 0; i < EQ_BANDS; ++i) ds.push_back(uint8_t(i % 3 == 0));

  auto pack = [](std::initializer_list<std::vector<uint8_t>> files) {
    std::vector<uint8_t> out;
    for (const auto &f : files) {
      append<uint16_t>(&out, uint16_t(f.size()));
      out.insert(out.end(), f.begin(), f.end());
    }
    return out;
  };
  const uint8_t *p = reinterpret_cast<const uint8_t *>(&b);
  std::vector<uint8_t> env(p, p + sizeof b), eq(eq_bytes, eq_bytes + EQ_PRESET_BYTES);
  put("fuzz_autosave", "all_three", pack({env, eq, ds}));
  put("fuzz_autosave", "short_eq_and_ds", pack({env, std::vector<uint8_t>(eq.begin(), eq.begin() + 30),
                                                std::vector<uint8_t>(ds.begin(), ds.begin() + 6)}));
  std::vector<uint8_t> only_ds;
  append<uint16_t>(&only_ds, 0xFFFF);
  append<uint16_t>(&only_ds, 0xFFFF);
  append<uint16_t>(&only_ds, uint16_t(ds.size()));
  only_ds.insert(only_ds.end(), ds.begin(), ds.end());
  put("fuzz_autosave", "only_ds", only_ds);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_make_seeds DIR\n");
    return 2;
  }
  root = argv[1];
  mkdir(root.c_str(), 0755);
  format_seeds();
  wav_seeds();
  gln_seeds();
  pvrtc_seeds();
  preset_text_seeds();
  autosave_seeds();
  return 0;
}
