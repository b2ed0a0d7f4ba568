#include "tools/preset_tool.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/png.h"
#include "tools/preset_text.h"
#include "tools/preset_view.h"

namespace {

// Descriptions and files larger than this are not presets or their text.
const size_t kMaxText = 1 << 20;

std::string where(const std::string &name, const PresetError &e) {
  return e.line ? name + ":" + std::to_string(e.line) + ": " : name + ": ";
}

bool read_stream(std::FILE *in, std::vector<unsigned char> *bytes, PresetError *error) {
  bytes->clear();
  unsigned char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
    bytes->insert(bytes->end(), chunk, chunk + got);
    if (bytes->size() > kMaxText) {
      *error = {0, "the description is larger than 1 MiB"};
      return false;
    }
  }
  if (std::ferror(in)) {
    *error = {0, "cannot read standard input"};
    return false;
  }
  return true;
}

// The kind of a file: from its extension, or from its content when the
// extension is neither .env nor .eq.
PresetKind kind_of_file(const char *path, const std::vector<unsigned char> &bytes) {
  PresetKind kind = preset_kind_of_path(path);
  if (kind != PRESET_NONE) return kind;
  if (bytes.size() == size_t(PROPERTY_BLOCK_BYTES) && std::memcmp(bytes.data(), "env4", 4) == 0) return PRESET_ENV;
  if (bytes.size() == size_t(EQ_PRESET_BYTES) && std::memcmp(bytes.data(), "eq10", 4) == 0) return PRESET_EQ;
  return PRESET_NONE;
}

int command_print(const char *path, std::string *out, std::string *err) {
  std::vector<unsigned char> bytes;
  PresetError e{0, ""};
  if (!preset_file_read(path, kMaxText, &bytes, &e)) {
    *err += where(path, e) + e.message + "\n";
    return 1;
  }
  switch (kind_of_file(path, bytes)) {
    case PRESET_ENV: {
      PropertyBlock b;
      if (!env_block_from_bytes(bytes.data(), bytes.size(), &b, &e)) break;
      *out += env_block_to_text(b);
      return 0;
    }
    case PRESET_EQ: {
      EqSettings s;
      if (!eq_settings_from_bytes(bytes.data(), bytes.size(), &s, &e)) break;
      *out += eq_settings_to_text(s);
      return 0;
    }
    case PRESET_NONE:
      e.message =
          "not a preset: a .env preset holds 572 bytes beginning with \"env4\", a .eq preset 136 bytes "
          "beginning with \"eq10\"; this file holds " +
          std::to_string(bytes.size()) + " bytes";
      break;
  }
  *err += where(path, e) + e.message + "\n";
  return 1;
}

int command_write(const char *target, const char *from, const char *description, std::FILE *in, std::string *err) {
  PresetKind kind = preset_kind_of_path(target);
  if (kind == PRESET_NONE) {
    *err += std::string(target) + ": the preset to write must end in .env or .eq\n";
    return 2;
  }
  PresetError e{0, ""};
  PropertyBlock block;
  EqSettings eq;
  env_block_defaults(&block);
  eq_settings_defaults(&eq);
  if (from) {
    std::vector<unsigned char> bytes;
    bool ok = preset_file_read(from, kMaxText, &bytes, &e) &&
              (kind == PRESET_ENV ? env_block_from_bytes(bytes.data(), bytes.size(), &block, &e)
                                  : eq_settings_from_bytes(bytes.data(), bytes.size(), &eq, &e));
    if (!ok) {
      *err += where(from, e) + e.message + "\n";
      return 1;
    }
  }

  std::vector<unsigned char> text;
  std::string text_name = description ? description : "";
  if (description && std::strcmp(description, "-") == 0) {
    text_name = "<stdin>";
    if (!read_stream(in, &text, &e)) {
      *err += where(text_name, e) + e.message + "\n";
      return 1;
    }
  } else if (description && !preset_file_read(description, kMaxText, &text, &e)) {
    *err += where(text_name, e) + e.message + "\n";
    return 1;
  }
  const char *chars = reinterpret_cast<const char *>(text.data());
  bool parsed = kind == PRESET_ENV ? env_block_from_text(chars, text.size(), &block, &e)
                                   : eq_settings_from_text(chars, text.size(), &eq, &e);
  if (!parsed) {
    *err += where(text_name, e) + e.message + "; nothing was written\n";
    return 1;
  }

  // Values out of range can only have come from the --from file: they are
  // kept as the plug-in stored them, and named.
  std::vector<std::string> problems =
      kind == PRESET_ENV ? env_block_range_problems(block) : eq_settings_range_problems(eq);
  for (const std::string &p : problems)
    *err += "warning: " + p + " (kept from " + std::string(from ? from : "") + ")\n";

  unsigned char eq_bytes[EQ_PRESET_BYTES];
  const void *bytes = &block;
  size_t size = PROPERTY_BLOCK_BYTES;
  if (kind == PRESET_EQ) {
    eq_settings_to_bytes(eq, eq_bytes);
    bytes = eq_bytes;
    size = EQ_PRESET_BYTES;
  }
  if (!preset_file_write(target, bytes, size, &e)) {
    *err += where(target, e) + e.message + "\n";
    return 1;
  }
  return 0;
}

// A size argument: a whole number 1..4096.
bool parse_side(const char *text, int *side) {
  char *end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 1 || v > 4096) return false;
  *side = int(v);
  return true;
}

int command_view(const std::vector<const char *> &args, std::string *err) {
  const char *path = args[1], *target = args[2];
  SceneView view = scene_view_start();
  if (args.size() == 5 && (!parse_side(args[3], &view.camera.width) || !parse_side(args[4], &view.camera.height))) {
    *err += "the picture's width and height must be whole numbers from 1 to 4096\n";
    return 2;
  }
  std::vector<unsigned char> bytes;
  PresetError e{0, ""};
  PropertyBlock b;
  if (!preset_file_read(path, kMaxText, &bytes, &e) || !env_block_from_bytes(bytes.data(), bytes.size(), &b, &e)) {
    *err += where(path, e) + e.message + "\n";
    return 1;
  }
  scene_view_from_block(b, &view);
  std::vector<uint8_t> rgba;
  std::string why;
  if (scene_render_offscreen(view, &rgba, nullptr, &why) != 0) {
    *err += std::string("cannot render the view: ") + why + "\n";
    return 1;
  }
  // The window shows no alpha: the picture is the RGB of the frame.
  std::vector<uint8_t> rgb(rgba.size() / 4 * 3);
  for (size_t i = 0, n = rgba.size() / 4; i < n; ++i)
    for (int c = 0; c < 3; ++c) rgb[3 * i + c] = rgba[4 * i + c];
  if (png_write_file(target, rgb.data(), view.camera.width, view.camera.height, view.camera.width * 3, 3) != 0) {
    *err += std::string(target) + ": cannot write the picture\n";
    return 1;
  }
  return 0;
}

}  // namespace

std::string preset_tool_usage(void) {
  std::string u =
      "Usage:\n"
      "  sonorium_preset print FILE.env|FILE.eq\n"
      "  sonorium_preset write [--from EXISTING] OUT.env|OUT.eq [DESCRIPTION|-]\n"
      "  sonorium_preset environments\n"
      "  sonorium_preset view FILE.env OUT.png [WIDTH HEIGHT]\n"
      "  sonorium_preset --help\n"
      "\n"
      "print         shows a preset as `name = value` lines, which read back to the same bytes.\n"
      "write         writes OUT from the values the plug-in starts with when it has no autosave\n"
      "              file (or from EXISTING, a preset of the same kind), changed by the lines of\n"
      "              DESCRIPTION (\"-\": standard input; none given: no changes). Every value is\n"
      "              checked against its EAX 2.0 / DS3D range; on any error nothing is written.\n"
      "environments  lists the 26 EAX 2.0 environments.\n"
      "view          draws the room of a .env preset as the 3D view shows it when it opens\n"
      "              (start camera, every voice shown, the preset's poses, cone angles and\n"
      "              air absorption as fog) into a PNG picture, 400 x 400 unless given.\n"
      "\n"
      "Description lines: `name = value`; # starts a comment; names ignore case and '_'.\n"
      "A name is full (listener.room, voice2.position, eq.band7) or bare under a section\n"
      "header: [listener], [voice1] .. [voice4] (L1, R1, L2, R2), [voices] (all four), [eq].\n"
      "\n"
      ".env presets:\n"
      "  environment = Concert Hall   a name or 0..25; loads every listener EAX value of that\n"
      "                               environment, as the panel does; write it first\n";
  auto names = [&](bool voice) {
    std::string line = "   ";
    std::string all;
    for (int i = 0; i < env_field_count; ++i) {
      if (env_fields[i].voice != voice || env_fields[i].type == FIELD_ENVIRONMENT) continue;
      std::string n = std::string(" ") + env_fields[i].name;
      if (line.size() + n.size() > 88) {
        all += line + "\n";
        line = "   ";
      }
      line += n;
    }
    return all + line + "\n";
  };
  u += "  listener.NAME = VALUE, NAME one of:\n" + names(false);
  u += "  voiceN.NAME = VALUE (N = 1..4, or voices.NAME for all four), NAME one of:\n" + names(true);
  u += "  Levels in mB, times in s, cone angles in degrees, pose angles in radians;\n"
       "  angles, position and velocity take three numbers: voice1.position = 1.5 0 2.\n"
       "  flags: a number (0x3F) or bit names joined by '|': decay_time_scale, reflections_scale,\n"
       "  reflections_delay_scale, reverb_scale, reverb_delay_scale, decay_hf_limit (listener);\n"
       "  direct_hf_auto, room_auto, room_hf_auto (voices). mode: normal, head_relative, disabled.\n"
       "\n"
       ".eq presets:\n"
       "  eq.preamp = 0..100, eq.band1 .. eq.band32 = 0..100 (band1 is 47 Hz, band32 24 kHz),\n"
       "  the values the file stores. A band value v is a gain of v/50 (50 = 0 dB, 100 = +6.02 dB);\n"
       "  the preamp p scales by p/100 from 50 up and by (p/2 + 25)/100 below (100 = 0 dB,\n"
       "  0 = -12.04 dB). A level such as `eq.band3 = +3 dB` is stored as the nearest value.\n"
       "\n"
       "Each value is checked against its range (the EAX 2.0 ranges, the DirectSound ones\n"
       "for DS3D values); a refusal names the line and the allowed range.\n"
       "\n"
       "Exit status: 0 done, 1 refused or failed (nothing written), 2 wrong usage.\n";
  return u;
}

int preset_tool_run(int argc, const char *const *argv, std::FILE *in, std::string *out, std::string *err) {
  std::vector<const char *> args;
  const char *from = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      *out += preset_tool_usage();
      return 0;
    }
    if (!std::strcmp(argv[i], "--from")) {
      if (i + 1 >= argc || from) {
        *err += from ? "--from is given twice\n" : "--from needs the name of an existing preset\n";
        return 2;
      }
      from = argv[++i];
      continue;
    }
    if (argv[i][0] == '-' && argv[i][1] && std::strcmp(argv[i], "-") != 0) {
      *err += std::string("unknown option ") + argv[i] + " (see --help)\n";
      return 2;
    }
    args.push_back(argv[i]);
  }
  std::string command = args.empty() ? "" : args[0];
  if (command == "help") {
    *out += preset_tool_usage();
    return 0;
  }
  if (from && command != "write") {
    *err += "--from belongs to the write command\n";
    return 2;
  }
  if (command == "environments" && args.size() == 1) {
    for (int i = 0; i < 26; ++i)
      *out += (i < 10 ? " " : "") + std::to_string(i) + "  " + preset_environment_name(i) + "\n";
    return 0;
  }
  if (command == "print" && args.size() == 2) return command_print(args[1], out, err);
  if (command == "view" && (args.size() == 3 || args.size() == 5)) return command_view(args, err);
  if (command == "write" && (args.size() == 2 || args.size() == 3))
    return command_write(args[1], from, args.size() == 3 ? args[2] : nullptr, in, err);
  *err += args.empty() ? "no command given\n\n" : "wrong use of \"" + command + "\"\n\n";
  *err += preset_tool_usage();
  return 2;
}
