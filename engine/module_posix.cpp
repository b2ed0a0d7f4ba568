#include <cstdio>

#include "engine/module.h"
#include "engine/module_os.h"
#include "engine/settings_dialog.h"
#include "engine/settings_export.h"
#include "ui/about.h"

// Natively there are no common controls, dialogs, message boxes or tray: the
// hidden window is a stand-in window of the platform layer, and the
// disabled message and the credits go to the standard error stream.

namespace {
LRESULT plugin_window_proc(HWND, UINT, WPARAM, LPARAM) { return 0; }
}  // namespace

void module_os_init_common_controls(void) {}

HWND module_os_create_plugin_window(HINSTANCE) { return platform_create_window(plugin_window_proc, nullptr); }

void module_os_destroy_plugin_window(HWND window, HINSTANCE) {
  SendMessageA(window, WM_DESTROY, 0, 0);
  platform_destroy_window(window);
}

void module_os_show_disabled_message(HWND) {
  std::fprintf(stderr, "%s: %s\n", OUT_MODULE_DESCRIPTION, DISABLED_MESSAGE);
}

void module_os_show_about(HWND, HINSTANCE) {
  char credits[ABOUT_TEXT_SIZE];
  about_dialog_credits(credits);
  std::fprintf(stderr, "%s\n%s", about_description, credits);
}

// No tray and no view window natively.
HWND module_os_controls_start(HINSTANCE, HWND) { return nullptr; }

void module_os_controls_stop(void) {}

HINSTANCE module_os_loader_instance(void) { return nullptr; }

// The stand-in windows answer on the sending thread, so there is no wait.
bool module_os_send_bounded(HWND host, int code, int, intptr_t *result) {
  *result = SendMessageA(host, WM_USER, 0, code);
  return true;
}

// A Linux host has no settings dialog to open, so the plug-in hands it the
// dialog's commit. Called on the host's thread, as the dialog's Apply is.
extern "C" __attribute__((visibility("default"))) int sonorium_settings_commit(const EngineSettings *commit,
                                                                              EngineSettings *applied) {
  if (applied) *applied = applied_settings;
  if (!commit) return 0;
  char error[160];
  if (!settings_check(*commit, error, sizeof error)) return -1;
  dialog_settings = *commit;
  settings_commit(dialog_settings, appliedDeviceGuid);
  return 0;
}
