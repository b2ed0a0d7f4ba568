// The Presets button's menu and the "Save Preset" and "Delete Preset"
// dialogs with their local message loops.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "support/file.h"
#include "ui/preset_menu.h"

namespace {

// The one preset dialog open at a time, and what it works on.
struct PresetDialog {
  const PresetHandler *handler;
  const char *name;  // delete: the preset asked about
  char *used_name;   // save: the name written
  bool done;
  bool result;
};
HWND open_dialog = nullptr;

PresetDialog *state_of(HWND dialog) { return reinterpret_cast<PresetDialog *>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void dialog_started(HWND dialog, LPARAM param) {
  SetWindowLongPtrA(dialog, DWLP_USER, param);
  skin_sweep(0);
  skin_attach_tree(dialog, 1);
}

void dialog_ended(HWND dialog) {
  skin_attach_tree(dialog, 0);
  skin_mark_tree(dialog);
  PresetDialog *state = state_of(dialog);
  if (state) state->done = true;
  if (open_dialog == dialog) open_dialog = nullptr;
}

void save_clicked(HWND dialog) {
  PresetDialog *state = state_of(dialog);
  char name[PRESET_NAME_MAX + 2] = {};
  GetDlgItemTextA(dialog, IDC_PRESET_NAME, name, sizeof name);
  if (!name[0] || !state) return;
  char path[SETTINGS_PATH_MAX];
  char used[PRESET_NAME_MAX + 16];
  // A name the file system cannot take, or a folder that cannot be
  // written, writes nothing and closes all the same.
  if (preset_free_path(name, state->handler->extension, path, used) && state->handler->save(path, state->handler->context)) {
    state->result = true;
    if (state->used_name) std::strcpy(state->used_name, used);
  }
  DestroyWindow(dialog);
}

INT_PTR CALLBACK save_dialog_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG:
      dialog_started(dialog, lparam);
      SendDlgItemMessageA(dialog, IDC_PRESET_NAME, EM_LIMITTEXT, PRESET_NAME_MAX, 0);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
        case IDC_PRESET_SAVE:
          save_clicked(dialog);
          return TRUE;
        case IDCANCEL:
        case IDC_PRESET_CANCEL:
          DestroyWindow(dialog);
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      dialog_ended(dialog);
      return FALSE;
  }
  return FALSE;
}

INT_PTR CALLBACK delete_dialog_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: {
      dialog_started(dialog, lparam);
      char question[PRESET_NAME_MAX + 64];
      preset_delete_question(reinterpret_cast<PresetDialog *>(lparam)->name, question);
      SetDlgItemTextA(dialog, IDC_PRESET_QUESTION, question);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_PRESET_YES: {
          PresetDialog *state = state_of(dialog);
          char path[SETTINGS_PATH_MAX];
          if (state && preset_file_path(state->name, state->handler->extension, path))
            state->result = file_delete(path) != 0;
          DestroyWindow(dialog);
          return TRUE;
        }
        case IDOK:  // Enter without a default button answers No as well
        case IDCANCEL:
        case IDC_PRESET_NO:
          DestroyWindow(dialog);
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      dialog_ended(dialog);
      return FALSE;
  }
  return FALSE;
}

// Creates the dialog at (x, y), shows it and serves the thread's messages,
// with dialog keyboard navigation, until it is gone.
bool run_dialog(HWND owner, int resource, DLGPROC proc, int x, int y, PresetDialog *state) {
  if (open_dialog) {
    // One preset dialog at a time: a second press only brings it forward.
    SetForegroundWindow(open_dialog);
    return false;
  }
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
  HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(resource), owner, proc, reinterpret_cast<LPARAM>(state));
  if (!dialog) return false;
  open_dialog = dialog;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(dialog, SW_SHOW);
  SetForegroundWindow(dialog);
  MSG msg;
  while (!state->done) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // The thread is asked to quit: the dialog goes and the request is
      // handed on to the loop that runs the thread.
      if (IsWindow(dialog)) DestroyWindow(dialog);
      PostQuitMessage(int(msg.wParam));
      break;
    }
    if (IsWindow(dialog) && IsDialogMessageA(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (!state->done && IsWindow(dialog)) DestroyWindow(dialog);
  return state->result;
}

void add_items(HMENU menu, const PresetMenu *names, int base) {
  int n = preset_menu_item_count(names);
  for (int i = 0; i < n; ++i) {
    PresetMenuItem item = preset_menu_item(names, base, i);
    AppendMenuA(menu, MF_STRING | (item.enabled ? 0 : MF_GRAYED), UINT_PTR(item.command), item.text);
  }
}

}  // namespace

bool preset_save_dialog_run(HWND owner, int x, int y, const PresetHandler *handler, char *used_name) {
  PresetDialog state = {handler, nullptr, used_name, false, false};
  if (used_name) used_name[0] = 0;
  return run_dialog(owner, IDD_SAVE_PRESET, save_dialog_proc, x, y, &state);
}

bool preset_delete_dialog_run(HWND owner, int x, int y, const char *name, const PresetHandler *handler) {
  PresetDialog state = {handler, name, nullptr, false, false};
  return run_dialog(owner, IDD_DELETE_PRESET, delete_dialog_proc, x, y, &state);
}

HWND preset_dialog_window(void) { return open_dialog; }

int preset_menu_run(HWND owner, HWND button, HWND sort_list, const PresetHandler *handler) {
  if (open_dialog) {
    SetForegroundWindow(open_dialog);
    return 0;
  }
  PresetMenu names = {};
  preset_menu_build(&names, handler->extension);
  if (sort_list) {
    // The window's hidden sorted list box holds the names as listed.
    SendMessageA(sort_list, LB_RESETCONTENT, 0, 0);
    for (int i = 0; i < names.shown; ++i)
      SendMessageA(sort_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names.list.names[i]));
  }
  HMENU main_menu = CreatePopupMenu();
  HMENU load_menu = CreatePopupMenu();
  HMENU delete_menu = CreatePopupMenu();
  add_items(load_menu, &names, PRESET_COMMAND_LOAD);
  add_items(delete_menu, &names, PRESET_COMMAND_DELETE);
  AppendMenuA(main_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(load_menu), "&Load");
  AppendMenuA(main_menu, MF_STRING, PRESET_COMMAND_SAVE, "&Save");
  AppendMenuA(main_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(delete_menu), "&Delete");
  RECT r = {};
  GetWindowRect(button, &r);
  int command = int(TrackPopupMenu(main_menu, TPM_RETURNCMD | TPM_NONOTIFY, r.left, r.top, 0, owner, nullptr));
  // Destroying the main menu destroys the sub-menus attached to it.
  DestroyMenu(main_menu);
  PresetChoice choice = preset_menu_decode(&names, command);
  char path[SETTINGS_PATH_MAX];
  switch (choice.action) {
    case PRESET_ACTION_LOAD:
      if (preset_file_path(choice.name, handler->extension, path)) handler->load(path, handler->context);
      break;
    case PRESET_ACTION_SAVE:
      preset_save_dialog_run(owner, r.left, r.top, handler, nullptr);
      break;
    case PRESET_ACTION_DELETE:
      preset_delete_dialog_run(owner, r.left, r.top, choice.name, handler);
      break;
    case PRESET_ACTION_NONE:
      break;
  }
  preset_menu_release(&names);
  return command;
}
