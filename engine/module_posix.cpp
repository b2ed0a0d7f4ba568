#include <cstdio>

#include "engine/module.h"
#include "engine/module_os.h"

// Natively there are no common controls, dialogs or message boxes: the
// hidden window is a stand-in window of the platform layer, and the
// disabled message goes to the standard error stream.

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

void module_os_show_about(HWND, HINSTANCE) { std::fprintf(stderr, "%s\n", OUT_MODULE_DESCRIPTION); }

HINSTANCE module_os_loader_instance(void) { return nullptr; }
