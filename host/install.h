// Putting presets where the plug-in reads them on its first pass: an .env
// preset becomes SONORIUM/_autosave.env and an .eq preset
// SONORIUM/_autosave.eq of the settings folder, the latter with the
// equalizer's on flag set in _autosave.ds (its band highlights kept when
// the file exists).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum : int { ENV_PRESET_BYTES = 572, EQ_PRESET_BYTES = 136, DS_FILE_BYTES = 36 };

bool read_whole_file(const std::string &path, std::vector<uint8_t> *out, std::string *error);
bool write_whole_file(const std::string &path, const std::vector<uint8_t> &bytes, std::string *error);

// Checks a preset's size and magic ("env4", "eq10"); false with a message.
bool env_preset_valid(const std::vector<uint8_t> &bytes, std::string *error);
bool eq_preset_valid(const std::vector<uint8_t> &bytes, std::string *error);

// Copies the presets named (empty: none) into settings_dir/SONORIUM,
// creating it; false with a message naming the file at fault.
bool install_presets(const std::string &settings_dir, const std::string &env, const std::string &eq,
                     std::string *error);

// settings_dir joined with "SONORIUM" and a file name.
std::string settings_file(const std::string &settings_dir, const char *name);
