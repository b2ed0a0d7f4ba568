// The tray icon, its menu and the notify window that receives both. All of
// it lives on the host's thread and is served by the host's message loop.
#include <windows.h>

#include <shellapi.h>

#include <cstring>

#include "device/device.h"
#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "ui/tray.h"

namespace {

// The menu item record the menu is read and written with; 48 bytes in the
// 32-bit product.
#ifndef _WIN64
static_assert(sizeof(MENUITEMINFOA) == 48, "MENUITEMINFOA is 48 bytes");
static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA is 48 bytes");
#endif

HINSTANCE tray_instance = nullptr;
HWND dialog_owner = nullptr;
HWND notify = nullptr;
HMENU tray_menu = nullptr;
NOTIFYICONDATAA icon_record;

// The first form of the record: hWnd to szTip[64]. 88 bytes in the 32-bit
// product; the same fields, wider, in the 64-bit build.
const DWORD kIconRecordSize = NOTIFYICONDATAA_V1_SIZE;
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first NOTIFYICONDATAA form is 88 bytes");
#endif

void build_menu(void) {
  tray_menu = CreatePopupMenu();
  if (!tray_menu) return;
  for (const TrayMenuItem &item : tray_menu_items) {
    if (item.command == 0)
      AppendMenuA(tray_menu, MF_SEPARATOR, 0, nullptr);
    else
      AppendMenuA(tray_menu, MF_STRING, UINT_PTR(item.command), item.text);
  }
  MENUITEMINFOA info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE;
  if (GetMenuItemInfoA(tray_menu, TRAY_MENU_DEFAULT, FALSE, &info)) {
    info.fState |= MFS_DEFAULT;
    SetMenuItemInfoA(tray_menu, TRAY_MENU_DEFAULT, FALSE, &info);
  }
}

void fill_icon_record(void) {
  std::memset(&icon_record, 0, sizeof icon_record);
  icon_record.cbSize = kIconRecordSize;
  icon_record.hWnd = notify;
  icon_record.uID = TRAY_ICON_ID;
  icon_record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon_record.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
  icon_record.hIcon = LoadIconA(tray_instance, MAKEINTRESOURCEA(IDI_TRAY));
  static_assert(sizeof(TRAY_TIP) <= 64, "the tip fits the first form's 64 characters");
  std::memcpy(icon_record.szTip, TRAY_TIP, sizeof(TRAY_TIP));
}

void show_menu(HWND window) {
  if (!tray_menu) return;
  static const int kChecked[] = {TRAY_COMMAND_EQUALIZER, TRAY_COMMAND_SETTINGS, TRAY_COMMAND_EAX_PANEL,
                                 TRAY_COMMAND_VIEW};
  uint8_t shown = view_shown.load();
  for (int command : kChecked)
    CheckMenuItem(tray_menu, UINT(command),
                  MF_BYCOMMAND | (tray_item_checked(command, tray_dialogs, shown) ? MF_CHECKED : MF_UNCHECKED));
  POINT at = {0, 0};
  GetCursorPos(&at);
  // The menu closes when the user clicks elsewhere only if its owner is
  // the foreground window.
  SetForegroundWindow(window);
  TrackPopupMenu(tray_menu, TPM_RIGHTALIGN, at.x, at.y, 0, window, nullptr);
  // Lets the next right click open the menu again at once instead of
  // closing it (the task switch the menu leaves behind).
  PostMessageA(window, WM_NULL, 0, 0);
}

void open_dialog(int d) {
  TrayDialogSlot &slot = tray_dialogs[d];
  const TrayDialogInfo &info = tray_dialog_info[d];
  HWND dialog = CreateDialogParamA(tray_instance, MAKEINTRESOURCEA(info.resource), dialog_owner, slot.proc, 0);
  // A dialog that could not be made, or that gave up while it initialised
  // (the handle then names a window already destroyed), stays closed, so
  // the next command tries again instead of bringing forward a window that
  // does not exist.
  if (!dialog || !IsWindow(dialog)) return;
  slot.window = dialog;
  if (info.animated) SetForegroundWindow(dialog);
  int32_t x = 0, y = 0;
  if (tray_saved_position(slot, &x, &y)) SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  slot.open = 1;
  if (info.animated)
    AnimateWindow(dialog, 100, AW_ACTIVATE | AW_CENTER);
  else
    ShowWindow(dialog, SW_SHOW);
}

void toggle_view(void) {
  uint8_t shown = view_shown_flip();
  HWND view = view_window();
  if (!view) return;
  ShowWindow(view, shown ? SW_SHOW : SW_HIDE);
  UpdateWindow(view);
  // Delivered on the view thread, so the scene is drawn at once.
  SendMessageA(view, WM_PAINT, 0, 0);
}

void run_command(WPARAM command) {
  TrayDecision decision = tray_decide(command, device_ready(), tray_dialogs);
  switch (decision.action) {
    case TRAY_IGNORE:
      break;
    case TRAY_OPEN:
      open_dialog(decision.dialog);
      break;
    case TRAY_BRING_FORWARD:
      SetForegroundWindow(tray_dialogs[decision.dialog].window);
      break;
    case TRAY_CLOSE:
      SendMessageA(tray_dialogs[decision.dialog].window, WM_CLOSE, 0, 0);
      Sleep(25);
      break;
    case TRAY_TOGGLE_VIEW:
      toggle_view();
      break;
  }
}

LRESULT CALLBACK notify_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case TRAY_CALLBACK_MESSAGE:
      if (wparam != TRAY_ICON_ID) break;
      if (lparam == WM_LBUTTONDBLCLK)
        SendMessageA(window, WM_COMMAND, TRAY_MENU_DEFAULT, 0);
      else if (lparam == WM_RBUTTONUP)
        show_menu(window);
      return 0;
    case WM_COMMAND:
      run_command(wparam);
      break;
    case WM_DESTROY:
      if (tray_menu) DestroyMenu(tray_menu);
      tray_menu = nullptr;
      // No PostQuitMessage: this window lives on the host's thread, and a
      // quit message there would end the host's own message loop.
      return 0;
  }
  return DefWindowProcA(window, msg, wparam, lparam);
}

}  // namespace

HWND tray_setup(HINSTANCE instance, HWND owner) {
  tray_instance = instance;
  dialog_owner = owner;
  WNDCLASSEXA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.cbSize = sizeof wc;
  wc.style = 0;
  wc.lpfnWndProc = notify_window_proc;
  wc.hInstance = instance;
  wc.lpszClassName = TRAY_NOTIFY_CLASS;
  RegisterClassExA(&wc);
  notify = CreateWindowExA(0, TRAY_NOTIFY_CLASS, TRAY_NOTIFY_CLASS, 0, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                           nullptr, instance, nullptr);
  if (!notify) {
    UnregisterClassA(TRAY_NOTIFY_CLASS, instance);
    return nullptr;
  }
  ShowWindow(notify, SW_HIDE);
  build_menu();
  fill_icon_record();
  Shell_NotifyIconA(NIM_ADD, &icon_record);
  return notify;
}

void tray_remove(void) {
  if (!notify) return;
  Shell_NotifyIconA(NIM_DELETE, &icon_record);
  DestroyWindow(notify);
  notify = nullptr;
  // A host may unload and reload the DLL at another address; a class left
  // registered would keep the old window procedure.
  UnregisterClassA(TRAY_NOTIFY_CLASS, tray_instance);
}

void tray_dialog_closed(int dialog, HWND window) {
  if (dialog < 0 || dialog >= TRAY_DIALOG_COUNT) return;
  RECT r;
  if (GetWindowRect(window, &r)) {
    tray_dialogs[dialog].savedX = r.left;
    tray_dialogs[dialog].savedY = r.top;
  }
  skin_attach_tree(window, 0);
  skin_mark_tree(window);
  tray_dialog_destroyed(dialog);
}
