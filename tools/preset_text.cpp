#include "tools/preset_text.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/dsound.h"
#include "platform/eax2.h"
#include "support/file.h"

namespace {

const char kEnvMagic[4] = {'e', 'n', 'v', '4'};
const char kEqMagic[4] = {'e', 'q', '1', '0'};

// The panel's spelling of the environments, in EAX 2.0 index order.
const char *const kEnvironmentNames[EAX_ENVIRONMENT_COUNT] = {
    "Generic",      "Padded Cell", "Room",    "Bathroom",  "Livingroom",       "Stone Room", "Auditorium",
    "Concert Hall", "Cave",        "Arena",   "Hangar",    "Carpeted Hallway", "Hallway",    "Stone Corridor",
    "Alley",        "Forest",      "City",    "Mountains", "Quarry",           "Plain",      "Parkinglot",
    "Sewer Pipe",   "Under Water", "Drugged", "Dizzy",     "Psychotic"};

const char *const kVoiceNames[4] = {"Left channel 1", "Right channel 1", "Left channel 2", "Right channel 2"};
const char *const kModeNames[3] = {"normal", "head_relative", "disabled"};

struct FlagName {
  uint32_t bit;
  const char *name;
};
const FlagName kListenerFlags[] = {
    {EAXLISTENERFLAGS_DECAYTIMESCALE, "decay_time_scale"},
    {EAXLISTENERFLAGS_REFLECTIONSSCALE, "reflections_scale"},
    {EAXLISTENERFLAGS_REFLECTIONSDELAYSCALE, "reflections_delay_scale"},
    {EAXLISTENERFLAGS_REVERBSCALE, "reverb_scale"},
    {EAXLISTENERFLAGS_REVERBDELAYSCALE, "reverb_delay_scale"},
    {EAXLISTENERFLAGS_DECAYHFLIMIT, "decay_hf_limit"},
};
const FlagName kVoiceFlags[] = {
    {EAXBUFFERFLAGS_DIRECTHFAUTO, "direct_hf_auto"},
    {EAXBUFFERFLAGS_ROOMAUTO, "room_auto"},
    {EAXBUFFERFLAGS_ROOMHFAUTO, "room_hf_auto"},
};

// The view's starting poses and cone apertures (the records it is built
// with), for the first-start block.
const float kVoicePositions[4][3] = {{-1, 0, 1}, {1, 0, 1}, {-1, 0, -1}, {1, 0, -1}};
const float kVoiceYaws[4] = {2.3562f, 3.927f, 0.7854f, 5.4978f};
const float kInsideConeAngle = 35;
const float kOutsideConeAngle = 80;
const int32_t kFirstStartVolume = -1000;
const int32_t kFirstStartConeOutsideVolume = -5000;

const double kFloatMax = FLT_MAX;

}  // namespace

// Listener fields at their block offsets; voice fields at the first voice's
// offset with the stride to the next voice.
#define LF(name, type, member, lo, hi, unit) \
  { name, false, type, uint16_t(offsetof(PropertyBlock, member)), 0, lo, hi, unit }
#define VE(name, type, member, lo, hi, unit)                                                          \
  {                                                                                                   \
    name, true, type, uint16_t(offsetof(PropertyBlock, eaxVoice) + offsetof(EaxVoiceFields, member)), \
        uint16_t(sizeof(EaxVoiceFields)), lo, hi, unit                                                \
  }
#define VD(name, type, member, lo, hi, unit)                                                            \
  {                                                                                                     \
    name, true, type, uint16_t(offsetof(PropertyBlock, ds3dVoice) + offsetof(Ds3dVoiceFields, member)), \
        uint16_t(sizeof(Ds3dVoiceFields)), lo, hi, unit                                                 \
  }

const EnvField env_fields[] = {
    LF("environment", FIELD_ENVIRONMENT, environment, 0, EAX_ENVIRONMENT_COUNT - 1, ""),
    LF("environment_size", FIELD_FLOAT, environmentSize, 1.0f, 100.0f, "m"),
    LF("environment_diffusion", FIELD_FLOAT, environmentDiffusion, 0.0f, 1.0f, ""),
    LF("room", FIELD_INT, room, -10000, 0, "mB"),
    LF("room_hf", FIELD_INT, roomHF, -10000, 0, "mB"),
    LF("decay_time", FIELD_FLOAT, decayTime, 0.1f, 20.0f, "s"),
    LF("decay_hf_ratio", FIELD_FLOAT, decayHFRatio, 0.1f, 2.0f, ""),
    LF("reflections", FIELD_INT, reflections, -10000, 1000, "mB"),
    LF("reflections_delay", FIELD_FLOAT, reflectionsDelay, 0.0f, 0.3f, "s"),
    LF("reverb", FIELD_INT, reverb, -10000, 2000, "mB"),
    LF("reverb_delay", FIELD_FLOAT, reverbDelay, 0.0f, 0.1f, "s"),
    LF("room_rolloff_factor", FIELD_FLOAT, roomRolloffFactor, 0.0f, 10.0f, ""),
    LF("air_absorption_hf", FIELD_FLOAT, airAbsorptionHF, -100.0f, 0.0f, "mB/m"),
    LF("flags", FIELD_FLAGS, listenerFlags, 0, EAXLISTENERFLAGS_RESERVED, ""),
    LF("distance_factor", FIELD_FLOAT, distanceFactor, DS3D_MINDISTANCEFACTOR, DS3D_MAXDISTANCEFACTOR, "m per unit"),
    LF("doppler_factor", FIELD_FLOAT, dopplerFactor, DS3D_MINDOPPLERFACTOR, DS3D_MAXDOPPLERFACTOR, ""),
    LF("angles", FIELD_VECTOR, listenerAngles, -kFloatMax, kFloatMax, "rad"),
    LF("position", FIELD_VECTOR, listenerPosition, -kFloatMax, kFloatMax, ""),
    LF("rolloff_factor", FIELD_FLOAT, rolloffFactor, DS3D_MINROLLOFFFACTOR, DS3D_MAXROLLOFFFACTOR, ""),
    LF("velocity", FIELD_VECTOR, listenerVelocity, -kFloatMax, kFloatMax, "units/s"),

    {"volume", true, FIELD_INT, uint16_t(offsetof(PropertyBlock, volume)), 4, DSBVOLUME_MIN, DSBVOLUME_MAX, "mB"},
    VE("direct", FIELD_INT, direct, -10000, 1000, "mB"),
    VE("direct_hf", FIELD_INT, directHF, -10000, 0, "mB"),
    VE("room", FIELD_INT, room, -10000, 1000, "mB"),
    VE("room_hf", FIELD_INT, roomHF, -10000, 0, "mB"),
    VE("obstruction", FIELD_INT, obstruction, -10000, 0, "mB"),
    VE("obstruction_lf_ratio", FIELD_FLOAT, obstructionLFRatio, 0.0f, 1.0f, ""),
    VE("occlusion", FIELD_INT, occlusion, -10000, 0, "mB"),
    VE("occlusion_lf_ratio", FIELD_FLOAT, occlusionLFRatio, 0.0f, 1.0f, ""),
    VE("occlusion_room_ratio", FIELD_FLOAT, occlusionRoomRatio, 0.0f, 10.0f, ""),
    VE("room_rolloff_factor", FIELD_FLOAT, roomRolloffFactor, 0.0f, 10.0f, ""),
    VE("air_absorption_factor", FIELD_FLOAT, airAbsorptionFactor, 0.0f, 10.0f, ""),
    VE("outside_volume_hf", FIELD_INT, outsideVolumeHF, -10000, 0, "mB"),
    VE("flags", FIELD_FLAGS, flags, 0, EAXBUFFERFLAGS_RESERVED, ""),
    VD("inside_cone_angle", FIELD_FLOAT, insideConeAngle, DS3D_MINCONEANGLE, DS3D_MAXCONEANGLE, "degrees"),
    VD("outside_cone_angle", FIELD_FLOAT, outsideConeAngle, DS3D_MINCONEANGLE, DS3D_MAXCONEANGLE, "degrees"),
    VD("angles", FIELD_VECTOR, angles, -kFloatMax, kFloatMax, "rad"),
    VD("cone_outside_volume", FIELD_INT, coneOutsideVolume, DSBVOLUME_MIN, DSBVOLUME_MAX, "mB"),
    VD("max_distance", FIELD_FLOAT, maxDistance, 0.0f, DS3D_DEFAULTMAXDISTANCE, ""),
    VD("min_distance", FIELD_FLOAT, minDistance, 0.0f, DS3D_DEFAULTMAXDISTANCE, ""),
    VD("mode", FIELD_MODE, mode, DS3DMODE_NORMAL, DS3DMODE_DISABLE, ""),
    VD("position", FIELD_VECTOR, position, -kFloatMax, kFloatMax, ""),
    VD("velocity", FIELD_VECTOR, velocity, -kFloatMax, kFloatMax, "units/s"),
};
const int env_field_count = int(sizeof env_fields / sizeof env_fields[0]);

#undef LF
#undef VE
#undef VD

namespace {

// --- Small text helpers -------------------------------------------------------

// Lower case without underscores: the form names are compared in.
std::string fold_name(const std::string &s) {
  std::string out;
  for (char c : s)
    if (c != '_') out += char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(const std::string &s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// The shortest text that reads back as the same float, without an exponent
// for whole numbers that allow it.
std::string float_text(float f) {
  if (!std::isfinite(f)) return std::isnan(f) ? "nan" : (f < 0 ? "-inf" : "inf");
  char buf[64];
  for (int p = 1; p <= 9; ++p) {
    std::snprintf(buf, sizeof buf, "%.*g", p, double(f));
    float back = std::strtof(buf, nullptr);
    if (std::memcmp(&back, &f, 4) == 0) break;
  }
  if (std::strchr(buf, 'e') && std::fabs(f) >= 1 && std::fabs(f) < 1e12f) {
    char whole[64];
    std::snprintf(whole, sizeof whole, "%.0f", double(f));
    float back = std::strtof(whole, nullptr);
    if (std::memcmp(&back, &f, 4) == 0) return whole;
  }
  return buf;
}

std::string range_text(const EnvField &f) {
  if (f.type == FIELD_VECTOR) return "finite numbers";
  std::string unit = f.unit[0] ? std::string(" ") + f.unit : "";
  if (f.type == FIELD_INT || f.type == FIELD_ENVIRONMENT || f.type == FIELD_MODE)
    return format("%.0f..%.0f", f.min, f.max) + unit;
  if (f.min == DS3D_MINDISTANCEFACTOR) return "> 0" + unit;
  return float_text(float(f.min)) + ".." + float_text(float(f.max)) + unit;
}

// A decimal number as the C library reads it, but nothing else: no hex
// floats, no inf or nan, no trailing text.
bool is_decimal(const std::string &s) {
  size_t i = 0, n = s.size();
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (!digits) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t e = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++e;
    if (!e) return false;
  }
  return i == n;
}

bool is_whole(const std::string &s) {
  size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  if (i == s.size()) return false;
  for (; i < s.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

// A whole number; false when it is not one or lies beyond +-2^40 (far
// outside any range here, so the range check reports it).
bool parse_whole(const std::string &s, long long *out) {
  if (!is_whole(s)) return false;
  size_t digits = s.size() - ((s[0] == '+' || s[0] == '-') ? 1 : 0);
  if (digits > 13) {
    *out = s[0] == '-' ? -(1LL << 40) : (1LL << 40);
    return true;
  }
  *out = std::strtoll(s.c_str(), nullptr, 10);
  return true;
}

// A number read straight into a float (one rounding, as the printer
// assumes). Values beyond the float range come back infinite.
bool parse_float(const std::string &s, float *out) {
  if (!is_decimal(s)) return false;
  *out = std::strtof(s.c_str(), nullptr);
  return true;
}

std::vector<std::string> split_values(const std::string &s) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : s) {
    if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

const FlagName *flag_table(const EnvField &f, int *count) {
  if (f.voice) {
    *count = int(sizeof kVoiceFlags / sizeof kVoiceFlags[0]);
    return kVoiceFlags;
  }
  *count = int(sizeof kListenerFlags / sizeof kListenerFlags[0]);
  return kListenerFlags;
}

std::string flag_names(const EnvField &f, uint32_t v) {
  int n;
  const FlagName *t = flag_table(f, &n);
  std::string out;
  for (int i = 0; i < n; ++i)
    if (v & t[i].bit) out += (out.empty() ? "" : " | ") + std::string(t[i].name);
  return out.empty() ? "none" : out;
}

std::string section_name(const EnvField &f, int voice) {
  return f.voice ? format("voice%d", voice + 1) : std::string("listener");
}

unsigned char *field_at(PropertyBlock *b, const EnvField &f, int voice) {
  return reinterpret_cast<unsigned char *>(b) + f.offset + (f.voice ? f.stride * voice : 0);
}
const unsigned char *field_at(const PropertyBlock &b, const EnvField &f, int voice) {
  return reinterpret_cast<const unsigned char *>(&b) + f.offset + (f.voice ? f.stride * voice : 0);
}

bool float_in(const EnvField &f, float v) { return v >= float(f.min) && v <= float(f.max); }

// Empty when the stored value lies within the field's range, else why not.
std::string field_problem(const PropertyBlock &b, const EnvField &f, int voice) {
  const unsigned char *p = field_at(b, f, voice);
  switch (f.type) {
    case FIELD_INT: {
      int32_t v;
      std::memcpy(&v, p, 4);
      if (v < f.min || v > f.max) return format("%d is outside ", int(v)) + range_text(f);
      return "";
    }
    case FIELD_FLOAT: {
      float v;
      std::memcpy(&v, p, 4);
      if (!float_in(f, v)) return float_text(v) + " is outside " + range_text(f);
      return "";
    }
    case FIELD_VECTOR: {
      float v[3];
      std::memcpy(v, p, 12);
      for (float x : v)
        if (!std::isfinite(x)) return "holds " + float_text(x) + "; only " + range_text(f) + " are allowed";
      return "";
    }
    case FIELD_ENVIRONMENT:
    case FIELD_MODE: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      if (v > f.max) return format("%u is outside ", unsigned(v)) + range_text(f);
      return "";
    }
    case FIELD_FLAGS: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      uint32_t reserved = uint32_t(f.max);
      if (v & reserved) return format("0x%X sets the reserved bits 0x%X (allowed: 0x%X)", v, v & reserved, ~reserved);
      return "";
    }
  }
  return "";
}

std::string field_value_text(const PropertyBlock &b, const EnvField &f, int voice) {
  const unsigned char *p = field_at(b, f, voice);
  switch (f.type) {
    case FIELD_INT: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return format("%d", int(v));
    }
    case FIELD_FLOAT: {
      float v;
      std::memcpy(&v, p, 4);
      return float_text(v);
    }
    case FIELD_VECTOR: {
      float v[3];
      std::memcpy(v, p, 12);
      return float_text(v[0]) + " " + float_text(v[1]) + " " + float_text(v[2]);
    }
    case FIELD_ENVIRONMENT: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v < EAX_ENVIRONMENT_COUNT ? kEnvironmentNames[v] : format("%u", unsigned(v));
    }
    case FIELD_MODE: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v <= DS3DMODE_DISABLE ? kModeNames[v] : format("%u", unsigned(v));
    }
    case FIELD_FLAGS: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return format("0x%02X", unsigned(v));
    }
  }
  return "";
}

// --- Parsing one value ---------------------------------------------------------

// Reads the value text of field f into the 4 or 12 bytes at out. On failure
// the message says why, naming the field as `label`.
bool parse_field_value(const EnvField &f, const std::string &label, const std::string &value, unsigned char *out,
                       std::string *why) {
  switch (f.type) {
    case FIELD_INT: {
      long long v;
      if (!parse_whole(value, &v)) {
        float x;
        *why = parse_float(value, &x) ? label + " takes a whole number (" + range_text(f) + "), not \"" + value + "\""
                                      : label + ": \"" + value + "\" is not a number";
        return false;
      }
      if (v < f.min || v > f.max) {
        *why = label + " = " + value + " is outside the allowed range " + range_text(f);
        return false;
      }
      int32_t i = int32_t(v);
      std::memcpy(out, &i, 4);
      return true;
    }
    case FIELD_FLOAT: {
      float v;
      if (!parse_float(value, &v)) {
        *why = label + ": \"" + value + "\" is not a number";
        return false;
      }
      if (!float_in(f, v)) {
        *why = label + " = " + value + " is outside the allowed range " + range_text(f);
        return false;
      }
      std::memcpy(out, &v, 4);
      return true;
    }
    case FIELD_VECTOR: {
      std::vector<std::string> parts = split_values(value);
      if (parts.size() != 3) {
        *why = label + " takes three numbers x y z, not \"" + value + "\"";
        return false;
      }
      float v[3];
      for (int i = 0; i < 3; ++i) {
        if (!parse_float(parts[i], &v[i])) {
          *why = label + ": \"" + parts[i] + "\" is not a number";
          return false;
        }
        if (!std::isfinite(v[i])) {
          *why = label + ": " + parts[i] + " is beyond the range of a float";
          return false;
        }
      }
      std::memcpy(out, v, 12);
      return true;
    }
    case FIELD_ENVIRONMENT: {
      int index = -1;
      long long n;
      if (parse_whole(value, &n)) {
        if (n < 0 || n > EAX_ENVIRONMENT_COUNT - 1) {
          *why = label + " = " + value + " is outside the allowed range 0..25";
          return false;
        }
        index = int(n);
      } else {
        index = preset_environment_find(value.c_str());
      }
      if (index < 0) {
        *why = "unknown environment \"" + value + "\" (`sonorium_preset environments` lists the 26 names)";
        return false;
      }
      uint32_t u = uint32_t(index);
      std::memcpy(out, &u, 4);
      return true;
    }
    case FIELD_MODE: {
      long long n;
      uint32_t mode = 0xFFFFFFFFu;
      if (parse_whole(value, &n)) {
        if (n < f.min || n > f.max) {
          *why = label + " = " + value + " is outside the allowed range 0..2 (normal, head_relative, disabled)";
          return false;
        }
        mode = uint32_t(n);
      } else {
        std::string k = fold_name(value);
        for (uint32_t i = 0; i < 3; ++i)
          if (k == fold_name(kModeNames[i])) mode = i;
        if (k == "headrelative" || k == "head-relative") mode = DS3DMODE_HEADRELATIVE;
        if (k == "disable") mode = DS3DMODE_DISABLE;
      }
      if (mode == 0xFFFFFFFFu) {
        *why = label + ": unknown mode \"" + value + "\" (normal, head_relative or disabled)";
        return false;
      }
      std::memcpy(out, &mode, 4);
      return true;
    }
    case FIELD_FLAGS: {
      int count;
      const FlagName *table = flag_table(f, &count);
      uint32_t reserved = uint32_t(f.max);
      uint32_t bits = 0;
      std::string spaced = value;
      for (char &c : spaced)
        if (c == '|' || c == '+') c = ' ';
      for (const std::string &t : split_values(spaced)) {
        std::string k = fold_name(t);
        bool known = false;
        if (k == "none" || k == "0") known = true;
        for (int i = 0; i < count && !known; ++i)
          if (k == fold_name(table[i].name)) {
            bits |= table[i].bit;
            known = true;
          }
        if (!known) {
          char *end = nullptr;
          errno = 0;
          bool hex = k.size() > 2 && k[0] == '0' && k[1] == 'x';
          bool digits = !k.empty();
          for (size_t i = hex ? 2 : 0; i < k.size(); ++i)
            if (!(hex ? std::isxdigit(static_cast<unsigned char>(k[i]))
                      : std::isdigit(static_cast<unsigned char>(k[i]))))
              digits = false;
          unsigned long long n = digits ? std::strtoull(k.c_str(), &end, hex ? 16 : 10) : 0;
          if (!digits || errno == ERANGE || n > 0xFFFFFFFFull) {
            std::string names;
            for (int i = 0; i < count; ++i) names += (i ? ", " : "") + std::string(table[i].name);
            *why = label + ": \"" + t + "\" is neither a number nor a flag name (" + names + ")";
            return false;
          }
          bits |= uint32_t(n);
        }
      }
      if (bits & reserved) {
        *why = label + " = " + value +
               format(" sets reserved bits 0x%X; the allowed bits are 0x%X", bits & reserved, ~reserved);
        return false;
      }
      std::memcpy(out, &bits, 4);
      return true;
    }
  }
  return false;
}

// --- Lines -----------------------------------------------------------------------

struct Line {
  int number;
  std::string key;    // as written, trimmed
  std::string value;  // as written, trimmed
  bool section;       // a [section] header; key holds its name
};

// Splits text into lines without comments or blanks. False on a line that
// is neither a header nor `name = value`.
bool split_lines(const char *text, size_t size, std::vector<Line> *lines, PresetError *error) {
  size_t i = 0;
  int number = 0;
  while (i < size) {
    size_t end = i;
    while (end < size && text[end] != '\n') ++end;
    std::string raw(text + i, end - i);
    i = end + 1;
    ++number;
    size_t hash = raw.find('#');
    if (hash != std::string::npos) raw.erase(hash);
    std::string line = trim(raw);
    if (line.empty()) continue;
    for (unsigned char c : line)
      if (c < 32 && c != '\t') {
        *error = {number, "the line holds a control character"};
        return false;
      }
    if (line[0] == '[') {
      if (line.back() != ']') {
        *error = {number, "a section header is written [name]"};
        return false;
      }
      lines->push_back({number, trim(line.substr(1, line.size() - 2)), "", true});
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      *error = {number, "expected `name = value`, found \"" + line + "\""};
      return false;
    }
    Line l{number, trim(line.substr(0, eq)), trim(line.substr(eq + 1)), false};
    if (l.key.empty()) {
      *error = {number, "a name is missing before '='"};
      return false;
    }
    if (l.value.empty()) {
      *error = {number, l.key + " has no value"};
      return false;
    }
    lines->push_back(l);
  }
  return true;
}

enum SectionKind { SECTION_NONE, SECTION_LISTENER, SECTION_VOICE, SECTION_VOICES, SECTION_EQ, SECTION_UNKNOWN };

SectionKind section_kind(const std::string &name, int *voice) {
  std::string k = fold_name(name);
  if (k == "listener") return SECTION_LISTENER;
  if (k == "voices" || k == "voice*") return SECTION_VOICES;
  if (k == "eq") return SECTION_EQ;
  if (k.size() == 6 && k.compare(0, 5, "voice") == 0 && k[5] >= '1' && k[5] <= '4') {
    *voice = k[5] - '1';
    return SECTION_VOICE;
  }
  return SECTION_UNKNOWN;
}

const char *kSectionList = "listener, voice1..voice4, voices, eq";

// Splits "prefix.name" or takes the section in force.
bool resolve_key(const Line &l, SectionKind section, int section_voice, SectionKind *kind, int *voice,
                 std::string *name, PresetError *error) {
  size_t dot = l.key.rfind('.');
  *voice = section_voice;
  *kind = section;
  *name = l.key;
  if (dot != std::string::npos) {
    *kind = section_kind(l.key.substr(0, dot), voice);
    *name = l.key.substr(dot + 1);
    if (*kind == SECTION_UNKNOWN) {
      *error = {l.number,
                "unknown section \"" + l.key.substr(0, dot) + "\" in " + l.key + " (sections: " + kSectionList + ")"};
      return false;
    }
  }
  return true;
}

const EnvField *find_env_field(bool voice, const std::string &name) {
  std::string k = fold_name(name);
  for (int i = 0; i < env_field_count; ++i)
    if (env_fields[i].voice == voice && fold_name(env_fields[i].name) == k) return &env_fields[i];
  return nullptr;
}

// The EAX listener fields that selecting an environment overwrites.
bool loaded_by_environment(const EnvField &f) {
  return !f.voice && f.offset > offsetof(PropertyBlock, environment) &&
         f.offset <= offsetof(PropertyBlock, listenerFlags);
}

// --- Equalizer -----------------------------------------------------------------

const int kEqMin = 0, kEqMax = 100;

double band_db(int v) { return 20.0 * std::log10(v / 50.0); }
double preamp_db(int p) { return 20.0 * std::log10((p >= 50 ? p : p / 2.0 + 25.0) / 100.0); }

std::string db_text(double db) {
  if (!std::isfinite(db)) return "silent";
  if (std::fabs(db) < 0.005) return "0.00 dB";
  return format("%+.2f dB", db);
}

std::string band_frequency_text(int band) {
  double f = eq_band_bins[band] * 46.875;
  return f < 1000 ? format("%.0f Hz", f) : format("%.1f kHz", f / 1000);
}

// "N dB" or "NdB" gives the number; false when the text does not end in dB.
bool split_db(const std::string &value, std::string *number) {
  if (value.size() < 2) return false;
  std::string tail = value.substr(value.size() - 2);
  if (std::tolower(static_cast<unsigned char>(tail[0])) != 'd' ||
      std::tolower(static_cast<unsigned char>(tail[1])) != 'b')
    return false;
  *number = trim(value.substr(0, value.size() - 2));
  return true;
}

// The stored value of lo..hi whose level lies nearest the asked one.
int nearest_for_db(double db, int lo, int hi, double (*level)(int)) {
  int best = lo;
  for (int v = lo; v <= hi; ++v)
    if (std::fabs(level(v) - db) < std::fabs(level(best) - db)) best = v;
  return best;
}

bool parse_eq_value(bool preamp, const std::string &label, const std::string &value, int32_t *out, std::string *why) {
  std::string number;
  const char *range = preamp ? "0..100, or -12.04..0 dB" : "0..100, or -33.98..+6.02 dB";
  if (split_db(value, &number)) {
    float db;
    if (!parse_float(number, &db)) {
      *why = label + ": \"" + number + "\" is not a number of dB";
      return false;
    }
    double (*level)(int) = preamp ? preamp_db : band_db;
    int lo = preamp ? 0 : 1;
    // A hundredth of slack, so that the ends as printed (rounded) read back.
    const double slack = 0.01;
    if (!(db >= level(lo) - slack && db <= level(kEqMax) + slack)) {
      *why = label + " = " + value + " is outside the allowed range " + range;
      return false;
    }
    *out = nearest_for_db(db, lo, kEqMax, level);
    return true;
  }
  long long v;
  if (!parse_whole(value, &v)) {
    *why = label + ": \"" + value + "\" is neither a whole number nor a level in dB (" + range + ")";
    return false;
  }
  if (v < kEqMin || v > kEqMax) {
    *why = label + " = " + value + " is outside the allowed range " + range;
    return false;
  }
  *out = int32_t(v);
  return true;
}

int32_t read_le32(const unsigned char *p) {
  return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}
void write_le32(unsigned char *p, int32_t v) {
  uint32_t u = uint32_t(v);
  p[0] = u & 0xFF;
  p[1] = (u >> 8) & 0xFF;
  p[2] = (u >> 16) & 0xFF;
  p[3] = u >> 24;
}

std::string tag_text(const void *bytes, size_t size) {
  const unsigned char *p = static_cast<const unsigned char *>(bytes);
  std::string out = "\"";
  for (size_t i = 0; i < 4 && i < size; ++i)
    out += (p[i] >= 32 && p[i] < 127) ? std::string(1, char(p[i])) : format("\\x%02X", p[i]);
  return out + "\"";
}

}  // namespace

// --- Environments ----------------------------------------------------------------

const char *preset_environment_name(int index) {
  return index >= 0 && index < EAX_ENVIRONMENT_COUNT ? kEnvironmentNames[index] : nullptr;
}

int preset_environment_find(const char *name) {
  auto squeeze = [](const char *s) {
    std::string out;
    for (; *s; ++s)
      if (!std::strchr(" _-\t", *s)) out += char(std::tolower(static_cast<unsigned char>(*s)));
    return out;
  };
  std::string want = squeeze(name);
  if (want.empty()) return -1;
  if (is_whole(want)) {
    long long n = std::strtoll(want.c_str(), nullptr, 10);
    return (want.size() < 4 && n >= 0 && n < EAX_ENVIRONMENT_COUNT) ? int(n) : -1;
  }
  for (int i = 0; i < EAX_ENVIRONMENT_COUNT; ++i)
    if (squeeze(kEnvironmentNames[i]) == want) return i;
  return -1;
}

void preset_environment_load(PropertyBlock *b, int index) {
  const EAXLISTENERPROPERTIES &e = eax2_environment_presets[index];
  b->environment = e.dwEnvironment;
  b->environmentSize = e.flEnvironmentSize;
  b->environmentDiffusion = e.flEnvironmentDiffusion;
  b->room = e.lRoom;
  b->roomHF = e.lRoomHF;
  b->decayTime = e.flDecayTime;
  b->decayHFRatio = e.flDecayHFRatio;
  b->reflections = e.lReflections;
  b->reflectionsDelay = e.flReflectionsDelay;
  b->reverb = e.lReverb;
  b->reverbDelay = e.flReverbDelay;
  b->roomRolloffFactor = e.flRoomRolloffFactor;
  b->airAbsorptionHF = e.flAirAbsorptionHF;
  b->listenerFlags = e.dwFlags;
}

// --- Defaults ---------------------------------------------------------------------

void env_block_defaults(PropertyBlock *b) {
  std::memset(b, 0, sizeof *b);
  std::memcpy(b->magic, kEnvMagic, 4);
  preset_environment_load(b, EAX_ENVIRONMENT_GENERIC);
  const EAXBUFFERPROPERTIES &d = eax2_buffer_defaults;
  for (int v = 0; v < 4; ++v) {
    b->volume[v] = kFirstStartVolume;
    EaxVoiceFields &e = b->eaxVoice[v];
    e.direct = d.lDirect;
    e.directHF = d.lDirectHF;
    e.room = d.lRoom;
    e.roomHF = d.lRoomHF;
    e.obstruction = d.lObstruction;
    e.obstructionLFRatio = d.flObstructionLFRatio;
    e.occlusion = d.lOcclusion;
    e.occlusionLFRatio = d.flOcclusionLFRatio;
    e.occlusionRoomRatio = d.flOcclusionRoomRatio;
    e.roomRolloffFactor = d.flRoomRolloffFactor;
    e.airAbsorptionFactor = d.flAirAbsorptionFactor;
    e.outsideVolumeHF = d.lOutsideVolumeHF;
    e.flags = d.dwFlags;
    Ds3dVoiceFields &s = b->ds3dVoice[v];
    s.insideConeAngle = kInsideConeAngle;
    s.outsideConeAngle = kOutsideConeAngle;
    s.angles[1] = kVoiceYaws[v];
    s.coneOutsideVolume = kFirstStartConeOutsideVolume;
    s.maxDistance = DS3D_DEFAULTMAXDISTANCE;
    s.minDistance = DS3D_DEFAULTMINDISTANCE;
    s.mode = DS3DMODE_NORMAL;
    std::memcpy(s.position, kVoicePositions[v], 12);
  }
  b->distanceFactor = DS3D_DEFAULTDISTANCEFACTOR;
  b->dopplerFactor = DS3D_DEFAULTDOPPLERFACTOR;
  b->rolloffFactor = DS3D_DEFAULTROLLOFFFACTOR;
}

void eq_settings_defaults(EqSettings *s) {
  s->preamp = 100;
  for (int i = 0; i < EQ_BANDS; ++i) s->bands[i] = 50;
}

// --- Bytes -------------------------------------------------------------------------

PresetKind preset_kind_of_path(const char *path) {
  size_t n = std::strlen(path);
  auto ends = [&](const char *ext) {
    size_t e = std::strlen(ext);
    if (n <= e) return false;
    for (size_t i = 0; i < e; ++i)
      if (std::tolower(static_cast<unsigned char>(path[n - e + i])) != ext[i]) return false;
    char before = path[n - e - 1];
    return before != '/' && before != '\\';
  };
  if (ends(".env")) return PRESET_ENV;
  if (ends(".eq")) return PRESET_EQ;
  return PRESET_NONE;
}

bool env_block_from_bytes(const void *bytes, size_t size, PropertyBlock *b, PresetError *error) {
  bool tag = size >= 4 && std::memcmp(bytes, kEnvMagic, 4) == 0;
  if (size != PROPERTY_BLOCK_BYTES || !tag) {
    std::string why = format("not a .env preset: it holds %lu bytes", (unsigned long)size);
    if (size != PROPERTY_BLOCK_BYTES) why += format(" where a .env preset holds %d", PROPERTY_BLOCK_BYTES);
    if (size >= 4 && !tag) why += ", and begins with " + tag_text(bytes, size) + " instead of \"env4\"";
    if (size == EQ_PRESET_BYTES && std::memcmp(bytes, kEqMagic, 4) == 0) why += " (it is a .eq preset)";
    *error = {0, why};
    return false;
  }
  std::memcpy(b, bytes, PROPERTY_BLOCK_BYTES);
  return true;
}

bool eq_settings_from_bytes(const void *bytes, size_t size, EqSettings *s, PresetError *error) {
  bool tag = size >= 4 && std::memcmp(bytes, kEqMagic, 4) == 0;
  if (size != size_t(EQ_PRESET_BYTES) || !tag) {
    std::string why = format("not a .eq preset: it holds %lu bytes", (unsigned long)size);
    if (size != size_t(EQ_PRESET_BYTES)) why += format(" where a .eq preset holds %d", EQ_PRESET_BYTES);
    if (size >= 4 && !tag) why += ", and begins with " + tag_text(bytes, size) + " instead of \"eq10\"";
    if (size == PROPERTY_BLOCK_BYTES && std::memcmp(bytes, kEnvMagic, 4) == 0) why += " (it is a .env preset)";
    *error = {0, why};
    return false;
  }
  const unsigned char *p = static_cast<const unsigned char *>(bytes);
  s->preamp = read_le32(p + 4);
  for (int i = 0; i < EQ_BANDS; ++i) s->bands[i] = read_le32(p + 8 + 4 * i);
  return true;
}

void eq_settings_to_bytes(const EqSettings &s, unsigned char out[EQ_PRESET_BYTES]) {
  std::memcpy(out, kEqMagic, 4);
  write_le32(out + 4, s.preamp);
  for (int i = 0; i < EQ_BANDS; ++i) write_le32(out + 8 + 4 * i, s.bands[i]);
}

// --- Printing -------------------------------------------------------------------------

std::string env_block_to_text(const PropertyBlock &b) {
  std::string out =
      "# .env preset: the EAX 2.0 room, the four voices and their DS3D values.\n"
      "# Levels in mB (hundredths of a dB), times in s, distances in DS3D units,\n"
      "# cone angles in degrees, pose angles in radians (2: yaw, 3: pitch).\n"
      "# The environment line loads that environment's listener values; the\n"
      "# listener lines after it override them.\n";
  // The listener first (pass -1), then the voices in their order.
  for (int pass = -1; pass < 4; ++pass) {
    out += pass < 0 ? std::string("\n# listener (EAX 2.0 room)\n")
                    : format("\n# voice%d: %s\n", pass + 1, kVoiceNames[pass]);
    for (int i = 0; i < env_field_count; ++i) {
      const EnvField &f = env_fields[i];
      if (f.voice != (pass >= 0)) continue;
      int voice = pass < 0 ? 0 : pass;
      std::string name =
          f.type == FIELD_ENVIRONMENT ? std::string("environment") : section_name(f, voice) + "." + f.name;
      if (!f.voice && f.offset == offsetof(PropertyBlock, distanceFactor)) out += "\n# listener (DS3D)\n";
      std::string line = name + " = " + field_value_text(b, f, voice);
      std::string note;
      std::string problem = field_problem(b, f, voice);
      if (!problem.empty()) {
        note = "outside the allowed range " + range_text(f) + ": not accepted when read back";
      } else if (f.type == FIELD_FLAGS) {
        uint32_t bits;
        std::memcpy(&bits, field_at(b, f, voice), 4);
        note = flag_names(f, bits);
      } else if (f.type == FIELD_ENVIRONMENT) {
        note = format("index %u; the listener (EAX 2.0) values follow", unsigned(b.environment));
      }
      if (!note.empty()) line += std::string(line.size() < 40 ? 40 - line.size() : 1, ' ') + "# " + note;
      out += line + "\n";
    }
  }
  return out;
}

std::string eq_settings_to_text(const EqSettings &s) {
  std::string out =
      "# .eq preset: the preamp and 32 band values as stored, 0..100.\n"
      "# A band value v is a gain of v/50: 50 is 0 dB, 100 is +6.02 dB, 25 is -6.02 dB, 0 silent.\n"
      "# The preamp p scales every band by p/100 from 50 up and by (p/2 + 25)/100 below:\n"
      "# 100 is 0 dB, 50 is -6.02 dB, 0 is -12.04 dB. A value may also be written\n"
      "# as a level (\"+3 dB\"); it is stored as the nearest value.\n\n";
  auto line = [&](const std::string &name, int32_t v, const std::string &what, double db) {
    std::string l = name + format(" = %d", int(v));
    std::string note = what;
    if (v < kEqMin || v > kEqMax)
      note += (note.empty() ? "" : ", ") + std::string("outside the allowed range 0..100: not accepted when read back");
    else
      note += (note.empty() ? "" : ", ") + db_text(db);
    out += l + std::string(l.size() < 18 ? 18 - l.size() : 1, ' ') + "# " + note + "\n";
  };
  line("eq.preamp", s.preamp, "", s.preamp >= kEqMin && s.preamp <= kEqMax ? preamp_db(s.preamp) : 0);
  for (int i = 0; i < EQ_BANDS; ++i)
    line(format("eq.band%d", i + 1), s.bands[i], band_frequency_text(i),
         s.bands[i] >= kEqMin && s.bands[i] <= kEqMax ? band_db(s.bands[i]) : 0);
  return out;
}

// --- Reading text ----------------------------------------------------------------------

namespace {
// A section header: known, and of the preset's own kind ([eq] in a .eq
// preset, the listener and voice sections in a .env preset).
bool take_section(const Line &l, bool eq_preset, SectionKind *section, int *voice, PresetError *error) {
  *section = section_kind(l.key, voice);
  if (*section == SECTION_UNKNOWN) {
    *error = {l.number, "unknown section [" + l.key + "] (sections: " + kSectionList + ")"};
    return false;
  }
  if (eq_preset != (*section == SECTION_EQ)) {
    *error = {l.number, eq_preset ? "[" + l.key + "] belongs to a .env preset, not to a .eq preset"
                                  : std::string("[eq] belongs to a .eq preset, not to a .env preset")};
    return false;
  }
  return true;
}
}  // namespace

bool env_block_from_text(const char *text, size_t size, PropertyBlock *b, PresetError *error) {
  std::vector<Line> lines;
  if (!split_lines(text, size, &lines, error)) return false;
  PropertyBlock work = *b;
  SectionKind section = SECTION_NONE;
  int section_voice = 0;
  int last_loaded_line = 0;  // the last line that set a value an environment reloads
  for (const Line &l : lines) {
    if (l.section) {
      if (!take_section(l, false, &section, &section_voice, error)) return false;
      continue;
    }
    SectionKind kind;
    int voice;
    std::string name;
    if (!resolve_key(l, section, section_voice, &kind, &voice, &name, error)) return false;
    if (kind == SECTION_NONE && fold_name(name) == "environment") kind = SECTION_LISTENER;
    if (kind == SECTION_EQ) {
      *error = {l.number, l.key + " belongs to a .eq preset, not to a .env preset"};
      return false;
    }
    if (kind == SECTION_NONE) {
      bool known = find_env_field(false, name) || find_env_field(true, name);
      *error = {l.number, known ? name + " needs a section: write listener." + name + " or voice1." + name +
                                      " (or put it under [listener] / [voice1])"
                                : "unknown name \"" + l.key + "\""};
      return false;
    }
    const EnvField *f = find_env_field(kind != SECTION_LISTENER, name);
    if (!f) {
      *error = {l.number,
                "unknown name \"" + l.key + "\"" + (kind == SECTION_LISTENER ? " for the listener" : " for a voice")};
      return false;
    }
    int first = kind == SECTION_VOICES ? 0 : voice;
    int last = kind == SECTION_VOICES ? 3 : voice;
    std::string label = f->type == FIELD_ENVIRONMENT ? "environment"
                        : kind == SECTION_VOICES     ? std::string("voices.") + f->name
                                                     : section_name(*f, voice) + "." + f->name;
    unsigned char value[12];
    std::string why;
    if (!parse_field_value(*f, label, l.value, value, &why)) {
      *error = {l.number, why};
      return false;
    }
    if (f->type == FIELD_ENVIRONMENT) {
      if (last_loaded_line) {
        *error = {l.number, format("the environment comes after the listener values of line %d, which it would "
                                   "replace; put the environment first",
                                   last_loaded_line)};
        return false;
      }
      uint32_t index;
      std::memcpy(&index, value, 4);
      preset_environment_load(&work, int(index));
      continue;
    }
    if (loaded_by_environment(*f)) last_loaded_line = l.number;
    size_t bytes = f->type == FIELD_VECTOR ? 12 : 4;
    for (int v = first; v <= last; ++v) std::memcpy(field_at(&work, *f, v), value, bytes);
  }
  *b = work;
  return true;
}

bool eq_settings_from_text(const char *text, size_t size, EqSettings *s, PresetError *error) {
  std::vector<Line> lines;
  if (!split_lines(text, size, &lines, error)) return false;
  EqSettings work = *s;
  SectionKind section = SECTION_NONE;
  int section_voice = 0;
  for (const Line &l : lines) {
    if (l.section) {
      if (!take_section(l, true, &section, &section_voice, error)) return false;
      continue;
    }
    SectionKind kind;
    int voice;
    std::string name;
    if (!resolve_key(l, section, section_voice, &kind, &voice, &name, error)) return false;
    if (kind != SECTION_EQ && kind != SECTION_NONE) {
      *error = {l.number, l.key + " belongs to a .env preset, not to a .eq preset"};
      return false;
    }
    std::string k = fold_name(name);
    int band = -1;
    bool preamp = k == "preamp";
    if (!preamp && k.size() > 4 && k.size() <= 6 && k.compare(0, 4, "band") == 0 &&
        std::isdigit(static_cast<unsigned char>(k[4])) && is_whole(k.substr(4))) {
      int n = std::atoi(k.c_str() + 4);
      if (n >= 1 && n <= EQ_BANDS) band = n - 1;
    }
    if (!preamp && band < 0) {
      if (kind == SECTION_NONE && (find_env_field(false, name) || find_env_field(true, name) || k == "environment"))
        *error = {l.number, l.key + " belongs to a .env preset, not to a .eq preset"};
      else
        *error = {l.number, "unknown name \"" + l.key + "\" (eq.preamp, eq.band1 .. eq.band32)"};
      return false;
    }
    std::string label = preamp ? "eq.preamp" : format("eq.band%d", band + 1);
    std::string why;
    int32_t v;
    if (!parse_eq_value(preamp, label, l.value, &v, &why)) {
      *error = {l.number, why};
      return false;
    }
    (preamp ? work.preamp : work.bands[band]) = v;
  }
  *s = work;
  return true;
}

std::vector<std::string> env_block_range_problems(const PropertyBlock &b) {
  std::vector<std::string> out;
  for (int i = 0; i < env_field_count; ++i)
    for (int v = 0; v < (env_fields[i].voice ? 4 : 1); ++v) {
      const EnvField &f = env_fields[i];
      std::string problem = field_problem(b, f, v);
      if (!problem.empty())
        out.push_back((f.type == FIELD_ENVIRONMENT ? std::string("environment") : section_name(f, v) + "." + f.name) +
                      " " + problem);
    }
  return out;
}

std::vector<std::string> eq_settings_range_problems(const EqSettings &s) {
  std::vector<std::string> out;
  if (s.preamp < kEqMin || s.preamp > kEqMax) out.push_back(format("eq.preamp %d is outside 0..100", int(s.preamp)));
  for (int i = 0; i < EQ_BANDS; ++i)
    if (s.bands[i] < kEqMin || s.bands[i] > kEqMax)
      out.push_back(format("eq.band%d %d is outside 0..100", i + 1, int(s.bands[i])));
  return out;
}

// --- Files ----------------------------------------------------------------------------

bool preset_file_read(const char *path, size_t max_size, std::vector<unsigned char> *bytes, PresetError *error) {
  HANDLE h = file_open_read(path, OPEN_EXISTING, 0);
  if (h == FILE_FAILED) {
    *error = {0, "cannot open it for reading"};
    return false;
  }
  bytes->clear();
  unsigned char chunk[4096];
  for (;;) {
    long got = file_read(h, chunk, sizeof chunk);
    if (got < 0) {
      file_close(h);
      *error = {0, "cannot read it"};
      return false;
    }
    if (got == 0) break;
    bytes->insert(bytes->end(), chunk, chunk + got);
    if (bytes->size() > max_size) {
      file_close(h);
      *error = {0, format("it is larger than %lu bytes", (unsigned long)max_size)};
      return false;
    }
  }
  file_close(h);
  return true;
}

bool preset_file_write(const char *path, const void *bytes, size_t size, PresetError *error) {
  switch (file_save(path, bytes, size)) {
    case FILE_SAVED:
      return true;
    case FILE_SAVE_NOT_CREATED:
      *error = {0, "cannot create its new file beside it; nothing was changed"};
      return false;
    case FILE_SAVE_NOT_WRITTEN:
      *error = {0, "cannot write it whole; nothing was changed"};
      return false;
    default:
      *error = {0, "cannot put the new file in its place; nothing was changed"};
      return false;
  }
}
