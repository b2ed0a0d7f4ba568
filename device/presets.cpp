#include "device/presets.h"

#include <cctype>
#include <cstring>

#include "device/block.h"
#include "device/properties.h"
#include "support/file.h"
#include "support/format_text.h"
#include "support/heap.h"
#include "ui/poses.h"

char settings_folder[SETTINGS_PATH_MAX];

namespace {
const char kFolderName[] = "SONORIUM";
const char kExtension[] = ".env";
// Past this many "_n" suffixes a save gives up rather than search forever.
const int kMaxSuffix = 99999;

bool is_separator(char c) {
  // On Windows both slashes separate; elsewhere only the platform's.
  return c == path_separator() || (path_separator() == '\\' && c == '/');
}

// Every path built here may be saved to, so each keeps room for the name
// of the new file a save writes first.
bool append(char *out, size_t &used, const char *text) {
  size_t n = std::strlen(text);
  if (used + n + FILE_SAVE_SUFFIX_LENGTH + 1 > SETTINGS_PATH_MAX) return false;
  std::memcpy(out + used, text, n + 1);
  used += n;
  return true;
}

bool preset_path(const char *name, const char *suffix, char *out, const char *extension = kExtension) {
  if (!settings_folder[0]) return false;
  size_t used = 0;
  out[0] = 0;
  return append(out, used, settings_folder) && append(out, used, name) && append(out, used, suffix) &&
         append(out, used, extension);
}

bool exists(const char *path) {
  HANDLE h = file_open_read(path, OPEN_EXISTING, 0);
  if (h != FILE_FAILED) {
    file_close(h);
    return true;
  }
  return dir_exists(path) != 0;
}

int compare_names(const char *a, const char *b) {
  for (;; ++a, ++b) {
    int ca = std::tolower(static_cast<unsigned char>(*a));
    int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb || !ca) return ca - cb;
  }
}

struct Collect {
  PresetList *list;
  int capacity;
  size_t extension_length;
};

void collect(const char *file_name, void *context) {
  Collect *c = static_cast<Collect *>(context);
  PresetList *list = c->list;
  size_t n = std::strlen(file_name);
  if (n <= c->extension_length) return;
  if (list->count == c->capacity) {
    int grown = c->capacity ? c->capacity * 2 : 32;
    char **names = static_cast<char **>(heap_alloc_zeroed(sizeof(char *) * size_t(grown)));
    if (!names) return;
    if (list->names) {
      std::memcpy(names, list->names, sizeof(char *) * size_t(list->count));
      heap_release(list->names);
    }
    list->names = names;
    c->capacity = grown;
  }
  size_t length = n - c->extension_length;
  char *name = static_cast<char *>(heap_alloc_zeroed(length + 1));
  if (!name) return;
  std::memcpy(name, file_name, length);
  // Insert in order, as a sorted list box would place it.
  int at = list->count;
  while (at > 0 && compare_names(list->names[at - 1], name) > 0) {
    list->names[at] = list->names[at - 1];
    --at;
  }
  list->names[at] = name;
  ++list->count;
}
}  // namespace

bool settings_folder_set(const char *plugin_dir) {
  settings_folder[0] = 0;
  if (!plugin_dir || !plugin_dir[0]) return false;
  char sep[2] = {path_separator(), 0};
  char built[SETTINGS_PATH_MAX];
  size_t used = 0;
  built[0] = 0;
  size_t n = std::strlen(plugin_dir);
  if (!append(built, used, plugin_dir)) return false;
  if (!is_separator(plugin_dir[n - 1]) && !append(built, used, sep)) return false;
  if (!append(built, used, kFolderName) || !append(built, used, sep)) return false;
  std::memcpy(settings_folder, built, used + 1);
  return true;
}

bool settings_path(const char *file_name, char *out) {
  if (!settings_folder[0]) return false;
  size_t used = 0;
  out[0] = 0;
  return append(out, used, settings_folder) && append(out, used, file_name);
}

bool preset_name_valid(const char *name) {
  if (!name || !name[0]) return false;
  size_t n = std::strlen(name);
  if (n > PRESET_NAME_MAX) return false;
  bool only_dots_spaces = true;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return false;
    if (c != '.' && c != ' ') only_dots_spaces = false;
  }
  if (only_dots_spaces) return false;
  // Windows reserves the device names whatever extension follows them.
  size_t base = 0;
  while (base < n && name[base] != '.') ++base;
  while (base > 0 && name[base - 1] == ' ') --base;
  char upper[8] = {0};
  if (base == 3 || base == 4) {
    for (size_t i = 0; i < base; ++i) upper[i] = char(std::toupper(static_cast<unsigned char>(name[i])));
    if (base == 3 && (!std::strcmp(upper, "CON") || !std::strcmp(upper, "PRN") || !std::strcmp(upper, "AUX") ||
                      !std::strcmp(upper, "NUL")))
      return false;
    if (base == 4 && (!std::strncmp(upper, "COM", 3) || !std::strncmp(upper, "LPT", 3)) && upper[3] >= '1' &&
        upper[3] <= '9')
      return false;
  }
  return true;
}

int preset_list_build(PresetList *list) { return preset_list_build_ext(list, kExtension); }

int preset_list_build_ext(PresetList *list, const char *extension) {
  list->count = 0;
  list->names = nullptr;
  size_t length = std::strlen(extension);
  if (!settings_folder[0] || length + 2 > 32) return 0;
  char pattern[32] = "*";
  std::memcpy(pattern + 1, extension, length + 1);
  Collect c{list, 0, length};
  dir_search(settings_folder, pattern, collect, &c);
  return list->count;
}

bool preset_file_path(const char *name, const char *extension, char *out) {
  return preset_name_valid(name) && preset_path(name, "", out, extension);
}

bool preset_free_path(const char *name, const char *extension, char *path, char *used_name) {
  char suffix[16] = "";
  if (!preset_name_valid(name) || !preset_path(name, suffix, path, extension)) return false;
  int n = 0;
  while (exists(path)) {
    if (++n > kMaxSuffix) return false;
    TextArgs a;
    text_args_clear(&a);
    text_args_dword(&a, uint32_t(n));
    format_text(suffix, "_%d", a.bytes);
    if (!preset_path(name, suffix, path, extension)) return false;
  }
  if (used_name) {
    std::strcpy(used_name, name);
    std::strcat(used_name, suffix);
  }
  return true;
}

void preset_list_release(PresetList *list) {
  for (int i = 0; i < list->count; ++i) heap_release(list->names[i]);
  heap_release(list->names);
  list->count = 0;
  list->names = nullptr;
}

bool block_file_load(const char *path) {
  HANDLE h = file_open_read(path, OPEN_EXISTING, 0);
  if (h == FILE_FAILED) return false;
  // One byte more than a block, so a longer file is told apart.
  unsigned char bytes[PROPERTY_BLOCK_BYTES + 1];
  long got = file_read(h, bytes, sizeof bytes);
  file_close(h);
  // A short, long or foreign file would put garbage into the device; it is
  // left alone and the acoustic state stays as it is.
  if (!block_is_valid(bytes, got)) return false;
  AcousticGuard hold;
  std::memcpy(&property_block, bytes, PROPERTY_BLOCK_BYTES);
  block_apply();
  rebuild_cones();
  return true;
}

bool preset_load(const char *name) {
  char path[SETTINGS_PATH_MAX];
  if (!preset_name_valid(name) || !preset_path(name, "", path)) return false;
  if (!block_file_load(path)) return false;
  fog_density_refresh();
  return true;
}

bool preset_save(const char *name, char *used_name) {
  char path[SETTINGS_PATH_MAX];
  char chosen[PRESET_NAME_MAX + 16];
  if (!preset_free_path(name, kExtension, path, chosen)) return false;
  PropertyBlock block;
  {
    AcousticGuard hold;
    block_capture();
    block = property_block;
  }
  // A part-written preset would later load as a damaged one: the file
  // appears only once it is whole.
  if (file_save(path, &block, PROPERTY_BLOCK_BYTES) != FILE_SAVED) return false;
  if (used_name) std::strcpy(used_name, chosen);
  return true;
}

bool preset_delete(const char *name) {
  char path[SETTINGS_PATH_MAX];
  if (!preset_name_valid(name) || !preset_path(name, "", path)) return false;
  return file_delete(path) != 0;
}

void preset_delete_question(const char *name, char *out) {
  TextArgs a;
  text_args_clear(&a);
  text_args_pointer(&a, name);
  format_text(out, "Are you sure you want to delete preset \"%s\" ?", a.bytes);
}
