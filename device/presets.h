// The settings folder and the user's .env presets in it: listing, loading,
// saving under a free name, deleting. A preset file is exactly the 572
// bytes of PropertyBlock.
#pragma once

#include <cstddef>

#include "support/file.h"

// Paths in the settings folder are as long as the platform takes (see
// FILE_PATH_MAX); a path is only formed when the file it names can also be
// saved, that is with room for FILE_SAVE_SUFFIX.
enum : int { SETTINGS_PATH_MAX = FILE_PATH_MAX, PRESET_NAME_MAX = 260 };

// The settings folder: the host's plug-in folder, a separator unless it
// already ends in one, then "SONORIUM" and a separator. Empty until set.
extern char settings_folder[SETTINGS_PATH_MAX];
// Builds the settings folder from the host's plug-in folder. False (and the
// folder left empty) when the path is missing or too long: then no file is
// read or written at all, rather than one under a cut path.
bool settings_folder_set(const char *plugin_dir);
// settings_folder + file name into out; false when it would not fit or the
// folder is not known.
bool settings_path(const char *file_name, char *out);

// True when name can be a preset: non-empty, at most 260 characters, no
// path separator, drive colon, wildcard or other character a file name
// cannot hold, not made of dots and spaces alone, and no reserved device
// name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) before its first dot.
bool preset_name_valid(const char *name);

// The preset names of the settings folder ("*.env" less the extension),
// sorted without regard to case, in one heap block.
struct PresetList {
  int count;
  char **names;
};
// Fills list; returns the count (0 for an empty or unreadable folder).
int preset_list_build(PresetList *list);
// The same for the files "*" + extension (".eq", ".env"; with the dot),
// each listed less its extension.
int preset_list_build_ext(PresetList *list, const char *extension);
void preset_list_release(PresetList *list);

// Loads name.env into the device: a file that holds a whole block with its
// magic replaces property_block and is applied, then the cones are rebuilt
// and the fog density refreshed. Anything else changes nothing. True when
// applied.
bool preset_load(const char *name);

// Reads a property-block file and applies it with the poses. A missing,
// short, long or foreign file changes nothing and gives false.
bool block_file_load(const char *path);
// Captures the state and writes it as name.env, or name_1.env, name_2.env
// ... when that exists; an existing file is never overwritten. An invalid
// name writes nothing. The name used (without ".env") goes to used_name
// when given (PRESET_NAME_MAX + 16 bytes). True when the file was written.
bool preset_save(const char *name, char *used_name);
// settings_folder + name + extension into out (SETTINGS_PATH_MAX bytes).
// False for an invalid name, an unknown folder or a path too long.
bool preset_file_path(const char *name, const char *extension, char *out);
// The path a save writes to: name + extension, or name_1, name_2 ... +
// extension when that exists, so an existing file is never overwritten.
// The name chosen (without extension) goes to used_name when given
// (PRESET_NAME_MAX + 16 bytes). False for an invalid name or unknown folder.
bool preset_free_path(const char *name, const char *extension, char *path, char *used_name);
// Deletes name.env; an invalid name touches nothing. True when deleted.
bool preset_delete(const char *name);

// The text of the delete question for a name.
void preset_delete_question(const char *name, char *out);
