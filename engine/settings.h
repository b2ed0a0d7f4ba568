// The engine settings: 18 values and the output device, in three copies.
// The live copy steers the engine; the applied copy holds what the settings
// dialog committed and the output thread copies in after a full stop; the
// dialog copy is the dialog's working set.
#pragma once

#include <cstdint>

#include "platform/win32.h"

struct EngineSettings {
  int32_t bufferLengthMs;     // after full stop (voices recreated)
  int32_t gapMode;            // 0 no gap control, 1 remove gaps, 2 insert gaps; after full stop
  int32_t insertGapMs;        // at Apply
  int32_t silenceFlags;       // after full stop
  int32_t silenceThreshold;   // at Apply
  int32_t silenceLimitFlags;  // at Apply
  int32_t leadingLimitMs;     // at Apply
  int32_t trailingLimitMs;    // at Apply
  int32_t fadeFlags;          // after full stop
  int32_t fadeStartMs;        // at Apply
  int32_t fadeEndMs;          // at Apply
  int32_t fadeSeekMs;         // at Apply
  int32_t fadeStopMs;         // at Apply
  int32_t fadeFirstStartMs;   // at Apply
  int32_t fadePauseMs;        // at Apply
  int32_t interpolation;      // after full stop
  int32_t prebufferMs;        // at Apply
  int32_t cpuUsageControl;    // at Apply
};
static_assert(sizeof(EngineSettings) == 18 * 4, "EngineSettings holds 18 32-bit values");

// fadeFlags bits.
enum : int32_t {
  FADE_ON_START = 0x01,
  FADE_ON_END = 0x02,
  FADE_ON_SEEK = 0x04,
  FADE_ON_STOP = 0x08,
  FADE_ON_FIRST_START = 0x10,
  FADE_ON_PAUSE = 0x20,
  FADE_CROSSFADE = 0x40,
};

// gapMode values.
enum : int32_t { GAP_NONE = 0, GAP_REMOVE = 1, GAP_INSERT = 2 };

extern const EngineSettings engine_settings_defaults;

extern EngineSettings live_settings;
extern EngineSettings applied_settings;
extern EngineSettings dialog_settings;
// The output device: all zero means the system's default device.
extern GUID deviceGuid;
// The device the applied settings name (committed by the dialog).
extern GUID appliedDeviceGuid;

// Copies the live settings into the applied and dialog copies (at Init).
void settings_init_copies(void);
