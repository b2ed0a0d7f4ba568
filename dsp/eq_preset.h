// .eq preset files: "eq10", preamp, 32 band values, little-endian (136 bytes).
#pragma once

#include "dsp/eq_design.h"

constexpr int EQ_PRESET_BYTES = 136;

// Reads what the file holds into settings (the marker is not checked; a
// short file changes only the whole values it covers). 0, or -1 when the
// file cannot be opened.
int eq_preset_read(const char *path, EqSettings *settings);
// Creates or replaces the file. 0, or -1 when it cannot be written whole.
int eq_preset_write(const char *path, const EqSettings *settings);
