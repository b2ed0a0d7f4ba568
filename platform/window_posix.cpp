#include <new>

#include "platform/win32.h"

extern "C" HWND platform_create_window(WNDPROC proc, void *user) {
  return new (std::nothrow) HWND__{proc, user};
}

extern "C" void platform_destroy_window(HWND hwnd) { delete hwnd; }

extern "C" LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (!hwnd || !hwnd->proc) return 0;
  return hwnd->proc(hwnd, msg, wparam, lparam);
}
