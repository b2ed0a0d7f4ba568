// Test-only: opens the tray menu through the notify window's icon callback
// and reads it while it is shown. TrackPopupMenu runs a modal loop inside
// the callback, so a thread timer, which that loop serves, reads the popup
// menu window ("#32768") and ends the menu.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace traytest {

struct MenuItemSeen {
  UINT id = 0;
  std::string text;
  bool separator = false;
  bool checked = false;
  bool isDefault = false;
};

struct MenuSeen {
  bool found = false;
  std::vector<MenuItemSeen> items;
  UINT defaultId = UINT(-1);
  bool checked(UINT id) const {
    for (const MenuItemSeen &item : items)
      if (!item.separator && item.id == id) return item.checked;
    return false;
  }
};

namespace detail {

inline MenuSeen *&seen() {
  static MenuSeen *p = nullptr;
  return p;
}

inline BOOL CALLBACK find_popup(HWND hwnd, LPARAM context) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[16] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && lstrcmpA(cls, "#32768") == 0) {
    *reinterpret_cast<HWND *>(context) = hwnd;
    return FALSE;
  }
  return TRUE;
}

inline HWND visible_popup() {
  HWND popup = nullptr;
  EnumWindows(find_popup, reinterpret_cast<LPARAM>(&popup));
  return popup;
}

inline void read_menu(HMENU menu, MenuSeen &out) {
  int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    MENUITEMINFOA info = {};
    char text[128] = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    MenuItemSeen item;
    if (GetMenuItemInfoA(menu, UINT(i), TRUE, &info)) {
      item.id = info.wID;
      item.separator = (info.fType & MFT_SEPARATOR) != 0;
      item.checked = (info.fState & MFS_CHECKED) != 0;
      item.isDefault = (info.fState & MFS_DEFAULT) != 0;
      item.text = text;
    }
    out.items.push_back(item);
  }
  out.defaultId = GetMenuDefaultItem(menu, FALSE, 0);
}

inline VOID CALLBACK on_timer(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND popup = visible_popup();
  if (!popup || !seen()) return;
  HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, 0x01E1 /* MN_GETHMENU */, 0, 0));
  if (menu) {
    seen()->found = true;
    read_menu(menu, *seen());
  }
  KillTimer(nullptr, timer);
  EndMenu();
}

}  // namespace detail

// Sends the notify window the icon's callback message (`mouse` in lParam)
// and returns what the menu showed; found is false when no menu appeared.
inline MenuSeen open_menu(HWND notify, UINT callback, WPARAM icon, LPARAM mouse = WM_RBUTTONUP) {
  MenuSeen result;
  detail::seen() = &result;
  UINT_PTR timer = SetTimer(nullptr, 0, 30, detail::on_timer);
  // Should the timer never be served, the menu is cancelled from outside so
  // the test fails instead of hanging.
  std::atomic<bool> returned{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 300 && !returned.load(); ++i) Sleep(10);
    if (returned.load()) return;
    HWND popup = detail::visible_popup();
    if (popup) PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(notify, WM_CANCELMODE, 0, 0);
  });
  SendMessageA(notify, callback, icon, mouse);
  returned.store(true);
  watchdog.join();
  KillTimer(nullptr, timer);
  detail::seen() = nullptr;
  // The WM_NULL the menu leaves behind, and any timer message still queued.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  return result;
}

}  // namespace traytest
