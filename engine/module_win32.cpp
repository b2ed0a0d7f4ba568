#include "engine/module.h"

#include <commctrl.h>

#include <cstddef>

#include "device/eax_panel.h"
#include "dsp/eq_window.h"
#include "engine/module_os.h"
#include "engine/settings_dialog.h"
#include "ui/about.h"
#include "ui/tray.h"

// The host reads the record by offset: 20 fields of pointer size in the
// published order, so 80 bytes on 32-bit Windows (the shipped DLL). The 64-bit
// test build checks the same order with 8-byte fields.
#define SONORIUM_FIELD_AT(field, index) \
  static_assert(offsetof(Out_Module, field) == (index) * sizeof(void *), "Out_Module field order")
static_assert(sizeof(Out_Module) == 20 * sizeof(void *), "Out_Module has 20 fields");
#ifndef _WIN64
static_assert(sizeof(Out_Module) == 80, "Out_Module is 80 bytes on 32-bit Windows");
#endif
SONORIUM_FIELD_AT(description, 1);
SONORIUM_FIELD_AT(id, 2);
SONORIUM_FIELD_AT(hMainWindow, 3);
SONORIUM_FIELD_AT(hDllInstance, 4);
SONORIUM_FIELD_AT(Config, 5);
SONORIUM_FIELD_AT(About, 6);
SONORIUM_FIELD_AT(Init, 7);
SONORIUM_FIELD_AT(Quit, 8);
SONORIUM_FIELD_AT(Open, 9);
SONORIUM_FIELD_AT(Close, 10);
SONORIUM_FIELD_AT(Write, 11);
SONORIUM_FIELD_AT(CanWrite, 12);
SONORIUM_FIELD_AT(IsPlaying, 13);
SONORIUM_FIELD_AT(Pause, 14);
SONORIUM_FIELD_AT(SetVolume, 15);
SONORIUM_FIELD_AT(SetPan, 16);
SONORIUM_FIELD_AT(Flush, 17);
SONORIUM_FIELD_AT(GetOutputTime, 18);
SONORIUM_FIELD_AT(GetWrittenTime, 19);
#undef SONORIUM_FIELD_AT

namespace {

const char kPluginClass[] = "Sonorium plugin";

HINSTANCE loader_instance = nullptr;

// The window lives on the host's main thread, so it must not post WM_QUIT
// there when it is destroyed: that would end the host's own message loop.
LRESULT CALLBACK plugin_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_DESTROY) return 0;
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

}  // namespace

void module_os_init_common_controls(void) {
  INITCOMMONCONTROLSEX icc;
  icc.dwSize = 8;
  icc.dwICC = 0x401C;  // bar, tab, up-down and standard classes
  InitCommonControlsEx(&icc);
}

HWND module_os_create_plugin_window(HINSTANCE instance) {
  WNDCLASSA wc = {};
#ifndef _WIN64
  static_assert(sizeof(WNDCLASSA) == 40, "WNDCLASSA");
#endif
  wc.style = 0;
  wc.lpfnWndProc = plugin_window_proc;
  wc.hInstance = instance;
  wc.lpszClassName = kPluginClass;
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, kPluginClass, kPluginClass, 0, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                                nullptr, instance, nullptr);
  if (window) ShowWindow(window, SW_HIDE);
  return window;
}

void module_os_destroy_plugin_window(HWND window, HINSTANCE instance) {
  DestroyWindow(window);
  // A host may unload and reload the DLL at another address; a class left
  // registered would keep the old window procedure.
  UnregisterClassA(kPluginClass, instance);
}

void module_os_show_disabled_message(HWND parent) {
  MessageBoxA(parent, DISABLED_MESSAGE, OUT_MODULE_DESCRIPTION, MB_OK);
}

void module_os_show_about(HWND parent, HINSTANCE instance) { about_show(parent, instance); }

HWND module_os_controls_start(HINSTANCE instance, HWND owner) {
  // The menu opens the three modeless dialogs through their procedures.
  settings_dialog_register();
  eax_panel_register();
  eq_window_register();
  HWND notify = tray_setup(instance, owner);
  view_thread_start(instance);
  return notify;
}

void module_os_controls_stop(void) {
  view_thread_stop();
  tray_remove();
}

HINSTANCE module_os_loader_instance(void) { return loader_instance; }

bool module_os_send_bounded(HWND host, int code, int timeout_ms, intptr_t *result) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(host, WM_USER, 0, code, SMTO_NORMAL, UINT(timeout_ms), &answer)) return false;
  *result = intptr_t(answer);
  return true;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    loader_instance = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
