#include "engine/autosave.h"

#include <atomic>
#include <cstring>

#include "device/block.h"
#include "device/device.h"
#include "device/presets.h"
#include "device/properties.h"
#include "dsp/eq_design.h"
#include "dsp/eq_preset.h"
#include "engine/module.h"
#include "support/file.h"
#include "ui/poses.h"

namespace {
const char kEnvFile[] = "_autosave.env";
const char kEqFile[] = "_autosave.eq";
const char kDsFile[] = "_autosave.ds";
const int kDsBytes = 4 + EQ_BANDS;
std::atomic<bool> loaded{false};

void first_start_defaults() {
  CurrentVoiceScope scope;
  uint32_t generic = 0;
  eax_listener_set(EAXL_ENVIRONMENT, &generic);
  int32_t cone_outside = -5000, volume = -1000;
  for (int v = 0; v < VOICE_COUNT; ++v) {
    current_voice_select(v);
    ds3d_voice_set_cone_outside_volume(&cone_outside);
  }
  for (int v = 0; v < VOICE_COUNT; ++v) {
    current_voice_select(v);
    voice_volume_set(&volume);
  }
}

void load_ds(const char *path) {
  HANDLE h = file_open_read(path, OPEN_EXISTING, 0);
  if (h == FILE_FAILED) return;
  unsigned char bytes[kDsBytes];
  long got = file_read(h, bytes, sizeof bytes);
  file_close(h);
  // Each part counts only when it was read whole; the rest keeps its default.
  if (got >= 4) {
    int32_t on;
    std::memcpy(&on, bytes, 4);
    eq_enabled.store(on);
  }
  for (long i = 4; i < got && i < kDsBytes; ++i) eq_band_highlight[i - 4] = bytes[i];
}

// The three files are kept together: a folder so long that one of their
// paths cannot be formed is not used at all, so a Quit never replaces some
// of them and leaves a stale rest.
bool folder_takes_all_files() {
  char path[SETTINGS_PATH_MAX];
  return settings_path(kEnvFile, path) && settings_path(kEqFile, path) && settings_path(kDsFile, path);
}

}  // namespace

void autosave_load(void) {
  autosave_load_from(reinterpret_cast<const char *>(host_message(IPC_GETPLUGINDIRECTORY)));
}

bool autosave_try_load(int timeout_ms) {
  intptr_t dir = 0;
  if (!host_message_bounded(IPC_GETPLUGINDIRECTORY, timeout_ms, &dir)) return false;
  autosave_load_from(reinterpret_cast<const char *>(dir));
  return true;
}

void autosave_load_from(const char *dir) {
  char path[SETTINGS_PATH_MAX];
  bool have_folder = settings_folder_set(dir);
  if (have_folder && !folder_takes_all_files()) {
    settings_folder[0] = 0;
    have_folder = false;
  }
  if (have_folder) dir_create(settings_folder);

  if (have_folder && settings_path(kDsFile, path)) load_ds(path);
  if (have_folder && settings_path(kEqFile, path)) {
    HANDLE h = file_open_read(path, OPEN_EXISTING, 0);
    if (h != FILE_FAILED) {
      file_close(h);
      eq_preset_read(path, &eq_settings);
    }
  }
  eq_design();

  bool restored = have_folder && settings_path(kEnvFile, path) && block_file_load(path);
  if (restored)
    fog_density_refresh();
  else
    first_start_defaults();
  apply_poses();
  loaded.store(true);
}

void autosave_save(void) {
  if (!loaded.load() || !settings_folder[0]) return;
  char path[SETTINGS_PATH_MAX];
  // Each file is replaced only when its new content is whole: a Quit on a
  // full disk keeps the state of the last good save.
  if (settings_path(kEnvFile, path)) {
    PropertyBlock block;
    {
      AcousticGuard hold;
      block_capture();
      block = property_block;
    }
    file_save(path, &block, PROPERTY_BLOCK_BYTES);
  }
  if (settings_path(kEqFile, path)) eq_preset_write(path, &eq_settings);
  if (settings_path(kDsFile, path)) {
    unsigned char bytes[kDsBytes];
    int32_t on = eq_enabled.load();
    std::memcpy(bytes, &on, 4);
    std::memcpy(bytes + 4, eq_band_highlight, EQ_BANDS);
    file_save(path, bytes, sizeof bytes);
  }
}

bool autosave_loaded(void) { return loaded.load(); }

void autosave_forget(void) {
  loaded.store(false);
  settings_folder[0] = 0;
}
