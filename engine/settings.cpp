#include "engine/settings.h"

const EngineSettings engine_settings_defaults = {
    1000,  // bufferLengthMs
    1,     // gapMode: remove gaps
    2000,  // insertGapMs
    3,     // silenceFlags
    2048,  // silenceThreshold
    1,     // silenceLimitFlags
    500,   // leadingLimitMs
    0,     // trailingLimitMs
    0x7D,  // fadeFlags: all but "on end of song"
    75,    // fadeStartMs
    250,   // fadeEndMs
    250,   // fadeSeekMs
    250,   // fadeStopMs
    75,    // fadeFirstStartMs
    75,    // fadePauseMs
    1,     // interpolation
    350,   // prebufferMs
    0,     // cpuUsageControl
};

EngineSettings live_settings = engine_settings_defaults;
EngineSettings applied_settings = engine_settings_defaults;
EngineSettings dialog_settings = engine_settings_defaults;
GUID deviceGuid = {};
GUID appliedDeviceGuid = {};

void settings_init_copies(void) {
  applied_settings = live_settings;
  dialog_settings = live_settings;
  appliedDeviceGuid = deviceGuid;
}
