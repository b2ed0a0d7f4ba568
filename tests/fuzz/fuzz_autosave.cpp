// The plug-in's start-up read of its stored state on any file contents:
// the input holds the three autosave files (_autosave.env, .eq and .ds),
// each as a 16-bit little-endian length and that many bytes; a length of
// 0xFFFF leaves the file out. They are read as the first pass of the output
// thread reads them, into the device open on the software card, and then
// saved again as Quit saves them.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "card/card_api.h"
#include "device/block.h"
#include "device/device.h"
#include "dsp/eq_design.h"
#include "engine/autosave.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "platform/os.h"
#include "support/file.h"
#include "ui/poses.h"

// The module's state, which the plug-in module owns in the product; the
// folder comes to autosave_load_from directly, so the host is never asked.
Out_Module out_module = {};
std::atomic<uint32_t> enabled_flag{0};
std::atomic<HWND> plugin_window{nullptr};
intptr_t host_message(int) { return 0; }
bool host_message_bounded(int, int, intptr_t *result) {
  *result = 0;
  return true;
}

namespace {

const char *const kFiles[] = {"_autosave.env", "_autosave.eq", "_autosave.ds"};
std::string plugins, folder;
EqSettings start_eq;

LRESULT quiet_window(HWND, UINT, WPARAM, LPARAM) { return 0; }

void put_file(const std::string &path, const uint8_t *bytes, size_t n) {
  HANDLE h = file_create(path.c_str(), CREATE_ALWAYS, 0);
  if (h == FILE_FAILED) std::abort();
  if (n && file_write(h, bytes, n) != long(n)) std::abort();
  file_close(h);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  plugins = std::string(base) + "/sonorium-fuzz-autosave-" + std::to_string(getpid());
  folder = plugins + "/SONORIUM/";
  mkdir(plugins.c_str(), 0700);
  mkdir(folder.c_str(), 0700);
  // The fuzzer ends by exit(); the folder goes with it.
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(plugins, ec);
  });
  card_reset();
  card_set_room(0);
  plugin_window.store(platform_create_window(quiet_window, nullptr));
  live_settings = engine_settings_defaults;
  start_eq = eq_settings;
  device_open(0);
  if (!device_ready()) {
    std::fprintf(stderr, "fuzz_autosave: no device on the software card\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  size_t at = 0;
  for (const char *name : kFiles) {
    std::string path = folder + name;
    size_t n = 0xFFFF;
    if (at + 2 <= size) {
      n = size_t(data[at]) | size_t(data[at + 1]) << 8;
      at += 2;
    }
    if (n == 0xFFFF) {
      unlink(path.c_str());
      continue;
    }
    if (n > size - at) n = size - at;
    put_file(path, data + at, n);
    at += n;
  }
  autosave_forget();
  poses_reset();
  eq_settings = start_eq;
  eq_enabled = 0;
  autosave_load_from(plugins.c_str());
  autosave_save();
  return 0;
}
