// The window-system side of the module entry, one file per platform:
// module_win32.cpp uses user32 and comctl32, module_posix.cpp the stand-in
// windows of the platform layer.
#pragma once

#include "platform/win32.h"

// Registers the common control classes the dialogs use.
void module_os_init_common_controls(void);
// Creates the hidden plug-in window (class and title "Sonorium plugin").
// Null on failure.
HWND module_os_create_plugin_window(HINSTANCE instance);
// Destroys the window from module_os_create_plugin_window.
void module_os_destroy_plugin_window(HWND window, HINSTANCE instance);
// Config's box in disabled mode.
void module_os_show_disabled_message(HWND parent);
// The modal About dialog.
void module_os_show_about(HWND parent, HINSTANCE instance);
// The enabled plug-in's controls: the notify window with the tray icon and
// its menu (dialogs owned by `owner`), then the view thread. Returns the
// notify window, or null when there is none.
HWND module_os_controls_start(HINSTANCE instance, HWND owner);
// Has the view thread destroy its window and waits for it to end, removes
// the tray icon and destroys the notify window.
void module_os_controls_stop(void);
// The instance the loader gave the DLL entry point; null natively.
HINSTANCE module_os_loader_instance(void);
// Sends a host message from a thread that must not wait for the host's
// thread without bound: false when the host did not answer in time.
bool module_os_send_bounded(HWND host, int code, int timeout_ms, intptr_t *result);
