#include "engine/module.h"

#include <commctrl.h>

#include <cstddef>

#include "engine/module_os.h"

// The host reads the record by offset: 32-bit fields in the published order.
static_assert(sizeof(Out_Module) == 80, "Out_Module is 80 bytes on 32-bit Windows");
static_assert(offsetof(Out_Module, id) == 8, "Out_Module layout");
static_assert(offsetof(Out_Module, hMainWindow) == 12, "Out_Module layout");
static_assert(offsetof(Out_Module, hDllInstance) == 16, "Out_Module layout");
static_assert(offsetof(Out_Module, Config) == 20, "Out_Module layout");
static_assert(offsetof(Out_Module, Init) == 28, "Out_Module layout");
static_assert(offsetof(Out_Module, Open) == 36, "Out_Module layout");
static_assert(offsetof(Out_Module, SetPan) == 64, "Out_Module layout");
static_assert(offsetof(Out_Module, GetWrittenTime) == 76, "Out_Module layout");

namespace {

const char kPluginClass[] = "Sonorium plugin";
const int kAboutDialog = 120;

HINSTANCE loader_instance = nullptr;

// The window lives on the host's main thread, so it must not post WM_QUIT
// there when it is destroyed: that would end the host's own message loop.
LRESULT CALLBACK plugin_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_DESTROY) return 0;
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

// The About dialog of resource 120: OK and Cancel close it.
INT_PTR CALLBACK about_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
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
  static_assert(sizeof(WNDCLASSA) == 40, "WNDCLASSA");
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

void module_os_show_about(HWND parent, HINSTANCE instance) {
  DialogBoxParamA(instance, MAKEINTRESOURCEA(kAboutDialog), parent, about_proc, 0);
}

HINSTANCE module_os_loader_instance(void) { return loader_instance; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    loader_instance = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
