#include "skin/skin.h"

#include "platform/win32.h"

#include <commctrl.h>

#include "skin/attach_win32.h"
#include "skin/class_table.h"
#include "skin/draw_win32.h"
#include "skin/palette.h"
#include "skin/skin_table.h"

namespace {

const WNDPROC procs[SKIN_CLASS_COUNT] = {
    skin_dialog_proc,   skin_button_proc,    skin_static_proc,  skin_edit_proc,     skin_combo_proc,
    skin_listbox_proc,  skin_tab_proc,       skin_updown_proc,  skin_progress_proc, skin_tooltip_proc,
    skin_trackbar_proc, skin_statusbar_proc, skin_hotkey_proc,  skin_ipaddress_proc,
};

// The procedure each class had before the first attach, for messages that
// reach a skinned procedure after its entry was released.
LONG_PTR class_procs[SKIN_CLASS_COUNT];

LONG_PTR as_long(WNDPROC p) { return reinterpret_cast<LONG_PTR>(p); }

int row_of_name(HWND window) {
  char name[44] = {};
  if (!GetClassNameA(window, name, sizeof name)) return -1;
  return skin_class_find(name);
}

// The row a subclassed list belongs to: combo lists have their own class
// name but are skinned as list boxes.
int row_for(HWND window) {
  LONG_PTR proc = GetWindowLongPtrA(window, GWLP_WNDPROC);
  for (int row = 0; row < SKIN_CLASS_COUNT; ++row)
    if (proc == as_long(procs[row])) return row;
  return row_of_name(window);
}

void subclass(HWND window, int row) {
  SkinEntry *e = skin_table_find(window);
  if (!e) return;
  skin_table_ensure_data(e, skin_class(row).data_size);
  LONG_PTR current = GetWindowLongPtrA(window, GWLP_WNDPROC);
  if (current == as_long(procs[row])) return;
  e->previous_proc = current;
  if (!class_procs[row]) class_procs[row] = current;
  SetWindowLongPtrA(window, GWLP_WNDPROC, as_long(procs[row]));
}

void unsubclass(HWND window) {
  SkinEntry *e = skin_table_find(window);
  if (!e || !e->previous_proc) return;
  // Only our own procedure is taken out; a procedure that subclassed the
  // window after us would otherwise be dropped.
  if (skin_is_skinned_proc(GetWindowLongPtrA(window, GWLP_WNDPROC)))
    SetWindowLongPtrA(window, GWLP_WNDPROC, e->previous_proc);
}

HWND combo_list(HWND combo) {
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(combo, &info)) return nullptr;
  return info.hwndList;
}

void attach_one(HWND window, int on) {
  if (!skin_table_exists()) return;
  int row = row_of_name(window);
  if (row < 0) {
    // A combo box's list is reached through its combo box only.
    if (!on && skin_table_find(window)) unsubclass(window);
    return;
  }
  if (!on) {
    unsubclass(window);
    if (row == SKIN_COMBOBOX) {
      HWND list = combo_list(window);
      if (list && skin_table_find(list)) unsubclass(list);
    }
    return;
  }
  if (!skin_table_register(window)) return;
  if (row == SKIN_COMBOBOX) {
    HWND list = combo_list(window);
    if (list && !(GetWindowLongPtrA(window, GWL_STYLE) & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) &&
        skin_table_register(list))
      subclass(list, SKIN_LISTBOX);
  }
  subclass(window, row);
}

void redraw(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

BOOL CALLBACK attach_child(HWND child, LPARAM on) {
  attach_one(child, int(on));
  return TRUE;
}

void mark_one(HWND window) {
  skin_table_mark(window);
  if (row_of_name(window) == SKIN_COMBOBOX) {
    HWND list = combo_list(window);
    if (list) skin_table_mark(list);
  }
}

BOOL CALLBACK mark_child(HWND child, LPARAM) {
  mark_one(child);
  return TRUE;
}

}  // namespace

int skin_row_of(HWND window) { return row_for(window); }

bool skin_is_skinned_proc(LONG_PTR proc) {
  for (WNDPROC p : procs)
    if (proc == as_long(p)) return true;
  return false;
}

bool skin_is_skinned(HWND window) { return skin_is_skinned_proc(GetWindowLongPtrA(window, GWLP_WNDPROC)); }

WNDPROC skin_fallback_proc(HWND window) {
  int row = row_of_name(window);
  if (row < 0) {
    // A combo list: its class is not in the table.
    char name[44] = {};
    GetClassNameA(window, name, sizeof name);
    WNDCLASSA wc;
    if (GetClassInfoA(nullptr, name, &wc)) return wc.lpfnWndProc;
    return nullptr;
  }
  return reinterpret_cast<WNDPROC>(class_procs[row]);
}

bool skin_active(HWND window) { return skin_look() && skin_table_find(window); }

void skin_attach(HWND window, int on) {
  if (!window) return;
  attach_one(window, on);
  redraw(window);
}

void skin_attach_tree(HWND window, int on) {
  if (!window) return;
  attach_one(window, on);
  EnumChildWindows(window, attach_child, on);
  redraw(window);
}

void skin_mark_tree(HWND window) {
  if (!window) return;
  mark_one(window);
  EnumChildWindows(window, mark_child, 0);
}

WNDPROC skin_previous_proc(HWND window) {
  SkinEntry *e = skin_table_find(window);
  return e ? reinterpret_cast<WNDPROC>(e->previous_proc) : nullptr;
}

void skin_entry_release_platform(SkinEntry *entry) {
  HWND window = static_cast<HWND>(entry->window);
  // A window that outlives its entry gets its own procedure back, so no
  // skinned procedure runs without the state it draws from.
  if (IsWindow(window) && entry->previous_proc && skin_is_skinned(window))
    SetWindowLongPtrA(window, GWLP_WNDPROC, entry->previous_proc);
  if (entry->memory_dc) DeleteDC(static_cast<HDC>(entry->memory_dc));
  if (entry->bitmap) DeleteObject(static_cast<HBITMAP>(entry->bitmap));
}

bool skin_common_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, const SkinCommon &common,
                         LRESULT *result) {
  switch (message) {
    case WM_ERASEBKGND:
      *result = 1;
      return true;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      *result = paint_message(window, message, wparam, lparam, common.painter);
      return true;
    case WM_NCPAINT:
      if (!common.frame) return false;
      *result = ncpaint_message(window, wparam, lparam);
      return true;
    case WM_PRINT:
      *result = print_message(window, wparam, lparam, common.painter);
      return true;
    case WM_NCDESTROY:
      // A window destroyed without being marked still frees its slot.
      *result = call_previous(window, message, wparam, lparam);
      skin_table_mark(window);
      return true;
    default:
      return false;
  }
}
