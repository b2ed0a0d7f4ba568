#include "tools/preset_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "platform/eax2.h"

namespace {

bool parse_env(const std::string &text, PropertyBlock *b, PresetError *e) {
  return env_block_from_text(text.data(), text.size(), b, e);
}
bool parse_eq(const std::string &text, EqSettings *s, PresetError *e) {
  return eq_settings_from_text(text.data(), text.size(), s, e);
}

PropertyBlock defaults() {
  PropertyBlock b;
  env_block_defaults(&b);
  return b;
}

bool same_bytes(const PropertyBlock &a, const PropertyBlock &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A value inside the field's range, drawn so that floats use their whole
// mantissa and the ends of each range come up often.
void random_value(const EnvField &f, std::mt19937 &rng, unsigned char *out) {
  std::uniform_real_distribution<double> unit(0, 1);
  int pick = int(rng() % 8);
  auto in_range = [&](double lo, double hi) -> double {
    if (pick == 0) return lo;
    if (pick == 1) return hi;
    return lo + (hi - lo) * unit(rng);
  };
  switch (f.type) {
    case FIELD_INT: {
      int32_t v = int32_t(std::lround(in_range(f.min, f.max)));
      std::memcpy(out, &v, 4);
      break;
    }
    case FIELD_FLOAT: {
      double hi = f.max > 1e6 ? 1e6 : f.max;  // keep the huge ranges readable
      float v = float(in_range(f.min, pick == 1 ? f.max : hi));
      if (v < float(f.min)) v = float(f.min);
      if (v > float(f.max)) v = float(f.max);
      std::memcpy(out, &v, 4);
      break;
    }
    case FIELD_VECTOR: {
      const float special[] = {-0.0f, FLT_MAX, -FLT_MAX, 1e-45f, FLT_MIN, 0.1f, -123456.789f};
      float v[3];
      for (float &x : v) x = (rng() % 3 == 0) ? special[rng() % 7] : float((unit(rng) - 0.5) * 2000);
      std::memcpy(out, v, 12);
      break;
    }
    case FIELD_ENVIRONMENT:
    case FIELD_MODE: {
      uint32_t v = uint32_t(rng() % (uint32_t(f.max) + 1));
      std::memcpy(out, &v, 4);
      break;
    }
    case FIELD_FLAGS: {
      uint32_t v = uint32_t(rng()) & ~uint32_t(f.max);
      std::memcpy(out, &v, 4);
      break;
    }
  }
}

unsigned char *at(PropertyBlock *b, const EnvField &f, int voice) {
  return reinterpret_cast<unsigned char *>(b) + f.offset + f.stride * voice;
}

TEST(PresetFields, CoverEveryByteOfTheBlockOnceButTheMagic) {
  int owner[PROPERTY_BLOCK_BYTES];
  for (int &o : owner) o = -1;
  for (int i = 0; i < env_field_count; ++i) {
    const EnvField &f = env_fields[i];
    int size = f.type == FIELD_VECTOR ? 12 : 4;
    for (int v = 0; v < (f.voice ? 4 : 1); ++v)
      for (int k = 0; k < size; ++k) {
        int byte = f.offset + f.stride * v + k;
        ASSERT_LT(byte, PROPERTY_BLOCK_BYTES) << f.name;
        EXPECT_EQ(owner[byte], -1) << f.name << " overlaps " << (owner[byte] >= 0 ? env_fields[owner[byte]].name : "");
        owner[byte] = i;
      }
  }
  for (int byte = 0; byte < 4; ++byte) EXPECT_EQ(owner[byte], -1);
  for (int byte = 4; byte < PROPERTY_BLOCK_BYTES; ++byte) EXPECT_NE(owner[byte], -1) << "byte " << byte;
}

TEST(PresetFields, ListenerAndVoiceNamesAreUniqueWithinTheirSection) {
  for (int i = 0; i < env_field_count; ++i)
    for (int j = i + 1; j < env_field_count; ++j)
      if (env_fields[i].voice == env_fields[j].voice) {
        EXPECT_STRNE(env_fields[i].name, env_fields[j].name);
      }
}

TEST(PresetDefaults, AreTheFirstStartStateAndWithinEveryRange) {
  PropertyBlock b = defaults();
  EXPECT_EQ(std::memcmp(b.magic, "env4", 4), 0);
  EXPECT_EQ(b.environment, 0u);
  EXPECT_EQ(b.room, -1000);
  EXPECT_FLOAT_EQ(b.environmentSize, 7.5f);
  EXPECT_EQ(b.listenerFlags, 0x3Fu);
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(b.volume[v], -1000);
    EXPECT_EQ(b.ds3dVoice[v].coneOutsideVolume, -5000);
    EXPECT_EQ(b.eaxVoice[v].flags, 7u);
    EXPECT_FLOAT_EQ(b.eaxVoice[v].occlusionRoomRatio, 0.5f);
    EXPECT_FLOAT_EQ(b.ds3dVoice[v].minDistance, 1.0f);
  }
  // The four voices stand at the corners around the listener.
  EXPECT_FLOAT_EQ(b.ds3dVoice[0].position[0], -1);
  EXPECT_FLOAT_EQ(b.ds3dVoice[3].position[2], -1);
  EXPECT_TRUE(env_block_range_problems(b).empty());
}

TEST(PresetText, DefaultsPrintEveryFieldAndReadBackOntoAnyStart) {
  PropertyBlock b = defaults();
  std::string text = env_block_to_text(b);
  // Start from a block in which no field holds its default: every field
  // must be printed for the bytes to come back.
  PropertyBlock start;
  std::memset(&start, 0xA5, sizeof start);
  std::memcpy(start.magic, "env4", 4);
  PresetError e{0, ""};
  ASSERT_TRUE(parse_env(text, &start, &e)) << e.line << ": " << e.message;
  EXPECT_TRUE(same_bytes(start, b));
}

TEST(PresetText, RandomBlocksRoundTripToIdenticalBytes) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    PropertyBlock b = defaults();
    for (int i = 0; i < env_field_count; ++i)
      for (int v = 0; v < (env_fields[i].voice ? 4 : 1); ++v)
        random_value(env_fields[i], rng, at(&b, env_fields[i], v));
    ASSERT_TRUE(env_block_range_problems(b).empty()) << env_block_range_problems(b)[0];
    std::string text = env_block_to_text(b);
    PropertyBlock back;
    std::memset(&back, 0, sizeof back);
    std::memcpy(back.magic, "env4", 4);
    PresetError e{0, ""};
    ASSERT_TRUE(parse_env(text, &back, &e)) << e.line << ": " << e.message << "\n" << text;
    ASSERT_TRUE(same_bytes(back, b)) << text;
  }
}

TEST(PresetText, EnvironmentByNameLoadsItsListenerRow) {
  const EAXLISTENERPROPERTIES &hall = eax2_environment_presets[EAX_ENVIRONMENT_CONCERTHALL];
  for (const char *name : {"Concert Hall", "concert hall", "ConcertHall", "CONCERT_HALL", "concert-hall", "7"}) {
    PropertyBlock b = defaults();
    PresetError e{0, ""};
    ASSERT_TRUE(parse_env(std::string("environment = ") + name + "\n", &b, &e)) << name << ": " << e.message;
    EXPECT_EQ(b.environment, 7u) << name;
    EXPECT_EQ(b.roomHF, hall.lRoomHF);
    EXPECT_FLOAT_EQ(b.decayTime, hall.flDecayTime);
    EXPECT_EQ(b.reflections, hall.lReflections);
    EXPECT_FLOAT_EQ(b.environmentSize, hall.flEnvironmentSize);
    EXPECT_FLOAT_EQ(b.reverbDelay, hall.flReverbDelay);
    EXPECT_EQ(b.listenerFlags, hall.dwFlags);
    // Voices and the DS3D listener are not part of an environment.
    EXPECT_EQ(b.volume[0], -1000);
    EXPECT_FLOAT_EQ(b.distanceFactor, 1.0f);
  }
}

TEST(PresetText, EveryEnvironmentNameIsFoundAndLoadsItsOwnFlags) {
  for (int i = 0; i < EAX_ENVIRONMENT_COUNT; ++i) {
    ASSERT_NE(preset_environment_name(i), nullptr);
    EXPECT_EQ(preset_environment_find(preset_environment_name(i)), i) << preset_environment_name(i);
    PropertyBlock b = defaults();
    preset_environment_load(&b, i);
    EXPECT_EQ(b.environment, uint32_t(i));
    EXPECT_EQ(b.listenerFlags, eax2_environment_presets[i].dwFlags);
  }
  EXPECT_EQ(preset_environment_name(26), nullptr);
  EXPECT_EQ(preset_environment_name(-1), nullptr);
  EXPECT_EQ(preset_environment_find("Concert Halls"), -1);
  EXPECT_EQ(preset_environment_find(""), -1);
  EXPECT_EQ(preset_environment_find("26"), -1);
  EXPECT_EQ(preset_environment_find("Sewerpipe"), 21);
  EXPECT_EQ(preset_environment_find("under water"), 22);
}

TEST(PresetText, ListenerLinesAfterTheEnvironmentOverrideIt) {
  PropertyBlock b = defaults();
  PresetError e{0, ""};
  ASSERT_TRUE(parse_env("environment = Cave\nlistener.room = -500\nlistener.decay_time = 2\n", &b, &e)) << e.message;
  EXPECT_EQ(b.environment, 8u);
  EXPECT_EQ(b.room, -500);
  EXPECT_FLOAT_EQ(b.decayTime, 2.0f);
  EXPECT_EQ(b.listenerFlags, 0x1Fu);  // from Cave
}

TEST(PresetText, AnEnvironmentAfterListenerValuesIsRefusedNamingBothLines) {
  PropertyBlock b = defaults();
  PropertyBlock before = b;
  PresetError e{0, ""};
  ASSERT_FALSE(parse_env("listener.room = -500\n\n# the room\nenvironment = Cave\n", &b, &e));
  EXPECT_EQ(e.line, 4);
  EXPECT_NE(e.message.find("line 1"), std::string::npos) << e.message;
  EXPECT_TRUE(same_bytes(b, before));
  // DS3D listener values are not reloaded by an environment, so they may
  // come first.
  ASSERT_TRUE(parse_env("listener.rolloff_factor = 2\nenvironment = Cave\n", &b, &e)) << e.message;
  EXPECT_FLOAT_EQ(b.rolloffFactor, 2.0f);
}

TEST(PresetText, SectionsNamesAndSpellings) {
  PropertyBlock b = defaults();
  PresetError e{0, ""};
  const char *text =
      "# comment line\n"
      "[listener]\n"
      "environment = Hangar   # trailing comment\n"
      "RoomHF = -1234\n"
      "[voice2]\n"
      "room = -200\n"
      "position = 1.5, 0, 2\n"
      "mode = head_relative\n"
      "[voices]\n"
      "direct = -300\n"
      "voice4.direct = 100\n"
      "  VOICE1.Min_Distance = 2.5  \r\n";
  ASSERT_TRUE(parse_env(text, &b, &e)) << e.line << ": " << e.message;
  EXPECT_EQ(b.environment, 10u);
  EXPECT_EQ(b.roomHF, -1234);
  EXPECT_EQ(b.eaxVoice[1].room, -200);
  EXPECT_EQ(b.eaxVoice[0].room, 0);
  EXPECT_FLOAT_EQ(b.ds3dVoice[1].position[0], 1.5f);
  EXPECT_FLOAT_EQ(b.ds3dVoice[1].position[2], 2.0f);
  EXPECT_EQ(b.ds3dVoice[1].mode, 1u);
  EXPECT_EQ(b.eaxVoice[0].direct, -300);
  EXPECT_EQ(b.eaxVoice[2].direct, -300);
  EXPECT_EQ(b.eaxVoice[3].direct, 100);
  EXPECT_FLOAT_EQ(b.ds3dVoice[0].minDistance, 2.5f);
}

TEST(PresetText, FlagsTakeNumbersOrBitNames) {
  PropertyBlock b = defaults();
  PresetError e{0, ""};
  ASSERT_TRUE(
      parse_env("listener.flags = decay_time_scale | decay_hf_limit\nvoice1.flags = none\n"
                "voice2.flags = 0x5\nvoice3.flags = RoomAuto\n",
                &b, &e))
      << e.message;
  EXPECT_EQ(b.listenerFlags, 0x21u);
  EXPECT_EQ(b.eaxVoice[0].flags, 0u);
  EXPECT_EQ(b.eaxVoice[1].flags, 5u);
  EXPECT_EQ(b.eaxVoice[2].flags, 2u);
}

// One description line that must be refused, the words its message must
// hold, and the line it must name.
struct Refusal {
  const char *text;
  const char *words;
  int line;
};

TEST(PresetText, MistakesAreRefusedNamingTheLineAndChangeNothing) {
  const Refusal cases[] = {
      {"listener.room -1000\n", "name = value", 1},
      {"\nlistener.room =\n", "no value", 2},
      {"= 5\n", "name is missing", 1},
      {"listener.rooom = 5\n", "unknown name", 1},
      {"voice1.environment_size = 5\n", "unknown name", 1},
      {"voice5.room = 0\n", "unknown section", 1},
      {"[room]\n", "unknown section", 1},
      {"[listener\n", "[name]", 1},
      {"room = -100\n", "needs a section", 1},
      {"listener.room = -100.5\n", "whole number", 1},
      {"listener.room = loud\n", "not a number", 1},
      {"listener.decay_time = nan\n", "not a number", 1},
      {"listener.decay_time = inf\n", "not a number", 1},
      {"listener.decay_time = 0x1p1\n", "not a number", 1},
      {"listener.decay_time = 1.5s\n", "not a number", 1},
      {"voice1.position = 1 2\n", "three numbers", 1},
      {"voice1.position = 1 2 3 4\n", "three numbers", 1},
      {"voice1.position = 1 2 1e39\n", "range of a float", 1},
      {"voice1.mode = sideways\n", "unknown mode", 1},
      {"voice1.mode = 3\n", "0..2", 1},
      {"environment = Concert Halls\n", "unknown environment", 1},
      {"environment = 26\n", "0..25", 1},
      {"environment = -1\n", "0..25", 1},
      {"listener.flags = 0x40\n", "reserved bits 0x40", 1},
      {"voice3.flags = direct_hf_auto | 8\n", "reserved bits 0x8", 1},
      {"voice3.flags = loud\n", "flag name", 1},
      {"eq.band1 = 50\n", ".eq preset", 1},
      {"[eq]\n", ".eq preset", 1},
      {"listener.room = -1\x01\n", "control character", 1},
  };
  for (const Refusal &c : cases) {
    PropertyBlock b = defaults();
    PropertyBlock before = b;
    PresetError e{0, ""};
    EXPECT_FALSE(parse_env(std::string("listener.reverb = 5\n") + c.text, &b, &e)) << c.text;
    EXPECT_EQ(e.line, c.line + 1) << c.text;
    EXPECT_NE(e.message.find(c.words), std::string::npos) << c.text << " gave: " << e.message;
    EXPECT_TRUE(same_bytes(b, before)) << c.text;
  }
}

// A text for a number just outside the field's range, below or above.
std::string outside(const EnvField &f, bool above) {
  if (f.type == FIELD_INT || f.type == FIELD_MODE || f.type == FIELD_ENVIRONMENT)
    return std::to_string(static_cast<long long>(above ? f.max + 1 : f.min - 1));
  if (f.min == DS3D_MINDISTANCEFACTOR) return above ? "1e39" : "0";
  char buf[64];
  // The nearest float beyond the end, so the check is exact at the limit.
  float end = float(above ? f.max : f.min);
  float beyond = std::nextafter(end, above ? INFINITY : -INFINITY);
  if (!std::isfinite(beyond)) return above ? "1e39" : "-1e39";
  std::snprintf(buf, sizeof buf, "%.9g", double(beyond));
  return buf;
}

TEST(PresetText, EveryValueOutsideItsRangeIsRefusedWithTheRange) {
  int checked = 0;
  for (int i = 0; i < env_field_count; ++i) {
    const EnvField &f = env_fields[i];
    if (f.type == FIELD_VECTOR || f.type == FIELD_FLAGS) continue;
    for (bool above : {false, true}) {
      for (const char *section : {"listener.", "voice3.", "voices."}) {
        if (f.voice == (std::string(section) == "listener.")) continue;
        std::string name = f.type == FIELD_ENVIRONMENT ? "environment" : section + std::string(f.name);
        std::string text = "# header\n" + name + " = " + outside(f, above) + "\n";
        PropertyBlock b = defaults();
        PropertyBlock before = b;
        PresetError e{0, ""};
        EXPECT_FALSE(parse_env(text, &b, &e)) << text;
        EXPECT_EQ(e.line, 2) << text;
        EXPECT_NE(e.message.find("outside the allowed range"), std::string::npos) << text << e.message;
        EXPECT_TRUE(same_bytes(b, before)) << text;
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 2 * 1 * (1 + 15) + 2 * 2 * 19);
  // The limits themselves are accepted.
  PropertyBlock b = defaults();
  PresetError e{0, ""};
  EXPECT_TRUE(
      parse_env("listener.decay_time = 0.1\nlistener.decay_time = 20\nlistener.reverb = 2000\n"
                "listener.reflections_delay = 0.3\nvoice1.max_distance = 1e9\nvoice1.cone_outside_volume = -10000\n"
                "listener.distance_factor = 1.17549435e-38\nvoice1.occlusion_room_ratio = 10\n",
                &b, &e))
      << e.line << ": " << e.message;
}

TEST(PresetText, RangeMessagesStateTheAllowedRange) {
  PropertyBlock b = defaults();
  PresetError e{0, ""};
  ASSERT_FALSE(parse_env("listener.room = 1\n", &b, &e));
  EXPECT_EQ(e.message, "listener.room = 1 is outside the allowed range -10000..0 mB");
  ASSERT_FALSE(parse_env("listener.decay_time = 0.05\n", &b, &e));
  EXPECT_EQ(e.message, "listener.decay_time = 0.05 is outside the allowed range 0.1..20 s");
  ASSERT_FALSE(parse_env("listener.distance_factor = 0\n", &b, &e));
  EXPECT_EQ(e.message, "listener.distance_factor = 0 is outside the allowed range > 0 m per unit");
}

TEST(PresetText, StoredValuesOutsideTheirRangeArePrintedMarkedAndNotReadBack) {
  PropertyBlock b = defaults();
  b.room = 5;
  b.ds3dVoice[2].velocity[1] = NAN;
  b.eaxVoice[1].flags = 0x80000007u;
  std::vector<std::string> problems = env_block_range_problems(b);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("listener.room 5 is outside -10000..0 mB"), std::string::npos) << problems[0];
  std::string text = env_block_to_text(b);
  EXPECT_NE(text.find("listener.room = 5"), std::string::npos);
  EXPECT_NE(text.find("not accepted when read back"), std::string::npos);
  EXPECT_NE(text.find("voice3.velocity = 0 nan 0"), std::string::npos);
  PropertyBlock back = defaults();
  PresetError e{0, ""};
  EXPECT_FALSE(parse_env(text, &back, &e));
}

TEST(PresetText, FloatsPrintShortAndExact) {
  PropertyBlock b = defaults();
  b.decayHFRatio = 0.1f;
  b.environmentSize = std::nextafter(7.5f, 100.0f);
  b.listenerPosition[0] = -0.0f;
  b.listenerPosition[1] = 1e-45f;
  b.listenerPosition[2] = FLT_MAX;
  std::string text = env_block_to_text(b);
  EXPECT_NE(text.find("listener.decay_hf_ratio = 0.1\n"), std::string::npos);
  EXPECT_NE(text.find("listener.environment_size = 7.5000005\n"), std::string::npos);
  EXPECT_NE(text.find("voice1.max_distance = 1000000000\n"), std::string::npos);
  PropertyBlock back = defaults();
  PresetError e{0, ""};
  ASSERT_TRUE(parse_env(text, &back, &e)) << e.message;
  EXPECT_TRUE(same_bytes(back, b));
  EXPECT_TRUE(std::signbit(back.listenerPosition[0]));
}

TEST(PresetBytes, EnvFilesMustBeWholeBlocksWithTheirTag) {
  PropertyBlock b = defaults();
  unsigned char bytes[PROPERTY_BLOCK_BYTES + 1];
  std::memcpy(bytes, &b, PROPERTY_BLOCK_BYTES);
  PropertyBlock out;
  PresetError e{0, ""};
  EXPECT_TRUE(env_block_from_bytes(bytes, PROPERTY_BLOCK_BYTES, &out, &e));
  EXPECT_TRUE(same_bytes(out, b));
  EXPECT_FALSE(env_block_from_bytes(bytes, PROPERTY_BLOCK_BYTES - 1, &out, &e));
  EXPECT_NE(e.message.find("571 bytes where a .env preset holds 572"), std::string::npos) << e.message;
  EXPECT_FALSE(env_block_from_bytes(bytes, PROPERTY_BLOCK_BYTES + 1, &out, &e));
  EXPECT_FALSE(env_block_from_bytes(bytes, 0, &out, &e));
  bytes[3] = '3';
  EXPECT_FALSE(env_block_from_bytes(bytes, PROPERTY_BLOCK_BYTES, &out, &e));
  EXPECT_NE(e.message.find("begins with \"env3\" instead of \"env4\""), std::string::npos) << e.message;
  bytes[0] = 0;
  EXPECT_FALSE(env_block_from_bytes(bytes, PROPERTY_BLOCK_BYTES, &out, &e));
  EXPECT_NE(e.message.find("\"\\x00nv3\""), std::string::npos) << e.message;

  EqSettings s;
  eq_settings_defaults(&s);
  unsigned char eq[EQ_PRESET_BYTES];
  eq_settings_to_bytes(s, eq);
  EXPECT_FALSE(env_block_from_bytes(eq, sizeof eq, &out, &e));
  EXPECT_NE(e.message.find("it is a .eq preset"), std::string::npos) << e.message;
}

// --- .eq ----------------------------------------------------------------------

TEST(PresetEq, BytesAreTheLayoutThePlugInReads) {
  EqSettings s;
  eq_settings_defaults(&s);
  s.preamp = 77;
  for (int i = 0; i < EQ_BANDS; ++i) s.bands[i] = i * 3;
  unsigned char bytes[EQ_PRESET_BYTES];
  eq_settings_to_bytes(s, bytes);
  EXPECT_EQ(std::memcmp(bytes, "eq10", 4), 0);
  EXPECT_EQ(bytes[4], 77);
  EXPECT_EQ(bytes[8 + 4 * 31], 93);
  EXPECT_EQ(bytes[8 + 4 * 31 + 3], 0);
  EqSettings back;
  PresetError e{0, ""};
  ASSERT_TRUE(eq_settings_from_bytes(bytes, sizeof bytes, &back, &e));
  EXPECT_EQ(std::memcmp(&back, &s, sizeof s), 0);
  EXPECT_FALSE(eq_settings_from_bytes(bytes, sizeof bytes - 4, &back, &e));
  EXPECT_NE(e.message.find("132 bytes where a .eq preset holds 136"), std::string::npos) << e.message;
  bytes[1] = 'Q';
  EXPECT_FALSE(eq_settings_from_bytes(bytes, sizeof bytes, &back, &e));
  EXPECT_NE(e.message.find("\"eQ10\" instead of \"eq10\""), std::string::npos) << e.message;
}

TEST(PresetEq, TextRoundTripsEveryValue) {
  std::mt19937 rng(99);
  for (int round = 0; round < 50; ++round) {
    EqSettings s;
    s.preamp = int32_t(rng() % 101);
    for (int32_t &b : s.bands) b = int32_t(rng() % 101);
    std::string text = eq_settings_to_text(s);
    EqSettings back;
    std::memset(&back, 0x5A, sizeof back);
    PresetError e{0, ""};
    ASSERT_TRUE(parse_eq(text, &back, &e)) << e.line << ": " << e.message << "\n" << text;
    ASSERT_EQ(std::memcmp(&back, &s, sizeof s), 0) << text;
  }
}

TEST(PresetEq, LevelsInDbGoToTheNearestStoredValue) {
  struct Case {
    const char *line;
    bool preamp;
    int band;
    int32_t value;
  };
  const Case cases[] = {
      {"eq.band1 = +3 dB", false, 0, 71},      // 50 * 10^(3/20) = 70.6
      {"eq.band2 = 0dB", false, 1, 50},        //
      {"eq.band3 = -6.02 dB", false, 2, 25},   //
      {"eq.band4 = +6.02 DB", false, 3, 100},  // the top of the slider
      {"eq.band32 = -33.98 dB", false, 31, 1}, {"eq.preamp = 0 dB", true, 0, 100},
      {"eq.preamp = -6.02 dB", true, 0, 50},   {"eq.preamp = -3 dB", true, 0, 71},
      {"eq.preamp = -9.12 dB", true, 0, 20},  // (20/2 + 25)/100 is -9.119 dB, 21 gives -8.995
      {"eq.preamp = -12.04 dB", true, 0, 0},   {"[eq]\nband7 = 12", false, 6, 12},
      {"eq.band5 = +7", false, 4, 7},
  };
  for (const Case &c : cases) {
    EqSettings s;
    eq_settings_defaults(&s);
    PresetError e{0, ""};
    ASSERT_TRUE(parse_eq(c.line, &s, &e)) << c.line << ": " << e.message;
    EXPECT_EQ(c.preamp ? s.preamp : s.bands[c.band], c.value) << c.line;
  }
}

TEST(PresetEq, MistakesAreRefusedNamingTheLine) {
  const Refusal cases[] = {
      {"eq.band1 = 101\n", "outside the allowed range 0..100", 1},
      {"eq.preamp = -1\n", "outside the allowed range 0..100", 1},
      {"eq.band1 = +6.1 dB\n", "outside the allowed range", 1},
      {"eq.band1 = -40 dB\n", "outside the allowed range", 1},
      {"eq.preamp = +1 dB\n", "outside the allowed range", 1},
      {"eq.preamp = -12.1 dB\n", "outside the allowed range", 1},
      {"eq.band1 = 50.5\n", "whole number", 1},
      {"eq.band1 = loud dB\n", "not a number of dB", 1},
      {"eq.band0 = 50\n", "unknown name", 1},
      {"eq.band33 = 50\n", "unknown name", 1},
      {"eq.band+1 = 50\n", "unknown name", 1},
      {"eq.treble = 50\n", "unknown name", 1},
      {"listener.room = 0\n", ".env preset", 1},
      {"environment = Cave\n", ".env preset", 1},
      {"[voice1]\n", ".env preset", 1},
      {"eq.band1 50\n", "name = value", 1},
  };
  for (const Refusal &c : cases) {
    EqSettings s;
    eq_settings_defaults(&s);
    EqSettings before = s;
    PresetError e{0, ""};
    EXPECT_FALSE(parse_eq(std::string("eq.band9 = 3\n") + c.text, &s, &e)) << c.text;
    EXPECT_EQ(e.line, c.line + 1) << c.text;
    EXPECT_NE(e.message.find(c.words), std::string::npos) << c.text << " gave: " << e.message;
    EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0) << c.text;
  }
}

// The line of text that starts with `name =`, its runs of spaces made one.
std::string line_of(const std::string &text, const std::string &name) {
  size_t at = text.find("\n" + name + " =");
  if (at == std::string::npos) return "";
  std::string line = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
  std::string out;
  for (char c : line)
    if (!(c == ' ' && !out.empty() && out.back() == ' ')) out += c;
  return out;
}

TEST(PresetEq, PrintShowsLevelsAndMarksStoredValuesOutOfRange) {
  EqSettings s;
  eq_settings_defaults(&s);
  s.bands[0] = 100;
  s.bands[1] = 0;
  s.bands[31] = 250;
  std::string text = eq_settings_to_text(s);
  EXPECT_EQ(line_of(text, "eq.preamp"), "eq.preamp = 100 # 0.00 dB");
  EXPECT_EQ(line_of(text, "eq.band1"), "eq.band1 = 100 # 47 Hz, +6.02 dB");
  EXPECT_EQ(line_of(text, "eq.band2"), "eq.band2 = 0 # 94 Hz, silent");
  EXPECT_EQ(line_of(text, "eq.band32"),
            "eq.band32 = 250 # 24.0 kHz, outside the allowed range 0..100: not accepted when read back");
  ASSERT_EQ(eq_settings_range_problems(s).size(), 1u);
  EqSettings back;
  PresetError e{0, ""};
  EXPECT_FALSE(parse_eq(text, &back, &e));
  EXPECT_EQ(e.line, 6 + 1 + 32);
}

}  // namespace

namespace {

// Lines made of the pieces a description is built from, shuffled: whatever
// comes, reading either stops at a named line or gives values within range.
TEST(PresetText, ArbitraryTextNeverGivesAnOutOfRangeBlock) {
  const char *pieces[] = {"listener.",   "voice2.",
                          "voices.",     "eq.",
                          "[voice1]",    "[eq]",
                          "[listener]",  "room",
                          "band7",       "preamp",
                          "flags",       "position",
                          "environment", "mode",
                          "=",           "=",
                          " ",           "-",
                          "+",           "0x",
                          "1e9",         "99999999999999",
                          "0.5",         "dB",
                          "#",           ",",
                          "|",           "cave",
                          "\t",          "\r",
                          "\n",          "\n",
                          "nan",         "7"};
  std::mt19937 rng(4321);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int n = int(rng() % 24);
    for (int i = 0; i < n; ++i) text += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
    PropertyBlock b = defaults();
    PresetError e{0, ""};
    if (parse_env(text, &b, &e)) {
      EXPECT_TRUE(env_block_range_problems(b).empty()) << text;
    } else {
      EXPECT_GT(e.line, 0) << text;
      EXPECT_FALSE(e.message.empty()) << text;
    }
    EqSettings s;
    eq_settings_defaults(&s);
    if (parse_eq(text, &s, &e)) {
      EXPECT_TRUE(eq_settings_range_problems(s).empty()) << text;
    } else {
      EXPECT_GT(e.line, 0) << text;
    }
  }
}

}  // namespace
