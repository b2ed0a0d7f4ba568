// The engine settings by the field names of their record, with the ranges
// the settings dialog lets a user reach, for hosts that set them without the
// dialog; and the function the Linux plug-in exports so that such a host can
// commit them as the dialog's Apply does. The Windows DLL exports only
// winampGetOutModule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/settings.h"

struct SettingField {
  const char *name;
  int32_t EngineSettings::*field;
  int32_t min, max;
  bool hex;          // shown (and best given) in hexadecimal: bit sets
  const char *help;  // what the value means, one short line
};

inline constexpr SettingField setting_fields[] = {
    {"bufferLengthMs", &EngineSettings::bufferLengthMs, 200, 20000, false, "buffer length, ms (after a full stop)"},
    {"prebufferMs", &EngineSettings::prebufferMs, 0, 13000, false, "prebuffer, ms, at most 65% of the buffer"},
    {"interpolation", &EngineSettings::interpolation, 0, 1, false, "resampler: 0 none, 1 windowed sinc"},
    {"cpuUsageControl", &EngineSettings::cpuUsageControl, 0, 1, false, "1: spare the processor"},
    {"fadeFlags", &EngineSettings::fadeFlags, 0, 0x7F, true,
     "fades: 1 start, 2 end, 4 seek, 8 stop, 0x10 first start, 0x20 pause, 0x40 crossfade"},
    {"fadeStartMs", &EngineSettings::fadeStartMs, 0, 20000, false, "fade on start, ms"},
    {"fadeFirstStartMs", &EngineSettings::fadeFirstStartMs, 0, 20000, false, "fade on first start, ms"},
    {"fadeEndMs", &EngineSettings::fadeEndMs, 0, 20000, false, "fade on end of song (crossfade length), ms"},
    {"fadeStopMs", &EngineSettings::fadeStopMs, 0, 20000, false, "fade on stop, ms"},
    {"fadePauseMs", &EngineSettings::fadePauseMs, 0, 20000, false, "fade on pause, ms"},
    {"fadeSeekMs", &EngineSettings::fadeSeekMs, 0, 20000, false, "fade on seek, ms"},
    {"gapMode", &EngineSettings::gapMode, 0, 2, false, "0 no gap control, 1 remove gaps, 2 insert gaps"},
    {"insertGapMs", &EngineSettings::insertGapMs, 0, 120000, false, "inserted gap, ms (gapMode=2)"},
    {"silenceFlags", &EngineSettings::silenceFlags, 0, 3, true, "remove silence: 1 leading, 2 trailing"},
    {"silenceThreshold", &EngineSettings::silenceThreshold, 1, 32767, false, "silence below this sample level"},
    {"silenceLimitFlags", &EngineSettings::silenceLimitFlags, 0, 3, true, "limit the removal: 1 leading, 2 trailing"},
    {"leadingLimitMs", &EngineSettings::leadingLimitMs, 0, 9999, false, "most leading silence removed, ms"},
    {"trailingLimitMs", &EngineSettings::trailingLimitMs, 0, 9999, false, "most trailing silence removed, ms"},
};
inline constexpr int SETTING_FIELD_COUNT = int(sizeof setting_fields / sizeof setting_fields[0]);
static_assert(SETTING_FIELD_COUNT * sizeof(int32_t) == sizeof(EngineSettings), "every setting has a name");

// The field called `name` (exact, case-sensitive), or null.
inline const SettingField *setting_field_find(const char *name) {
  for (const SettingField &f : setting_fields)
    if (std::strcmp(f.name, name) == 0) return &f;
  return nullptr;
}

// The prebuffer the dialog allows for a buffer length: 65 % of it.
inline int32_t setting_prebuffer_limit(int32_t buffer_ms) { return int32_t((int64_t(buffer_ms) * 65 + 50) / 100); }

// Whether a whole record is in range; otherwise a message naming the first
// value that is not (`error` holds `size` bytes).
inline bool settings_check(const EngineSettings &s, char *error, size_t size) {
  for (const SettingField &f : setting_fields) {
    int32_t v = s.*f.field;
    if (v < f.min || v > f.max) {
      if (f.hex)
        std::snprintf(error, size, "%s=0x%X is out of range (0x%X to 0x%X)", f.name, unsigned(v), unsigned(f.min),
                      unsigned(f.max));
      else
        std::snprintf(error, size, "%s=%d is out of range (%d to %d)", f.name, int(v), int(f.min), int(f.max));
      return false;
    }
  }
  int32_t limit = setting_prebuffer_limit(s.bufferLengthMs);
  if (s.prebufferMs > limit) {
    std::snprintf(error, size, "prebufferMs=%d is more than 65%% of bufferLengthMs=%d (at most %d)", int(s.prebufferMs),
                  int(s.bufferLengthMs), int(limit));
    return false;
  }
  return true;
}

// Exported by the Linux plug-in as "sonorium_settings_commit". With
// `applied` non-null, first copies the settings last committed (or those
// of Init) into it. With `commit` non-null, checks it and commits it as the
// settings dialog's Apply does: the values that act at once go live, the
// rest after the next full stop. Returns 0, or -1 when `commit` is out of
// range (nothing is committed then).
#define SONORIUM_SETTINGS_COMMIT_SYMBOL "sonorium_settings_commit"
typedef int (*SonoriumSettingsCommit)(const EngineSettings *commit, EngineSettings *applied);
