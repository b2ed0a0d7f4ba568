#include "engine/module.h"

#include "device/device.h"
#include "device/properties.h"
#include "engine/autosave.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/module_os.h"
#include "engine/settings.h"
#include "platform/dsound.h"
#include "platform/os.h"
#include "skin/skin.h"
#include "support/fpu_guard.h"
#include "ui/tray.h"

std::atomic<uint32_t> enabled_flag{0};
std::atomic<HWND> plugin_window{nullptr};
std::atomic<HWND> notify_window{nullptr};

static_assert(CONFIG_COMMAND_ID == TRAY_COMMAND_SETTINGS, "Config opens the settings dialog through the tray");

namespace {

void SONORIUM_CDECL module_config(HWND hwndParent) {
  if (enabled_flag.load() != 0) {
    HWND notify = notify_window.load();
    if (notify) SendMessageA(notify, WM_COMMAND, CONFIG_COMMAND_ID, 0);
    return;
  }
  module_os_show_disabled_message(hwndParent);
}

void SONORIUM_CDECL module_about(HWND hwndParent) { module_os_show_about(hwndParent, module_instance()); }

void SONORIUM_CDECL module_init(void) {
  FpuGuard guard;
  enabled_flag.store(0);
  module_os_init_common_controls();
  // The window table of the skin for up to 2048 windows.
  skin_init(2048);
  skin_install(0);
  plugin_window.store(module_os_create_plugin_window(module_instance()));

  // Every device is opened once; the probe counts those with full EAX 2.0.
  HRESULT hr = DirectSoundEnumerateA(eax_probe_callback, nullptr);
  if (FAILED(hr) || enabled_flag.load() == 0) {
    enabled_flag.store(0);
    return;
  }

  deviceGuid = GUID{};
  // Tray icon, menu and view thread, before the engine's states and the
  // output thread.
  notify_window.store(module_os_controls_start(module_instance(), plugin_window.load()));
  // Without its tables and states the engine cannot play: stay disabled
  // rather than run the stream callbacks on half a set-up (engine_init has
  // released what it had built). A disabled plug-in has no tray.
  if (engine_init() != 0) {
    notify_window.store(nullptr);
    module_os_controls_stop();
    enabled_flag.store(0);
    return;
  }
  device_open(0);
}

void SONORIUM_CDECL module_quit(void) {
  FpuGuard guard;
  if (enabled_flag.load() != 0) {
    autosave_save();
    engine_wait_stop_fade();
    reverb_ramp_down();
    os_sleep(10);
    // The output thread reads the voices' cursors on every pass, so it ends
    // (with the engine's states) before the device and its voices go.
    engine_release();
    device_close();
    // Config finds no notify window from here on.
    notify_window.store(nullptr);
    module_os_controls_stop();
    // The stream callbacks see a disabled plug-in from here on.
    enabled_flag.store(0);
  }
  // Destroying the hidden window also destroys the dialogs it owns, which
  // detach from the skin before the skin goes.
  HWND window = plugin_window.exchange(nullptr);
  if (window) module_os_destroy_plugin_window(window, module_instance());
  skin_install(1);
  skin_shutdown();
}

void SONORIUM_CDECL module_set_pan(int) {}

// The stream callbacks that compute run behind the guard, so the host's
// floating-point state survives them whatever the engine does inside.
int SONORIUM_CDECL guarded_open(int samplerate, int numchannels, int bitspersamp, int bufferlenms,
                                int prebufferms) {
  FpuGuard guard;
  return Open(samplerate, numchannels, bitspersamp, bufferlenms, prebufferms);
}

void SONORIUM_CDECL guarded_close(void) {
  FpuGuard guard;
  Close();
}

int SONORIUM_CDECL guarded_write(char *buf, int len) {
  FpuGuard guard;
  return Write(buf, len);
}

void SONORIUM_CDECL guarded_set_volume(int volume) {
  FpuGuard guard;
  SetVolume(volume);
}

void SONORIUM_CDECL guarded_flush(int t) {
  FpuGuard guard;
  Flush(t);
}

}  // namespace

Out_Module out_module = {
    0x10,
    OUT_MODULE_DESCRIPTION,
    OUT_MODULE_ID,
    nullptr,
    nullptr,
    module_config,
    module_about,
    module_init,
    module_quit,
    guarded_open,
    guarded_close,
    guarded_write,
    CanWrite,
    IsPlaying,
    Pause,
    guarded_set_volume,
    module_set_pan,
    guarded_flush,
    GetOutputTime,
    GetWrittenTime,
};

HINSTANCE module_instance(void) {
  return out_module.hDllInstance ? out_module.hDllInstance : module_os_loader_instance();
}

intptr_t host_message(int code) {
  HWND host = out_module.hMainWindow;
  if (!host) return 0;
  return SendMessageA(host, WM_USER, 0, code);
}

bool host_message_bounded(int code, int timeout_ms, intptr_t *result) {
  HWND host = out_module.hMainWindow;
  *result = 0;
  if (!host) return true;
  return module_os_send_bounded(host, code, timeout_ms, result);
}

extern "C" __attribute__((visibility("default"))) Out_Module *SONORIUM_CDECL winampGetOutModule(void) {
  return &out_module;
}
